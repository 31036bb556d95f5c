#pragma once

#include "satcmd/kqttc/detail/command_classes.h"
#include "satcmd/satcmd_global.h"

#include <cstdint>

// The FSPS module's commands.

namespace kq::api::proto::kqttc {

namespace fsps_cmd {
enum : kqttc_command_e {
    rf = 0x01,
    attenuation = 0x02,
};
} // namespace fsps_cmd

KQ_READ_REQUEST(req_fsps_get_rf, fsps_cmd::rf)
KQ_NUMBER_RESPONSE(res_fsps_get_rf, uint8_t, get_rf)

// The value in decimal; a value of 0 is sent as the bare "KQ+W" address "00".
class SATCMD_EXPORT req_fsps_set_rf : public kqttc_request
{
public:
    req_fsps_set_rf(unsigned int device_address, unsigned long long value);
    QString create_string_request() override;

private:
    unsigned long long _rf;
};
KQ_OK_RESPONSE(res_fsps_set_rf, fsps_cmd::rf, report_line)

KQ_READ_REQUEST(req_get_fsps_attenuation, fsps_cmd::attenuation)
KQ_NUMBER_RESPONSE(res_get_fsps_attenuation, uint8_t, get_attenuation)

// Signed decimal, at most 63.
class SATCMD_EXPORT req_set_fsps_attenuation : public kqttc_write_request
{
public:
    req_set_fsps_attenuation(unsigned int device_address, long long value);

protected:
    QString _value() const override { return QString::number(_attenuation); }

private:
    long long _attenuation;
};
KQ_OK_RESPONSE(res_set_fsps_attenuation, fsps_cmd::attenuation, report_line)

} // namespace kq::api::proto::kqttc
