#include "app_settings.h"

#include <QDesktopServices>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace radcfg {

const char* const version_string = "1.0.8.18";

QString default_log_location()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QDir::separator() +
           QStringLiteral("Logs");
}

QVector<setting_default_t> default_settings()
{
    return {{"common/log_location", default_log_location()},
            {"command/timeout_pipe", 10000},
            {"command/persistent_time", 9500},
            {"command/timeout_xs", 400},
            {"command/timeout_s", 800},
            {"command/timeout_m", 1000},
            {"command/timeout_l", 4000},
            {"command/timeout_xl", 9000},
            {"command/repeats_xs", 10},
            {"command/repeats_s", 4},
            {"command/repeats_m", 2},
            {"command/repeats_l", 1},
            {"command/repeats_xl", 0},
            {"obc/auto_time_type", 0}};
}

int write_default_settings()
{
    QSettings s;
    int written = 0;
    for (const setting_default_t& d : default_settings()) {
        if (s.contains(d.key))
            continue;
        if (d.key == QLatin1String("common/log_location") && !QDir().mkpath(d.value.toString()))
            continue;
        s.setValue(d.key, d.value);
        ++written;
    }
    return written;
}

void open_log_folder()
{
    const QString folder = QSettings().value(QStringLiteral("common/log_location")).toString();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace radcfg
