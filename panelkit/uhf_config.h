#pragma once

#include "panelkit/panelkit_global.h"
#include "panelkit/param_file.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kq::api::proto {
class uhf_module;
}

namespace kq::gui {

// A transceiver's configuration as code, through the shared parameter
// table: read it all, compare it, write back only what differs and check
// what was written by reading it back.
class PANELKIT_EXPORT uhf_config
{
public:
    static const char* const module_name; // "uhf"
    // The key of a snapshot's status listing what the route cannot read
    // (the far transceiver does not pass its text beacon on).
    static const char* const not_readable_key; // "not_readable"
    // Status values that got no usable answer during a backup: "not_read".
    static const char* const not_read_key;

    // For param_file: empty when the value may be written under that name.
    static QString check(const QString& name, const QJsonValue& value);
    static param_snapshot load(const QString& path);

    // Reads every parameter, the status word once. Throws what the module
    // throws.
    static param_snapshot backup(api::proto::uhf_module& u);

    // The writable parameters `there` names whose values differ from
    // `here`, compared as the device stores them (a frequency on the
    // synthesiser's grid).
    static QVector<param_difference> diff(const QJsonObject& here, const QJsonObject& there);

    using restore_result = param_restore_result;
    // Writes the file's values that differ from the device's (status-word
    // fields in one write) and reads each written value back. A dry run
    // only reads. The device address, and the UART speed on a direct line,
    // are never changed here: the link would lose the transceiver.
    static restore_result restore(api::proto::uhf_module& u, const QJsonObject& wanted,
                                  bool dry_run, param_restore_progress* progress = nullptr);
    // Reads each written parameter back (the status word once): one line for
    // each value the device holds otherwise ("NAME: wrote A, the device holds
    // B"); what the route cannot read is added to `unverified`.
    static QStringList read_back(api::proto::uhf_module& u, const QJsonObject& written,
                                 QStringList* unverified);
};

} // namespace kq::gui
