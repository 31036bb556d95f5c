#include "app_settings.h"

#include "satcmd/module_config.h"

#include <QDesktopServices>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace radcfg {

const char* const version_string = KQ_VERSION;

QString default_log_location()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QDir::separator() +
           QStringLiteral("Logs");
}

QVector<setting_default_t> default_settings()
{
    QVector<setting_default_t> all{{"common/log_location", default_log_location()}};
    for (const auto& s : kq::api::proto::module_config_t::settings())
        all.append({QLatin1String("command/") + QLatin1String(s.key), s.fallback});
    all.append({"obc/auto_time_type", 0});
    return all;
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
