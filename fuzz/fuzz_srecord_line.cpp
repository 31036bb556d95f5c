// A firmware file split into lines and each line checked, as before a flash.
#include "fuzz_support.h"

#include "satcmd/kqttc/kqttc_uhf_module.h"

using namespace kq::api::proto::kqttc;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (const QString& line : kqttc_uhf_module::flash_lines(kq::fuzz::bytes(data, size))) {
        const bool bad = kq::fuzz::refused([&] { kqttc_uhf_module::flash_check_line(line); });
        if (!bad && !line.startsWith(QLatin1Char('S')))
            kq::fuzz::broken("a line not starting with S was accepted");
        kqttc_uhf_module::is_data_record(line);
    }
    return 0;
}
