#include "satcmd/obc_module.h"

#include "satcmd/checksum.h"

#include <QIODevice>
#include <QtEndian>

namespace kq::api::proto {

obc_module::obc_module(media* m, const connect_props_t& props)
    : kq_module(m, props)
{
}

obc_module::~obc_module() = default;

void obc_module::expected_on_obc(const QString& name, QIODevice* local, uint32_t& crc,
                                 uint32_t& size)
{
    size = uint32_t(local->size());
    if (!name.toUpper().endsWith(QLatin1String(".BIN"))) {
        crc = checksum::qcrc32(local);
        return;
    }
    QByteArray header(4, '\0');
    qToLittleEndian<quint32>(checksum::qcrc32(local), header.data());
    crc = checksum::extend(checksum::qcrc32(header), local);
    size += uint32_t(header.size());
}

} // namespace kq::api::proto
