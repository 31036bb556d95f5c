#pragma once

#include "satcmd/satcmd_global.h"

#include <QByteArray>

namespace kq::api::proto::kqttc {

// Finds the first complete, CRC-valid AX.25 frame in a buffer of line bits as
// the transceiver received them: G3RUH-scrambled, NRZI-coded, HDLC-framed with
// bit stuffing. Bytes are fed most significant bit first. The frame returned
// holds the address fields, control, protocol, information and the two check
// bytes. Each call has its own state.
class SATCMD_EXPORT ax25_decoder
{
public:
    static constexpr int max_frame = 402;
    static constexpr int min_frame = 21; // frames of 20 bytes or fewer are never reported

    // Frame length, or 0 when the input ends before a frame is complete.
    static int decode(const QByteArray& line_bits, QByteArray& frame);

    // CRC-16 of the X.25 kind: reflected 0x8408, initial 0xFFFF, inverted.
    static quint16 crc16(const char* data, int size);
};

} // namespace kq::api::proto::kqttc
