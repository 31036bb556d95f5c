#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace kq::satsim {

// Puts an AX.25 UI frame on the air the way the transceiver does: address
// fields, control 0x03, protocol 0xF0, information and CRC-16, HDLC-framed
// with flags and bit stuffing, NRZI-coded and G3RUH-scrambled, packed most
// significant bit first. Written apart from the library's decoder so that
// each checks the other.
class ax25_encoder
{
public:
    static QByteArray frame(const QString& dst, const QString& src, const QByteArray& info,
                            uint8_t dst_ssid = 0xE0, uint8_t src_ssid = 0xE1);
    static QByteArray line_bits(const QByteArray& frame) { return to_line(hdlc(frame)); }
    // The frame between flags, bit-stuffed, least significant bit first.
    static std::vector<int> hdlc(const QByteArray& frame, int leading_flags = 6,
                                 int trailing_flags = 2);
    // NRZI and scrambling of HDLC bits, packed into bytes.
    static QByteArray to_line(const std::vector<int>& hdlc_bits);
    static QByteArray encode(const QString& dst, const QString& src, const QByteArray& info)
    {
        return line_bits(frame(dst, src, info));
    }
};

} // namespace kq::satsim
