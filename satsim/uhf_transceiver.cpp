#include "uhf_transceiver.h"

#include "ax25_encoder.h"
#include "sim_link.h"
#include "sim_wire.h"

#include <QRegularExpression>

namespace kq::satsim {

namespace {

constexpr int fram_size = 64 * 1024;

bool parse_hex(const QString& text, uint64_t& out)
{
    bool ok = false;
    out = text.toULongLong(&ok, 16);
    return ok && !text.isEmpty();
}

} // namespace

uhf_transceiver::uhf_transceiver(uint8_t address, bool on_wire)
    : _on_wire(on_wire)
    , _fram(fram_size, '\0')
{
    _s.address = address;
    _since_traffic.start();
    _uptime.start();
    _muted.start();
}

QByteArray uhf_transceiver::fram(uint32_t address, int size) const
{
    return _fram.mid(int(address), size);
}

bool uhf_transceiver::pipe_on()
{
    const bool on = _s.scw & 0x20;
    if (on && _since_traffic.elapsed() > qint64(_s.pipe_timeout) * 1000) {
        _s.scw &= ~0x20;
        if (_on_wire)
            _outgoing += sim_link::framed_line(QStringLiteral("+KQTTC"));
    }
    return _s.scw & 0x20;
}

void uhf_transceiver::mute_for(int ms)
{
    _mute_ms = ms;
    _muted.restart();
}

void uhf_transceiver::drop_pipe()
{
    _s.scw &= ~0x20;
}

QStringList uhf_transceiver::handle(const QString& payload)
{
    if (_muted.elapsed() < _mute_ms)
        return {};
    if (!payload.startsWith(QLatin1String("KQ+")) || payload.size() < 6)
        return wire::err();
    static const QRegularExpression command(QStringLiteral("^KQ\\+[RWD][0-9A-F]{2}"));
    static const QRegularExpression free_text(QStringLiteral("^KQ\\+([0-9A-Fa-f]{8})(.*)$"));
    const QRegularExpressionMatch text = free_text.match(payload);
    if (!command.match(payload).hasMatch() && text.hasMatch()) {
        const uint32_t sequence = text.captured(1).toUInt(nullptr, 16);
        if (_far)
            _far->hear_text(sequence, text.captured(2));
        if (_text_replies)
            inject_text(sequence, QStringLiteral("ROGER ") + text.captured(2));
        return {};
    }
    uint64_t address = 0;
    const bool addressed = parse_hex(payload.mid(4, 2), address);
    const bool piping = pipe_on();
    if (addressed && address == _s.address) {
        ++_s.rx_pkts;
        if (piping)
            _since_traffic.restart();
        return _own(payload);
    }
    if (piping) {
        _since_traffic.restart();
        const QStringList answers = _far ? _far->handle(payload) : QStringList();
        if (_pacer) {
            constexpr int frame = 12; // CRC field, separators and terminators
            int bytes = payload.size() + frame;
            for (const QString& a : answers)
                bytes += a.size() + frame;
            _pacer->radio(bytes, (_s.scw >> 8) & 7);
        }
        return answers;
    }
    if (_on_wire && _piped_before)
        return {QStringLiteral("ERR+KQTTC")};
    return {};
}

bool uhf_transceiver::echoes(const QString& line)
{
    const bool own_echo = _s.scw & 0x80;
    uint64_t address = 0;
    const bool mine = line.startsWith(QLatin1String("KQ+")) && parse_hex(line.mid(4, 2), address) &&
                      address == _s.address;
    if (_on_wire && own_echo)
        return true;
    if (mine)
        return own_echo;
    return _far && (_s.scw & 0x20) && _far->echoes(line);
}

QStringList uhf_transceiver::_own(const QString& payload)
{
    const QChar kind = payload.at(3);
    ++_s.tx_pkts;
    if (kind == QLatin1Char('D'))
        return _flash(payload.mid(6));
    uint64_t code = 0;
    if (payload.size() < 8 || !parse_hex(payload.mid(6, 2), code))
        return wire::err();
    const QString rest = payload.mid(8);
    if (kind == QLatin1Char('R') && int(code) == _garbled_read)
        return {QStringLiteral("OK+NOTHEX")};
    if (kind == QLatin1Char('R'))
        return _read(int(code), rest);
    if (kind == QLatin1Char('W'))
        return _write(int(code), rest);
    return wire::err();
}

QStringList uhf_transceiver::_flash(const QString& record)
{
    if (!_s.unlocked)
        return {QStringLiteral("ERR+LOCKED")};
    if (_refuse_flash > 0) {
        --_refuse_flash;
        return {_refusal};
    }
    const QByteArray bytes = QByteArray::fromHex(record.mid(2).toLatin1());
    unsigned sum = 0;
    for (const char b : bytes)
        sum += uint8_t(b);
    if (!record.startsWith(QLatin1Char('S')) || record.size() % 2 != 0 || bytes.isEmpty() ||
        uint8_t(bytes.at(0)) + 1 != bytes.size() || (sum & 0xFF) != 0xFF)
        return {QStringLiteral("ERR+CHKSUM")};
    const int type = record.at(1).digitValue();
    if (!QStringLiteral("01379").contains(record.at(1)))
        return {QStringLiteral("ERR+TYPE")}; // 24-bit addresses and counts are not taken
    if (type >= 1 && type <= 3) {
        uint32_t address = 0;
        for (int i = 1; i <= type + 1; ++i)
            address = (address << 8) | uint8_t(bytes.at(i));
        _image[address] = bytes.mid(1 + type + 1, bytes.size() - type - 3);
    }
    ++_flash_lines;
    return wire::ok();
}

QByteArray uhf_transceiver::image() const
{
    QByteArray all;
    for (const QByteArray& data : _image)
        all += data;
    return all;
}

QByteArray uhf_transceiver::unsolicited()
{
    const bool piping = pipe_on(); // also notices a lapse
    QByteArray out = std::exchange(_outgoing, QByteArray());
    // What the far side says on its own comes through while the pipe is on.
    if (_far) {
        const QByteArray far = _far->unsolicited();
        if (piping)
            out += far;
    }
    if (_beacon_ms > 0 && _beacon_timer.elapsed() >= _beacon_ms) {
        _beacon_timer.restart();
        // The beacon's bits end their own line: a text line after them
        // starts on a line of its own.
        out += _beacon_bits + "\r\n";
    }
    if (_text_ms > 0 && _text_timer.elapsed() >= _text_ms) {
        _text_timer.restart();
        ++_texts_sent;
        inject_text(_texts_sent, QStringLiteral("KQ SAT TEXT %1").arg(_texts_sent));
        out += std::exchange(_outgoing, QByteArray());
    }
    return out;
}

void uhf_transceiver::set_far_station_text(bool replies, int period_ms)
{
    _text_replies = replies;
    _text_ms = period_ms;
    _text_timer.restart();
}

void uhf_transceiver::hear_text(uint32_t sequence, const QString& text)
{
    _texts.append({sequence, text});
}

void uhf_transceiver::set_beacon(int period_ms, const QString& dst, const QString& src,
                                 const QByteArray& info)
{
    _beacon_ms = period_ms;
    _beacon_bits = ax25_encoder::encode(dst, src, info);
    _beacon_timer.restart();
}

void uhf_transceiver::queue_raw(const QByteArray& bytes)
{
    _outgoing += bytes;
}

void uhf_transceiver::inject_text(uint32_t sequence, const QString& text)
{
    _outgoing += sim_link::framed_line(QLatin1String("KQ+") + wire::hex(sequence, 8) + text);
}

QString uhf_transceiver::_ok(const QString& value) const
{
    return QLatin1String("OK+") + wire::hex(_s.rssi, 2) + value;
}

QStringList uhf_transceiver::_read(int code, const QString& args)
{
    switch (code) {
    case 0x00:
        return {_ok(wire::hex(_s.address, 2) + "00" + wire::hex(_s.scw, 4))};
    case 0x01:
        return {_ok(wire::hex(_s.rf_word, 8))};
    case 0x02:
        return {_ok(wire::hex(uint32_t(_uptime.elapsed() / 1000), 8))};
    case 0x03:
        return {_ok(wire::hex(_s.tx_pkts, 8))};
    case 0x04:
        return {_ok(wire::hex(_s.rx_pkts, 8))};
    case 0x05:
        return {_ok(wire::hex(_s.rx_crc_pkts, 8))};
    case 0x06:
        return {_ok("000000" + wire::hex(_s.pipe_timeout, 2))};
    case 0x07:
        return {_ok("0000" + wire::hex(_s.text_beacon_period, 4))};
    case 0x08:
        return {_ok("0000" + wire::hex(_s.audio_beacon_period, 4))};
    case 0xF5:
        return {"OK+" + _s.dst_call_sign.leftJustified(6, QLatin1Char(' '))};
    case 0xF6:
        return {"OK+" + _s.src_call_sign.leftJustified(6, QLatin1Char(' '))};
    case 0xF7:
        return {"OK+" + QString::number(_s.morse.size()).rightJustified(2, '0') + _s.morse};
    case 0xF8:
        return {"OK+" + QString::number(_s.midi.size() / 3).rightJustified(2, '0') + _s.midi};
    case 0xF9:
        return {"OK+" + _s.version};
    case 0xFA:
        return {"OK+" + wire::hex(_s.payload_size, 4)};
    case 0xFB: {
        if (!_on_wire)
            return {QStringLiteral("ERR+REMOTE")};
        const QByteArray bits =
            ax25_encoder::encode(_s.dst_call_sign, _s.src_call_sign, _s.text_beacon.toLatin1());
        return {"OK+" + wire::hex(uint8_t(bits.size()), 2) +
                QString::fromLatin1(bits.toHex().toUpper())};
    }
    case 0xFD: {
        uint64_t at = 0;
        if (!parse_hex(args, at) || at + 16 > uint64_t(_fram.size()))
            return wire::err();
        return {"OK+" + QString::fromLatin1(_fram.mid(int(at), 16).toHex().toUpper())};
    }
    case 0xFE: {
        uint64_t group = 0, count = 0, offset = 0;
        if (args.size() != 6 || !parse_hex(args.mid(0, 2), group) ||
            !parse_hex(args.mid(2, 2), count) || !parse_hex(args.mid(4, 2), offset) || count == 0)
            return wire::err();
        const QByteArray props = _props.value(int(group), QByteArray(256, '\0'));
        return {"OK+" + QString::fromLatin1(props.mid(int(offset), int(count)).toHex().toUpper())};
    }
    case 0xFF:
        return {"OK+" + wire::hex(_s.challenge, 8)};
    default:
        return wire::err();
    }
}

void uhf_transceiver::_write_scw(uint16_t word)
{
    const bool was_piping = _s.scw & 0x20;
    _s.scw = uint16_t((word & ~0x3) | (_s.scw & 0x3)); // health bits are the device's own
    if (_s.scw & 0x800) {                              // reset: back to command mode, locked
        ++_s.resets;
        _s.scw &= uint16_t(~(0x800 | 0x20));
        _s.unlocked = false;
    }
    if ((_s.scw & 0x20) && !was_piping) {
        _piped_before = true;
        _since_traffic.restart();
    }
}

QStringList uhf_transceiver::_write(int code, const QString& value)
{
    uint64_t n = 0;
    switch (code) {
    case 0x00:
        if (value.size() != 4 || !parse_hex(value, n))
            return wire::err();
        _write_scw(uint16_t(n));
        return wire::ok();
    case 0x01:
        if (value.size() != 8 || !parse_hex(value, n))
            return wire::err();
        _s.rf_word = uint32_t(n);
        return wire::ok();
    case 0x06:
        if (value.size() != 8 || !parse_hex(value, n))
            return wire::err();
        _s.pipe_timeout = uint8_t(n);
        return wire::ok();
    case 0x07:
    case 0x08:
        if (value.size() != 8 || !parse_hex(value, n))
            return wire::err();
        (code == 0x07 ? _s.text_beacon_period : _s.audio_beacon_period) =
            uint16_t(n + (_s.misstores_periods ? 1 : 0));
        return wire::ok();
    case 0xF5:
    case 0xF6:
        if (value.size() != 6)
            return wire::err();
        (code == 0xF5 ? _s.dst_call_sign : _s.src_call_sign) = value.trimmed();
        return wire::ok();
    case 0xF7:
    case 0xF8:
        if (value.size() < 2 || !value.left(2).at(0).isDigit())
            return wire::err();
        (code == 0xF7 ? _s.morse : _s.midi) = value.mid(2);
        return wire::ok();
    case 0xFB:
        if (value.size() < 2 || !parse_hex(value.left(2), n) ||
            int(n) != value.mid(2).toLatin1().size())
            return wire::err();
        _s.text_beacon = value.mid(2);
        return wire::ok();
    case 0xFC:
        if (value.size() != 2 || !parse_hex(value, n))
            return wire::err();
        _s.address = uint8_t(n);
        return wire::ok();
    case 0xFD: {
        const QByteArray data = QByteArray::fromHex(value.mid(8).toLatin1());
        if (value.size() != 40 || !parse_hex(value.left(8), n) || n + 16 > uint64_t(_fram.size()))
            return wire::err();
        _fram.replace(int(n), 16, data);
        return wire::ok();
    }
    case 0xFE: {
        uint64_t group = 0, len = 0, offset = 0;
        if (value.size() < 6 || !parse_hex(value.mid(0, 2), group) ||
            !parse_hex(value.mid(2, 2), len) || !parse_hex(value.mid(4, 2), offset))
            return wire::err();
        const QByteArray data = QByteArray::fromHex(value.mid(6).toLatin1());
        if (uint64_t(data.size()) != len || offset + len > 256)
            return wire::err();
        QByteArray& props = _props[int(group)];
        if (props.isEmpty())
            props = QByteArray(256, '\0');
        props.replace(int(offset), int(len), data);
        return wire::ok();
    }
    case 0xFF:
        if (value.size() != 8 || !parse_hex(value, n))
            return wire::err();
        _s.unlocked = uint32_t(n) == (_s.challenge ^ _s.secure_key);
        if (_s.unlocked)
            return wire::ok();
        return {QStringLiteral("ERR+ACCESS")};
    default:
        return wire::err();
    }
}

} // namespace kq::satsim
