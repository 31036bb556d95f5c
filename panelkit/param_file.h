#pragma once

#include "panelkit/panelkit_global.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <stdexcept>

namespace kq::gui {

// A configuration file refused, with the key at fault in its message.
class PANELKIT_EXPORT param_file_error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// One parameter whose values differ: here (the device, or the first file)
// and there (the file); an undefined value where a side does not have it.
struct PANELKIT_EXPORT param_difference
{
    QString name;
    QJsonValue here;
    QJsonValue there;
};

// What a restore wrote, left alone and found on reading back.
struct PANELKIT_EXPORT param_restore_result
{
    QVector<param_difference> plan;    // device (here) against the file (there)
    QVector<param_difference> skipped; // differing, left for the user: see why
    QStringList why_skipped;
    QStringList mismatches; // written, and read back otherwise
    QStringList unverified; // written, but not readable over this route
    bool ok() const { return mismatches.isEmpty(); }
};

// How far a restore got, kept up to date while it writes, so that a run
// that fails or is stopped can say what the device already holds.
struct PANELKIT_EXPORT param_restore_progress
{
    int planned = 0;     // values to write
    QStringList written; // their names, as each write was answered
};

// The writable parameters `there` names whose values differ from `here`;
// `canonical` gives a value as the device would hold it, undefined for a
// name it does not take. One comparison for every module kind.
PANELKIT_EXPORT QVector<param_difference>
diff_params(const QStringList& writable, const QJsonObject& here, const QJsonObject& there,
            const std::function<QJsonValue(const QString&, const QJsonValue&)>& canonical);

// A module's parameters as read at one time: what a configuration file, a
// backup and a history snapshot hold.
struct PANELKIT_EXPORT param_snapshot
{
    QString module;         // "uhf", "xband", "fsps"
    QString address;        // "0x22"
    QStringList route;      // the addresses of the hops, "0x22", "0x23"
    QString firmware;       // the version as read
    QJsonObject status;     // read-only values as read, for the record
    QString tool;           // "satctl 1.0.8.18"
    QDateTime time;         // when it was read, UTC
    QString reason;         // why a snapshot was taken ("before write")
    QJsonObject parameters; // the writable values by name, in the driver's units
};

// The configuration file: JSON, versioned, every key checked on loading.
//
//   {"format": "kq-module-parameters", "format_version": 1,
//    "module": "uhf", "address": "0x22", "route": ["0x22"],
//    "firmware": "KQ-UHF 2.4.1", "status": {"scw": "0x3003", ...},
//    "tool": "satctl 1.0.8.18", "time": "2026-12-09T16:00:00Z",
//    "reason": "backup", "parameters": {"freq": 437, "beacon": true, ...}}
class PANELKIT_EXPORT param_file
{
public:
    static constexpr int format_version = 1;
    static const char* const format_name;

    // Empty when the value may be written under that name, else why not.
    using value_check = std::function<QString(const QString& name, const QJsonValue& value)>;

    // The program that reads a snapshot: "satctl 1.0.8.18".
    static QString tool_name();

    static QByteArray to_json(const param_snapshot& snapshot);
    // Throws param_file_error: not JSON, another format or a newer version,
    // another module kind, an unknown key, a value the check refuses.
    static param_snapshot from_json(const QByteArray& data, const QString& module,
                                    const value_check& check);

    // Written whole or not at all. Throws param_file_error.
    static void save(const param_snapshot& snapshot, const QString& path);
    static param_snapshot load(const QString& path, const QString& module,
                               const value_check& check);
};

} // namespace kq::gui

Q_DECLARE_METATYPE(kq::gui::param_snapshot)
