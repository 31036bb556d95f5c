#pragma once

#include "satcmd/kqttc/kqttc_request.h"
#include "satcmd/module_config.h"
#include "satcmd/proto_exception.h"
#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kq::api::proto::kqttc {

// Base of every answer. The engine reads according to the flow mode and hands
// the answer to the matching parse entry; the class says how long to wait and
// how often the command may be repeated.
class SATCMD_EXPORT kqttc_response
{
public:
    enum flow_mode_e : unsigned {
        flow_single_line = 0,
        flow_multi_line = 1,
        flow_binary_block = 2,
        flow_binary_stream = 3,
    };

    // The base classes of waiting and repeating; XS and S are reached only
    // through overrides.
    enum timeout_class_e { class_xs, class_s, class_m, class_l, class_xl };
    static timeout_class_e timeout_class(kqttc_command_e command);

    kqttc_response(const QString& exec_context, kqttc_command_e command,
                   unsigned int binary_response_length = 0, kqttc_request* request = nullptr);
    virtual ~kqttc_response();

    virtual bool parse_multi_line(const QString& line);
    virtual bool parse_binary_chunk(const QByteArray& chunk);
    virtual void parse_response(const QString& line) = 0;
    virtual void parse_response(const QByteArray& data);
    virtual unsigned get_command_retries(const module_config_t& config, kqttc_request* request);
    virtual unsigned get_media_timeout(const module_config_t& config, kqttc_request* request);
    virtual const char* get_readline_term();
    // Bytes the answer is expected to take on the wire, CRC field included:
    // with the request's, what the engine's link timing waits for.
    virtual int expected_answer_bytes() const;
    // A further answer to this command that came after the one taken (an
    // earlier attempt's, late). Throws when it changes the outcome; by
    // default it does not.
    virtual void check_late_answer(const QString& line);
    // Answers of responses with the same shape may be taken for each other:
    // the engine never probes the line with one whose shape is still owed.
    virtual QString answer_shape() const { return _exec_context; }

    unsigned int get_flow_mode() const { return _flow_mode; }
    unsigned int get_binary_response_length() const { return _binary_length; }
    void set_binary_response_length(const unsigned int& length) { _binary_length = length; }
    kqttc_command_e get_command() const { return _command; }
    int get_rssi() const { return _rssi; }
    const QString& get_exec_context() const { return _exec_context; }

    // Prefixes of single-line answers; any other line is an echo or noise.
    static const QStringList& rws_strict_kqttc_strings();
    // The accepted prefix the line begins with, or an empty string.
    static QString accepted_prefix(const QString& line);
    // A "KQ+" frame that follows bytes of something else on the same line
    // (a beacon's bits, noise); empty when there is none.
    static QString answer_after_noise(const QString& line);

    // Never returns. A message holding "+KQTTC" means the near transceiver
    // answered instead of the far end: a pipe_error.
    [[noreturn]] static void _handle_error(proto_exception::exception_type_e type,
                                           unsigned short code, const QString& exec_context,
                                           const QString& message,
                                           proto_exception::retry_behaviour_e retry);
    void _handle_rssi(const QString& hex_field);

protected:
    // The answer line did not fit: command_response_error with this class's
    // code and context, carrying the line (or pipe_error, see _handle_error).
    [[noreturn]] void
    _reject(const QString& line,
            proto_exception::retry_behaviour_e retry = proto_exception::retry) const;
    // Matches the whole pattern or rejects the line.
    QRegularExpressionMatch _match(const QRegularExpression& pattern, const QString& line) const;
    // A write answer: accepted when it begins with "OK".
    void _expect_ok(const QString& line) const;

    unsigned int _flow_mode = flow_single_line;
    kqttc_request* _request;

private:
    kqttc_command_e _command;
    int _rssi = 0;
    QString _exec_context;
    unsigned int _binary_length;
};

// An answer taken as it stands, with a fixed timeout of 800 ms.
class SATCMD_EXPORT res_get_simple_text : public kqttc_response
{
public:
    explicit res_get_simple_text(kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    unsigned get_media_timeout(const module_config_t& config, kqttc_request* request) override;
    const QString& get_simple_text() const { return _text; }

private:
    QString _text;
};

} // namespace kq::api::proto::kqttc
