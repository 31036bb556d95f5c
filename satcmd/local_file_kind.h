#pragma once

#include "satcmd/satcmd_global.h"

#include <QString>

namespace kq::api::proto {

// What a local path is, asked before it is opened: reading a FIFO without a
// writer, a device or a file of the kernel's folders can block for ever or
// never end, so only regular files are read; and writing replaces or
// changes only a regular file of the user's, never a device, a link's
// target or another name of the same file.
class SATCMD_EXPORT local_file_kind
{
public:
    // Why the path is not a regular file to read, in plain words ("a FIFO,
    // not a regular file"); empty when it is one.
    static QString reading_problem(const QString& path);
    // Why the path cannot be written as a file of its own, in the same
    // words; empty when it is a regular file with no other name, or absent
    // in a folder that can be written. A link is not followed: writing
    // through it would change a file elsewhere.
    static QString writing_problem(const QString& path);
    // The same rule for a file already opened for writing.
    static QString opened_problem(int fd);
    // The path lies in /proc, /sys or /dev, whose files are not ordinary.
    static bool in_kernel_folder(const QString& path);
};

} // namespace kq::api::proto
