#pragma once

#include "satcmd/kq_module.h"
#include "satcmd/satcmd_global.h"

#include <cstdint>

namespace kq::api::proto {

// A further radio unit on the text protocol: its RF value and attenuation
// can be set, and read back (one decimal digit each).
class SATCMD_EXPORT fsps_module : public kq_module
{
    Q_OBJECT

public:
    fsps_module(media* m, const connect_props_t& props);
    ~fsps_module() override;

    virtual void set_rf(unsigned long long value) = 0;
    virtual void set_attenuation(long long value) = 0;
    // Read back; each emits its signal with the value too.
    virtual unsigned get_rf() = 0;
    virtual unsigned get_attenuation() = 0;

signals:
    void on_get_rf(const uint64_t& value);
    void on_get_attenuation(const uint64_t& value);
    void on_recv_arbitrary_text(uint32_t sequence, const QString& arbitratry_text);
};

} // namespace kq::api::proto
