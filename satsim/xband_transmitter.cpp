#include "xband_transmitter.h"

#include "sim_wire.h"
#include "virtual_serial_pair.h"

#include <QDataStream>
#include <QIODevice>
#include <QScopeGuard>
#include <QtEndian>

#include <cmath>
#include <mutex>
#include <poll.h>
#include <unistd.h>
#include <zlib.h>

namespace kq::satsim {

namespace {

constexpr uint16_t answer_command = 276;
constexpr uint16_t accepted = 5;

enum : uint8_t { ok = 0, no_file = 1, bad_handle = 2, out_of_range = 3, unknown = 0xFF };

QByteArray status(uint8_t s)
{
    return QByteArray(1, char(s));
}

QByteArray le16(uint16_t v)
{
    char b[2];
    qToLittleEndian<quint16>(v, b);
    return QByteArray(b, 2);
}

QByteArray le32(uint32_t v)
{
    char b[4];
    qToLittleEndian<quint32>(v, b);
    return QByteArray(b, 4);
}

QByteArray lef(float v)
{
    char b[4];
    qToLittleEndian<float>(v, b);
    return QByteArray(b, 4);
}

QString name_of(const QByteArray& payload)
{
    const int zero = payload.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? payload : payload.left(zero));
}

} // namespace

xband_transmitter::xband_transmitter(virtual_serial_pair& pair, uint16_t address)
    : _pair(pair)
    , _address(address)
{
    _uptime.start();
    _clock.start();
}

void xband_transmitter::hold_replies(int n, int ms)
{
    _hold_ms.store(ms);
    _hold.store(n);
}

void xband_transmitter::set_late_rate(double rate, int min_ms, int max_ms, uint32_t seed)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _late_rate = rate;
    _late_min_ms = min_ms;
    _late_max_ms = std::max(min_ms, max_ms);
    _rng.seed(seed);
}

xband_transmitter::~xband_transmitter()
{
    stop();
}

void xband_transmitter::stop()
{
    _stop.store(true);
    wait();
    _ended.load(std::memory_order_acquire);
}

xband_transmitter::parameters_t xband_transmitter::parameters()
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _params;
}

void xband_transmitter::put_file(const QString& name, const QByteArray& data)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _files[name] = data;
}

void xband_transmitter::set_parameters(const parameters_t& p)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _params = p;
}

QMap<QString, QByteArray> xband_transmitter::files()
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _files;
}

QByteArray xband_transmitter::last_request_payload()
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _last_payload;
}

QString xband_transmitter::mode()
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _mode;
}

QByteArray xband_transmitter::frame(uint16_t src, uint16_t dst, uint16_t command, uint16_t type,
                                    const QByteArray& payload)
{
    QByteArray f = "KQUP" + le16(src) + le16(uint16_t(payload.size())) + le16(dst) + le16(command) +
                   le16(type) + payload;
    const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(f.constData()), uInt(f.size()));
    return f + le32(uint32_t(crc));
}

void xband_transmitter::_reply(uint16_t command, uint16_t type, const QByteArray& payload)
{
    if (_silent.load() > 0) {
        _silent.fetch_sub(1);
        return;
    }
    QByteArray f = frame(_address, _address, command, type, payload);
    if (_bad_crc.load() > 0) {
        _bad_crc.fetch_sub(1);
        f[f.size() - 1] = char(f.at(f.size() - 1) ^ 0x5A);
    }
    if (_bad_magic.load() > 0) {
        _bad_magic.fetch_sub(1);
        f[0] = 'X';
    }
    if (_oversize.load() > 0) {
        _oversize.fetch_sub(1);
        f.replace(6, 2, le16(1473));
    }
    if (_garbage.load() > 0) {
        _garbage.fetch_sub(1);
        f.prepend(QByteArray("\x00\xffKQU\x13noise\r\nKQ"));
    }
    int late_ms = 0;
    if (_late_rate > 0 && _rng.generateDouble() < _late_rate)
        late_ms = _late_min_ms + int(_rng.bounded(_late_max_ms - _late_min_ms + 1));
    if (_hold.load() > 0) {
        _hold.fetch_sub(1);
        late_ms = _hold_ms.load();
    }
    _send_due(0);
    const int64_t now = _clock.elapsed();
    int64_t due = now + late_ms;
    if (_late_in_order.load() && !_held.empty())
        due = std::max(due, _held.rbegin()->first); // behind the replies held before it
    if (due > now) {
        _held.emplace(due, f);
        return;
    }
    _write(f);
}

void xband_transmitter::_write(const QByteArray& f)
{
    if (!_split.load()) {
        _pair.write(f);
        return;
    }
    for (int at = 0; at < f.size(); at += 5) {
        _pair.write(f.mid(at, 5));
        msleep(15);
    }
}

// Held replies that are due go out just before the next reply, where they
// hurt most; with no request coming, on their own a little later.
void xband_transmitter::_send_due(int64_t grace_ms)
{
    while (!_held.empty() && _held.begin()->first + grace_ms <= _clock.elapsed()) {
        _write(_held.begin()->second);
        _held.erase(_held.begin());
    }
}

void xband_transmitter::run()
{
    const auto end = qScopeGuard([this] { _ended.store(true, std::memory_order_release); });
    QByteArray buffer;
    char chunk[4096];
    while (!_stop.load()) {
        _send_due(wire::idle_grace_ms);
        pollfd p{_pair.master_fd(), POLLIN, 0};
        if (_pair.master_fd() < 0 || ::poll(&p, 1, _held.empty() ? 20 : 2) <= 0 ||
            !(p.revents & POLLIN))
            continue;
        const ssize_t n = ::read(_pair.master_fd(), chunk, sizeof chunk);
        if (n <= 0)
            continue;
        buffer.append(chunk, int(n));
        while (buffer.size() >= 14) {
            const int start = buffer.indexOf("KQUP");
            if (start < 0) {
                buffer.clear();
                break;
            }
            buffer.remove(0, start);
            if (buffer.size() < 14)
                break; // the rest of the header is on its way
            const auto* f = reinterpret_cast<const uchar*>(buffer.constData());
            const int len = qFromLittleEndian<quint16>(f + 6);
            if (buffer.size() < len + 18)
                break;
            const auto crc = ::crc32(0, f, uInt(len + 14));
            const bool intact = qFromLittleEndian<quint32>(f + 14 + len) == uint32_t(crc);
            const uint16_t command = qFromLittleEndian<quint16>(f + 10);
            const uint16_t type = qFromLittleEndian<quint16>(f + 12);
            const QByteArray payload = buffer.mid(14, len);
            buffer.remove(0, len + 18);
            if (!intact)
                continue; // a damaged request goes unanswered
            const std::lock_guard<std::mutex> locker(_lock);
            if (command != answer_command) {
                _pending_command = command;
                _pending_type = type;
                _pending_command_payload = payload;
                _last_payload = payload;
                _reply(command, accepted, QByteArray());
            } else {
                _reply(answer_command, accepted,
                       _result(_pending_command, _pending_type, _pending_command_payload));
            }
        }
    }
}

QByteArray xband_transmitter::_get(uint16_t type)
{
    switch (type) {
    case 64:
        return status(ok) + char(_params.symbol_rate);
    case 65:
        return status(ok) + char(_params.tx_power);
    case 66:
        return status(ok) + lef(_params.central_frequency);
    case 67:
        return status(ok) + char(_params.modcod);
    case 68:
        return status(ok) + char(_params.roll_off);
    case 69:
        return status(ok) + char(_params.pilot_signal);
    case 70:
        return status(ok) + char(_params.fec_frame_size);
    case 71:
        return status(ok) + char(_params.symbol_rate) + char(_params.tx_power) + le16(0xBEEF) +
               lef(_params.central_frequency) + char(_params.modcod) + char(_params.roll_off) +
               char(_params.pilot_signal) + char(_params.fec_frame_size) +
               le16(_params.parameters_word);
    case 72:
    case 73:
        return _report(type);
    default:
        return status(unknown);
    }
}

int xband_transmitter::_state() const
{
    static const QStringList modes{"IDLE", "TX", "LOAD", "SEND", "UPDATE", "OFF"};
    return std::max(0, int(modes.indexOf(_mode)));
}

int xband_transmitter::_percent(const QString& mode) const
{
    if (_mode != mode || _mode_ms <= 0)
        return 0;
    return int(std::min<int64_t>(99, _mode_clock.elapsed() * 100 / _mode_ms));
}

void xband_transmitter::_begin(const QString& mode, int64_t duration_ms)
{
    _mode = mode;
    _mode_ms = duration_ms;
    _mode_clock.start();
}

void xband_transmitter::_advance()
{
    if ((_mode == QLatin1String("SEND") || _mode == QLatin1String("UPDATE")) &&
        _mode_clock.elapsed() >= _mode_ms) {
        if (_mode == QLatin1String("UPDATE"))
            _uptime.restart();
        _mode = QStringLiteral("IDLE");
    }
}

QByteArray xband_transmitter::_report(uint16_t type)
{
    const auto t = double(_uptime.elapsed()) / 1000.0;
    const auto seconds = uint16_t(t);
    QByteArray r =
        QByteArray(1, char(_state())) + char(_params.tx_power) + le16(seconds) +
        le16(uint16_t((_mode == QLatin1String("TX") ? 1800 : 400) + int(10 * std::sin(t))));
    if (type == 72)
        return status(ok) + r;
    r.append(char(_percent(QStringLiteral("SEND"))));
    r.append(char(_percent(QStringLiteral("UPDATE"))));
    for (int i = 2; i < 10; ++i)
        r.append(char(i * 3 + seconds));
    r += le16(uint16_t(_files.size())) + le16(0x55AA);
    r += lef(float(21.5 + std::sin(t))) + lef(float(5.02)) + lef(float(-3.5 + 0.1 * t)) +
         lef(_params.central_frequency);
    return status(ok) + r;
}

QByteArray xband_transmitter::_set(uint16_t type, const QByteArray& value)
{
    const auto byte = [&](uint8_t& field) {
        if (value.size() != 1)
            return status(out_of_range);
        field = uint8_t(value.at(0));
        return status(ok);
    };
    switch (type) {
    case 64:
        return byte(_params.symbol_rate);
    case 65:
        if (_misstore.load() && value.size() == 1) { // a failing memory: one more, and OK
            _params.tx_power = uint8_t(value.at(0) + 1);
            return status(ok);
        }
        return byte(_params.tx_power);
    case 66:
        if (value.size() != 4)
            return status(out_of_range);
        _params.central_frequency = qFromLittleEndian<float>(value.constData());
        return status(ok);
    case 67:
        return byte(_params.modcod);
    case 68:
        return byte(_params.roll_off);
    case 69:
        return byte(_params.pilot_signal);
    case 70:
        return byte(_params.fec_frame_size);
    case 71:
        if (value.size() != 14)
            return status(out_of_range);
        _params.symbol_rate = uint8_t(value.at(0));
        _params.tx_power = uint8_t(value.at(1));
        _params.central_frequency = qFromLittleEndian<float>(value.constData() + 4);
        _params.modcod = uint8_t(value.at(8));
        _params.roll_off = uint8_t(value.at(9));
        _params.pilot_signal = uint8_t(value.at(10));
        _params.fec_frame_size = uint8_t(value.at(11));
        _params.parameters_word = qFromLittleEndian<quint16>(value.constData() + 12);
        return status(ok);
    default:
        return status(unknown);
    }
}

QByteArray xband_transmitter::_result(uint16_t command, uint16_t type, const QByteArray& payload)
{
    _advance();
    switch (command) {
    case 256:
        return _get(type);
    case 257:
        return _set(type, payload);
    case 258: {
        QByteArray out = status(ok);
        for (auto it = _files.constBegin(); it != _files.constEnd(); ++it)
            out += it.key().toUtf8() + '\0' + le32(uint32_t(it.value().size()));
        return out;
    }
    case 259:
        return _files.remove(name_of(payload)) ? status(ok) : status(no_file);
    case 260:
        _files.clear();
        _handles.clear();
        return status(ok);
    case 261: {
        const QString name = name_of(payload);
        const int zero = payload.indexOf('\0');
        if (name.isEmpty() || zero < 0 || payload.size() < zero + 3)
            return status(out_of_range);
        _files[name] = QByteArray();
        _handles[_next_handle] = name;
        _read_pos[_next_handle] = 0;
        return status(ok) + le32(_next_handle++);
    }
    case 262: {
        QDataStream in(payload);
        quint16 length = 0;
        quint32 handle = 0, offset = 0;
        QByteArray data;
        in >> length >> handle >> offset >> data;
        if (in.status() != QDataStream::Ok || data.size() != length)
            return status(out_of_range);
        if (!_handles.contains(handle))
            return status(bad_handle);
        if (uint64_t(offset) + length > uint64_t(_max_file_size.load()))
            return status(out_of_range);
        QByteArray& file = _files[_handles[handle]];
        if (file.size() < int(offset + length))
            file.resize(int(offset + length));
        file.replace(int(offset), length, data);
        return status(ok);
    }
    case 263: {
        const QString name = name_of(payload);
        if (!_files.contains(name))
            return status(no_file);
        _handles[_next_handle] = name;
        _read_pos[_next_handle] = 0;
        return status(ok) + le32(_next_handle++) + le32(uint32_t(_files[name].size()));
    }
    case 264: {
        QDataStream in(payload);
        quint32 handle = 0;
        in >> handle;
        if (!_handles.contains(handle))
            return status(bad_handle);
        const QByteArray& file = _files[_handles[handle]];
        int& pos = _read_pos[handle];
        const QByteArray data = file.mid(pos, 512);
        pos += data.size();
        QByteArray out;
        QDataStream o(&out, QIODevice::WriteOnly);
        o << qint8(0) << qint16(data.size()) << qint32(file.size() - pos);
        return out + data;
    }
    case 272:
        _mode = QStringLiteral("TX");
        return status(ok);
    case 273: {
        if (payload.isEmpty()) {
            _mode = QStringLiteral("LOAD");
            return status(ok);
        }
        QDataStream in(payload);
        QString name;
        in >> name;
        if (in.status() != QDataStream::Ok || !_files.contains(name))
            return status(no_file);
        _begin(QStringLiteral("SEND"), std::max<int64_t>(2000, _files[name].size() * 1000 / 8192));
        return status(ok);
    }
    case 274: {
        const QString name = name_of(payload);
        if (!_files.contains(name))
            return status(no_file);
        if (_files[name].isEmpty())
            return status(out_of_range);
        _begin(QStringLiteral("UPDATE"), 3000);
        return status(ok);
    }
    case 275:
        _mode = QStringLiteral("OFF");
        return status(ok);
    default:
        return status(unknown);
    }
}

} // namespace kq::satsim
