#pragma once

#include "panelkit/panelkit_global.h"
#include "panelkit/param_file.h"

#include <QString>
#include <QStringList>

namespace kq::gui {

// The snapshots of one module's parameters taken before every write,
// restore and flash, so that any earlier state can be restored: one
// configuration file each in "history/MODULE-ADDRESS" under the
// application's data folder, the newest `keep` of them kept.
class PANELKIT_EXPORT param_history
{
public:
    static constexpr int default_keep = 100;
    static const char* const keep_key; // "history/keep"

    param_history(const QString& module, const QString& address);

    QString folder() const { return _folder; }
    // Saves the snapshot and drops the oldest beyond the kept number; the
    // file written. Throws param_file_error.
    QString record(const param_snapshot& snapshot) const;
    // The snapshots' files, newest first.
    QStringList entries() const;

private:
    QString _folder;
};

} // namespace kq::gui
