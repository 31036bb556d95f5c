#include "panelkit/module_settings.h"

#include <QSettings>
#include <QStringList>

#include <stdexcept>

namespace kq::gui {

using api::proto::module_config_t;

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
        throw std::invalid_argument(
            (QStringLiteral("settings refused: ") + refused.join(QLatin1String("; ")))
                .toStdString());
    return c;
}

} // namespace kq::gui
