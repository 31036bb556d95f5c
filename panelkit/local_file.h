#pragma once

#include "panelkit/panelkit_global.h"

#include <QByteArray>
#include <QString>

namespace kq::gui {

// Files of the workstation read or written whole by the front ends. Every
// failure is a local_file_error naming the file and the reason.
class PANELKIT_EXPORT local_file
{
public:
    // The bytes of a regular file of at most `max_size` bytes.
    static QByteArray read_whole(const QString& path, qint64 max_size);
    // The folder `path` would be written into exists and can be written:
    // asked before a transfer whose file is written only at its end.
    static void check_folder_of(const QString& path);
    // Writes `data` as `path` in one step: the old file, if any, stays as it
    // was unless every byte could be written.
    static void write_whole(const QString& path, const QByteArray& data);
};

} // namespace kq::gui
