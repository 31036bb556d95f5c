#include "satcmd/kqttc/ax25_decoder.h"

#include <cstdint>
#include <cstdio>

namespace kq::api::proto::kqttc {

namespace {

struct state
{
    uint32_t scrambler = 0; // last 17 received line bits, newest in bit 0
    int previous = 0;       // previous descrambled bit, for NRZI
    uint8_t pattern = 0;    // last eight data bits, newest in bit 7
    int bit_count = -1;     // -1 while hunting for a flag
    uint8_t byte = 0;
    int fill = 0;
    unsigned char frame[ax25_decoder::max_frame];
};

// Returns true when a complete frame is in s.frame[0..s.fill).
bool feed(state& s, int b)
{
    const int d = b ^ ((s.scrambler >> 11) & 1) ^ ((s.scrambler >> 16) & 1);
    s.scrambler = ((s.scrambler << 1) | uint32_t(b)) & 0x1FFFF;
    const int bit = d == s.previous ? 1 : 0;
    s.previous = d;
    s.pattern = uint8_t((s.pattern >> 1) | (bit << 7));

    if (bit && s.pattern == 0xFE) {
        std::fputs("Stop decoding.\n", stdout);
        s.bit_count = -1;
        s.fill = 0;
        return false;
    }
    if (!bit && s.pattern == 0x7E) {
        if (s.bit_count == 7 && s.fill >= ax25_decoder::min_frame) {
            const int n = s.fill;
            const quint16 received = quint16(s.frame[n - 2] | (s.frame[n - 1] << 8));
            const quint16 computed =
                ax25_decoder::crc16(reinterpret_cast<const char*>(s.frame), n - 2);
            if (received == computed)
                return true;
            std::printf("CRC16 err %04x != %04x\n", received, computed);
        }
        s.fill = 0;
        s.bit_count = 0;
        return false;
    }
    if (!bit && (s.pattern & 0xFC) == 0x7C)
        return false; // stuffed zero after five ones
    if (s.bit_count == -1)
        return false;
    s.byte = uint8_t((s.byte >> 1) | (bit << 7));
    if (++s.bit_count == 8) {
        if (s.fill < ax25_decoder::max_frame)
            s.frame[s.fill++] = s.byte;
        s.bit_count = 0;
    }
    return false;
}

} // namespace

int ax25_decoder::decode(const QByteArray& line_bits, QByteArray& frame)
{
    state s;
    for (const char c : line_bits) {
        const auto byte = static_cast<unsigned char>(c);
        for (int i = 7; i >= 0; --i) {
            if (feed(s, (byte >> i) & 1)) {
                frame = QByteArray(reinterpret_cast<const char*>(s.frame), s.fill);
                return s.fill;
            }
        }
    }
    return 0;
}

quint16 ax25_decoder::crc16(const char* data, int size)
{
    quint16 crc = 0xFFFF;
    for (int i = 0; i < size; ++i) {
        crc ^= static_cast<unsigned char>(data[i]);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return quint16(~crc);
}

} // namespace kq::api::proto::kqttc
