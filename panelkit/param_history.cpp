#include "panelkit/param_history.h"

#include "panelkit/module_settings.h"

#include <QDir>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace kq::gui {

const char* const param_history::keep_key = "history/keep";

namespace {

// "20261210T223532123Z-before-set.json": the time, then the reason.
const QRegularExpression& snapshot_name()
{
    static const QRegularExpression rx(QStringLiteral("^[0-9]{8}T[0-9]{9}Z-[A-Za-z0-9-]*\\.json$"));
    return rx;
}

} // namespace

param_history::param_history(const QString& module, const QString& address)
    : _module(module)
{
    // Only letters, digits and dashes from the device's side reach a path.
    QString name = module + QLatin1Char('-') + address;
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9-]")), QStringLiteral("_"));
    _folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
              QStringLiteral("/history/") + name;
}

QString param_history::record(const param_snapshot& snapshot) const
{
    const int keep =
        setting_number(QSettings(), QLatin1String(keep_key), 1, max_keep, default_keep);
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
    const QVector<entry_t> all = entries();
    for (int i = keep; i < all.size(); ++i)
        QFile::remove(all.at(i).file);
    return path;
}

QVector<param_history::entry_t> param_history::entries(QStringList* broken) const
{
    // Which values a module takes is asked when a snapshot is restored; a
    // listing only needs the file to be one of this module's.
    const auto any_value = [](const QString&, const QJsonValue&) { return QString(); };
    QVector<entry_t> found;
    const QDir folder(_folder);
    for (const QString& name : folder.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        if (!snapshot_name().match(name).hasMatch())
            continue; // not one of ours
        const QString file = folder.filePath(name);
        try {
            const param_snapshot s = param_file::load(file, _module, any_value);
            found.append({file, s.time, s.reason});
        } catch (const param_file_error& e) {
            if (broken)
                broken->append(QString::fromStdString(e.what()));
        }
    }
    std::sort(found.begin(), found.end(), [](const entry_t& a, const entry_t& b) {
        return a.time != b.time ? a.time > b.time : a.file > b.file;
    });
    return found;
}

} // namespace kq::gui
