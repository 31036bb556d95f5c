// The beacon answer fed as the port delivers it, in chunks of every size.
#include "fuzz_support.h"

#include "satcmd/kqttc/uhf_commands.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input = kq::fuzz::bytes(data + 1, size - 1);
    const int step = 1 + data[0] % 64;
    res_get_ax25_beacon answer;
    kq::fuzz::refused([&] {
        for (int pos = 0; pos < input.size(); pos += step)
            if (answer.parse_binary_chunk(input.mid(pos, step)))
                return;
    });
    return 0;
}
