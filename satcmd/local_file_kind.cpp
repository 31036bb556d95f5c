#include "satcmd/local_file_kind.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

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

QString system_reason()
{
    return QString::fromLocal8Bit(strerror(errno));
}

// A regular file with one name, or why it is not one to write.
QString writable_kind(const struct stat& st)
{
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("a symbolic link, which is not followed");
    if (!S_ISREG(st.st_mode))
        return kind_of(st.st_mode) + QStringLiteral(", not a regular file");
    if (st.st_nlink > 1)
        return QStringLiteral("a file with %1 names (hard links), which writing would change "
                              "for all of them")
            .arg(st.st_nlink);
    return {};
}

// The folder a new file would be made in.
QString folder_problem(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    struct stat st = {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("the folder %1 is missing").arg(QDir::toNativeSeparators(folder));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("the folder %1 is not writable: %2")
            .arg(QDir::toNativeSeparators(folder), system_reason());
    return {};
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
        return system_reason();
    if (!S_ISREG(st.st_mode))
        return kind_of(st.st_mode) + QStringLiteral(", not a regular file");
    if (in_kernel_folder(path))
        return QStringLiteral("a file of the kernel's /proc or /sys, not a regular file");
    return {};
}

QString local_file_kind::writing_problem(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no file name");
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno != ENOENT)
            return system_reason();
        if (in_kernel_folder(QFileInfo(path).absolutePath()))
            return QStringLiteral("a folder of the kernel's /proc, /sys or /dev");
        return folder_problem(path);
    }
    QString why = writable_kind(st);
    if (why.isEmpty() && in_kernel_folder(path))
        why = QStringLiteral("a file of the kernel's /proc, /sys or /dev, not a regular file");
    if (why.isEmpty())
        why = folder_problem(path); // it is replaced by a new file beside it
    return why;
}

QString local_file_kind::opened_problem(int fd)
{
    struct stat st = {};
    if (::fstat(fd, &st) != 0)
        return system_reason();
    return writable_kind(st);
}

} // namespace kq::api::proto
