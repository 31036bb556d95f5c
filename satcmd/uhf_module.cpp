#include "satcmd/uhf_module.h"

namespace kq::api::proto {

uhf_module::uhf_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

uhf_module::~uhf_module() = default;

} // namespace kq::api::proto
