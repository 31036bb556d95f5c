#pragma once

#include "satcmd/satcmd_global.h"

#include <QString>

#include <cstdint>

namespace kq::api::proto::kqttc {

// The hexadecimal fields of the text protocol: upper case, zero-padded.
class SATCMD_EXPORT hex
{
public:
    static QString field(uint64_t value, int width);
    // Parses a hexadecimal group of an answer; a group that does not convert
    // is an invalid_result from "parse_hex_string_to_int".
    static uint64_t parse(const QString& text);
    [[noreturn]] static void invalid();
};

} // namespace kq::api::proto::kqttc
