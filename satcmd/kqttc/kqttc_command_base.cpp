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

const QRegularExpression& bare_ok_answer()
{
    static const QRegularExpression rx(QStringLiteral("^\\s*OK\\s*$"));
    return rx;
}

// A remark after a blank, not one of the clock's read answers.
const QRegularExpression& remarked_ok_answer()
{
    static const QRegularExpression rx(
        QStringLiteral("^\\s*OK(?:\\s+(?!TIME\\b|DATE\\b)\\S.*?)?\\s*$"));
    return rx;
}

QString kqttc_number_write_request::_value() const
{
    return _pad + hex::field(_number, _width);
}

kqttc_ok_response::kqttc_ok_response(const QString& exec_context, kqttc_command_e command,
                                     kqttc_request* request, refusal_e refusal,
                                     const QRegularExpression& answer)
    : kqttc_response(exec_context, command, 0, request)
    , _refusal(refusal)
    , _answer(answer)
{
}

void kqttc_ok_response::parse_response(const QString& line)
{
    if (_answer.match(line).hasMatch())
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

kqttc_text_response::kqttc_text_response(const QString& exec_context, kqttc_command_e command,
                                         const QRegularExpression& pattern, int value_group,
                                         int count_group, int unit, kqttc_request* request)
    : kqttc_pattern_response(exec_context, command, pattern, 0, request)
    , _group(value_group)
    , _count_group(count_group)
    , _unit(unit)
{
}

void kqttc_text_response::_take(const QRegularExpressionMatch& m)
{
    const QString text = m.captured(_group);
    if (_count_group > 0 && m.captured(_count_group).toInt() * _unit != text.size())
        _reject(m.captured(0));
    _text = text;
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
