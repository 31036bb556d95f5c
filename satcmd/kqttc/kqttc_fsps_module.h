#pragma once

#include "satcmd/fsps_module.h"
#include "satcmd/kqttc/kqttc_proto.h"
#include "satcmd/satcmd_global.h"

namespace kq::api::proto::kqttc {

// The FSPS module over the text protocol. As with the transceiver, the
// module part comes first so that its mutex exists before the engine.
class SATCMD_EXPORT kqttc_fsps_module : public fsps_module, public kqttc_proto
{
    Q_OBJECT

public:
    kqttc_fsps_module(media* m, const connect_props_t& props);
    ~kqttc_fsps_module() override;

    void set_module_config(const module_config_t& config) override;
    void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                       bool probe, bool call_hooks) override;
    void sat_set_rf(unsigned long long value) override;
    void set_rf(unsigned long long value) override;
    void set_attenuation(long long value) override;
    unsigned get_rf() override;
    unsigned get_attenuation() override;
};

} // namespace kq::api::proto::kqttc
