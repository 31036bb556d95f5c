#include "satcmd/local_file_kind.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace kq::api::proto {

namespace {

QString kind_of(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("something other than a file");
}

} // namespace

bool local_file_kind::in_kernel_folder(const QString& path)
{
    constexpr long proc_magic = 0x9fa0, sysfs_magic = 0x62656572, devpts_magic = 0x1cd1;
    struct statfs fs = {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) == 0 &&
        (long(fs.f_type) == proc_magic || long(fs.f_type) == sysfs_magic ||
         long(fs.f_type) == devpts_magic))
        return true;
    const QString real = QFileInfo(path).canonicalFilePath();
    return real == QLatin1String("/dev") || real.startsWith(QLatin1String("/dev/"));
}

QString local_file_kind::reading_problem(const QString& path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString::fromLocal8Bit(strerror(errno));
    if (!S_ISREG(st.st_mode))
        return kind_of(st.st_mode) + QStringLiteral(", not a regular file");
    if (in_kernel_folder(path))
        return QStringLiteral("a file of the kernel's /proc or /sys, not a regular file");
    return {};
}

} // namespace kq::api::proto
