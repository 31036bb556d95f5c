#include "satcmd/kqttc/kqttc_response.h"

#include "satcmd/kqttc/hex.h"

namespace kq::api::proto::kqttc {

namespace {

[[noreturn]] void not_implemented(const QString& context, kqttc_command_e command)
{
    throw proto_exception(proto_exception::general_error, static_cast<unsigned short>(command),
                          context, QStringLiteral("NOT_IMPLEMENTED"), proto_exception::retry);
}

} // namespace

kqttc_response::kqttc_response(const QString& exec_context, kqttc_command_e command,
                               unsigned int binary_response_length, kqttc_request* request)
    : _request(request)
    , _command(command)
    , _exec_context(exec_context)
    , _binary_length(binary_response_length)
{
}

kqttc_response::~kqttc_response() = default;

bool kqttc_response::parse_multi_line(const QString&)
{
    not_implemented(_exec_context, _command);
}

bool kqttc_response::parse_binary_chunk(const QByteArray&)
{
    not_implemented(_exec_context, _command);
}

void kqttc_response::parse_response(const QByteArray&)
{
    not_implemented(_exec_context, _command);
}

unsigned kqttc_response::get_command_retries(const module_config_t& config, kqttc_request*)
{
    switch (timeout_class(_command)) {
    case class_xl:
        return unsigned(config.repeats_xl);
    case class_l:
        return unsigned(config.repeats_l);
    default:
        return unsigned(config.repeats_m);
    }
}

unsigned kqttc_response::get_media_timeout(const module_config_t& config, kqttc_request*)
{
    switch (timeout_class(_command)) {
    case class_xl:
        return unsigned(config.timeout_xl);
    case class_l:
        return unsigned(config.timeout_l);
    default:
        return unsigned(config.timeout_m);
    }
}

kqttc_response::timeout_class_e kqttc_response::timeout_class(kqttc_command_e command)
{
    switch (command) {
    case 0xA0:
    case 0xA2:
    case 0xA4:
    case 0xA8:
    case 0xA9:
        return class_xl;
    case 0xA6:
    case 0xA7:
    case 0xFF:
        return class_l;
    default:
        return class_m;
    }
}

const char* kqttc_response::get_readline_term()
{
    return "\r\n";
}

int kqttc_response::expected_answer_bytes() const
{
    constexpr int line_bytes = 40; // "OK+", a few hex fields, the CRC field, CR LF
    constexpr int block_trailer = 10;
    if (_flow_mode == flow_binary_block)
        return int(_binary_length) + block_trailer;
    return line_bytes;
}

void kqttc_response::check_late_answer(const QString&)
{
}

const QStringList& kqttc_response::rws_strict_kqttc_strings()
{
    static const QStringList prefixes{QStringLiteral("OK+"), QStringLiteral("OK"),
                                      QStringLiteral("KQ+"), QStringLiteral("ERR+"),
                                      QStringLiteral("ERR"), QStringLiteral("+KQTTC")};
    return prefixes;
}

QString kqttc_response::accepted_prefix(const QString& line)
{
    for (const QString& p : rws_strict_kqttc_strings()) {
        if (line.startsWith(p))
            return p;
    }
    return {};
}

QString kqttc_response::answer_after_noise(const QString& line)
{
    // Only the module's own frame start is looked for: "OK" or "ERR" turn
    // up in noise, and the frame's CRC tells whether the rest is whole.
    const int at = line.indexOf(QLatin1String("KQ+"));
    return at > 0 ? line.mid(at) : QString();
}

void kqttc_response::_handle_error(proto_exception::exception_type_e type, unsigned short code,
                                   const QString& exec_context, const QString& message,
                                   proto_exception::retry_behaviour_e retry)
{
    if (message.contains(QLatin1String("+KQTTC")))
        type = proto_exception::pipe_error;
    throw proto_exception(type, code, exec_context, message, retry);
}

void kqttc_response::_handle_rssi(const QString& hex_field)
{
    _rssi = static_cast<int>(hex::parse(hex_field));
}

void kqttc_response::_reject(const QString& line, proto_exception::retry_behaviour_e retry) const
{
    _handle_error(proto_exception::command_response_error, static_cast<unsigned short>(_command),
                  _exec_context, line, retry);
}

QRegularExpressionMatch kqttc_response::_match(const QRegularExpression& pattern,
                                               const QString& line) const
{
    QRegularExpressionMatch m = pattern.match(line);
    if (!m.hasMatch())
        _reject(line);
    return m;
}

void kqttc_response::_expect_ok(const QString& line) const
{
    if (!line.startsWith(QLatin1String("OK")))
        _reject(line);
}

res_get_simple_text::res_get_simple_text(kqttc_request* request)
    : kqttc_response(QStringLiteral("res_get_simple_text"), 0xFF, 0, request)
{
}

void res_get_simple_text::parse_response(const QString& line)
{
    _text = line;
}

unsigned res_get_simple_text::get_media_timeout(const module_config_t&, kqttc_request*)
{
    return 800;
}

} // namespace kq::api::proto::kqttc
