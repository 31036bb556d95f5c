#include "satcmd/xband_module.h"

namespace kq::api::proto {

xband_module::xband_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

xband_module::~xband_module() = default;

} // namespace kq::api::proto
