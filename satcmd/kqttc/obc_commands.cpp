#include "satcmd/kqttc/obc_commands.h"

#include "satcmd/kqttc/detail/command_definitions.h"

#include <QLoggingCategory>

#include <map>

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_obc, "kq.obc")

KQ_PATTERN(time_answer, "^\\s*OK\\s+TIME\\s+([0-9]{2}):([0-9]{2}):([0-9]{2})\\s*$")
KQ_PATTERN(date_answer,
           "^\\s*OK\\s+DATE\\s+YY/MM/DD\\s+([0-9]+)\\s*/\\s*([0-9]+)\\s*/\\s*([0-9]+)\\s*$")
KQ_PATTERN(mode_answer, "^OK\\+([a-zA-Z]{4})\\s*(.*?)$")
KQ_PATTERN(checksum_answer, "^OK\\+([0-9A-F]{8})\\s*([0-9A-F]{8})$")
// Its end anchor tells it from the checksum answer, which begins alike.
KQ_PATTERN(open_size_answer, "^OK\\+([0-9A-F]{8})$")

// HHMMSS or YYMMDD, each digit sent as its ASCII code in hex ("7" as "37").
QString six_digits(int a, int b, int c)
{
    const QString digits = QString::asprintf("%02d%02d%02d", a, b, c);
    QString out = QStringLiteral("06");
    for (const QChar d : digits)
        out += QLatin1Char('3') + d;
    return out;
}

int decimal(const QString& text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok)
        hex::invalid();
    return v;
}

} // namespace

// The clock's write answers, with a remark that is not the read's value.
const QRegularExpression& time_set_answer()
{
    static const QRegularExpression rx(
        QStringLiteral("^\\s*OK\\s+TIME(?:\\s+(?![0-9]{1,2}\\s*:)\\S.*?)?\\s*$"));
    return rx;
}

const QRegularExpression& date_set_answer()
{
    static const QRegularExpression rx(
        QStringLiteral("^\\s*OK\\s+DATE(?:\\s+(?!YY/)\\S.*?)?\\s*$"));
    return rx;
}

uint8_t obc_block_sum(const QByteArray& data)
{
    unsigned sum = 0;
    for (const char b : data)
        sum += uint8_t(b);
    return uint8_t(sum);
}

obc_file_request::obc_file_request(const QString& exec_context, unsigned int device_address,
                                   kqttc_command_e command, const QString& letters,
                                   const QString& argument)
    : obc_kqttc_request(exec_context, device_address, command)
    , _letters(letters)
    , _argument(argument)
{
    _require_plain_text(argument, "INVALID_FILE_NAME");
}

QString obc_file_request::create_string_request()
{
    return QLatin1String("KQ+D") + hex::field(get_device_address(), 2) + _letters + _argument;
}

// Date and time.

res_get_time::res_get_time(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_get_time"), obc_cmd::get_time, time_answer(), 0,
                             request)
{
}

void res_get_time::_take(const QRegularExpressionMatch& m)
{
    _time = QTime(decimal(m.captured(1)), decimal(m.captured(2)), decimal(m.captured(3)));
}

req_set_time::req_set_time(unsigned int device_address, const QTime& time)
    : kqttc_write_request(QStringLiteral("req_set_time"), device_address, obc_cmd::set_time)
    , _time(time)
{
}

QString req_set_time::_value() const
{
    return six_digits(_time.hour(), _time.minute(), _time.second());
}

res_get_date::res_get_date(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_get_date"), obc_cmd::get_date, date_answer(), 0,
                             request)
{
}

void res_get_date::_take(const QRegularExpressionMatch& m)
{
    _date = QDate(2000 + decimal(m.captured(1)), decimal(m.captured(2)), decimal(m.captured(3)));
}

req_set_date::req_set_date(unsigned int device_address, const QDate& date)
    : kqttc_write_request(QStringLiteral("req_set_date"), device_address, obc_cmd::set_date)
    , _yy(date.year() - 2000)
    , _month(date.month())
    , _day(date.day())
{
    if (!date.isValid() || date.year() < 2000 || date.year() > 2099)
        _reject("INVALID_DATE");
    qCDebug(lc_obc, "%s: hey", qPrintable(date.toString()));
}

QString req_set_date::_value() const
{
    return six_digits(_yy, _month, _day);
}

// Boot mode.

req_get_obc_mode::req_get_obc_mode(unsigned int device_address)
    : kqttc_read_request(QStringLiteral("req_get_obc_mode"), device_address, obc_cmd::obc_mode)
{
    _format |= cr_before_crc;
}

res_get_obc_mode::res_get_obc_mode(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_get_obc_mode"), obc_cmd::obc_mode, mode_answer(),
                             0, request)
{
}

void res_get_obc_mode::_take(const QRegularExpressionMatch& m)
{
    const QString word = m.captured(1);
    if (word == QLatin1String("BOOT"))
        _mode = obc_mode_boot;
    else if (word == QLatin1String("APPL"))
        _mode = obc_mode_appl;
    else
        _reject(m.captured(0));
}

req_set_obc_mode::req_set_obc_mode(unsigned int device_address, obc_mode_e mode)
    : kqttc_request(QStringLiteral("req_set_obc_mode"), device_address, obc_cmd::obc_mode)
    , _mode(mode)
{
}

QString req_set_obc_mode::create_string_request()
{
    return write_prefix() + QLatin1String("01") + hex::field(uint8_t(_mode), 2) + QLatin1Char('\r');
}

res_set_obc_mode::res_set_obc_mode(kqttc_request* request)
    : kqttc_response(QStringLiteral("res_set_obc_mode"), obc_cmd::obc_mode, 0, request)
{
    _flow_mode = flow_multi_line;
}

void res_set_obc_mode::_check_error(const QString& line) const
{
    if (line.startsWith(QLatin1String("ERR")))
        throw proto_exception(proto_exception::general_error, obc_cmd::obc_mode,
                              QStringLiteral("parse_response"), line, proto_exception::retry);
}

void res_set_obc_mode::parse_response(const QString& line)
{
    qCDebug(lc_obc, "res_set_obc_mode: %s", qPrintable(line));
    if (line.startsWith(QLatin1String("OK+")))
        _success = true;
    _check_error(line);
}

unsigned res_set_obc_mode::get_command_retries(const module_config_t&, kqttc_request*)
{
    return 0;
}

bool res_set_obc_mode::parse_multi_line(const QString& line)
{
    if (line.startsWith(QLatin1String("OK+")) && line.contains(QLatin1String("initialisation")))
        _success = true;
    _check_error(line);
    qCDebug(lc_obc, "OBC_MODE success=%s line=%s", _success ? "t" : "f", qPrintable(line));
    return _success;
}

// Files.

res_obc_checksum::res_obc_checksum(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_obc_checksum"), obc_cmd::file_checksum,
                             checksum_answer(), 0, request)
{
}

void res_obc_checksum::_take(const QRegularExpressionMatch& m)
{
    _checksum = uint32_t(hex::parse(m.captured(1)));
    _size = uint32_t(hex::parse(m.captured(2)));
}

QString req_obc_file_open::mode_letter(obc_file_open_mode_e mode)
{
    static const std::map<obc_file_open_mode_e, QString> letters{
        {open_read, QStringLiteral("I")},
        {open_write, QStringLiteral("O")},
        {open_append, QStringLiteral("E")},
    };
    return letters.at(mode);
}

req_obc_file_open::req_obc_file_open(unsigned int device_address, const QString& name,
                                     obc_file_open_mode_e mode)
    : obc_file_request(QStringLiteral("req_obc_file_open"), device_address, obc_cmd::file_open,
                       QLatin1Char('F') + mode_letter(mode), name)
{
}

res_obc_file_open::res_obc_file_open(obc_file_open_mode_e mode, kqttc_request* request)
    : kqttc_response(QStringLiteral("res_obc_file_open"), obc_cmd::file_open, 0, request)
    , _mode(mode)
{
}

void res_obc_file_open::parse_response(const QString& line)
{
    if (_mode != open_read) {
        if (!remarked_ok_answer().match(line).hasMatch())
            _reject(line);
        return;
    }
    const QRegularExpressionMatch m = _match(open_size_answer(), line);
    _size = uint32_t(hex::parse(m.captured(1)));
}

req_obc_file_close::req_obc_file_close(unsigned int device_address)
    : obc_file_request(QStringLiteral("req_obc_file_close"), device_address, obc_cmd::file_close,
                       QStringLiteral("FC"), QString())
{
}

req_obc_read::req_obc_read(unsigned int device_address, uint32_t pos, uint16_t length)
    : obc_file_request(QStringLiteral("req_obc_read"), device_address, obc_cmd::file_read,
                       QStringLiteral("FR"), hex::field(pos, 8) + hex::field(length, 4))
    , _pos(pos)
    , _length(length)
{
}

res_obc_read::res_obc_read(uint16_t length, kqttc_request* request)
    : kqttc_response(QStringLiteral("res_obc_read"), obc_cmd::file_read, length + 1u, request)
{
    _flow_mode = flow_binary_block;
}

void res_obc_read::parse_response(const QString&)
{
    throw proto_exception(proto_exception::command_response_error, obc_cmd::file_read,
                          get_exec_context(), QStringLiteral("NOT_IMPLEMENTED"),
                          proto_exception::retry);
}

void res_obc_read::parse_response(const QByteArray& data)
{
    const int n = int(get_binary_response_length()) - 1;
    // More bytes than asked for mean a frame that does not fit: refuse it
    // rather than take its tail for the sum.
    if (n < 0 || data.size() != n + 1)
        _reject(QStringLiteral("BLOCK_LENGTH"));
    const QByteArray block = data.left(n);
    if (obc_block_sum(block) != uint8_t(data.at(n)))
        throw proto_exception(proto_exception::crc_error, 0, get_exec_context(),
                              QStringLiteral("CRC_ERROR"), proto_exception::retry);
    _data = block;
}

req_obc_write::req_obc_write(unsigned int device_address, const QByteArray& data, uint32_t pos)
    : kqttc_request(QStringLiteral("req_obc_write"), device_address, obc_cmd::file_write)
    , _data(data)
    , _pos(pos)
{
    if (data.size() > 0xFFFF)
        _reject("INVALID_DATA_LENGTH"); // its length travels as four hex digits
    _flow_mode = flow_binary;
}

QByteArray req_obc_write::create_binary_request()
{
    QByteArray frame =
        (QLatin1String("KQ+D") + hex::field(get_device_address(), 2) + QLatin1String("FW") +
         hex::field(_pos, 8) + hex::field(_data.size(), 4) + QLatin1Char('\r'))
            .toUtf8();
    frame += _data;
    frame += char(obc_block_sum(_data));
    return frame;
}

} // namespace kq::api::proto::kqttc
