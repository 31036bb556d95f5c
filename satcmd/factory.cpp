#include "satcmd/factory.h"

#include "satcmd/kqttc/kqttc_module_factory.h"
#include "satcmd/kqup/kqup_module_factory.h"
#include "serline/serial_port.h"

#include <stdexcept>

namespace kq::api::proto {

factory::factory()
{
    register_module_factory(proto_kqttc, new kqttc::kqttc_module_factory);
    register_module_factory(proto_kqup, new kqup::kqup_module_factory);
}

factory::~factory() = default;

void factory::register_module_factory(proto_e p, module_factory* f)
{
    _factories.insert(p, std::shared_ptr<module_factory>(f));
}

media* factory::create_media(media_e type, media::settings_t& settings)
{
    if (type != media_serial_port)
        throw std::runtime_error("Unknown media_e");
    return new serial_port(settings);
}

kq_module* factory::create_module(module_type_e type, proto_e p, media* m,
                                  const connect_props_t& props)
{
    const auto it = _factories.constFind(p);
    if (it == _factories.constEnd())
        throw std::runtime_error("factory::create_module: unsupported proto_e");
    return it.value()->create_module(type, m, props);
}

} // namespace kq::api::proto
