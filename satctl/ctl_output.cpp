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

} // namespace

void ctl_output::result(const QJsonValue& json, const QStringList& text) const
{
    if (_json) {
        std::printf("%s\n", compact(json).constData());
    } else {
        for (const QString& line : text)
            std::printf("%s\n", line.toLocal8Bit().constData());
    }
    std::fflush(stdout);
}

void ctl_output::event(const QJsonValue& json, const QString& text) const
{
    result(json, {text});
}

void ctl_output::error(const QString& line)
{
    std::fprintf(stderr, "satctl: %s\n", line.toLocal8Bit().constData());
}

void ctl_output::notice(const QString& line)
{
    error(line);
}

} // namespace kq::ctl
