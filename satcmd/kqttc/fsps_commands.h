#pragma once

#include "satcmd/kqttc/kqttc_command_base.h"
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

class SATCMD_EXPORT req_fsps_get_rf : public kqttc_read_request
{
public:
    explicit req_fsps_get_rf(unsigned int device_address);
};
class SATCMD_EXPORT res_fsps_get_rf : public kqttc_number_response<uint8_t>
{
public:
    explicit res_fsps_get_rf(kqttc_request* request = nullptr);
    uint8_t get_rf() const { return _value; }
};

// The value in decimal; a value of 0 is sent as the bare "KQ+W" address "00".
class SATCMD_EXPORT req_fsps_set_rf : public kqttc_request
{
public:
    req_fsps_set_rf(unsigned int device_address, unsigned long long value);
    QString create_string_request() override;

private:
    unsigned long long _rf;
};
class SATCMD_EXPORT res_fsps_set_rf : public kqttc_ok_response
{
public:
    explicit res_fsps_set_rf(kqttc_request* request = nullptr);
};

class SATCMD_EXPORT req_get_fsps_attenuation : public kqttc_read_request
{
public:
    explicit req_get_fsps_attenuation(unsigned int device_address);
};
class SATCMD_EXPORT res_get_fsps_attenuation : public kqttc_number_response<uint8_t>
{
public:
    explicit res_get_fsps_attenuation(kqttc_request* request = nullptr);
    uint8_t get_attenuation() const { return _value; }
};

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
class SATCMD_EXPORT res_set_fsps_attenuation : public kqttc_ok_response
{
public:
    explicit res_set_fsps_attenuation(kqttc_request* request = nullptr);
};

} // namespace kq::api::proto::kqttc
