#include "satcmd/kqttc/ax25_decoder.h"

#include <cstdint>
#include <cstdio>

namespace kq::api::proto::kqttc {

namespace {

// The bytes between two flags. The decoder's registers stay locals of
// decode(), apart from these bytes, so that stores into them (which may
// alias anything) do not force the registers back to memory.
struct frame_buffer
{
    unsigned char bytes[ax25_decoder::max_frame];
    int fill = 0;
};

// Whether the frame's check bytes match; a mismatch is reported on standard
// output.
bool frame_checks(const frame_buffer& f)
{
    const int n = f.fill;
    const quint16 received = quint16(f.bytes[n - 2] | (f.bytes[n - 1] << 8));
    const quint16 computed = ax25_decoder::crc16(reinterpret_cast<const char*>(f.bytes), n - 2);
    if (received == computed)
        return true;
    std::printf("CRC16 err %04x != %04x\n", received, computed);
    return false;
}

} // namespace

int ax25_decoder::decode(const QByteArray& line_bits, QByteArray& frame)
{
    // Descrambling and NRZI depend on the received bits alone, so they are
    // done eight bits at a time: bit j of a register is the bit received j
    // steps before the newest.
    uint64_t received = 0; // line bits, newest in bit 0
    unsigned previous = 0; // the last descrambled bit of the byte before
    unsigned pattern = 0;  // last eight data bits, newest in bit 7
    int bit_count = -1;    // -1 while hunting for a flag
    unsigned byte = 0;
    frame_buffer f;
    for (const char c : line_bits) {
        received = (received << 8) | static_cast<unsigned char>(c);
        // G3RUH, 1 + x^12 + x^17: each bit with the bits 12 and 17 before it.
        const auto descrambled =
            static_cast<unsigned>((received ^ (received >> 12) ^ (received >> 17)) & 0xFFu);
        // NRZI: a one where a bit equals the one before it.
        const unsigned before = ((descrambled >> 1) | (previous << 7)) & 0xFFu;
        const unsigned data = ~(descrambled ^ before) & 0xFFu;
        previous = descrambled & 1u;
        for (int i = 7; i >= 0; --i) {
            const unsigned bit = (data >> i) & 1u;
            pattern = (pattern >> 1) | (bit << 7);

            // The three patterns fix the newest bit themselves (0xFE: a one;
            // 0x7E and 0x7C to 0x7F: a zero), so the tests need not look at
            // it; they are rarely true and predicted well in noise.
            if (pattern == 0xFE) {
                std::fputs("Stop decoding.\n", stdout);
                bit_count = -1;
                f.fill = 0;
                continue;
            }
            if (pattern == 0x7E) {
                if (bit_count == 7 && f.fill >= min_frame && frame_checks(f)) {
                    frame = QByteArray(reinterpret_cast<const char*>(f.bytes), f.fill);
                    return f.fill;
                }
                f.fill = 0;
                bit_count = 0;
                continue;
            }
            if ((pattern & 0xFC) == 0x7C)
                continue; // stuffed zero after five ones
            if (bit_count == -1)
                continue;
            byte = (byte >> 1) | (bit << 7);
            if (++bit_count == 8) {
                if (f.fill < max_frame)
                    f.bytes[f.fill++] = static_cast<unsigned char>(byte);
                bit_count = 0;
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
