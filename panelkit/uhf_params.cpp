#include "panelkit/uhf_params.h"

#include "panelkit/connection_route.h"
#include "panelkit/resource_manager.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/scw_properties.h"
#include "satcmd/strict_number.h"
#include "satcmd/uhf_module.h"

namespace kq::gui {

using namespace api::proto;
using kqttc::req_set_audio_beacon_midi;
using kqttc::req_set_audio_beacon_period;
using kqttc::req_set_dst_call_sign;
using kqttc::req_set_morse_code_call_sign;
using kqttc::req_set_src_call_sign;
using kqttc::req_set_text_beacon_message;

namespace {

using m = uhf_module&;
using s = const uhf_param_t::scw_source&;
using parser = std::function<QVariant(const QString&)>;

[[noreturn]] void refuse(const QString& name, const QString& value, const QString& why)
{
    throw param_value_error(QStringLiteral("%1=%2: %3").arg(name, value, why).toStdString());
}

parser number(const QString& name, int minimum, int maximum, bool allow_hex = false)
{
    return [=](const QString& text) {
        int value = 0;
        if (!strict_number::to_int(text, value, minimum, maximum, allow_hex))
            refuse(name, text,
                   QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum));
        return QVariant(value);
    };
}

// A text checked by building its request: the protocol layer's own rules
// refuse it before anything goes on the wire.
template<typename Request>
parser text_checked_by(const QString& name)
{
    return [name](const QString& text) {
        try {
            Request check(0, text);
            (void)check;
        } catch (const proto_exception& e) {
            const resource_manager texts;
            refuse(name, text,
                   texts.get_error_descriptor_string(error_descriptor(nullptr, &e, nullptr)));
        }
        return QVariant(text);
    };
}

QVariant parse_audio_period(const QString& text)
{
    const QVariant v = number(QStringLiteral("audio-beacon-period"), 0, 65535)(text);
    try {
        req_set_audio_beacon_period check(0, static_cast<unsigned short>(v.toInt()));
        (void)check;
    } catch (const proto_exception&) {
        refuse(QStringLiteral("audio-beacon-period"), text,
               QStringLiteral("0, or from 30 to 65535"));
    }
    return v;
}

QVariant parse_frequency(const QString& text)
{
    double mhz = 0.0;
    if (!strict_number::to_real(text, mhz) || mhz < 400.0 || mhz > 440.0)
        refuse(QStringLiteral("freq"), text, QStringLiteral("MHz from 400 to 440"));
    return QVariant::fromValue<qulonglong>(mhz_to_hz(mhz));
}

QVariant parse_uart(const QString& text)
{
    for (const auto& speed : uart_speeds()) {
        if (speed.first == text)
            return speed.second;
    }
    refuse(QStringLiteral("uart-baud"), text, QStringLiteral("9600, 19200 or 115200"));
}

QVariant parse_rf_mode(const QString& text)
{
    const int index = rf_mode_labels().indexOf(text.toUpper());
    if (index >= 0)
        return index;
    return number(QStringLiteral("rf-mode"), 0, 7)(text);
}

QVariant parse_switch(const QString& text)
{
    const QString t = text.toLower();
    if (t == QLatin1String("on") || t == QLatin1String("1") || t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("off") || t == QLatin1String("0") || t == QLatin1String("false"))
        return false;
    refuse(QStringLiteral("beacon"), text, QStringLiteral("on or off"));
}

QString uart_text(int code)
{
    for (const auto& speed : uart_speeds()) {
        if (speed.second == code)
            return speed.first;
    }
    return QStringLiteral("code %1").arg(code);
}

QString hex(uint32_t v, int width)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0')).toUpper();
}

// How values look in the driver's units.
QJsonValue as_is(const QVariant& v)
{
    return QJsonValue::fromVariant(v);
}
QJsonValue as_count(const QVariant& v)
{
    return QJsonValue(qint64(v.toULongLong()));
}
// On the synthesiser's grid, as the transceiver stores and reports it, so
// that a value written compares equal to its read-back.
QJsonValue as_mhz(const QVariant& v)
{
    const qulonglong hz = v.toULongLong();
    if (!kqttc::req_set_rf::fits_synthesiser(hz))
        return QJsonValue(double(hz) / 1e6);
    return QJsonValue(
        double(kqttc::res_get_rf::si4463_to_freq(kqttc::req_set_rf::freq_to_si4463(hz))) / 1e6);
}
QJsonValue as_address(const QVariant& v)
{
    return QJsonValue(hex(v.toUInt(), 2));
}

// The names, captions and help of the table are ASCII.
QString ascii(const char* text)
{
    return QString::fromLatin1(text);
}

uhf_param_t ro(uint32_t id, const char* name, const char* caption,
               std::function<QVariant(m, s)> read,
               std::function<QJsonValue(const QVariant&)> json = as_is)
{
    return {id,      ascii(name),     ascii(caption),  QStringLiteral("read only"),
            0,       std::move(read), std::move(json), nullptr,
            nullptr, nullptr};
}

// A text parameter with a command of its own, checked by its request.
template<typename Request>
uhf_param_t text(uint32_t id, const char* name, const char* caption, const char* help,
                 int max_length, QString (uhf_module::*get)(),
                 void (uhf_module::*set)(const QString&))
{
    return {id,
            ascii(name),
            ascii(caption),
            ascii(help),
            max_length,
            [get](m u, s) { return QVariant((u.*get)()); },
            as_is,
            text_checked_by<Request>(ascii(name)),
            [set](m u, const QVariant& v) { (u.*set)(v.toString()); },
            nullptr};
}

// A value the table would refuse to write is none the transceiver holds:
// an answer of the same shape to another command, come late. It is read
// once more, and then refused as a read error, never shown or saved.
QVector<uhf_param_t> with_checked_reads(QVector<uhf_param_t> table)
{
    for (uhf_param_t& p : table) {
        if (!p.writable())
            continue;
        p.read = [p](m u, s scw) {
            QString why;
            for (int attempt = 0; attempt < 2; ++attempt) {
                const QVariant v = p.read(u, scw);
                try {
                    p.from_json(p.json(v));
                    return v;
                } catch (const param_value_error& e) {
                    why = QString::fromStdString(e.what());
                }
            }
            throw proto_exception(proto_exception::invalid_result, 0, p.name,
                                  QStringLiteral("VALUE_REFUSED ") + why, proto_exception::retry);
        };
    }
    return table;
}

} // namespace

QVariant uhf_param_t::from_json(const QJsonValue& value) const
{
    if (!parse)
        throw param_value_error(QStringLiteral("%1 is read only").arg(name).toStdString());
    if (!value.isString() && !value.isDouble() && !value.isBool())
        refuse(name, QStringLiteral("(not a value)"), help);
    return parse(value_text(value));
}

const QVector<uhf_param_t>& uhf_params()
{
    using ids = uhf_ids;
    static const QVector<uhf_param_t> table = with_checked_reads({
        ro(ids::version, "version", "version", [](m u, s) { return QVariant(u.get_version()); }),
        ro(
            ids::uptime, "uptime", "uptime", [](m u, s) { return QVariant(uint(u.get_uptime())); },
            as_count),
        ro(
            ids::scw, "scw", "status control word",
            [](m, s scw) { return QVariant(uint(uint16_t(scw().get_value()))); },
            [](const QVariant& v) { return QJsonValue(hex(v.toUInt(), 4)); }),
        {ids::uart_baud_rate, QStringLiteral("uart-baud"), QStringLiteral("UART baud rate"),
         QStringLiteral("9600, 19200 or 115200"), 0,
         [](m, s scw) { return QVariant(int(scw().get_uart_baud())); },
         [](const QVariant& v) { return QJsonValue(uart_text(v.toInt())); }, parse_uart, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_uart_baud(uart_baud_e(v.toInt())); }},
        {ids::rf_mode, QStringLiteral("rf-mode"), QStringLiteral("RF mode"),
         QStringLiteral("0-7 or a label such as 2GFSK-9600-2400"), 0,
         [](m, s scw) { return QVariant(int(scw().get_rf_mode())); },
         [](const QVariant& v) { return QJsonValue(rf_mode_labels().value(v.toInt())); },
         parse_rf_mode, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_rf_mode(rf_mode_e(v.toInt())); }},
        {ids::beacon_enabled, QStringLiteral("beacon"), QStringLiteral("beacon enabled"),
         QStringLiteral("on or off"), 0, [](m, s scw) { return QVariant(scw().get_bcn()); }, as_is,
         parse_switch, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_bcn(v.toBool()); }},
        ro(ids::boot, "boot", "boot",
           [](m, s scw) {
               return QVariant(scw().get_boot() ? QStringLiteral("Bootloader")
                                                : QStringLiteral("Application"));
           }),
        ro(ids::fram, "fram", "FRAM",
           [](m, s scw) { return QVariant(QLatin1String(scw().get_fram() ? "OK" : "ERROR")); }),
        ro(ids::rfts, "rfts", "RFTS",
           [](m, s scw) { return QVariant(QLatin1String(scw().get_rfts() ? "OK" : "ERROR")); }),
        // Measured with an answer of the addressed transceiver, not whatever
        // answered last (a relay while connecting, nothing yet on a direct
        // line): its status word's, read for a walk once.
        ro(ids::rssi, "rssi", "RSSI",
           [](m u, s scw) {
               scw();
               return QVariant(int(u.get_rssi()));
           }),
        ro(
            ids::rx_packets, "rx-packets", "RX packets",
            [](m u, s) { return QVariant(uint(u.get_rx_pkts())); }, as_count),
        ro(
            ids::rx_crc_errors, "rx-crc-errors", "RX packets with CRC errors",
            [](m u, s) { return QVariant(uint(u.get_rx_crc_pkts())); }, as_count),
        ro(
            ids::tx_packets, "tx-packets", "TX packets",
            [](m u, s) { return QVariant(uint(u.get_tx_pkts())); }, as_count),
        {ids::device_address, QStringLiteral("address"), QStringLiteral("device address"),
         QStringLiteral("0x01 to 0xFF"), 0, [](m u, s) { return QVariant(uint(u.get_dev_addr())); },
         as_address, number(QStringLiteral("address"), 1, 255, true),
         [](m u, const QVariant& v) { u.set_dev_addr(v.toUInt() & 0xFF); }, nullptr},
        {ids::pipe_timeout, QStringLiteral("pipe-timeout"), QStringLiteral("pipe timeout"),
         QStringLiteral("seconds, 5 to 60"), 0,
         [](m u, s) { return QVariant(uint(u.get_pipe_timeout())); }, as_count,
         number(QStringLiteral("pipe-timeout"), 5, 60),
         [](m u, const QVariant& v) { u.set_pipe_timeout(static_cast<unsigned char>(v.toUInt())); },
         nullptr},
        {ids::radio_frequency, QStringLiteral("freq"), QStringLiteral("radio frequency"),
         QStringLiteral("MHz, 400 to 440"), 0,
         [](m u, s) { return QVariant(qulonglong(u.get_rf())); }, as_mhz, parse_frequency,
         [](m u, const QVariant& v) { u.set_rf(static_cast<unsigned int>(v.toULongLong())); },
         nullptr},
        text<req_set_text_beacon_message>(
            ids::text_beacon, "text-beacon", "text beacon", "text, at most 128 characters", 128,
            &uhf_module::get_text_beacon_message, &uhf_module::set_text_beacon_message),
        {ids::text_beacon_period, QStringLiteral("text-beacon-period"),
         QStringLiteral("text beacon period"), QStringLiteral("seconds, 1 to 65535"), 0,
         [](m u, s) { return QVariant(uint(u.get_text_beacon_period())); }, as_count,
         number(QStringLiteral("text-beacon-period"), 1, 65535),
         [](m u, const QVariant& v) {
             u.set_text_beacon_period(static_cast<unsigned short>(v.toUInt()));
         },
         nullptr},
        text<req_set_audio_beacon_midi>(
            ids::audio_beacon, "audio-beacon", "audio beacon", "notes such as 60C62D64E", 128,
            &uhf_module::get_audio_beacon_midi, &uhf_module::set_audio_beacon_midi),
        {ids::audio_beacon_period, QStringLiteral("audio-beacon-period"),
         QStringLiteral("audio beacon period"), QStringLiteral("seconds: 0 (off) or 30 to 65535"),
         0, [](m u, s) { return QVariant(uint(u.get_audio_beacon_period())); }, as_count,
         parse_audio_period,
         [](m u, const QVariant& v) {
             u.set_audio_beacon_period(static_cast<unsigned short>(v.toUInt()));
         },
         nullptr},
        text<req_set_src_call_sign>(ids::src_call_sign, "src-call", "source call sign",
                                    "at most 6 characters", 6, &uhf_module::get_src_call_sign,
                                    &uhf_module::set_src_call_sign),
        text<req_set_dst_call_sign>(ids::dst_call_sign, "dst-call", "destination call sign",
                                    "at most 6 characters", 6, &uhf_module::get_dst_call_sign,
                                    &uhf_module::set_dst_call_sign),
        text<req_set_morse_code_call_sign>(
            ids::morse_code, "morse", "morse code", "dots, dashes and blanks, at most 40", 40,
            &uhf_module::get_morse_code_call_sign, &uhf_module::set_morse_code_call_sign),
    });
    return table;
}

const uhf_param_t* find_uhf_param(const QString& name)
{
    for (const uhf_param_t& p : uhf_params()) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

const uhf_param_t* find_uhf_param(uint32_t id)
{
    for (const uhf_param_t& p : uhf_params()) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

QString value_text(const QJsonValue& v)
{
    if (v.isBool())
        return v.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    if (v.isDouble()) {
        const double d = v.toDouble();
        return d == double(qint64(d)) ? QString::number(qint64(d)) : QString::number(d, 'g', 12);
    }
    return v.toString();
}

const QVector<QPair<QString, int>>& uart_speeds()
{
    static const QVector<QPair<QString, int>> speeds{{QStringLiteral("9600"), uart_baud_9600},
                                                     {QStringLiteral("19200"), uart_baud_19200},
                                                     {QStringLiteral("115200"), uart_baud_115200}};
    return speeds;
}

} // namespace kq::gui
