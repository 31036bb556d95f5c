// The on-board computer's DIRLIST.TXT as downloaded.
#include "fuzz_support.h"

#include "satcmd/kqttc/kqttc_obc_module.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const auto& file : kqttc_obc_module::parse_dirlist(kq::fuzz::bytes(data, size)))
        if (file.name.isEmpty())
            kq::fuzz::broken("an entry without a name");
    return 0;
}
