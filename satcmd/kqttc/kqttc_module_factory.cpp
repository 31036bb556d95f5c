#include "satcmd/kqttc/kqttc_module_factory.h"

#include "satcmd/kqttc/kqttc_fsps_module.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"

#include <stdexcept>

namespace kq::api::proto::kqttc {

kq_module* kqttc_module_factory::create_module(module_type_e type, media* m,
                                               const connect_props_t& props)
{
    switch (type) {
    case module_type_obc:
        return new kqttc_obc_module(m, props);
    case module_type_uhf:
        return new kqttc_uhf_module(m, props);
    case module_type_fsps:
        return new kqttc_fsps_module(m, props);
    default:
        throw std::runtime_error("kqttc_module_factory::create_module: unsupported module_type_e");
    }
}

} // namespace kq::api::proto::kqttc
