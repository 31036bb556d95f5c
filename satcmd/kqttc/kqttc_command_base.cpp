#include "satcmd/kqttc/kqttc_command_base.h"

namespace kq::api::proto::kqttc {

kqttc_number_write_request::kqttc_number_write_request(const QString& exec_context,
                                                       unsigned int device_address,
                                                       kqttc_command_e command, uint64_t value,
                                                       const QString& pad, int width)
    : kqttc_write_request(exec_context, device_address, command)
    , _number(value)
    , _pad(pad)
    , _width(width)
{
    if (width < 16 && value >> (4 * width) != 0)
        _reject("VALUE_OUT_OF_RANGE");
}

QString kqttc_number_write_request::_value() const
{
    return _pad + hex::field(_number, _width);
}

kqttc_ok_response::kqttc_ok_response(const QString& exec_context, kqttc_command_e command,
                                     kqttc_request* request, refusal_e refusal,
                                     const QString& prefix)
    : kqttc_response(exec_context, command, 0, request)
    , _refusal(refusal)
    , _prefix(prefix)
{
}

void kqttc_ok_response::parse_response(const QString& line)
{
    if (line.startsWith(_prefix))
        return;
    _reject(_refusal == quiet ? QString() : line);
}

kqttc_pattern_response::kqttc_pattern_response(const QString& exec_context, kqttc_command_e command,
                                               const QRegularExpression& pattern, int rssi_group,
                                               kqttc_request* request)
    : kqttc_response(exec_context, command, 0, request)
    , _pattern(pattern)
    , _rssi_group(rssi_group)
{
}

void kqttc_pattern_response::parse_response(const QString& line)
{
    const QRegularExpressionMatch m = _match(_pattern, line);
    if (_rssi_group > 0)
        _handle_rssi(m.captured(_rssi_group));
    _take(m);
}

kqttc_text_response::kqttc_text_response(const QString& exec_context, kqttc_command_e command,
                                         const QRegularExpression& pattern, int value_group,
                                         kqttc_request* request)
    : kqttc_pattern_response(exec_context, command, pattern, 0, request)
    , _group(value_group)
{
}

void kqttc_text_response::_take(const QRegularExpressionMatch& m)
{
    _text = m.captured(_group);
}

kqttc_bytes_response::kqttc_bytes_response(const QString& exec_context, kqttc_command_e command,
                                           const QRegularExpression& pattern,
                                           kqttc_request* request)
    : kqttc_pattern_response(exec_context, command, pattern, 0, request)
{
}

void kqttc_bytes_response::_take(const QRegularExpressionMatch& m)
{
    const QString digits = m.captured(1);
    if (digits.size() % 2 != 0)
        hex::invalid();
    _bytes = QByteArray::fromHex(digits.toLatin1());
}

} // namespace kq::api::proto::kqttc
