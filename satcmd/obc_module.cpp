#include "satcmd/obc_module.h"

#include "satcmd/checksum.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>

namespace kq::api::proto {

obc_module::obc_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

obc_module::~obc_module() = default;

void obc_module::expected_on_obc(const QString& name, QIODevice* local, uint32_t& crc,
                                 uint32_t& size, qint64 length)
{
    const qint64 stored = length < 0 ? local->size() : std::min(length, local->size());
    size = uint32_t(stored);
    if (!name.toUpper().endsWith(QLatin1String(".BIN"))) {
        crc = checksum::extend(0, local, stored);
        return;
    }
    QByteArray header(4, '\0');
    qToLittleEndian<quint32>(checksum::qcrc32(local), header.data());
    crc = checksum::extend(checksum::qcrc32(header), local, stored);
    size += uint32_t(header.size());
}

} // namespace kq::api::proto
