#pragma once

#include "serline/serline_global.h"

#include <QMetaType>
#include <QString>

#include <cstdint>

namespace kq::api::proto {

// How to open a serial port; the integer fields hold QSerialPort's values.
struct SERLINE_EXPORT serial_port_settings_t
{
    serial_port_settings_t();

    QString port_name;
    int32_t baud_rate = 115200;
    int32_t data_bits = 8;
    int32_t parity = 0;
    int32_t stop_bits = 1;
    int32_t flow_control = 0;
    int64_t timeout = 2000; // default timeout of every read, ms
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::serial_port_settings_t)
