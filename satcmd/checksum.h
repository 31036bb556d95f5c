#pragma once

#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdint>

class QIODevice;

namespace kq::api::proto {

// CRC-32 of IEEE 802.3 (zlib's crc32) over a clipped range of the input; an
// empty range gives 0. Frames pass start 0 and length 0x7FFFFFFF.
class SATCMD_EXPORT checksum
{
public:
    static uint32_t qcrc32(const QByteArray& data, int start = 0, int length = 0x7FFFFFFF);
    // Over the UTF-8 bytes of text.
    static uint32_t qcrc32(const QString& text, int start = 0, int length = 0x7FFFFFFF);
    // Over the device's bytes from position start; the position is restored.
    static uint32_t qcrc32(QIODevice* device, int start = 0, int length = 0x7FFFFFFF);
    // The CRC-32 of the bytes that gave crc followed by those of data, or of
    // device's first length bytes, all of them when length is negative (its
    // position restored).
    static uint32_t extend(uint32_t crc, const QByteArray& data);
    static uint32_t extend(uint32_t crc, QIODevice* device, qint64 length = -1);

private:
    static uint32_t extend_range(uint32_t crc, QIODevice* device, qint64 start, qint64 end);
};

} // namespace kq::api::proto
