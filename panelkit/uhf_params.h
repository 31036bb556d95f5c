#pragma once

#include "panelkit/panelkit_global.h"

#include <QJsonValue>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include <cstdint>
#include <functional>
#include <stdexcept>

namespace kq::api::proto {
class uhf_module;
class scw_properties;
} // namespace kq::api::proto

namespace kq::gui {

// The ids under which the UHF panel and its worker know the transceiver's
// parameters (and a few operations reported like them).
struct uhf_ids
{
    enum id : uint32_t {
        scw = 1,
        radio_frequency = 2,
        version = 3,
        uptime = 4,
        device_address = 5,
        rx_crc_errors = 6,
        rx_packets = 7,
        tx_packets = 8,
        audio_beacon = 9,
        audio_beacon_period = 10,
        dst_call_sign = 11,
        src_call_sign = 12,
        morse_code = 13,
        payload_size = 14,
        text_beacon = 15,
        text_beacon_period = 16,
        pipe_timeout = 17,
        uart_baud_rate = 18,
        rf_mode = 19,
        reset_parameter = 20,
        flash_parameter = 21,
        beacon_enabled = 22,
        boot = 23,
        fram = 24,
        rfts = 25,
        boot_mode = 26,
        rssi = 27,
    };
};

// A value refused before anything is sent: "NAME=VALUE: what is accepted".
class PANELKIT_EXPORT param_value_error : public std::invalid_argument
{
public:
    using std::invalid_argument::invalid_argument;
};

// One of the transceiver's parameters, as every front end and the
// configuration files know it: its short name, how it is read (the value as
// the module gives it), shown in the command-line driver's units, parsed
// from text in those units, and written, by a command of its own or as a
// field of the status word (fields are written together, onto the word read
// from the device).
struct PANELKIT_EXPORT uhf_param_t
{
    using module_t = api::proto::uhf_module;
    using scw_t = api::proto::scw_properties;
    using scw_source = std::function<scw_t()>;

    uint32_t id;
    QString name;    // "freq"
    QString caption; // "radio frequency", for messages and logs
    QString help;    // the values accepted
    int max_length;  // of a text value; 0: not a text
    std::function<QVariant(module_t&, const scw_source&)> read;
    std::function<QJsonValue(const QVariant&)> json;       // in the driver's units
    std::function<QVariant(const QString&)> parse;         // null: read only
    std::function<void(module_t&, const QVariant&)> write; // a command of its own
    std::function<void(scw_t&, const QVariant&)> write_scw;

    bool writable() const { return bool(parse); }
    bool in_scw() const { return bool(write_scw); }
    // The value of a file or a command line, checked: throws param_value_error.
    QVariant from_json(const QJsonValue& value) const;
};

PANELKIT_EXPORT const QVector<uhf_param_t>& uhf_params();
PANELKIT_EXPORT const uhf_param_t* find_uhf_param(const QString& name);
PANELKIT_EXPORT const uhf_param_t* find_uhf_param(uint32_t id);

// A value as text for the readable output ("on", "437.05", "KQ0SAT").
PANELKIT_EXPORT QString value_text(const QJsonValue& v);

// The UART speeds the transceiver takes: the rate as text and its code.
PANELKIT_EXPORT const QVector<QPair<QString, int>>& uart_speeds();

} // namespace kq::gui
