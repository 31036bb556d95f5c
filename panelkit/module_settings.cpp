#include "panelkit/module_settings.h"

#include <QSettings>

namespace kq::gui {

api::proto::module_config_t module_config_from_settings(const QSettings& s)
{
    const auto value = [&](const char* key, int fallback) {
        return int32_t(s.value(QLatin1String("command/") + QLatin1String(key), fallback).toInt());
    };
    api::proto::module_config_t c;
    c.timeout_pipe = value("timeout_pipe", 10000);
    c.persistent_time = int32_t(s.value(QStringLiteral("command/persistent_time"), 9500).toUInt());
    c.timeout_xs = value("timeout_xs", 400);
    c.timeout_s = value("timeout_s", 800);
    c.timeout_m = value("timeout_m", 1000);
    c.timeout_l = value("timeout_l", 4000);
    c.timeout_xl = value("timeout_xl", 9000);
    c.repeats_xs = value("repeats_xs", 10);
    c.repeats_s = value("repeats_s", 4);
    c.repeats_m = value("repeats_m", 2);
    c.repeats_l = value("repeats_l", 1);
    c.repeats_xl = value("repeats_xl", 0);
    return c;
}

} // namespace kq::gui
