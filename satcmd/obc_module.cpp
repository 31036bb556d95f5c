#include "satcmd/obc_module.h"

namespace kq::api::proto {

obc_module::obc_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

obc_module::~obc_module() = default;

} // namespace kq::api::proto
