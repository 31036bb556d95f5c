#pragma once

#include "serline/uart_baud.h"

#include <QMetaType>

namespace kq::api::proto {

enum module_type_e : int {
    module_type_none = 0,
    module_type_obc = 1,
    module_type_uhf = 2,
    module_type_fsps = 3,
    module_type_xband = 4,
};

enum flow_direction_e : int {
    flow_received = 0,
    flow_sent = 1,
};

// Radio modulation and rates of the transceiver (2-level GFSK).
enum rf_mode_e : int {
    rf_mode_1200_600 = 0,
    rf_mode_2400_600 = 1,
    rf_mode_4800_1200 = 2,
    rf_mode_9600_2400 = 3,
    rf_mode_9600_4800 = 4,
    rf_mode_19200_4800 = 5,
    rf_mode_19200_9600 = 6,
    rf_mode_19200_19200 = 7,
};

// The transceiver's power code, passed through as one byte.
enum tx_power_e : int {};

// Role of one hop of a route.
enum hop_role_e : int {
    role_local_relay = 1,  // the transceiver on the serial port that opens the radio link
    role_remote_relay = 2, // a transceiver on the far side that passes traffic on
    role_target = 3,       // the module the commands are meant for
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::module_type_e)
Q_DECLARE_METATYPE(kq::api::proto::flow_direction_e)
Q_DECLARE_METATYPE(kq::api::proto::rf_mode_e)
Q_DECLARE_METATYPE(kq::api::proto::uart_baud_e)
Q_DECLARE_METATYPE(kq::api::proto::tx_power_e)
