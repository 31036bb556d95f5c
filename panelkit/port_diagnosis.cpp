#include "panelkit/port_diagnosis.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kq::gui {

QString port_diagnosis::explain(const QString& port)
{
    if (port.isEmpty())
        return {};
    const int fd = ::open(QFile::encodeName(port).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        QString reason =
            QStringLiteral("%1: %2").arg(port, QString::fromLocal8Bit(strerror(error)));
        if (error == EACCES || error == EPERM)
            reason += QStringLiteral("; add your user to the 'dialout' group and log in again");
        return reason;
    }
    QString reason;
    int exclusive = 0;
    if (!::isatty(fd))
        reason = QStringLiteral("%1: not a serial port").arg(port);
    else if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        reason = QStringLiteral("%1: busy, another program has it open").arg(port);
    else
        reason = QStringLiteral("%1: busy or refused; is another program using it?").arg(port);
    ::close(fd);
    return reason;
}

} // namespace kq::gui
