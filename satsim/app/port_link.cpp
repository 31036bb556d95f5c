#include "port_link.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace kq::satsim {

namespace {

// A terminal made after the link cannot be the one the link was made for:
// its number was given again after the simulator that made the link died.
bool newer_than(const QString& terminal, const QString& link)
{
    struct stat t = {}, l = {};
    if (::stat(QFile::encodeName(terminal).constData(), &t) != 0 ||
        ::lstat(QFile::encodeName(link).constData(), &l) != 0)
        return false;
    return t.st_ctim.tv_sec > l.st_mtim.tv_sec ||
           (t.st_ctim.tv_sec == l.st_mtim.tv_sec && t.st_ctim.tv_nsec > l.st_mtim.tv_nsec);
}

} // namespace

port_link::port_link(const QString& path, const QString& target)
    : _path(path)
    , _target(target)
{
}

port_link::~port_link()
{
    if (_made && QFileInfo(_path).symLinkTarget() == QFileInfo(_target).absoluteFilePath())
        QFile::remove(_path);
}

bool port_link::make(const QStringList& own, QString& error)
{
    const QFileInfo info(_path);
    if (info.isSymLink()) {
        // A pseudo-terminal exists only while its simulator holds it open,
        // unless it is one of ours now.
        const QString named = info.symLinkTarget();
        const bool ours = std::any_of(own.begin(), own.end(), [&named](const QString& t) {
            return QFileInfo(t).absoluteFilePath() == named;
        });
        if (!ours && !newer_than(named, _path) && QFileInfo::exists(named)) {
            error = QStringLiteral("%1 names the port %2 of a running simulator; stop it or name "
                                   "another link with --link")
                        .arg(_path, info.symLinkTarget());
            return false;
        }
        QFile::remove(_path); // left behind by a simulator that was killed
    } else if (info.exists()) {
        error = QStringLiteral("%1 exists and is not a link; name another with --link").arg(_path);
        return false;
    }
    if (!QFile::link(_target, _path)) {
        error = QStringLiteral("cannot create the link %1: %2")
                    .arg(_path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    _made = true;
    return true;
}

bool port_link::check_folder(const QString& link, bool private_default, QString& error)
{
    const QString folder = QFileInfo(link).absolutePath();
    const QByteArray path = QFile::encodeName(folder);
    if (private_default && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        error = QStringLiteral("cannot create the private folder %1: %2")
                    .arg(folder, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat st = {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = QStringLiteral("the folder of the link %1 does not exist; create it or name "
                               "another with --link")
                    .arg(link);
        return false;
    }
    if (!private_default)
        return true;
    if (st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        error = QStringLiteral("%1 is not a private folder of this user (owner %2, mode %3); "
                               "remove it or name another link with --link")
                    .arg(folder)
                    .arg(st.st_uid)
                    .arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

} // namespace kq::satsim
