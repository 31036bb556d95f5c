#pragma once

#include "satcmd/satcmd_global.h"
#include "satcmd/xband_types.h"

#include <QByteArray>
#include <QVector>

#include <cstdint>

namespace kq::api::proto::kqup {

// The transmitter's wire records (little-endian, floats IEEE-754 single).
struct xband_simple_report_packed_t
{
    static constexpr int size = 6;
    uint8_t report_byte_0 = 0;
    uint8_t report_byte_1 = 0;
    uint16_t report_word_0 = 0;
    uint16_t report_word_1 = 0;
};

struct xband_full_report_packed_t
{
    static constexpr int size = 36;
    xband_simple_report_packed_t head;
    uint8_t report_bytes[10] = {};
    uint16_t report_word_2 = 0;
    uint16_t report_word_3 = 0;
    float report_float[4] = {};
};

struct xband_all_parameters_packed_t
{
    static constexpr int size = 14;
    uint8_t symbol_rate = 0;
    uint8_t tx_power = 0;
    float central_frequency = 0;
    uint8_t modcod = 0;
    uint8_t roll_off = 0;
    uint8_t pilot_signal = 0;
    uint8_t fec_frame_size = 0;
    uint16_t parameters_word = 0;
};

struct xband_cmd_set_result_t
{
    uint8_t status = 0;
};

// Converts between reply or request payloads and the records. Every reply
// payload begins with a status byte, 0 for success.
class SATCMD_EXPORT xband_data
{
public:
    static QByteArray pack(const xband_all_parameters_packed_t& p);
    static xband_all_parameters_packed_t unpack_all_parameters(const QByteArray& record);
    static QByteArray pack(const xband_simple_report_packed_t& r);
    static xband_simple_report_packed_t unpack_simple_report(const QByteArray& record);
    static QByteArray pack(const xband_full_report_packed_t& r);
    static xband_full_report_packed_t unpack_full_report(const QByteArray& record);

    static xband_all_parameters_packed_t
    convert_all_parameters_to_packed(const xband_all_parameters_t& p);
    static xband_all_parameters_t
    convert_all_parameters_from_packed(const xband_all_parameters_packed_t& p);
    static xband_simple_report_t
    convert_simple_report_from_packed(const xband_simple_report_packed_t& r);
    static xband_full_report_t convert_full_report_from_packed(const xband_full_report_packed_t& r);

    static void parse_cmd_set_result(const QByteArray& payload, xband_cmd_set_result_t* result);
    static void parse_cmd_create_file_result(const QByteArray& payload, unsigned int& handle);
    static void parse_cmd_open_file_result(const QByteArray& payload, unsigned int& a,
                                           unsigned int& b);
    static void parse_cmd_read_file_result(const QByteArray& payload, unsigned int& value,
                                           QByteArray& data);
    static void parse_cmd_dir_result(const QByteArray& payload,
                                     QVector<xband_file_entry_t>& entries);
    static void parse_xband_load_mode_result(const QByteArray& payload, int& result);

    static void create_cmd_write_file_payload(unsigned int handle, unsigned int offset,
                                              const QByteArray& data, QByteArray& payload);
    static void create_cmd_read_file_payload(unsigned int handle, QByteArray& payload);
    static void create_cmd_send_files_payload(xband_file_status_e status, const QString& name,
                                              QByteArray& payload);
};

} // namespace kq::api::proto::kqup
