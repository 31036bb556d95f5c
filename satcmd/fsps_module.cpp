#include "satcmd/fsps_module.h"

namespace kq::api::proto {

fsps_module::fsps_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

fsps_module::~fsps_module() = default;

} // namespace kq::api::proto
