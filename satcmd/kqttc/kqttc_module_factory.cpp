#include "satcmd/kqttc/kqttc_module_factory.h"

#include <stdexcept>

namespace kq::api::proto::kqttc {

kq_module* kqttc_module_factory::create_module(module_type_e, media*, const connect_props_t&)
{
    throw std::runtime_error("kqttc_module_factory::create_module: unsupported module_type_e");
}

} // namespace kq::api::proto::kqttc
