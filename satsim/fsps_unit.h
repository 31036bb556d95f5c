#pragma once

#include "sim_node.h"

#include <cstdint>

namespace kq::satsim {

// A simulated FSPS module: its RF value and attenuation, written in decimal
// and read back as one digit (the value, capped at 9). A write of the RF
// value with no digits ("KQ+W" address "00") sets it to 0.
class fsps_unit : public sim_node
{
public:
    explicit fsps_unit(uint8_t address = 0x31)
        : _address(address)
    {
    }

    QStringList handle(const QString& payload) override;
    uint64_t rf() const { return _rf; }
    int64_t attenuation() const { return _attenuation; }
    QStringList writes() const { return _writes; }
    void set_values(uint64_t rf, int64_t attenuation)
    {
        _rf = rf;
        _attenuation = attenuation;
    }

private:
    uint8_t _address;
    uint64_t _rf = 0;
    int64_t _attenuation = 0;
    QStringList _writes;
};

} // namespace kq::satsim
