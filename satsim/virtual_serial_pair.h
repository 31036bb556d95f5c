#pragma once

#include <QByteArray>
#include <QString>

namespace kq::satsim {

// A pseudo-terminal standing in for a cable to a device. The code under test
// opens port_name() through the real serial stack; the test plays the device
// on the master side: it writes bytes when it likes, reads what the port
// sent, and can close the master to pull the plug.
//
// A slave descriptor is kept open as well, in raw mode, so that the master
// never sees a hang-up while the port is closed and reopened between
// commands.
class virtual_serial_pair
{
public:
    virtual_serial_pair();
    ~virtual_serial_pair();
    virtual_serial_pair(const virtual_serial_pair&) = delete;
    virtual_serial_pair& operator=(const virtual_serial_pair&) = delete;

    QString port_name() const { return _slave_name; }
    int master_fd() const { return _master; }
    bool master_open() const { return _master >= 0; }

    // Device to port.
    void write(const QByteArray& data);

    // Port to device. read() waits up to timeout_ms for a first byte, then
    // takes what follows until a pause of quiet_ms.
    QByteArray read(int timeout_ms, int quiet_ms = 20);
    QByteArray read_exact(int size, int timeout_ms);
    QByteArray read_until(char terminator, int timeout_ms);
    bool wait_readable(int timeout_ms) const;
    QByteArray read_available();

    void close_master();

private:
    int _master = -1;
    int _slave = -1;
    QString _slave_name;
};

} // namespace kq::satsim
