#pragma once

#include "panelkit/panelkit_global.h"

#include <QByteArray>
#include <QString>

class QFile;

namespace kq::gui {

// Files of the workstation the front ends read and write. Only regular
// files are read, so that nothing blocks on a FIFO or a device; only a
// regular file with one name is written or replaced, never a device, a
// FIFO, a link's target or another name of the same file. Every failure is
// a local_file_error naming the file and the reason.
class PANELKIT_EXPORT local_file
{
public:
    // Opens `file` (named already) for reading.
    static void open_for_reading(QFile& file);
    // The bytes of a regular file of at most `max_size` bytes.
    static QByteArray read_whole(const QString& path, qint64 max_size);

    // `path` may be written: asked before anything is sent for a file that
    // is written only at the end.
    static void check_writable(const QString& path);
    // Opens `file` (named already) for writing in place, unbuffered, made
    // when missing and emptied when `truncate`; read too when `read_back`.
    static void open_for_writing(QFile& file, bool truncate, bool read_back = false);
    // Writes every byte of `data` at the end of a file opened by
    // open_for_writing (through its handle: the QFile's position stays).
    static void write_all(QFile& file, const QByteArray& data);
    // Writes `data` as `path` in one step: the old file, if any, stays as it
    // was unless every byte could be written.
    static void write_whole(const QString& path, const QByteArray& data);
};

} // namespace kq::gui
