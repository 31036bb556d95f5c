#include "sim_link.h"

#include "virtual_serial_pair.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>

#include <cerrno>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <zlib.h>

namespace kq::satsim {

namespace {

uint32_t crc_of(const QByteArray& b)
{
    return uint32_t(::crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size())));
}

// The bytes as they travel: text here is ASCII, blocks are raw bytes.
uint32_t crc_of(const QString& payload)
{
    return crc_of(payload.toLatin1());
}

// The header of a block write; the data, its sum and the CRC field follow.
const QRegularExpression& write_header()
{
    static const QRegularExpression rx(
        QStringLiteral("^KQ\\+D[0-9A-F]{2}FW[0-9A-F]{8}([0-9A-F]{4})$"));
    return rx;
}

QString crc_text(uint32_t crc)
{
    return QString::number(crc, 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

const QRegularExpression& framed()
{
    static const QRegularExpression rx(QStringLiteral("^(.*) ([0-9A-F]{8})$"),
                                       QRegularExpression::DotMatchesEverythingOption);
    return rx;
}

const QRegularExpression& crc_only()
{
    static const QRegularExpression rx(QStringLiteral("^ ([0-9A-F]{8})$"));
    return rx;
}

} // namespace

sim_link::sim_link(testing::virtual_serial_pair& pair, sim_node& root, std::mutex& state_lock,
                   pacer* pace)
    : _pair(pair)
    , _root(root)
    , _pacer(pace)
    , _lock(state_lock)
{
    setObjectName(QStringLiteral("sim_link"));
}

sim_link::~sim_link()
{
    stop();
}

void sim_link::stop()
{
    _stop.store(true);
    wait();
    _ended.load(std::memory_order_acquire);
}

void sim_link::set_fault_rates(double drop, double corrupt, uint32_t seed)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _drop_rate = drop;
    _corrupt_rate = corrupt;
    _rng.seed(seed);
}

QStringList sim_link::received() const
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _received;
}

void sim_link::forget_received()
{
    const std::lock_guard<std::mutex> locker(_lock);
    _received.clear();
}

int sim_link::commands_received() const
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _received.size();
}

QByteArray sim_link::framed_line(const QString& payload)
{
    return (payload + QLatin1Char(' ') + crc_text(crc_of(payload))).toLatin1() + "\r\n";
}

void sim_link::run()
{
    const auto end = qScopeGuard([this] { _ended.store(true, std::memory_order_release); });
    QByteArray buffer;
    char chunk[4096];
    // A frame the sender broke off (a program stopped halfway through a
    // block) is dropped after a pause, as a receiver's inter-byte timeout
    // would, instead of swallowing the start of the next command.
    constexpr int64_t abandon_ms = 300;
    QElapsedTimer since_byte;
    since_byte.start();
    while (!_stop.load()) {
        if (!buffer.isEmpty() && since_byte.elapsed() > abandon_ms)
            buffer.clear();
        if (_close.exchange(false))
            _pair.close_master();
        const int fd = _pair.master_fd();
        if (fd < 0) {
            msleep(20);
            continue;
        }
        QByteArray own;
        {
            const std::lock_guard<std::mutex> locker(_lock);
            own = _root.unsolicited();
        }
        if (!own.isEmpty())
            _send(own);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0 || !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0)
            continue;
        buffer.append(chunk, int(n));
        since_byte.restart();
        while (_take_frame(buffer)) {
        }
    }
}

// Takes one line, or one block write, off the front of the buffer; false
// when more bytes are needed.
bool sim_link::_take_frame(QByteArray& buffer)
{
    int end = -1;
    for (int i = 0; i < buffer.size(); ++i) {
        if (buffer.at(i) == '\r' || buffer.at(i) == '\n') {
            end = i;
            break;
        }
    }
    if (end < 0)
        return false;
    const QString line = QString::fromLatin1(buffer.left(end));
    const QRegularExpressionMatch block = write_header().match(line);
    if (block.hasMatch()) {
        const int data = int(block.captured(1).toUInt(nullptr, 16)) + 1;
        const int size = end + 1 + data + 10; // header, CR, data and sum, " CRC", CR
        if (buffer.size() < size)
            return false;
        const QByteArray body = buffer.left(size - 10);
        const QByteArray field = buffer.mid(size - 9, 8);
        buffer.remove(0, size);
        {
            const std::lock_guard<std::mutex> locker(_lock);
            _received << line;
        }
        // fromLatin1(QByteArray) would stop at the first zero byte of the data.
        _answer(crc_text(crc_of(body)).toLatin1() == field
                    ? QString::fromLatin1(body.constData(), body.size())
                    : QString());
        return true;
    }
    buffer.remove(0, end + 1);
    if (!line.isEmpty())
        _process(line);
    return true;
}

void sim_link::set_trace(trace_t trace)
{
    const std::lock_guard<std::mutex> locker(_trace_lock);
    _trace = std::move(trace);
}

void sim_link::_process(const QString& line)
{
    {
        const std::lock_guard<std::mutex> locker(_trace_lock);
        if (_trace)
            _trace(true, line.toLatin1());
    }
    {
        const std::lock_guard<std::mutex> locker(_lock);
        _received << line;
    }
    if (_echo.load())
        _send(line.toLatin1() + "\r\n");

    const QRegularExpressionMatch joined = crc_only().match(line);
    if (joined.hasMatch() && !_pending.isEmpty()) {
        // The payload may end in a CR of its own that the CRC covers.
        const QString payload = std::exchange(_pending, QString());
        const QString field = joined.captured(1);
        if (crc_text(crc_of(payload)) == field)
            _answer(payload);
        else if (crc_text(crc_of(payload + QLatin1Char('\r'))) == field)
            _answer(payload + QLatin1Char('\r'));
        else
            _answer(QString());
        return;
    }
    if (!_pending.isEmpty()) {
        _pending.clear();
        _answer(QString()); // a payload without its CRC line
    }
    const QRegularExpressionMatch m = framed().match(line);
    if (!m.hasMatch()) {
        _pending = line; // may be the first half of the on-board computer's form
        return;
    }
    const QString payload = m.captured(1);
    _answer(crc_text(crc_of(payload)) == m.captured(2) ? payload : QString());
}

// An empty payload stands for a line whose frame did not check out.
void sim_link::_answer(const QString& payload)
{
    QStringList answers{QStringLiteral("ERR")};
    int64_t owed_us = 0;
    if (!payload.isEmpty()) {
        const std::lock_guard<std::mutex> locker(_lock);
        answers = _root.handle(payload);
        if (_pacer && _pacer->enabled()) {
            constexpr int frame = 12;
            int bytes = payload.size() + frame;
            for (const QString& a : answers)
                bytes += a.size() + frame;
            _pacer->serial(bytes);
            owed_us = _pacer->take_us();
        }
    }
    if (owed_us > 0)
        usleep(static_cast<unsigned long>(owed_us));
    for (const QString& a : answers) {
        bool drop = false, spoil = false;
        {
            const std::lock_guard<std::mutex> locker(_lock);
            drop = _drop_rate > 0 && _rng.generateDouble() < _drop_rate;
            spoil = _corrupt_rate > 0 && _rng.generateDouble() < _corrupt_rate;
        }
        if (_drop.load() > 0) {
            _drop.fetch_sub(1);
            continue;
        }
        if (drop)
            continue;
        if (const int ms = _delay_ms.load())
            msleep(static_cast<unsigned long>(ms));
        if (_noise.load())
            _send(QByteArray("~\x01\x7f noise\r\n"));
        const bool binary = sim_node::is_binary_answer(a);
        const QByteArray bytes = binary ? a.mid(1).toLatin1() : a.toLatin1();
        uint32_t crc = crc_of(bytes);
        if (_corrupt.load() > 0) {
            _corrupt.fetch_sub(1);
            crc ^= 0x1;
        } else if (spoil) {
            crc ^= 0x1;
        }
        _send(bytes + ' ' + crc_text(crc).toLatin1() + (binary ? "\r" : "\r\n"));
    }
}

void sim_link::_send(const QByteArray& bytes)
{
    {
        const std::lock_guard<std::mutex> locker(_trace_lock);
        if (_trace)
            _trace(false, bytes);
    }
    try {
        _pair.write(bytes);
    } catch (const std::exception&) {
        // the link was closed under us: the bytes are lost, as on a real cable
    }
}

} // namespace kq::satsim
