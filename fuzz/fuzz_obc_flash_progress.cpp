// The computer's free-running flash output, in chunks, with the progress the
// panel would be given checked for sense.
#include "fuzz_support.h"

#include "satcmd/kqttc/obc_flash_commands.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const unsigned start = data[0] % 101;
    const unsigned end = start + (data[1] % (101 - start));
    const QByteArray input = kq::fuzz::bytes(data + 2, size - 2);
    flash_progress_t progress = [](const QString&, const unsigned& pos, const unsigned& length) {
        if (length == 0)
            kq::fuzz::broken("progress out of a length of 0");
        (void)pos;
    };
    res_obc_flash answer(progress, start, end);
    kq::fuzz::refused([&] {
        int pos = 0;
        while (pos < input.size()) {
            // A star comes alone; text comes in runs up to the next star.
            const int star = input.indexOf('*', pos);
            const int next = star == pos ? pos + 1 : (star < 0 ? input.size() : star);
            if (answer.parse_binary_chunk(input.mid(pos, next - pos)))
                return;
            pos = next;
        }
    });
    return 0;
}
