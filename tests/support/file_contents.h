#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace kq::testing {

// A file's whole contents; empty when it cannot be read.
inline QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes data as the file's whole contents; false when that failed.
inline bool write_file(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

} // namespace kq::testing
