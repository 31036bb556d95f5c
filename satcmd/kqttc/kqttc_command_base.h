#pragma once

#include "satcmd/kqttc/hex.h"
#include "satcmd/kqttc/kqttc_request.h"
#include "satcmd/kqttc/kqttc_response.h"
#include "satcmd/satcmd_global.h"

#include <QRegularExpression>

#include <cstdint>

namespace kq::api::proto::kqttc {

// The shapes shared by the command classes, so that each command stays a few
// lines: a read line with optional arguments, a write line with a value, an
// "OK" answer, and an answer matched against one pattern.

class SATCMD_EXPORT kqttc_read_request : public kqttc_request
{
public:
    using kqttc_request::kqttc_request;
    QString create_string_request() override { return read_prefix() + _arguments(); }

protected:
    virtual QString _arguments() const { return {}; }
};

class SATCMD_EXPORT kqttc_write_request : public kqttc_request
{
public:
    using kqttc_request::kqttc_request;
    QString create_string_request() override { return write_prefix() + _value(); }

protected:
    virtual QString _value() const = 0;
};

// A write whose value is one number printed in a fixed hex format; a value
// that does not fit its digits is refused ("VALUE_OUT_OF_RANGE"), not cut.
class SATCMD_EXPORT kqttc_number_write_request : public kqttc_write_request
{
public:
    kqttc_number_write_request(const QString& exec_context, unsigned int device_address,
                               kqttc_command_e command, uint64_t value, const QString& pad,
                               int width);

protected:
    QString _value() const override;

private:
    uint64_t _number;
    QString _pad;
    int _width;
};

// A write whose value is text, checked when constructed.
class SATCMD_EXPORT kqttc_text_write_request : public kqttc_write_request
{
public:
    using kqttc_write_request::kqttc_write_request;

protected:
    QString _value() const override { return _field; }
    QString _field;
};

// Write answers. The transceiver and the FSPS unit answer a write with "OK"
// alone; the on-board computer may add a remark ("OK deleted"), never a
// value: a read answer ("OK+" and a value, "OK TIME" and a time) that comes
// late is no write's answer.
SATCMD_EXPORT const QRegularExpression& bare_ok_answer();
SATCMD_EXPORT const QRegularExpression& remarked_ok_answer();

// A write answer of one shape (bare_ok_answer() unless given). A quiet
// refusal reports no line, so it stays a command_response_error even when it
// holds "+KQTTC".
class SATCMD_EXPORT kqttc_ok_response : public kqttc_response
{
public:
    enum refusal_e { report_line, quiet };
    kqttc_ok_response(const QString& exec_context, kqttc_command_e command,
                      kqttc_request* request = nullptr, refusal_e refusal = report_line,
                      const QRegularExpression& answer = bare_ok_answer());
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;

private:
    refusal_e _refusal;
    const QRegularExpression& _answer;
};

// An answer that must match one pattern; rssi_group names the group holding
// the RSSI byte (0: the answer carries none).
class SATCMD_EXPORT kqttc_pattern_response : public kqttc_response
{
public:
    kqttc_pattern_response(const QString& exec_context, kqttc_command_e command,
                           const QRegularExpression& pattern, int rssi_group,
                           kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;

protected:
    virtual void _take(const QRegularExpressionMatch& m) = 0;

private:
    const QRegularExpression& _pattern;
    int _rssi_group;
};

// A hexadecimal number in group value_group.
template<typename T>
class kqttc_number_response : public kqttc_pattern_response
{
public:
    kqttc_number_response(const QString& exec_context, kqttc_command_e command,
                          const QRegularExpression& pattern, int rssi_group, int value_group,
                          kqttc_request* request)
        : kqttc_pattern_response(exec_context, command, pattern, rssi_group, request)
        , _group(value_group)
    {
    }

protected:
    void _take(const QRegularExpressionMatch& m) override
    {
        _value = static_cast<T>(hex::parse(m.captured(_group)));
    }
    T _value{};

private:
    int _group;
};

// A text in group value_group. With a count_group, the answer also gives the
// text's length as a decimal count of units of `unit` characters (a Morse
// sign, a three-character note), and an answer whose count and text differ
// is refused.
class SATCMD_EXPORT kqttc_text_response : public kqttc_pattern_response
{
public:
    kqttc_text_response(const QString& exec_context, kqttc_command_e command,
                        const QRegularExpression& pattern, int value_group,
                        kqttc_request* request = nullptr);
    kqttc_text_response(const QString& exec_context, kqttc_command_e command,
                        const QRegularExpression& pattern, int value_group, int count_group,
                        int unit, kqttc_request* request);

protected:
    void _take(const QRegularExpressionMatch& m) override;
    QString _text;

private:
    int _group;
    int _count_group = 0;
    int _unit = 1;
};

// Bytes given as hexadecimal digits in group 1.
class SATCMD_EXPORT kqttc_bytes_response : public kqttc_pattern_response
{
public:
    kqttc_bytes_response(const QString& exec_context, kqttc_command_e command,
                         const QRegularExpression& pattern, kqttc_request* request = nullptr);

protected:
    void _take(const QRegularExpressionMatch& m) override;
    QByteArray _bytes;
};

} // namespace kq::api::proto::kqttc
