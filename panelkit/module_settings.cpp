#include "panelkit/module_settings.h"

#include <QSettings>
#include <QStringList>

#include <stdexcept>

namespace kq::gui {

using api::proto::module_config_t;

namespace {

[[noreturn]] void refuse(const QStringList& refused)
{
    throw std::invalid_argument(
        (QStringLiteral("settings refused: ") + refused.join(QLatin1String("; "))).toStdString());
}

} // namespace

module_config_t module_config_from_settings(const QSettings& s)
{
    module_config_t c;
    QStringList refused;
    for (const module_config_t::setting_t& setting : module_config_t::settings()) {
        const QString key = QLatin1String("command/") + QLatin1String(setting.key);
        int32_t value = setting.fallback;
        QString why;
        if (s.contains(key) && !module_config_t::parse_setting(setting, s.value(key), value, why))
            refused << key + QLatin1String(": ") + why;
        c.*setting.field = value;
    }
    if (!refused.isEmpty())
        refuse(refused);
    return c;
}

int32_t setting_number(const QSettings& s, const QString& key, int32_t minimum, int32_t maximum,
                       int32_t fallback)
{
    if (!s.contains(key))
        return fallback;
    const QByteArray name = key.toUtf8();
    const module_config_t::setting_t rule{name.constData(), nullptr, fallback,
                                          minimum,          maximum, true};
    int32_t value = fallback;
    QString why;
    if (!module_config_t::parse_setting(rule, s.value(key), value, why))
        refuse({key + QLatin1String(": ") + why});
    return value;
}

} // namespace kq::gui
