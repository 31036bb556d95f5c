#include "satcmd/strict_number.h"

#include <QRegularExpression>

#include <cmath>

namespace kq::api::proto {

bool strict_number::to_int64(const QString& text, qint64& value, bool allow_hex)
{
    static const QRegularExpression hex(QStringLiteral("^0[xX][0-9A-Fa-f]{1,15}$"));
    static const QRegularExpression decimal(QStringLiteral("^(?:0|-?[1-9][0-9]{0,17})$"));
    bool ok = false;
    if (allow_hex && hex.match(text).hasMatch())
        value = text.mid(2).toLongLong(&ok, 16);
    else if (decimal.match(text).hasMatch())
        value = text.toLongLong(&ok, 10);
    return ok;
}

bool strict_number::to_int(const QString& text, int& value, int minimum, int maximum,
                           bool allow_hex)
{
    qint64 v = 0;
    if (!to_int64(text, v, allow_hex) || v < minimum || v > maximum)
        return false;
    value = int(v);
    return true;
}

bool strict_number::to_real(const QString& text, double& value)
{
    static const QRegularExpression real(
        QStringLiteral("^[-+]?(?:[0-9]+(?:\\.[0-9]*)?|\\.[0-9]+)(?:[eE][-+]?[0-9]{1,3})?$"));
    bool ok = false;
    const double v = real.match(text).hasMatch() ? text.toDouble(&ok) : 0.0;
    if (!ok || !std::isfinite(v) || (v == 0.0 && std::signbit(v)))
        return false;
    value = v;
    return true;
}

} // namespace kq::api::proto
