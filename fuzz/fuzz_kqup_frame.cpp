// The KQUP frame reader, fed as the engine reads: the bytes it still asks
// for, one read at a time, frame after frame, skipping garbage to the next
// magic, and afresh after a refused frame, until the input is used up.
#include "fuzz_support.h"

#include "satcmd/kqup/kqup_request.h"

#include <utility>

using namespace kq::api::proto::kqup;

namespace {

constexpr int largest_frame = kqup_request::max_payload + kqup_request::header_size + 4;

// A frame read back holds offset 4 in dst_address and offset 8 in
// src_address; written with those swapped and read again it is the same.
void check_round_trip(const kqup_packet_data_t& packet)
{
    if (packet.payload.size() > kqup_request::max_payload)
        kq::fuzz::broken("a payload above the largest was taken");
    kqup_packet_data_t swapped = packet;
    std::swap(swapped.dst_address, swapped.src_address);
    QByteArray frame;
    kqup_request::create_request(swapped, frame);
    kqup_packet_data_t again;
    if (kqup_request::take_frame(frame, again) != 0 || !frame.isEmpty() ||
        again.dst_address != packet.dst_address || again.src_address != packet.src_address ||
        again.command != packet.command || again.type_code != packet.type_code ||
        again.payload != packet.payload)
        kq::fuzz::broken("an accepted frame does not survive a round trip");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = kq::fuzz::bytes(data, size);
    QByteArray buffer;
    int pos = 0;
    int need = kqup_request::header_size;
    while (pos < input.size()) {
        buffer += input.mid(pos, need);
        pos += need;
        kqup_packet_data_t packet;
        const bool refused = kq::fuzz::refused([&] {
            need = kqup_request::take_frame(buffer, packet);
            if (need == 0)
                check_round_trip(packet);
        });
        if (refused) {
            // The exchange fails there: the engine drops what it read and
            // the next exchange reads afresh.
            buffer.clear();
            need = kqup_request::header_size;
        }
        need = need > 0 ? need : kqup_request::header_size;
        if (buffer.size() > largest_frame)
            kq::fuzz::broken("the reader keeps more than one frame's bytes");
    }
    return 0;
}
