#include "fsps_unit.h"

#include <algorithm>

namespace kq::satsim {

QStringList fsps_unit::handle(const QString& payload)
{
    static const QStringList err{QStringLiteral("ERR")};
    bool ok = false;
    if (payload.size() < 8 || payload.mid(4, 2).toUInt(&ok, 16) != _address || !ok)
        return {};
    const QString kind = payload.mid(0, 4);
    const QString code = payload.mid(6, 2);
    const QString value = payload.mid(8);
    const auto digit = [](int64_t v) {
        return QStringLiteral("OK+A0") + QString::number(std::clamp<int64_t>(v, 0, 9));
    };
    if (kind == QLatin1String("KQ+R")) {
        if (code == QLatin1String("01"))
            return {digit(int64_t(_rf))};
        if (code == QLatin1String("02"))
            return {digit(_attenuation)};
        return err;
    }
    if (kind != QLatin1String("KQ+W"))
        return err;
    _writes << payload;
    if (code == QLatin1String("00") && value.isEmpty()) {
        _rf = 0;
        return {QStringLiteral("OK")};
    }
    if (code == QLatin1String("01")) {
        _rf = value.toULongLong(&ok);
        return ok ? QStringList{QStringLiteral("OK")} : err;
    }
    if (code == QLatin1String("02")) {
        _attenuation = value.toLongLong(&ok);
        return ok ? QStringList{QStringLiteral("OK")} : err;
    }
    return err;
}

} // namespace kq::satsim
