#include "panelkit/obc_file_names.h"

namespace kq::gui::obc_files {

namespace {

bool allowed_in_name(QChar c)
{
    static const QString punctuation = QStringLiteral("_-~!#$%&'()@^{}");
    return c.unicode() < 0x80 && (c.isLetterOrNumber() || punctuation.contains(c));
}

} // namespace

QString short_name_problem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("no file name was given");
    for (const QChar c : name) {
        if (c == QLatin1Char('.') || allowed_in_name(c))
            continue;
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("the computer's files have no folders: drop the path");
        if (c == QLatin1Char('*') || c == QLatin1Char('?'))
            return QStringLiteral("wildcards cannot name a file");
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("the name holds a control character");
        if (c == QLatin1Char(' '))
            return QStringLiteral("the name holds a blank");
        return QStringLiteral("'%1' is not a letter, digit or one of _-~!#$%&'()@^{}").arg(c);
    }
    const int dot = name.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? name : name.left(dot);
    const QString suffix = dot < 0 ? QString() : name.mid(dot + 1);
    if (suffix.contains(QLatin1Char('.')))
        return QStringLiteral("only one dot may part the name from its suffix");
    if (base.isEmpty() || base.size() > 8)
        return QStringLiteral("an 8.3 name has 1 to 8 characters before the dot");
    if (dot >= 0 && (suffix.isEmpty() || suffix.size() > 3))
        return QStringLiteral("an 8.3 name has 1 to 3 characters after the dot");
    return {};
}

bool is_short_name(const QString& name)
{
    return short_name_problem(name).isEmpty();
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

bool has_header(const QString& obc_name)
{
    return obc_name.toUpper().endsWith(QLatin1String(".BIN"));
}

uint32_t content_size(const QString& obc_name, uint32_t obc_size)
{
    constexpr uint32_t header = 4;
    if (!has_header(obc_name))
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
