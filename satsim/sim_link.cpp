#include "sim_link.h"

#include "sim_wire.h"
#include "virtual_serial_pair.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>

#include <algorithm>
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

sim_link::sim_link(virtual_serial_pair& pair, sim_node& root, std::mutex& state_lock, pacer* pace)
    : _pair(pair)
    , _root(root)
    , _pacer(pace)
    , _lock(state_lock)
{
    setObjectName(QStringLiteral("sim_link"));
    _clock.start();
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

void sim_link::set_late_rate(double rate, int min_ms, int max_ms)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _late_rate = rate;
    _late_min_ms = min_ms;
    _late_max_ms = std::max(min_ms, max_ms);
}

void sim_link::set_cut_rate(double rate)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _cut_rate = rate;
}

void sim_link::hold_answers(int n, int ms)
{
    _hold_ms.store(ms);
    _hold.store(n);
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
        _send_due(wire::idle_grace_ms);
        const int chatter_ms = _chatter_ms.load();
        if (chatter_ms > 0 && _clock.elapsed() - _last_chatter_ms >= chatter_ms) {
            _last_chatter_ms = _clock.elapsed();
            const int n = ++_chatter_count;
            _send(QStringLiteral("DBG %1 heap=%2 task idle\r\n")
                      .arg(n)
                      .arg(4096 - n % 97)
                      .toLatin1());
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, _poll_ms()) <= 0 || !(p.revents & POLLIN))
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
    if (line.startsWith(note_prefix))
        return; // a test's note on the line: kept, never answered
    bool echo = _echo.load();
    {
        const std::lock_guard<std::mutex> locker(_lock);
        echo = echo || _root.echoes(line);
    }
    if (echo)
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
    const int64_t arrived_ms = _clock.elapsed();
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
        bool drop = false, spoil = false, cut = false;
        int late_ms = 0;
        {
            const std::lock_guard<std::mutex> locker(_lock);
            drop = _drop_rate > 0 && _rng.generateDouble() < _drop_rate;
            spoil = _corrupt_rate > 0 && _rng.generateDouble() < _corrupt_rate;
            cut = _cut_rate > 0 && _rng.generateDouble() < _cut_rate;
            if (_late_rate > 0 && _rng.generateDouble() < _late_rate)
                late_ms = _late_min_ms + int(_rng.bounded(_late_max_ms - _late_min_ms + 1));
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
        if (_corrupt.load() > 0) {
            _corrupt.fetch_sub(1);
            spoil = true;
        }
        QByteArray bytes = _framed(a, spoil);
        if (_cut.load() > 0) {
            _cut.fetch_sub(1);
            cut = true;
        }
        if (cut)
            bytes.truncate(bytes.size() / 2); // the rest never comes
        if (_hold.load() > 0) {
            _hold.fetch_sub(1);
            late_ms = _hold_ms.load();
        }
        _send_due(0);
        int64_t due = arrived_ms + late_ms;
        if (_late_in_order.load() && !_held.empty())
            due = std::max(due, _held.rbegin()->first); // behind the answers held before it
        if (due > arrived_ms) {
            ++_answers_held;
            _held.emplace(due, bytes);
            continue;
        }
        ++_answers_sent;
        _send(bytes);
    }
}

// An answer as it goes on the wire: the payload (a text line, or raw bytes
// for a block), a blank, the CRC field of the bytes sent and the terminator.
QByteArray sim_link::_framed(const QString& answer, bool spoil) const
{
    const bool binary = sim_node::is_binary_answer(answer);
    const QByteArray bytes = binary ? answer.mid(1).toLatin1() : answer.toLatin1();
    uint32_t crc = crc_of(bytes);
    if (spoil)
        crc ^= 0x1;
    return bytes + ' ' + crc_text(crc).toLatin1() + (binary ? "\r" : "\r\n");
}

// Late answers that are due go out just before the next answer, where they
// hurt most: the device's next command reads them first. With no command
// coming they go out on their own a little later.
void sim_link::_send_due(int64_t grace_ms)
{
    const int64_t now = _clock.elapsed() - grace_ms;
    while (!_held.empty() && _held.begin()->first <= now) {
        ++_answers_sent;
        _send(_held.begin()->second);
        _held.erase(_held.begin());
    }
}

int sim_link::_poll_ms() const
{
    if (_held.empty())
        return 10;
    const int64_t due = _held.begin()->first + wire::idle_grace_ms;
    return int(std::clamp<int64_t>(due - _clock.elapsed(), 0, 10));
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
