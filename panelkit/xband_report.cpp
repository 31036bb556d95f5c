#include "panelkit/xband_report.h"

#include "satcmd/xband_types.h"

#include <QStringList>

namespace kq::gui {

using api::proto::xband_full_report_t;
using api::proto::xband_simple_report_t;
using r = const xband_full_report_t&;

namespace {

xband_report_field_t whole(const char* name, const char* caption, const QString& unit,
                           bool in_simple, std::function<double(r)> value)
{
    return {QLatin1String(name), QLatin1String(caption), unit, in_simple, false, std::move(value)};
}

xband_report_field_t real(const char* name, const char* caption, const QString& unit,
                          std::function<double(r)> value)
{
    return {QLatin1String(name), QLatin1String(caption), unit, false, true, std::move(value)};
}

xband_report_field_t status_byte(int i)
{
    return {QStringLiteral("status-%1").arg(i),
            QStringLiteral("Status byte %1").arg(i),
            QString(),
            false,
            false,
            [i](r x) { return double(x.report_bytes[i]); }};
}

QVector<xband_report_field_t> make_fields()
{
    const QString percent = QStringLiteral("%");
    const QString celsius = QStringLiteral("\u00b0C");
    QVector<xband_report_field_t> t{
        whole("state", "State", QString(), true, [](r x) { return double(x.report_byte_0); }),
        whole("tx-power", "Transmit power", QStringLiteral("dBm"), true,
              [](r x) { return double(x.report_byte_1); }),
        whole("uptime", "Uptime", QStringLiteral("s"), true,
              [](r x) { return double(x.report_word_0); }),
        whole("pa-current", "PA current", QStringLiteral("mA"), true,
              [](r x) { return double(x.report_word_1); }),
        whole("send-progress", "Sending", percent, false,
              [](r x) { return double(x.report_bytes[0]); }),
        whole("update-progress", "Firmware update", percent, false,
              [](r x) { return double(x.report_bytes[1]); }),
    };
    for (int i = 2; i < 10; ++i)
        t.append(status_byte(i));
    t += {whole("files", "Stored files", QString(), false,
                [](r x) { return double(x.report_word_2); }),
          whole("status-word", "Status word", QString(), false,
                [](r x) { return double(x.report_word_3); }),
          real("board-temp", "Board temperature", celsius,
               [](r x) { return double(x.report_float_0); }),
          real("supply", "Supply voltage", QStringLiteral("V"),
               [](r x) { return double(x.report_float_1); }),
          real("pa-temp", "PA temperature", celsius, [](r x) { return double(x.report_float_2); }),
          real("freq", "Central frequency", QStringLiteral("MHz"),
               [](r x) { return double(x.report_float_3); })};
    return t;
}

} // namespace

QString xband_state_text(int state)
{
    static const QStringList names{QStringLiteral("idle"),     QStringLiteral("transmitting"),
                                   QStringLiteral("loading"),  QStringLiteral("sending"),
                                   QStringLiteral("updating"), QStringLiteral("off")};
    return names.value(state, QStringLiteral("unknown"));
}

QString xband_report_field_t::text(const xband_full_report_t& report) const
{
    const double v = value(report);
    if (name == QLatin1String("state"))
        return QStringLiteral("%1 (%2)").arg(int(v)).arg(xband_state_text(int(v)));
    if (name == QLatin1String("status-word"))
        return QStringLiteral("0x%1")
            .arg(uint(v), 4, 16, QLatin1Char('0'))
            .toUpper()
            .replace(QLatin1String("0X"), QLatin1String("0x"));
    const QString number = is_float ? QString::number(v, 'f', 2) : QString::number(qint64(v));
    return unit.isEmpty() ? number : number + QLatin1Char(' ') + unit;
}

const QVector<xband_report_field_t>& xband_report_fields()
{
    static const QVector<xband_report_field_t> table = make_fields();
    return table;
}

const xband_report_field_t* find_xband_report_field(const QString& name)
{
    for (const xband_report_field_t& f : xband_report_fields()) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

xband_full_report_t widen(const xband_simple_report_t& simple)
{
    xband_full_report_t full;
    full.report_byte_0 = simple.report_byte_0;
    full.report_byte_1 = simple.report_byte_1;
    full.report_word_0 = simple.report_word_0;
    full.report_word_1 = simple.report_word_1;
    return full;
}

} // namespace kq::gui
