#pragma once

#include "satcmd/module_factory.h"

namespace kq::api::proto::kqttc {

// Modules of the text protocol: on-board computer, UHF transceiver, FSPS.
class SATCMD_EXPORT kqttc_module_factory : public module_factory
{
public:
    kq_module* create_module(module_type_e type, media* m, const connect_props_t& props) override;
};

} // namespace kq::api::proto::kqttc
