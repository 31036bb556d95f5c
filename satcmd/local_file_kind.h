#pragma once

#include "satcmd/satcmd_global.h"

#include <QString>

namespace kq::api::proto {

// What a local path is, asked before it is opened: reading a FIFO without a
// writer, a device or a file of the kernel's folders can block for ever or
// never end, so only regular files are read.
class SATCMD_EXPORT local_file_kind
{
public:
    // Why the path is not a regular file to read, in plain words ("a FIFO,
    // not a regular file"); empty when it is one.
    static QString reading_problem(const QString& path);
    // The path lies in /proc, /sys or /dev, whose files are not ordinary.
    static bool in_kernel_folder(const QString& path);
};

} // namespace kq::api::proto
