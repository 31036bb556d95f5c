// The frame check and every KQTTC answer class on arbitrary input. The first
// byte picks the class (the fuzzer walks them all), the rest is what the
// port delivered; the class is driven the way the protocol engine reads it:
// single lines picked by their prefix and checked for their CRC, multi-line
// answers line by line, binary blocks after the block check, binary streams
// chunk by chunk.
#include "fuzz_support.h"

#include "satcmd/kqttc/fsps_commands.h"
#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/obc_commands.h"
#include "satcmd/kqttc/obc_flash_commands.h"
#include "satcmd/kqttc/uhf_commands.h"

#include <functional>
#include <memory>
#include <vector>

using namespace kq::api::proto::kqttc;
using kq::fuzz::refused;

namespace {

using factory_t = std::function<std::unique_ptr<kqttc_response>()>;

flash_progress_t progress = [](const QString&, const unsigned&, const unsigned&) {};

#define KQ_ANSWER(name, ...) [] { return std::unique_ptr<kqttc_response>(new name(__VA_ARGS__)); }

const std::vector<factory_t>& answers()
{
    static const std::vector<factory_t> all{
        // kqttc_response.h
        KQ_ANSWER(res_get_simple_text),
        // uhf_commands.h
        KQ_ANSWER(res_get_scw),
        KQ_ANSWER(res_set_scw),
        KQ_ANSWER(res_get_rf),
        KQ_ANSWER(res_set_rf),
        KQ_ANSWER(res_get_uptime),
        KQ_ANSWER(res_get_tx_pkts),
        KQ_ANSWER(res_get_rx_pkts),
        KQ_ANSWER(res_get_rx_crc_pkts),
        KQ_ANSWER(res_get_pipe_timeout),
        KQ_ANSWER(res_set_pipe_timeout),
        KQ_ANSWER(res_get_text_beacon_period),
        KQ_ANSWER(res_set_text_beacon_period),
        KQ_ANSWER(res_get_audio_beacon_period),
        KQ_ANSWER(res_set_audio_beacon_period),
        KQ_ANSWER(res_get_dst_call_sign),
        KQ_ANSWER(res_set_dst_call_sign),
        KQ_ANSWER(res_get_src_call_sign),
        KQ_ANSWER(res_set_src_call_sign),
        KQ_ANSWER(res_get_morse_code_call_sign),
        KQ_ANSWER(res_set_morse_code_call_sign),
        KQ_ANSWER(res_get_audio_beacon_midi),
        KQ_ANSWER(res_set_audio_beacon_midi),
        KQ_ANSWER(res_get_version),
        KQ_ANSWER(res_get_payload_size),
        KQ_ANSWER(res_get_text_beacon_message),
        KQ_ANSWER(res_set_text_beacon_message),
        KQ_ANSWER(res_set_dev_addr),
        KQ_ANSWER(res_get_fram_memory),
        KQ_ANSWER(res_set_fram_memory),
        KQ_ANSWER(res_get_radio_transceiver_props),
        KQ_ANSWER(res_set_radio_transceiver_props),
        KQ_ANSWER(res_get_secure_access),
        KQ_ANSWER(res_set_secure_access),
        KQ_ANSWER(res_recv_arbitrary_text),
        KQ_ANSWER(res_get_ax25_beacon),
        KQ_ANSWER(res_uhf_flash_send_line, true),
        KQ_ANSWER(res_uhf_flash_send_line, false),
        // obc_commands.h, obc_flash_commands.h
        KQ_ANSWER(res_get_time),
        KQ_ANSWER(res_set_time),
        KQ_ANSWER(res_get_date),
        KQ_ANSWER(res_set_date),
        KQ_ANSWER(res_get_obc_mode),
        KQ_ANSWER(res_set_obc_mode),
        KQ_ANSWER(res_obc_create_dirlist),
        KQ_ANSWER(res_obc_delete),
        KQ_ANSWER(res_obc_checksum),
        KQ_ANSWER(res_obc_file_open, kq::api::proto::open_read),
        KQ_ANSWER(res_obc_file_open, kq::api::proto::open_write),
        KQ_ANSWER(res_obc_file_open, kq::api::proto::open_append),
        KQ_ANSWER(res_obc_file_close),
        KQ_ANSWER(res_obc_read, 0),
        KQ_ANSWER(res_obc_read, 7),
        KQ_ANSWER(res_obc_read, 128),
        KQ_ANSWER(res_obc_write),
        KQ_ANSWER(res_obc_flash, progress, 0, 100),
        KQ_ANSWER(res_obc_flash, progress, 30, 90),
        // fsps_commands.h
        KQ_ANSWER(res_fsps_get_rf),
        KQ_ANSWER(res_fsps_set_rf),
        KQ_ANSWER(res_get_fsps_attenuation),
        KQ_ANSWER(res_set_fsps_attenuation),
    };
    return all;
}

void read_single_line(kqttc_response& answer, const QByteArray& input)
{
    for (const QString& line : kq::fuzz::lines(input, answer.get_readline_term())) {
        if (kqttc_response::accepted_prefix(line).isEmpty())
            continue;
        answer.parse_response(kqttc_frame::checked_line(line));
        return;
    }
}

void read_multi_line(kqttc_response& answer, const QByteArray& input)
{
    for (const QString& line : kq::fuzz::lines(input, answer.get_readline_term()))
        if (answer.parse_multi_line(line))
            return;
}

void read_block(kqttc_response& answer, const QByteArray& input)
{
    answer.parse_response(
        kqttc_frame::checked_block(input.left(int(answer.get_binary_response_length()) + 10)));
}

// Chunks as the port delivers them: the first byte sets how the rest is cut.
void read_stream(kqttc_response& answer, const QByteArray& input)
{
    if (input.isEmpty())
        return;
    const int step = 1 + static_cast<unsigned char>(input.at(0)) % 32;
    for (int pos = 1; pos < input.size(); pos += step)
        if (answer.parse_binary_chunk(input.mid(pos, step)))
            return;
}

void drive(kqttc_response& answer, const QByteArray& input)
{
    switch (answer.get_flow_mode()) {
    case kqttc_response::flow_single_line:
        return read_single_line(answer, input);
    case kqttc_response::flow_multi_line:
        return read_multi_line(answer, input);
    case kqttc_response::flow_binary_block:
        return read_block(answer, input);
    case kqttc_response::flow_binary_stream:
        return read_stream(answer, input);
    default:
        kq::fuzz::broken("unknown flow mode");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input = kq::fuzz::bytes(data + 1, size - 1);
    for (const QString& line : kq::fuzz::lines(input))
        refused([&] { kqttc_frame::checked_line(line); });
    refused([&] { kqttc_frame::checked_block(input); });
    const std::unique_ptr<kqttc_response> answer = answers().at(data[0] % answers().size())();
    refused([&] { drive(*answer, input); });
    return 0;
}
