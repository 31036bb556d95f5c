#include "uhf_params.h"

#include "ctl_error.h"

#include "panelkit/connection_route.h"
#include "panelkit/resource_manager.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/scw_properties.h"
#include "satcmd/strict_number.h"
#include "satcmd/uhf_module.h"

#include <QJsonArray>

#include <cmath>

namespace kq::ctl {

using namespace api::proto;
using kqttc::req_set_audio_beacon_midi;
using kqttc::req_set_audio_beacon_period;
using kqttc::req_set_dst_call_sign;
using kqttc::req_set_morse_code_call_sign;
using kqttc::req_set_src_call_sign;
using kqttc::req_set_text_beacon_message;

namespace {

using scw_source = std::function<scw_properties()>;

[[noreturn]] void refuse(const QString& name, const QString& value, const QString& why)
{
    throw ctl_error(exit_usage, QStringLiteral("%1=%2: %3").arg(name, value, why));
}

std::function<QVariant(const QString&)> number(const QString& name, int minimum, int maximum,
                                               bool allow_hex = false)
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
std::function<QVariant(const QString&)> text_checked_by(const QString& name)
{
    return [name](const QString& text) {
        try {
            Request check(0, text);
            (void)check;
        } catch (const proto_exception& e) {
            const gui::resource_manager texts;
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
    return QVariant::fromValue<qulonglong>(gui::mhz_to_hz(mhz));
}

QVariant parse_uart(const QString& text)
{
    static const QMap<QString, int> codes{
        {"9600", uart_baud_9600}, {"19200", uart_baud_19200}, {"115200", uart_baud_115200}};
    if (!codes.contains(text))
        refuse(QStringLiteral("uart-baud"), text, QStringLiteral("9600, 19200 or 115200"));
    return codes.value(text);
}

QVariant parse_rf_mode(const QString& text)
{
    const int index = gui::rf_mode_labels().indexOf(text.toUpper());
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

QString uart_text(uart_baud_e code)
{
    switch (code) {
    case uart_baud_9600:
        return QStringLiteral("9600");
    case uart_baud_19200:
        return QStringLiteral("19200");
    case uart_baud_115200:
        return QStringLiteral("115200");
    default:
        return QStringLiteral("code %1").arg(int(code));
    }
}

QString hex(uint32_t v, int width)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(v, width, 16, QLatin1Char('0')).toUpper();
}

uhf_param_t ro(const QString& name, const QString& caption,
               std::function<QJsonValue(uhf_module&, const scw_source&)> read)
{
    return {name, caption, QStringLiteral("read only"), std::move(read), nullptr, nullptr, nullptr};
}

} // namespace

const QVector<uhf_param_t>& uhf_params()
{
    using m = uhf_module&;
    using s = const scw_source&;
    static const QVector<uhf_param_t> table{
        ro("version", "version", [](m u, s) { return QJsonValue(u.get_version()); }),
        ro("uptime", "uptime", [](m u, s) { return QJsonValue(qint64(u.get_uptime())); }),
        ro("scw", "status control word",
           [](m, s scw) { return QJsonValue(hex(uint16_t(scw().get_value()), 4)); }),
        {"uart-baud", "UART baud rate", "9600, 19200 or 115200",
         [](m, s scw) { return QJsonValue(uart_text(scw().get_uart_baud())); }, parse_uart, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_uart_baud(uart_baud_e(v.toInt())); }},
        {"rf-mode", "RF mode", "0-7 or a label such as 2GFSK-9600-2400",
         [](m, s scw) { return QJsonValue(gui::rf_mode_labels().value(scw().get_rf_mode())); },
         parse_rf_mode, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_rf_mode(rf_mode_e(v.toInt())); }},
        {"beacon", "beacon enabled", "on or off",
         [](m, s scw) { return QJsonValue(scw().get_bcn()); }, parse_switch, nullptr,
         [](scw_properties& w, const QVariant& v) { w.set_bcn(v.toBool()); }},
        ro("boot", "boot",
           [](m, s scw) {
               return QJsonValue(scw().get_boot() ? QStringLiteral("Bootloader")
                                                  : QStringLiteral("Application"));
           }),
        ro("fram", "FRAM", [](m, s scw) { return QJsonValue(scw().get_fram() ? "OK" : "ERROR"); }),
        ro("rfts", "RFTS", [](m, s scw) { return QJsonValue(scw().get_rfts() ? "OK" : "ERROR"); }),
        ro("rssi", "RSSI", [](m u, s) { return QJsonValue(int(u.get_rssi())); }),
        ro("rx-packets", "RX packets", [](m u, s) { return QJsonValue(qint64(u.get_rx_pkts())); }),
        ro("rx-crc-errors", "RX packets with CRC errors",
           [](m u, s) { return QJsonValue(qint64(u.get_rx_crc_pkts())); }),
        ro("tx-packets", "TX packets", [](m u, s) { return QJsonValue(qint64(u.get_tx_pkts())); }),
        {"address", "device address", "0x01 to 0xFF",
         [](m u, s) { return QJsonValue(hex(u.get_dev_addr(), 2)); },
         number(QStringLiteral("address"), 1, 255, true),
         [](m u, const QVariant& v) { u.set_dev_addr(v.toUInt()); }, nullptr},
        {"pipe-timeout", "pipe timeout", "seconds, 5 to 60",
         [](m u, s) { return QJsonValue(int(u.get_pipe_timeout())); },
         number(QStringLiteral("pipe-timeout"), 5, 60),
         [](m u, const QVariant& v) { u.set_pipe_timeout(static_cast<unsigned char>(v.toInt())); },
         nullptr},
        {"freq", "radio frequency", "MHz, 400 to 440",
         [](m u, s) { return QJsonValue(double(u.get_rf()) / 1e6); }, parse_frequency,
         [](m u, const QVariant& v) { u.set_rf(static_cast<unsigned int>(v.toULongLong())); },
         nullptr},
        {"text-beacon", "text beacon", "text, at most 128 characters",
         [](m u, s) { return QJsonValue(u.get_text_beacon_message()); },
         text_checked_by<req_set_text_beacon_message>(QStringLiteral("text-beacon")),
         [](m u, const QVariant& v) { u.set_text_beacon_message(v.toString()); }, nullptr},
        {"text-beacon-period", "text beacon period", "seconds, 1 to 65535",
         [](m u, s) { return QJsonValue(int(u.get_text_beacon_period())); },
         number(QStringLiteral("text-beacon-period"), 1, 65535),
         [](m u, const QVariant& v) {
             u.set_text_beacon_period(static_cast<unsigned short>(v.toInt()));
         },
         nullptr},
        {"audio-beacon", "audio beacon", "notes such as 60C62D64E",
         [](m u, s) { return QJsonValue(u.get_audio_beacon_midi()); },
         text_checked_by<req_set_audio_beacon_midi>(QStringLiteral("audio-beacon")),
         [](m u, const QVariant& v) { u.set_audio_beacon_midi(v.toString()); }, nullptr},
        {"audio-beacon-period", "audio beacon period", "seconds: 0 (off) or 30 to 65535",
         [](m u, s) { return QJsonValue(int(u.get_audio_beacon_period())); }, parse_audio_period,
         [](m u, const QVariant& v) {
             u.set_audio_beacon_period(static_cast<unsigned short>(v.toInt()));
         },
         nullptr},
        {"src-call", "source call sign", "at most 6 characters",
         [](m u, s) { return QJsonValue(u.get_src_call_sign()); },
         text_checked_by<req_set_src_call_sign>(QStringLiteral("src-call")),
         [](m u, const QVariant& v) { u.set_src_call_sign(v.toString()); }, nullptr},
        {"dst-call", "destination call sign", "at most 6 characters",
         [](m u, s) { return QJsonValue(u.get_dst_call_sign()); },
         text_checked_by<req_set_dst_call_sign>(QStringLiteral("dst-call")),
         [](m u, const QVariant& v) { u.set_dst_call_sign(v.toString()); }, nullptr},
        {"morse", "morse code", "dots, dashes and blanks, at most 40",
         [](m u, s) { return QJsonValue(u.get_morse_code_call_sign()); },
         text_checked_by<req_set_morse_code_call_sign>(QStringLiteral("morse")),
         [](m u, const QVariant& v) { u.set_morse_code_call_sign(v.toString()); }, nullptr},
    };
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

} // namespace kq::ctl
