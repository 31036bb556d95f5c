#include "panelkit/local_file.h"

#include "panelkit/local_file_error.h"
#include "satcmd/local_file_kind.h"

#include <QFile>
#include <QSaveFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kq::gui {

using api::proto::local_file_kind;

namespace {

[[noreturn]] void refuse_writing(const QString& path, const QString& why)
{
    throw local_file_error(QStringLiteral("cannot write %1: %2").arg(path, why));
}

QString system_reason()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

void local_file::open_for_reading(QFile& file)
{
    QString why = local_file_kind::reading_problem(file.fileName());
    if (why.isEmpty() && !file.open(QIODevice::ReadOnly))
        why = file.errorString();
    if (!why.isEmpty())
        throw local_file_error(QStringLiteral("cannot read %1: %2").arg(file.fileName(), why));
}

QByteArray local_file::read_whole(const QString& path, qint64 max_size)
{
    QFile file(path);
    open_for_reading(file);
    if (file.size() > max_size)
        throw local_file_error(QStringLiteral("%1: %2 bytes; at most %3 can be taken")
                                   .arg(path)
                                   .arg(file.size())
                                   .arg(max_size));
    const QByteArray data = file.readAll();
    if (data.size() != file.size())
        throw local_file_error(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

void local_file::check_writable(const QString& path)
{
    const QString why = local_file_kind::writing_problem(path);
    if (!why.isEmpty())
        refuse_writing(path, why);
}

void local_file::open_for_writing(QFile& file, bool truncate, bool read_back)
{
    const QString path = file.fileName();
    check_writable(path);
    // Opened first without following a link or waiting on a FIFO, and
    // checked on what was opened; the file is then opened by name and must
    // be that same file, so that nothing put there meanwhile is written.
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        refuse_writing(path, system_reason());
    const auto closed = qScopeGuard([fd] { ::close(fd); });
    const QString why = local_file_kind::opened_problem(fd);
    if (!why.isEmpty())
        refuse_writing(path, why);
    QIODevice::OpenMode mode =
        (read_back ? QIODevice::ReadWrite : QIODevice::WriteOnly) | QIODevice::Unbuffered;
    if (truncate)
        mode |= QIODevice::Truncate;
    if (!file.open(mode))
        refuse_writing(path, file.errorString());
    struct stat checked = {}, opened = {};
    if (::fstat(fd, &checked) != 0 || ::fstat(file.handle(), &opened) != 0 ||
        checked.st_dev != opened.st_dev || checked.st_ino != opened.st_ino) {
        file.close();
        refuse_writing(path, QStringLiteral("it was replaced while being opened"));
    }
}

void local_file::write_all(QFile& file, const QByteArray& data)
{
    // The system's own calls: a write cut short by a size limit is followed
    // by one that says why.
    const char* from = data.constData();
    for (qint64 left = data.size(); left > 0;) {
        const ssize_t n = ::write(file.handle(), from, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            refuse_writing(file.fileName(), n < 0 ? system_reason()
                                                  : QStringLiteral("nothing more "
                                                                   "is taken"));
        from += n;
        left -= n;
    }
}

void local_file::write_whole(const QString& path, const QByteArray& data)
{
    check_writable(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        refuse_writing(path, file.errorString());
}

} // namespace kq::gui
