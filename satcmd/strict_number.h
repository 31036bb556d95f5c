#pragma once

#include "satcmd/satcmd_global.h"

#include <QString>

namespace kq::api::proto {

// Numbers as a user writes them on a command line or in a form, read
// strictly: decimal digits, or hex after "0x"; a minus sign only where
// allowed; no blanks, no sign in front of hex, and no leading zero, which a
// C-minded reader would take for octal ("022" is refused, not read as 22 or
// 18). Reals are finite decimals ("nan" and "inf" are refused). A negative
// zero ("-0", "-0.0") is no value anyone means, and is refused everywhere.
class SATCMD_EXPORT strict_number
{
public:
    static bool to_int64(const QString& text, qint64& value, bool allow_hex = true);
    // In [minimum, maximum]; false otherwise.
    static bool to_int(const QString& text, int& value, int minimum, int maximum,
                       bool allow_hex = true);
    static bool to_real(const QString& text, double& value);
};

} // namespace kq::api::proto
