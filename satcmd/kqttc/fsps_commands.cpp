#include "satcmd/kqttc/fsps_commands.h"

namespace kq::api::proto::kqttc {

namespace {

const QRegularExpression& digit_answer()
{
    static const QRegularExpression rx(QStringLiteral("^OK\\+([0-9A-F]{2})([0-9])$"));
    return rx;
}

} // namespace

req_fsps_get_rf::req_fsps_get_rf(unsigned int device_address)
    : kqttc_read_request(QStringLiteral("req_fsps_get_rf"), device_address, fsps_cmd::rf)
{
}

res_fsps_get_rf::res_fsps_get_rf(kqttc_request* request)
    : kqttc_number_response(QStringLiteral("res_fsps_get_rf"), fsps_cmd::rf, digit_answer(), 1, 2,
                            request)
{
}

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

res_fsps_set_rf::res_fsps_set_rf(kqttc_request* request)
    : kqttc_ok_response(QStringLiteral("res_fsps_set_rf"), fsps_cmd::rf, request)
{
}

req_get_fsps_attenuation::req_get_fsps_attenuation(unsigned int device_address)
    : kqttc_read_request(QStringLiteral("req_get_fsps_attenuation"), device_address,
                         fsps_cmd::attenuation)
{
}

res_get_fsps_attenuation::res_get_fsps_attenuation(kqttc_request* request)
    : kqttc_number_response(QStringLiteral("res_get_fsps_attenuation"), fsps_cmd::attenuation,
                            digit_answer(), 1, 2, request)
{
}

req_set_fsps_attenuation::req_set_fsps_attenuation(unsigned int device_address, long long value)
    : kqttc_write_request(QStringLiteral("req_set_fsps_attenuation"), device_address,
                          fsps_cmd::attenuation)
    , _attenuation(value)
{
    if (value > 63)
        _reject("INVALID_ATTENUATION_VALUE");
}

res_set_fsps_attenuation::res_set_fsps_attenuation(kqttc_request* request)
    : kqttc_ok_response(QStringLiteral("res_set_fsps_attenuation"), fsps_cmd::attenuation, request)
{
}

} // namespace kq::api::proto::kqttc
