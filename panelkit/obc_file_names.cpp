#include "panelkit/obc_file_names.h"

#include <QFileInfo>

namespace kq::gui::obc_files {

bool is_short_name(const QString& file_name)
{
    const QFileInfo info(file_name);
    return !info.completeBaseName().isEmpty() && info.completeBaseName().size() <= 8 &&
           info.suffix() == info.completeSuffix() && info.completeSuffix().size() <= 3;
}

QString local_name_for(const QString& obc_name, QString* error)
{
    const auto refuse = [error](const QString& why) {
        if (error)
            *error = why;
        return QString();
    };
    if (obc_name.contains(QChar(0)))
        return refuse(QStringLiteral("the name holds a NUL character"));
    const QString name = obc_name.trimmed();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return refuse(QStringLiteral("'%1' does not name a file").arg(obc_name));
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return refuse(QStringLiteral("'%1' holds a path separator").arg(obc_name));
    return name;
}

uint32_t content_size(const QString& obc_name, uint32_t obc_size)
{
    constexpr uint32_t header = 4;
    if (!obc_name.toUpper().endsWith(QLatin1String(".BIN")))
        return obc_size;
    return obc_size > header ? obc_size - header : 0;
}

uint32_t upload_resume_position(uint32_t local_bytes_on_obc)
{
    int64_t pos = int64_t(local_bytes_on_obc);
    if (pos == 0)
        return 0;
    pos -= 128;
    while (pos < 0)
        pos += 16;
    return uint32_t(pos);
}

} // namespace kq::gui::obc_files
