#pragma once

#include "satcmd/satcmd_global.h"

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace kq::api::proto {

// Codes of the transmitter, passed through as numbers.
enum xband_roll_off_e : int {};
enum xband_pilot_signal_status_e : int {};
enum xband_fec_frame_size_e : int {};
enum xband_file_status_e : int {};

struct xband_all_parameters_t
{
    uint32_t symbol_rate = 0;
    uint32_t tx_power = 0;
    float central_frequency = 0;
    uint32_t modcod = 0;
    xband_roll_off_e roll_off{};
    xband_pilot_signal_status_e pilot_signal{};
    xband_fec_frame_size_e fec_frame_size{};
    uint32_t parameters_word = 0;
};

struct xband_simple_report_t
{
    uint8_t report_byte_0 = 0;
    uint8_t report_byte_1 = 0;
    uint16_t report_word_0 = 0;
    uint16_t report_word_1 = 0;
};

struct xband_full_report_t
{
    uint8_t report_byte_0 = 0;
    uint8_t report_byte_1 = 0;
    uint16_t report_word_0 = 0;
    uint16_t report_word_1 = 0;
    uint8_t report_bytes[10] = {};
    uint16_t report_word_2 = 0;
    uint16_t report_word_3 = 0;
    float report_float_0 = 0;
    float report_float_1 = 0;
    float report_float_2 = 0;
    float report_float_3 = 0;
};

struct xband_file_entry_t
{
    QString name;
    uint32_t size = 0;
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::xband_all_parameters_t)
Q_DECLARE_METATYPE(kq::api::proto::xband_simple_report_t)
Q_DECLARE_METATYPE(kq::api::proto::xband_full_report_t)
Q_DECLARE_METATYPE(kq::api::proto::xband_file_entry_t)
