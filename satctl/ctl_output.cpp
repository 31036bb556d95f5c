#include "ctl_output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace kq::ctl {

namespace {

QByteArray compact(const QJsonValue& v)
{
    if (v.isObject())
        return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
    if (v.isArray())
        return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
    // A lone value, as the one element of an array without the brackets.
    const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
    return a.mid(1, a.size() - 2);
}

// What came over the radio is shown, never obeyed: control characters
// (escape sequences, BEL, CR, LF) are written as \xNN.
QByteArray printable(const QString& line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out.toLocal8Bit();
}

} // namespace

void ctl_output::result(const QJsonValue& json, const QStringList& text) const
{
    if (_json) {
        std::printf("%s\n", compact(json).constData());
    } else {
        for (const QString& line : text)
            std::printf("%s\n", printable(line).constData());
    }
    std::fflush(stdout);
}

void ctl_output::event(const QJsonValue& json, const QString& text) const
{
    result(json, {text});
}

void ctl_output::error(const QString& line)
{
    std::fprintf(stderr, "satctl: %s\n", printable(line).constData());
}

void ctl_output::notice(const QString& line)
{
    error(line);
}

} // namespace kq::ctl
