#include "panelkit/param_history.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace kq::gui {

const char* const param_history::keep_key = "history/keep";

param_history::param_history(const QString& module, const QString& address)
{
    // Only letters, digits and dashes from the device's side reach a path.
    QString name = module + QLatin1Char('-') + address;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9-]")), QStringLiteral("_"));
    _folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
              QStringLiteral("/history/") + name;
}

QString param_history::record(const param_snapshot& snapshot) const
{
    if (!QDir().mkpath(_folder))
        throw param_file_error(
            QStringLiteral("%1: cannot create the folder").arg(_folder).toStdString());
    QString reason = snapshot.reason;
    reason.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    const QString path =
        QStringLiteral("%1/%2-%3.json")
            .arg(_folder, snapshot.time.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'")),
                 reason);
    param_file::save(snapshot, path);
    const int keep = std::max(1, QSettings().value(QLatin1String(keep_key), default_keep).toInt());
    const QStringList all = entries();
    for (int i = keep; i < all.size(); ++i)
        QFile::remove(all.at(i));
    return path;
}

QStringList param_history::entries() const
{
    QStringList names =
        QDir(_folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    std::reverse(names.begin(), names.end());
    for (QString& n : names)
        n = _folder + QLatin1Char('/') + n;
    return names;
}

} // namespace kq::gui
