#pragma once

#include "satcmd/satcmd_global.h"

#include <QByteArray>

#include <cstdint>

namespace kq::api::proto::kqup {

namespace kqup_cmd {
enum : uint16_t {
    get_parameter = 256,
    set_parameter = 257,
    dir = 258,
    delete_file = 259,
    delete_all_files = 260,
    create_file = 261,
    write_file = 262,
    open_file = 263,
    read_file = 264,
    tx_mode = 272,
    load_mode = 273,
    send_files = 273,
    update_fw = 274,
    shutdown = 275,
    answer = 276,
};
} // namespace kqup_cmd

namespace kqup_type {
enum : uint16_t {
    none = 0,
    accepted = 5,
    symbol_rate = 64,
    tx_power = 65,
    central_frequency = 66,
    modcod = 67,
    roll_off = 68,
    pilot_signal = 69,
    fec_frame_size = 70,
    all_parameters = 71,
    simple_report = 72,
    full_report = 73,
};
} // namespace kqup_type

struct kqup_packet_data_t
{
    uint16_t dst_address = 0;
    uint16_t src_address = 0;
    uint16_t command = 0;
    uint16_t type_code = 0;
    QByteArray payload;
};

// The KQUP frame: "KQUP", source, payload length, destination, command,
// type code (all 16-bit little-endian), the payload and a CRC-32 of all that,
// little-endian. A frame read back puts offset 4 in dst_address and offset 8
// in src_address, so a reply reads like the request it answers.
class SATCMD_EXPORT kqup_request
{
public:
    static constexpr int header_size = 14;
    static constexpr int max_payload = 1472;

    // Refuses (parameter_error "INVALID_PAYLOAD_LENGTH") a payload longer
    // than the transmitter takes, before anything is built.
    static void create_request(const kqup_packet_data_t& packet, QByteArray& frame);
    // Bytes still missing (> 0), or 0 when buffer holds one whole, valid frame.
    static int parse_response(QByteArray& buffer, kqup_packet_data_t& packet);
    // The reader of a stream: drops what comes before the magic, takes the
    // first whole frame off the front of buffer and leaves what follows.
    // Returns the bytes still missing (> 0), or 0 with the frame in packet;
    // a damaged frame raises as parse_response does, and is dropped.
    static int take_frame(QByteArray& buffer, kqup_packet_data_t& packet);
};

} // namespace kq::api::proto::kqup
