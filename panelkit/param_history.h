#pragma once

#include "panelkit/panelkit_global.h"
#include "panelkit/param_file.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kq::gui {

// The snapshots of one module's parameters taken before every write,
// restore and flash, so that any earlier state can be restored: one
// configuration file each in "history/MODULE-ADDRESS" under the
// application's data folder, the newest `keep` of them kept.
class PANELKIT_EXPORT param_history
{
public:
    static constexpr int default_keep = 100;
    static constexpr int max_keep = 100000;
    static const char* const keep_key; // "history/keep"

    struct entry_t
    {
        QString file;
        QDateTime time; // the snapshot's own, not the file's
        QString reason;
    };

    param_history(const QString& module, const QString& address);

    QString folder() const { return _folder; }
    // Saves the snapshot and drops the oldest beyond the kept number; the
    // file written. Throws param_file_error, or std::invalid_argument when
    // the kept number in the settings is not one.
    QString record(const param_snapshot& snapshot) const;
    // The snapshots, newest first by the time inside them. Only files named
    // as this history names them are looked at; one that cannot be read as
    // this module's snapshot is left out, and said in `broken`.
    QVector<entry_t> entries(QStringList* broken = nullptr) const;

private:
    QString _module;
    QString _folder;
};

} // namespace kq::gui
