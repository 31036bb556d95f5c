#include "virtual_serial_pair.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace kq::satsim {

namespace {

void make_raw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return;
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

virtual_serial_pair::virtual_serial_pair()
{
    char name[256] = {};
    if (::openpty(&_master, &_slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    make_raw(_slave);
    make_raw(_master);
    ::fcntl(_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(_slave, F_SETFD, FD_CLOEXEC);
    _slave_name = QString::fromLocal8Bit(name);
}

virtual_serial_pair::~virtual_serial_pair()
{
    close_master();
    if (_slave >= 0)
        ::close(_slave);
}

void virtual_serial_pair::write(const QByteArray& data)
{
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0 && _master >= 0) {
        const ssize_t n = ::write(_master, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw std::runtime_error("write to pseudo-terminal master failed");
        }
        p += n;
        left -= n;
    }
}

bool virtual_serial_pair::wait_readable(int timeout_ms) const
{
    if (_master < 0)
        return false;
    pollfd pfd{_master, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&pfd, 1, timeout_ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (pfd.revents & POLLIN);
}

QByteArray virtual_serial_pair::read_available()
{
    QByteArray out;
    char buf[4096];
    while (wait_readable(0)) {
        const ssize_t n = ::read(_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<int>(n));
    }
    return out;
}

QByteArray virtual_serial_pair::read(int timeout_ms, int quiet_ms)
{
    if (!wait_readable(timeout_ms))
        return {};
    QByteArray out = read_available();
    while (wait_readable(quiet_ms))
        out += read_available();
    return out;
}

QByteArray virtual_serial_pair::read_exact(int size, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (out.size() < size) {
        const int left = timeout_ms - static_cast<int>(timer.elapsed());
        if (left <= 0 || !wait_readable(left))
            break;
        char buf[4096];
        const ssize_t n = ::read(_master, buf, std::min<size_t>(sizeof buf, size - out.size()));
        if (n <= 0)
            break;
        out.append(buf, static_cast<int>(n));
    }
    return out;
}

QByteArray virtual_serial_pair::read_until(char terminator, int timeout_ms)
{
    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (!out.endsWith(terminator)) {
        const int left = timeout_ms - static_cast<int>(timer.elapsed());
        if (left <= 0 || !wait_readable(left))
            break;
        char c;
        if (::read(_master, &c, 1) != 1)
            break;
        out.append(c);
    }
    return out;
}

void virtual_serial_pair::close_master()
{
    if (_master < 0)
        return;
    ::close(_master);
    _master = -1;
}

} // namespace kq::satsim
