// The KQUP frame reader, fed as the engine reads: the bytes it still asks
// for, one read at a time, until it has a frame or refuses the input.
#include "fuzz_support.h"

#include "satcmd/kqup/kqup_request.h"

#include <utility>

using namespace kq::api::proto::kqup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = kq::fuzz::bytes(data, size);
    kqup_packet_data_t packet;
    QByteArray buffer;
    int pos = 0;
    kq::fuzz::refused([&] {
        for (int need = kqup_request::header_size; need > 0;
             need = kqup_request::parse_response(buffer, packet)) {
            if (pos >= input.size())
                return;
            buffer += input.mid(pos, need);
            pos += need;
        }
        if (packet.payload.size() > kqup_request::max_payload)
            kq::fuzz::broken("a payload above the largest was taken");
        // A frame read back holds offset 4 in dst_address and offset 8 in
        // src_address; written with those swapped it is the same frame.
        kqup_packet_data_t swapped = packet;
        std::swap(swapped.dst_address, swapped.src_address);
        QByteArray again;
        kqup_request::create_request(swapped, again);
        if (again != buffer)
            kq::fuzz::broken("an accepted frame does not survive a round trip");
    });
    return 0;
}
