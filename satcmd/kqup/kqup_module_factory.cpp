#include "satcmd/kqup/kqup_module_factory.h"

#include <stdexcept>

namespace kq::api::proto::kqup {

kq_module* kqup_module_factory::create_module(module_type_e, media*, const connect_props_t&)
{
    throw std::runtime_error("kqup_module_factory::create_module: unsupported module_type_e");
}

} // namespace kq::api::proto::kqup
