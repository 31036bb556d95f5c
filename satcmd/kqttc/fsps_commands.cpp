#include "satcmd/kqttc/fsps_commands.h"

#include "satcmd/kqttc/detail/command_definitions.h"

namespace kq::api::proto::kqttc {

namespace {

KQ_PATTERN(digit_answer, "^OK\\+([0-9A-F]{2})([0-9])$")

} // namespace

KQ_DEFINE_NUMBER_RESPONSE(res_fsps_get_rf, fsps_cmd::rf, digit_answer, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_fsps_attenuation, fsps_cmd::attenuation, digit_answer, 1, 2)

req_fsps_set_rf::req_fsps_set_rf(unsigned int device_address, unsigned long long value)
    : kqttc_request(QStringLiteral("req_fsps_set_rf"), device_address, fsps_cmd::rf)
    , _rf(value)
{
}

QString req_fsps_set_rf::create_string_request()
{
    if (_rf == 0)
        return QLatin1String("KQ+W") + hex::field(get_device_address(), 2) + QLatin1String("00");
    return write_prefix() + QString::number(_rf);
}

req_set_fsps_attenuation::req_set_fsps_attenuation(unsigned int device_address, long long value)
    : kqttc_write_request(QStringLiteral("req_set_fsps_attenuation"), device_address,
                          fsps_cmd::attenuation)
    , _attenuation(value)
{
    if (value > 63)
        _reject("INVALID_ATTENUATION_VALUE");
}

} // namespace kq::api::proto::kqttc
