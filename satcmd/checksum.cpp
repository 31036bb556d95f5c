#include "satcmd/checksum.h"

#include <QIODevice>

#include <algorithm>
#include <zlib.h>

namespace kq::api::proto {

namespace {

constexpr qint64 block_size = 64 * 1024;

uint32_t crc_update(uint32_t crc, const char* data, qint64 size)
{
    return static_cast<uint32_t>(
        ::crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
}

} // namespace

uint32_t checksum::qcrc32(const QByteArray& data, int start, int length)
{
    const qint64 end = std::min<qint64>(data.size(), qint64(start) + std::max(length, 0));
    if (start < 0 || start >= end)
        return 0;
    return crc_update(0, data.constData() + start, end - start);
}

uint32_t checksum::qcrc32(const QString& text, int start, int length)
{
    return qcrc32(text.toUtf8(), start, length);
}

uint32_t checksum::qcrc32(QIODevice* device, int start, int length)
{
    if (device == nullptr || start < 0)
        return 0;
    const qint64 end = std::min<qint64>(device->size(), qint64(start) + std::max(length, 0));
    if (start >= end)
        return 0;
    return extend_range(0, device, start, end);
}

uint32_t checksum::extend(uint32_t crc, const QByteArray& data)
{
    return crc_update(crc, data.constData(), data.size());
}

uint32_t checksum::extend(uint32_t crc, QIODevice* device, qint64 length)
{
    if (!device)
        return crc;
    const qint64 end = length < 0 ? device->size() : std::min(length, device->size());
    return extend_range(crc, device, 0, end);
}

uint32_t checksum::extend_range(uint32_t crc, QIODevice* device, qint64 start, qint64 end)
{
    const qint64 saved = device->pos();
    if (start < end && device->seek(start)) {
        QByteArray block(static_cast<int>(std::min(block_size, end - start)), Qt::Uninitialized);
        for (qint64 pos = start; pos < end;) {
            const qint64 got =
                device->read(block.data(), std::min<qint64>(block.size(), end - pos));
            if (got <= 0)
                break;
            crc = crc_update(crc, block.constData(), got);
            pos += got;
        }
    }
    device->seek(saved);
    return crc;
}

} // namespace kq::api::proto
