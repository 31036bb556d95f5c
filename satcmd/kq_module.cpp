#include "satcmd/kq_module.h"

#include "satcmd/module_lock.h"
#include "serline/media.h"

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto {

kq_module::kq_module(media* m, const connect_props_t& props)
    : _media(m)
    , _props(props)
{
}

kq_module::~kq_module() = default;

void kq_module::connect()
{
    const module_lock lock(_mutex);
    const connect_props_t props = get_connect_props();
    _media->close();
    _media->open();
    for (const module_connect_props_t& hop : props.route)
        configure_intermediate_module(hop, props.persistent, props.probe, true);
    _connected.store(true);
}

void kq_module::connect(const connect_props_t& props)
{
    set_connect_props(props);
    connect();
}

void kq_module::disconnect()
{
    if (_before_close)
        _before_close();
    _media->close();
    _connected.store(false);
}

void kq_module::stop_request()
{
    _media->stop_request();
}

connect_props_t kq_module::get_connect_props() const
{
    const std::lock_guard<std::mutex> lock(_props_lock);
    return _props;
}

void kq_module::set_connect_props(const connect_props_t& props)
{
    const std::lock_guard<std::mutex> lock(_props_lock);
    _props = props;
}

bool kq_module::is_connected()
{
    return _connected.load();
}

void kq_module::set_module_config(const module_config_t& config)
{
    _config = config;
}

module_config_t kq_module::get_module_config() const
{
    return _config;
}

void kq_module::set_persistent(bool persistent)
{
    const std::lock_guard<std::mutex> lock(_props_lock);
    _props.persistent = persistent;
}

bool kq_module::is_persistent()
{
    const std::lock_guard<std::mutex> lock(_props_lock);
    return _props.persistent;
}

void kq_module::configure_intermediate_module(const module_connect_props_t&, bool, bool, bool)
{
}

} // namespace kq::api::proto

QT_WARNING_POP
