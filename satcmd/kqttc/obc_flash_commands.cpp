#include "satcmd/kqttc/obc_flash_commands.h"

#include "serline/serial_port_atomic.h"

#include <QLoggingCategory>

#include <algorithm>

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_obc_flash, "kq.obc")

unsigned percent_of(unsigned value, unsigned factor)
{
    return unsigned(value * factor / 100.0);
}

} // namespace

QString req_obc_flash::checked_name(const QString& name)
{
    const QString upper = name.toUpper();
    if (!upper.endsWith(QLatin1String(".BIN")) && !upper.endsWith(QLatin1String(".SCM")))
        throw proto_exception(proto_exception::parameter_error, obc_cmd::flash,
                              QStringLiteral("NOT_DEFINED"), QString(), proto_exception::retry);
    return upper;
}

req_obc_flash::req_obc_flash(unsigned int device_address, const QString& name)
    : obc_file_request(QStringLiteral("req_obc_flash"), device_address, obc_cmd::flash,
                       checked_name(name).endsWith(QLatin1String(".BIN")) ? QStringLiteral("FB")
                                                                          : QStringLiteral("FA"),
                       checked_name(name))
{
}

res_obc_flash::res_obc_flash(flash_progress_t& progress, unsigned int start, unsigned int end,
                             kqttc_request* request)
    : kqttc_response(QStringLiteral("res_obc_flash"), obc_cmd::flash, 0, request)
    , _progress(progress)
    , _counter(percent_of(start, 90))
    , _total(unsigned((9000 - 90 * end) / 100.0) + percent_of(start, 90) + 90)
    , _keys{{QStringLiteral("__FLASHING__"), QStringLiteral("Begin")},
            {QStringLiteral("Calculating checksum"), QStringLiteral("Calculating checksum")},
            {QStringLiteral("Erasing FLASH"), QStringLiteral("Erasing FLASH")},
            {QStringLiteral("Writing flash memory"), QStringLiteral("Writing FLASH")},
            {QStringLiteral("BLANK"), QStringLiteral("BLANK")}}
    , _start(start)
    , _end(end)
{
    _flow_mode = flow_binary_stream;
}

void res_obc_flash::parse_response(const QString& line)
{
    _reject(line);
}

unsigned res_obc_flash::get_command_retries(const module_config_t&, kqttc_request*)
{
    return 0;
}

unsigned res_obc_flash::get_media_timeout(const module_config_t&, kqttc_request*)
{
    return 15000;
}

const char* res_obc_flash::get_readline_term()
{
    return "\r\n*";
}

// True when the line reports the end of the flash. The stars of the
// progress may run on into the line that ends it.
bool res_obc_flash::_take_line(const QString& raw)
{
    int stars = 0;
    while (stars < raw.size() && raw.at(stars) == QLatin1Char('*'))
        ++stars;
    const QString line = raw.mid(stars);
    for (auto it = _keys.constBegin(); it != _keys.constEnd(); ++it) {
        if (!it.key().isEmpty() && line.contains(it.key()))
            _key = it.key();
    }
    if (line.contains(QLatin1String("ERR+")))
        _reject(line);
    return line.startsWith(QLatin1String("OK+")) &&
           line.contains(QLatin1String("Flashing completed"));
}

// Every star is a step, however many come in one chunk.
bool res_obc_flash::parse_binary_chunk(const QByteArray& chunk)
{
    if (!_started && chunk.startsWith('*')) {
        _started = true;
        _counter += percent_of(_start, 600);
        _total = percent_of(_start, 600) + unsigned((60000 - 600 * _end) / 100.0) + 600;
    }
    _buffer += chunk;
    _counter += unsigned(std::max(1, int(chunk.count('*'))));
    // Lines that arrive together in one chunk each report their step, so
    // that no step is skipped on a busy line.
    bool any_line = false;
    QString line;
    while (serial_port_atomic::extract_line_from_byte_array(_buffer, line, "\r\n")) {
        if (line.isEmpty())
            continue; // the LF of a CR LF
        any_line = true;
        if (_take_line(line)) {
            _progress(QStringLiteral("Flashing completed successfully"), 90, 100);
            return true;
        }
        _report_step();
    }
    if (!any_line)
        _report_step();
    return false;
}

void res_obc_flash::_report_step()
{
    qCDebug(lc_obc_flash, "current step=%d", int(_counter));
    const QString text = _keys[_key]; // an unknown key shows as ""
    const bool below_end = _end > (_counter / _total) * 100;
    _progress(QStringLiteral("Flashing (%1)").arg(text), below_end ? _counter : _end,
              below_end ? _total : 100);
}

bool res_obc_flash::parse_multi_line(const QString& line)
{
    qCDebug(lc_obc_flash, "res_obc_flash::parse_multi_line=%s", qPrintable(line));
    return _take_line(line);
}

} // namespace kq::api::proto::kqttc
