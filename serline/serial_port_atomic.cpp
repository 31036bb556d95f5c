#include "serline/serial_port_atomic.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSemaphore>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstring>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kq::api::proto {

namespace {

Q_LOGGING_CATEGORY(lc_serline, "kq.serline")

constexpr int poll_ms = 50;
constexpr qint64 spin_ns = 200 * 1000; // how long a caller spins before it sleeps
constexpr size_t default_max_len = 2048;
const char* const default_term = "\r\n";

// USB serial adapters hold received bytes for up to 16 ms unless told
// otherwise, which would dominate every command's round trip. Pseudo
// terminals and some drivers refuse the request; that is harmless.
void request_low_latency(QSerialPort& port)
{
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(port.handle());
    serial_struct ss{};
    if (fd < 0 || ::ioctl(fd, TIOCGSERIAL, &ss) != 0)
        return;
    ss.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &ss);
#else
    Q_UNUSED(port);
#endif
}

size_t term_length(const char* term)
{
    size_t n = 0;
    if (term == nullptr)
        return 0;
    while (term[n] != 0 && static_cast<unsigned char>(term[n]) < 0x80)
        ++n;
    return n;
}

} // namespace

serial_port_atomic::serial_port_atomic() = default;

serial_port_atomic::~serial_port_atomic() = default;

// The caller's arguments and the results the port thread leaves for it are
// handed over through the two atomics: the semaphore only wakes a caller
// that gave up spinning, and its ordering is invisible to thread checkers.
void serial_port_atomic::_call(const std::function<void()>& body)
{
    std::atomic<bool> posted{false};
    std::atomic<bool> finished{false};
    QSemaphore done;
    posted.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [&] {
            posted.load(std::memory_order_acquire);
            body();
            finished.store(true, std::memory_order_release);
            done.release();
        },
        Qt::QueuedConnection);
    QElapsedTimer spinning;
    spinning.start();
    while (spinning.nsecsElapsed() < spin_ns) {
        if (finished.load(std::memory_order_acquire)) {
            done.acquire();
            return;
        }
        QThread::yieldCurrentThread();
    }
    done.acquire();
    finished.load(std::memory_order_acquire);
}

void serial_port_atomic::open(const serial_port_settings_t& settings)
{
    _call([&] { _slot_open(settings); });
}

void serial_port_atomic::close()
{
    _call([&] { _slot_close(); });
}

void serial_port_atomic::is_open(bool& result)
{
    _call([&] { _slot_is_open(result); });
}

void serial_port_atomic::clear()
{
    _call([&] { _slot_clear(); });
}

void serial_port_atomic::read_line(QString& line, const char* term, size_t max_len,
                                   int64_t timeout_ms)
{
    _call([&] { _slot_read_line(line, term, max_len, timeout_ms); });
}

void serial_port_atomic::read_line(QString& line, const char* term)
{
    _call([&] { _slot_read_line(line, term, default_max_len, _timeout); });
}

void serial_port_atomic::read_line(QString& line)
{
    _call([&] { _slot_read_line(line, default_term, default_max_len, _timeout); });
}

void serial_port_atomic::write_line(const QString& line)
{
    _call([&] { _slot_write_line(line); });
}

void serial_port_atomic::read(QByteArray& data, int size)
{
    _call([&] { _slot_read(data, size, _timeout); });
}

void serial_port_atomic::read(QByteArray& data, int size, int64_t timeout_ms)
{
    _call([&] { _slot_read(data, size, timeout_ms); });
}

void serial_port_atomic::read_all(QByteArray& data, int64_t timeout_ms)
{
    _call([&] { _slot_read_all(data, timeout_ms); });
}

void serial_port_atomic::read_all(QByteArray& data)
{
    _call([&] { _slot_read_all(data, _timeout); });
}

void serial_port_atomic::write(const QByteArray& data)
{
    _call([&] { _slot_write(data); });
}

void serial_port_atomic::get_timeout(int64_t& timeout_ms)
{
    _call([&] { _slot_get_timeout(timeout_ms); });
}

void serial_port_atomic::set_timeout(const int64_t& timeout_ms)
{
    // An atomic store needs no trip through the queue: the next queued call
    // happens after it and sees the value.
    _slot_set_timeout(timeout_ms);
}

void serial_port_atomic::shutdown()
{
    _call([&] { _slot_shutdown(); });
}

void serial_port_atomic::stop_request()
{
    _running.store(false);
}

int serial_port_atomic::get_error_code() const
{
    return _error_code.load();
}

const std::exception& serial_port_atomic::get_error_exception() const
{
    return _error_exception;
}

bool serial_port_atomic::extract_line_from_byte_array(QByteArray& buffer, QString& line,
                                                      const char* term)
{
    const size_t n_term = term_length(term);
    int end = -1;
    for (size_t i = 0; i < n_term; ++i) {
        const int pos = buffer.indexOf(term[i]);
        if (pos >= 0 && (end < 0 || pos < end))
            end = pos;
    }
    if (end < 0)
        return false;

    const char* begin = buffer.constData();
    const void* nul = std::memchr(begin, 0, static_cast<size_t>(end));
    const int length = nul ? static_cast<int>(static_cast<const char*>(nul) - begin) : end;
    line = QString::fromUtf8(begin, length);
    buffer.remove(0, end + 1);

    if (!buffer.isEmpty()) {
        qCDebug(lc_serline, "result=%s", line.toUtf8().constData());
        qCDebug(lc_serline, "input buffer=%s", buffer.toHex().constData());
    }
    return true;
}

template<typename Body>
void serial_port_atomic::_run(Body&& body)
{
    _set_error(media_exception::no_error);
    try {
        body();
    } catch (const media_exception& e) {
        _set_error(e.get_type());
    } catch (const std::exception&) {
        _set_error(media_exception::general);
    }
}

void serial_port_atomic::_set_error(int code)
{
    _error_code.store(code, std::memory_order_seq_cst);
}

bool serial_port_atomic::_port_open() const
{
    return _port && _port->isOpen();
}

void serial_port_atomic::_require_open() const
{
    if (!_port_open())
        throw media_exception(media_exception::not_open);
}

// True when bytes are waiting. An unplugged device (end of file or a
// resource error from the driver) fails the read at once instead of polling
// until the timeout; the error is cleared so that a later call tries anew.
bool serial_port_atomic::_wait_for_data()
{
    if (_port->bytesAvailable() > 0 || _port->waitForReadyRead(poll_ms))
        return true;
    const auto error = _port->error();
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError) {
        _port->clearError();
        throw media_exception(media_exception::read_failed);
    }
    return false;
}

void serial_port_atomic::_read_chunk(QByteArray& dest)
{
    const qint64 want = std::min<qint64>(_port->bytesAvailable(), sizeof(_transfer));
    const qint64 got = _port->read(_transfer, want);
    if (got < 0)
        throw media_exception(media_exception::read_failed);
    dest.append(_transfer, static_cast<int>(got));
}

void serial_port_atomic::_throw_elapsed() const
{
    throw media_exception(_running.load() ? media_exception::timeout : media_exception::stopped);
}

void serial_port_atomic::_slot_open(const serial_port_settings_t& settings)
{
    _run([&] {
        if (!_port)
            _port = std::make_unique<QSerialPort>();
        _timeout = settings.timeout;
        _port->setPortName(settings.port_name);
        _port->setBaudRate(settings.baud_rate, QSerialPort::AllDirections);
        _port->setDataBits(static_cast<QSerialPort::DataBits>(settings.data_bits));
        _port->setFlowControl(static_cast<QSerialPort::FlowControl>(settings.flow_control));
        _port->setParity(static_cast<QSerialPort::Parity>(settings.parity));
        _port->setStopBits(static_cast<QSerialPort::StopBits>(settings.stop_bits));
        _port->clearError();
        const bool opened = _port->open(QIODevice::ReadWrite);
        _running.store(true);
        if (!opened)
            throw media_exception(media_exception::open_failed);
        request_low_latency(*_port);
    });
}

void serial_port_atomic::_slot_close()
{
    _run([&] {
        _running.store(false);
        if (!_port_open())
            return;
        _port->clear(QSerialPort::AllDirections);
        _port->close();
    });
}

void serial_port_atomic::_slot_is_open(bool& result)
{
    _run([&] { result = _port_open(); });
}

// Only the input: output still queued is a line the caller has already
// written, and dropping it would lose that command (on a pseudo-terminal
// it would even drop what the far side has not read yet).
void serial_port_atomic::_slot_clear()
{
    _run([&] {
        if (_port)
            _port->clear(QSerialPort::Input);
    });
}

void serial_port_atomic::_slot_read_line(QString& line, const char* term, size_t max_len,
                                         int64_t timeout_ms)
{
    Q_UNUSED(max_len); // part of the interface; lines are not bounded
    _run([&] {
        line.clear();
        _require_open();
        QElapsedTimer timer;
        timer.start();
        while (_running.load()) {
            if (extract_line_from_byte_array(_input_buffer, line, term))
                return;
            if (timer.elapsed() >= timeout_ms)
                _throw_elapsed();
            if (!_wait_for_data())
                continue;
            while (_port->bytesAvailable() > 0) {
                _read_chunk(_input_buffer);
                if (!_running.load())
                    throw media_exception(media_exception::stopped);
            }
        }
        throw media_exception(media_exception::stopped);
    });
}

void serial_port_atomic::_slot_write_line(const QString& line)
{
    _slot_write(line.toLatin1());
}

void serial_port_atomic::_slot_read(QByteArray& data, int size, int64_t timeout_ms)
{
    _run([&] {
        data.clear();
        _require_open();
        QElapsedTimer timer;
        timer.start();
        QByteArray collected;
        for (;;) {
            if (!_running.load())
                throw media_exception(media_exception::stopped);
            if (timer.elapsed() >= timeout_ms)
                _throw_elapsed();
            if (!_wait_for_data())
                continue;
            _read_chunk(collected);
            if (collected.size() >= size) {
                data = collected;
                return;
            }
        }
    });
}

void serial_port_atomic::_slot_read_all(QByteArray& data, int64_t timeout_ms)
{
    _run([&] {
        data.clear();
        _require_open();
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            if (!_running.load())
                throw media_exception(media_exception::stopped);
            if (timer.elapsed() >= timeout_ms)
                _throw_elapsed();
            if (_wait_for_data())
                break;
        }
        // The burst ends at the first pause of one polling period; a stop
        // during the drain keeps what has arrived.
        while (_running.load()) {
            if (_port->bytesAvailable() == 0 && !_wait_for_data())
                return;
            _read_chunk(data);
        }
    });
}

void serial_port_atomic::_slot_write(const QByteArray& data)
{
    _run([&] {
        _require_open();
        if (!_running.load())
            throw media_exception(media_exception::stopped);
        qint64 offset = 0;
        while (offset < data.size()) {
            const qint64 n = _port->write(data.constData() + offset, data.size() - offset);
            if (n == -1)
                throw media_exception(media_exception::write_failed);
            offset += n;
            if (offset < data.size() && !_running.load())
                return;
        }
        _port->flush();
        // Return only once the bytes have left for the device, so that the
        // callers' timing (firmware lines, answer timeouts) starts from there.
        while (_port->bytesToWrite() > 0 && _running.load()) {
            if (!_port->waitForBytesWritten(poll_ms) &&
                _port->error() == QSerialPort::ResourceError)
                throw media_exception(media_exception::write_failed);
        }
        _wait_output_drained();
    });
}

// The driver may still hold bytes that the device has not taken yet; a
// clear() that followed at once would discard them. Waits until its queue
// is empty, a stop request, or the read timeout.
void serial_port_atomic::_wait_output_drained()
{
#ifdef Q_OS_LINUX
    const int fd = static_cast<int>(_port->handle());
    QElapsedTimer timer;
    timer.start();
    int queued = 0;
    while (_running.load() && timer.elapsed() < _timeout.load() &&
           ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0)
        QThread::usleep(100);
#endif
}

void serial_port_atomic::_slot_get_timeout(int64_t& timeout_ms)
{
    _run([&] { timeout_ms = _timeout; });
}

void serial_port_atomic::_slot_set_timeout(const int64_t& timeout_ms)
{
    _run([&] { _timeout = timeout_ms; });
}

void serial_port_atomic::_slot_stop_request()
{
    stop_request();
}

void serial_port_atomic::_slot_shutdown()
{
    _slot_close();
    _port.reset();
}

} // namespace kq::api::proto
