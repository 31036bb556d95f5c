// Every X-band record and reply payload decoder on arbitrary payloads.
#include "fuzz_support.h"

#include "satcmd/kqup/xband_data.h"

using namespace kq::api::proto::kqup;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using kq::fuzz::refused;
    const QByteArray payload = kq::fuzz::bytes(data, size);
    xband_data::convert_all_parameters_from_packed(xband_data::unpack_all_parameters(payload));
    xband_data::convert_simple_report_from_packed(xband_data::unpack_simple_report(payload));
    xband_data::convert_full_report_from_packed(xband_data::unpack_full_report(payload));
    xband_cmd_set_result_t result;
    refused([&] { xband_data::parse_cmd_set_result(payload, &result); });
    unsigned int a = 0;
    unsigned int b = 0;
    refused([&] { xband_data::parse_cmd_create_file_result(payload, a); });
    refused([&] { xband_data::parse_cmd_open_file_result(payload, a, b); });
    QByteArray block;
    refused([&] { xband_data::parse_cmd_read_file_result(payload, a, block); });
    QVector<kq::api::proto::xband_file_entry_t> entries;
    refused([&] { xband_data::parse_cmd_dir_result(payload, entries); });
    int mode = 0;
    refused([&] { xband_data::parse_xband_load_mode_result(payload, mode); });
    return 0;
}
