#include "panelkit/xband_params.h"

#include "panelkit/uhf_params.h"
#include "satcmd/strict_number.h"
#include "satcmd/xband_module.h"

#include <cmath>

namespace kq::gui {

using namespace api::proto;

double xband_param_t::parse(const QString& text) const
{
    double v = 0.0;
    const bool ok = strict_number::to_real(text, v);
    if (!ok || v < 0 || v > maximum || (whole && v != std::floor(v)))
        throw param_value_error(
            QStringLiteral("%1=%2: %3 from 0 to %4")
                .arg(name, text,
                     whole ? QStringLiteral("a whole number") : QStringLiteral("a number"))
                .arg(maximum)
                .toStdString());
    return v;
}

double xband_param_t::from_json(const QJsonValue& value) const
{
    if (!writable())
        throw param_value_error(QStringLiteral("%1 is read only").arg(name).toStdString());
    if (!value.isDouble() && !value.isString())
        throw param_value_error(QStringLiteral("%1: a number is expected").arg(name).toStdString());
    return parse(value_text(value));
}

QJsonValue xband_param_t::stored(double value) const
{
    return whole ? QJsonValue(qint64(value)) : QJsonValue(double(float(value)));
}

const QVector<xband_param_t>& xband_params()
{
    static const QVector<xband_param_t> table{
        {QStringLiteral("symbol-rate"), QStringLiteral("Symbol rate (code)"), 255, true,
         [](const auto& p) { return QJsonValue(qint64(p.symbol_rate)); },
         [](xband_module& x, double v) { x.set_symbol_rate(static_cast<unsigned char>(v)); }},
        {QStringLiteral("tx-power"), QStringLiteral("Transmit power (code)"), 255, true,
         [](const auto& p) { return QJsonValue(qint64(p.tx_power)); },
         [](xband_module& x, double v) { x.set_tx_power(static_cast<unsigned char>(v)); }},
        {QStringLiteral("freq"), QStringLiteral("Central frequency (MHz)"), 100000, false,
         [](const auto& p) { return QJsonValue(double(p.central_frequency)); },
         [](xband_module& x, double v) { x.set_central_frequency(float(v)); }},
        {QStringLiteral("modcod"), QStringLiteral("MODCOD"), 255, true,
         [](const auto& p) { return QJsonValue(qint64(p.modcod)); },
         [](xband_module& x, double v) { x.set_modcod(static_cast<unsigned char>(v)); }},
        {QStringLiteral("roll-off"), QStringLiteral("Roll-off (code)"), 255, true,
         [](const auto& p) { return QJsonValue(int(p.roll_off)); },
         [](xband_module& x, double v) { x.set_roll_off(xband_roll_off_e(int(v))); }},
        {QStringLiteral("pilot"), QStringLiteral("Pilot signal (code)"), 255, true,
         [](const auto& p) { return QJsonValue(int(p.pilot_signal)); },
         [](xband_module& x, double v) {
             x.set_pilot_signal(xband_pilot_signal_status_e(int(v)));
         }},
        {QStringLiteral("fec-frame"), QStringLiteral("FEC frame size (code)"), 255, true,
         [](const auto& p) { return QJsonValue(int(p.fec_frame_size)); },
         [](xband_module& x, double v) { x.set_fec_frame_size(xband_fec_frame_size_e(int(v))); }},
        {QStringLiteral("parameters-word"), QStringLiteral("Parameters word"), 0, true,
         [](const auto& p) { return QJsonValue(qint64(p.parameters_word)); }, nullptr},
    };
    return table;
}

const xband_param_t* find_xband_param(const QString& name)
{
    for (const xband_param_t& p : xband_params()) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

} // namespace kq::gui
