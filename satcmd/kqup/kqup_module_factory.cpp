#include "satcmd/kqup/kqup_module_factory.h"

#include "satcmd/kqup/kqup_xband_module.h"

#include <stdexcept>

namespace kq::api::proto::kqup {

kq_module* kqup_module_factory::create_module(module_type_e type, media* m,
                                              const connect_props_t& props)
{
    if (type != module_type_xband)
        throw std::runtime_error("kqup_module_factory::create_module: unsupported module_type_e");
    return new kqup_xband_module(m, props);
}

} // namespace kq::api::proto::kqup
