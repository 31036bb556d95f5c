#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// What the simulated modules' answers share on the wire.
namespace kq::satsim::wire {

// A hexadecimal field of a text answer: upper case, zero-padded.
inline QString hex(uint64_t value, int width)
{
    return QString::number(qulonglong(value), 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

inline const QStringList& ok()
{
    static const QStringList line{QStringLiteral("OK")};
    return line;
}

inline const QStringList& err()
{
    static const QStringList line{QStringLiteral("ERR")};
    return line;
}

// An answer held back to arrive late goes out on its own once the line has
// been idle this long after it fell due.
constexpr int64_t idle_grace_ms = 20;

} // namespace kq::satsim::wire
