#include "satcmd/kqttc/kqttc_fsps_module.h"

#include "satcmd/kqttc/fsps_commands.h"

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

kqttc_fsps_module::kqttc_fsps_module(media* m, const connect_props_t& props)
    : fsps_module(m, props)
    , kqttc_proto(*this, m, props, module_mutex())
{
    if (!props.route.isEmpty())
        _device_address = props.route.last().dev_addr;
}

kqttc_fsps_module::~kqttc_fsps_module() = default;

void kqttc_fsps_module::set_module_config(const module_config_t& config)
{
    kq_module::set_module_config(config);
    set_module_config_sat(config);
}

void kqttc_fsps_module::configure_intermediate_module(const module_connect_props_t& hop,
                                                      bool persistent, bool probe, bool call_hooks)
{
    kqttc_proto::configure_intermediate_module(hop, persistent, probe, call_hooks);
}

void kqttc_fsps_module::sat_set_rf(unsigned long long value)
{
    _run<req_fsps_set_rf, res_fsps_set_rf>(value);
}

void kqttc_fsps_module::set_rf(unsigned long long value)
{
    sat_set_rf(value);
}

void kqttc_fsps_module::set_attenuation(long long value)
{
    _run<req_set_fsps_attenuation, res_set_fsps_attenuation>(value);
}

unsigned kqttc_fsps_module::get_rf()
{
    const unsigned value = _run<req_fsps_get_rf, res_fsps_get_rf>().get_rf();
    emit on_get_rf(value);
    return value;
}

unsigned kqttc_fsps_module::get_attenuation()
{
    const unsigned value =
        _run<req_get_fsps_attenuation, res_get_fsps_attenuation>().get_attenuation();
    emit on_get_attenuation(value);
    return value;
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
