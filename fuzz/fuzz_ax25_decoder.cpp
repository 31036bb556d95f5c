// The AX.25 decoder and the beacon text on arbitrary line bits.
#include "fuzz_support.h"

#include "satcmd/kqttc/ax25_decoder.h"
#include "satcmd/kqttc/uhf_commands.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray frame;
    const int length = ax25_decoder::decode(kq::fuzz::bytes(data, size), frame);
    if (length != frame.size() && length != 0)
        kq::fuzz::broken("the length told is not the frame's");
    if (length == 0)
        return 0;
    if (length < ax25_decoder::min_frame || length > ax25_decoder::max_frame)
        kq::fuzz::broken("a frame outside the bounds was reported");
    res_get_ax25_beacon::beacon_text(frame);
    return 0;
}
