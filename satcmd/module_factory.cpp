#include "satcmd/module_factory.h"

#include <stdexcept>

namespace kq::api::proto {

module_factory::~module_factory() = default;

kq_module* module_factory::create_module(module_type_e, media*, const connect_props_t&)
{
    throw std::runtime_error("module_factory::create_module: not implemented");
}

} // namespace kq::api::proto
