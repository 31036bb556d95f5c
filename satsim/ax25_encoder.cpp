#include "ax25_encoder.h"

#include <vector>

namespace kq::satsim {

namespace {

void put_address(QByteArray& out, const QString& call, uint8_t ssid)
{
    const QByteArray c = call.toLatin1().left(6).leftJustified(6, ' ');
    for (const char ch : c)
        out.append(char(uint8_t(ch) << 1));
    out.append(char(ssid));
}

uint16_t fcs(const QByteArray& data)
{
    uint16_t crc = 0xFFFF;
    for (const char ch : data) {
        uint8_t b = uint8_t(ch);
        for (int i = 0; i < 8; ++i) {
            const bool mix = ((crc ^ b) & 1) != 0;
            crc >>= 1;
            b >>= 1;
            if (mix)
                crc ^= 0x8408;
        }
    }
    return uint16_t(~crc);
}

} // namespace

QByteArray ax25_encoder::frame(const QString& dst, const QString& src, const QByteArray& info,
                               uint8_t dst_ssid, uint8_t src_ssid)
{
    QByteArray f;
    put_address(f, dst, dst_ssid);
    put_address(f, src, src_ssid);
    f.append(char(0x03));
    f.append(char(0xF0));
    f.append(info);
    const uint16_t check = fcs(f);
    f.append(char(check & 0xFF));
    f.append(char(check >> 8));
    return f;
}

std::vector<int> ax25_encoder::hdlc(const QByteArray& frame, int leading_flags, int trailing_flags)
{
    std::vector<int> hdlc;
    const auto flag = [&] {
        for (int i = 0; i < 8; ++i)
            hdlc.push_back((0x7E >> i) & 1);
    };
    for (int i = 0; i < leading_flags; ++i)
        flag();
    int ones = 0;
    for (const char ch : frame) {
        for (int i = 0; i < 8; ++i) {
            const int bit = (uint8_t(ch) >> i) & 1;
            hdlc.push_back(bit);
            ones = bit ? ones + 1 : 0;
            if (ones == 5) {
                hdlc.push_back(0);
                ones = 0;
            }
        }
    }
    for (int i = 0; i < trailing_flags; ++i)
        flag();
    return hdlc;
}

QByteArray ax25_encoder::to_line(const std::vector<int>& hdlc)
{
    // NRZI: a zero toggles the level; then the self-synchronising scrambler
    // y = x ^ y[-12] ^ y[-17].
    QByteArray out;
    int level = 0;
    uint32_t history = 0;
    uint8_t byte = 0;
    int filled = 0;
    for (const int bit : hdlc) {
        if (!bit)
            level ^= 1;
        const int y = level ^ int((history >> 11) & 1) ^ int((history >> 16) & 1);
        history = ((history << 1) | uint32_t(y)) & 0x1FFFF;
        byte = uint8_t((byte << 1) | y);
        if (++filled == 8) {
            out.append(char(byte));
            byte = 0;
            filled = 0;
        }
    }
    if (filled)
        out.append(char(byte << (8 - filled)));
    return out;
}

} // namespace kq::satsim
