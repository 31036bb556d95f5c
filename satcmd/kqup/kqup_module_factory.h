#pragma once

#include "satcmd/module_factory.h"

namespace kq::api::proto::kqup {

// Modules of the binary packet protocol: the X-band transmitter.
class SATCMD_EXPORT kqup_module_factory : public module_factory
{
public:
    kq_module* create_module(module_type_e type, media* m, const connect_props_t& props) override;
};

} // namespace kq::api::proto::kqup
