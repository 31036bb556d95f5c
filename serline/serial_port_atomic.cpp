#include "serline/serial_port_atomic.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSemaphore>
#include <QSerialPort>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace kq::api::proto {

namespace {

Q_LOGGING_CATEGORY(lc_serline, "kq.serline")

constexpr int poll_ms = serial_port_atomic::poll_period_ms;
constexpr qint64 read_buffer_limit = 1 << 20; // seconds of any real line's traffic
constexpr qint64 spin_ns = 200 * 1000;        // how long a caller spins before it sleeps
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

// Strict UTF-8: what a round trip through QString gives back unchanged.
bool is_valid_utf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// Answers are mostly ASCII; a line with other bytes is read as UTF-8 when it
// is that and as Latin-1 otherwise, so no byte that arrived is lost.
QString decoded_line(const char* begin, int length)
{
    const QByteArray bytes = QByteArray::fromRawData(begin, length);
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !is_valid_utf8(bytes))
        return QString::fromLatin1(begin, length);
    return QString::fromUtf8(begin, length);
}

} // namespace

serial_port_atomic::serial_port_atomic() = default;

serial_port_atomic::~serial_port_atomic() = default;

// The caller's arguments and the results the port thread leaves for it are
// handed over through the two atomics: the semaphore only wakes a caller
// that gave up spinning, and its ordering is invisible to thread checkers.
// The outcome travels in the same hand-over, so it belongs to this call.
int serial_port_atomic::_call(const std::function<int()>& body)
{
    std::atomic<bool> posted{false};
    std::atomic<bool> finished{false};
    std::atomic<int> code{media_exception::general};
    QSemaphore done;
    posted.store(true, std::memory_order_release);
    QMetaObject::invokeMethod(
        this,
        [&] {
            posted.load(std::memory_order_acquire);
            const int outcome = body();
            _error_code.store(outcome);
            code.store(outcome, std::memory_order_relaxed);
            finished.store(true, std::memory_order_release);
            done.release();
        },
        Qt::QueuedConnection);
    QElapsedTimer spinning;
    spinning.start();
    while (spinning.nsecsElapsed() < spin_ns) {
        if (finished.load(std::memory_order_acquire)) {
            done.acquire();
            return code.load(std::memory_order_relaxed);
        }
        QThread::yieldCurrentThread();
    }
    done.acquire();
    finished.load(std::memory_order_acquire);
    return code.load(std::memory_order_relaxed);
}

int serial_port_atomic::open(const serial_port_settings_t& settings)
{
    return _call([&] { return _slot_open(settings); });
}

int serial_port_atomic::close()
{
    return _call([&] { return _slot_close(); });
}

int serial_port_atomic::is_open(bool& result)
{
    return _call([&] { return _slot_is_open(result); });
}

int serial_port_atomic::clear()
{
    return _call([&] { return _slot_clear(); });
}

int serial_port_atomic::drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms)
{
    return _call([&] { return _slot_drain(dropped, quiet_ms, max_ms); });
}

int serial_port_atomic::read_line(QString& line, const char* term, size_t max_len,
                                  int64_t timeout_ms)
{
    return _call([&] { return _slot_read_line(line, term, max_len, timeout_ms); });
}

int serial_port_atomic::read_line(QString& line, const char* term)
{
    return _call([&] { return _slot_read_line(line, term, default_max_len, _timeout); });
}

int serial_port_atomic::read_line(QString& line)
{
    return _call([&] { return _slot_read_line(line, default_term, default_max_len, _timeout); });
}

int serial_port_atomic::write_line(const QString& line)
{
    return _call([&] { return _slot_write_line(line); });
}

int serial_port_atomic::read(QByteArray& data, int size)
{
    return _call([&] { return _slot_read(data, size, _timeout); });
}

int serial_port_atomic::read(QByteArray& data, int size, int64_t timeout_ms)
{
    return _call([&] { return _slot_read(data, size, timeout_ms); });
}

int serial_port_atomic::read_all(QByteArray& data, int64_t timeout_ms)
{
    return _call([&] { return _slot_read_all(data, timeout_ms); });
}

int serial_port_atomic::read_all(QByteArray& data)
{
    return _call([&] { return _slot_read_all(data, _timeout); });
}

int serial_port_atomic::write(const QByteArray& data)
{
    return _call([&] { return _slot_write(data); });
}

int serial_port_atomic::get_timeout(int64_t& timeout_ms)
{
    return _call([&] { return _slot_get_timeout(timeout_ms); });
}

void serial_port_atomic::set_timeout(const int64_t& timeout_ms)
{
    // An atomic store needs no trip through the queue: the next queued call
    // happens after it and sees the value. It touches no call's outcome.
    _slot_set_timeout(timeout_ms);
}

void serial_port_atomic::shutdown()
{
    _call([&] {
        _slot_shutdown();
        return int(media_exception::no_error);
    });
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
    line = decoded_line(begin, length);
    buffer.remove(0, end + 1);

    if (!buffer.isEmpty()) {
        qCDebug(lc_serline, "result=%s", line.toUtf8().constData());
        qCDebug(lc_serline, "input buffer=%s", buffer.toHex().constData());
    }
    return true;
}

QByteArray serial_port_atomic::line_bytes(const QString& line)
{
    for (const QChar c : line) {
        if (c.unicode() > 0xFF)
            return line.toUtf8(); // only valid UTF-8 gives such characters
    }
    const QByteArray latin1 = line.toLatin1();
    return is_valid_utf8(latin1) ? line.toUtf8() : latin1;
}

template<typename Body>
int serial_port_atomic::_run(Body&& body)
{
    try {
        body();
    } catch (const media_exception& e) {
        return e.get_type();
    } catch (const std::exception&) {
        return media_exception::general;
    }
    return media_exception::no_error;
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

// True when bytes are waiting, after at most one polling period or what is
// left of the caller's time, whichever is shorter. An unplugged device (end
// of file or a resource error from the driver) fails the read at once
// instead of polling until the timeout; the error is cleared so that a later
// call tries anew.
bool serial_port_atomic::_wait_for_data(int64_t left_ms)
{
    const int wait = int(std::clamp<int64_t>(left_ms, 1, poll_ms));
    if (_port->bytesAvailable() > 0 || _port->waitForReadyRead(wait))
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

void serial_port_atomic::_read_available(QByteArray& dest)
{
    while (_port->bytesAvailable() > 0)
        _read_chunk(dest);
}

void serial_port_atomic::_throw_elapsed() const
{
    throw media_exception(_running.load() ? media_exception::timeout : media_exception::stopped);
}

int serial_port_atomic::_slot_open(const serial_port_settings_t& settings)
{
    return _run([&] {
        if (!_port)
            _port = std::make_unique<QSerialPort>();
        _timeout = settings.timeout;
        _port->setPortName(settings.port_name);
        _port->setBaudRate(settings.baud_rate, QSerialPort::AllDirections);
        _port->setDataBits(static_cast<QSerialPort::DataBits>(settings.data_bits));
        _port->setFlowControl(static_cast<QSerialPort::FlowControl>(settings.flow_control));
        _port->setParity(static_cast<QSerialPort::Parity>(settings.parity));
        _port->setStopBits(static_cast<QSerialPort::StopBits>(settings.stop_bits));
        // A device that floods the line is held back by the system, not
        // buffered here without end.
        _port->setReadBufferSize(read_buffer_limit);
        _port->clearError();
        const bool opened = _port->open(QIODevice::ReadWrite);
        _running.store(true);
        if (!opened)
            throw media_exception(media_exception::open_failed);
        request_low_latency(*_port);
    });
}

int serial_port_atomic::_slot_close()
{
    return _run([&] {
        _running.store(false);
        if (!_port_open())
            return;
        _port->clear(QSerialPort::AllDirections);
        _port->close();
    });
}

int serial_port_atomic::_slot_is_open(bool& result)
{
    return _run([&] { result = _port_open(); });
}

// Only the input: output still queued is a line the caller has already
// written, and dropping it would lose that command (on a pseudo-terminal
// it would even drop what the far side has not read yet).
int serial_port_atomic::_slot_clear()
{
    return _run([&] {
        if (_port)
            _port->clear(QSerialPort::Input);
    });
}

// Everything that has arrived, the line buffer first; then, with a quiet
// time, whatever keeps arriving until the line has been silent that long or
// max_ms has passed since the start.
int serial_port_atomic::_slot_drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms)
{
    return _run([&] {
        dropped = std::exchange(_input_buffer, QByteArray());
        _require_open();
        _read_available(dropped);
        QElapsedTimer since_start;
        since_start.start();
        QElapsedTimer since_byte;
        since_byte.start();
        while (quiet_ms > 0 && since_byte.elapsed() < quiet_ms && since_start.elapsed() < max_ms) {
            if (!_running.load())
                throw media_exception(media_exception::stopped);
            const int64_t wait = std::min<int64_t>(
                {poll_ms, quiet_ms - since_byte.elapsed(), max_ms - since_start.elapsed()});
            if (_port->bytesAvailable() == 0 &&
                !_port->waitForReadyRead(int(std::max<int64_t>(1, wait))))
                continue;
            _read_available(dropped);
            since_byte.restart();
        }
        _port->clear(QSerialPort::Input);
    });
}

int serial_port_atomic::_slot_read_line(QString& line, const char* term, size_t max_len,
                                        int64_t timeout_ms)
{
    Q_UNUSED(max_len); // part of the interface; lines are not bounded
    return _run([&] {
        line.clear();
        _require_open();
        QElapsedTimer timer;
        timer.start();
        while (_running.load()) {
            if (extract_line_from_byte_array(_input_buffer, line, term))
                return;
            if (timer.elapsed() >= timeout_ms)
                _throw_elapsed();
            if (!_wait_for_data(timeout_ms - timer.elapsed()))
                continue;
            // One chunk at a time: in a flood of short lines the buffer
            // each line is taken from stays small, so each costs little.
            _read_chunk(_input_buffer);
        }
        throw media_exception(media_exception::stopped);
    });
}

int serial_port_atomic::_slot_write_line(const QString& line)
{
    return _slot_write(line.toLatin1());
}

int serial_port_atomic::_slot_read(QByteArray& data, int size, int64_t timeout_ms)
{
    return _run([&] {
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
            if (!_wait_for_data(timeout_ms - timer.elapsed()))
                continue;
            _read_chunk(collected);
            if (collected.size() >= size) {
                data = collected;
                return;
            }
        }
    });
}

int serial_port_atomic::_slot_read_all(QByteArray& data, int64_t timeout_ms)
{
    return _run([&] {
        data.clear();
        _require_open();
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            if (!_running.load())
                throw media_exception(media_exception::stopped);
            if (timer.elapsed() >= timeout_ms)
                _throw_elapsed();
            if (_wait_for_data(timeout_ms - timer.elapsed()))
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

int serial_port_atomic::_slot_write(const QByteArray& data)
{
    return _run([&] {
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

int serial_port_atomic::_slot_get_timeout(int64_t& timeout_ms)
{
    return _run([&] { timeout_ms = _timeout; });
}

void serial_port_atomic::_slot_set_timeout(const int64_t& timeout_ms)
{
    _timeout.store(timeout_ms);
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
