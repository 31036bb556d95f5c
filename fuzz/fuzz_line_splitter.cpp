// The transport's line splitter on arbitrary received bytes, with each of the
// terminator sets the protocol reads with.
#include "fuzz_support.h"

#include <cstring>

using kq::api::proto::serial_port_atomic;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const terms[] = {"\r\n", "\r\n*", "\n", "\xff"};
    if (size == 0)
        return 0;
    const char* term = terms[data[0] % 4];
    QByteArray buffer = kq::fuzz::bytes(data + 1, size - 1);
    QString line;
    while (!buffer.isEmpty()) {
        const int before = buffer.size();
        if (!serial_port_atomic::extract_line_from_byte_array(buffer, line, term))
            break;
        if (buffer.size() >= before)
            kq::fuzz::broken("a line was taken but the buffer did not shrink");
        for (const char* t = term; *t && static_cast<unsigned char>(*t) < 0x80; ++t)
            if (line.contains(QLatin1Char(*t)))
                kq::fuzz::broken("a line holds its terminator");
    }
    return 0;
}
