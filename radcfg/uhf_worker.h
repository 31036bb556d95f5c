#pragma once

#include "cp_worker.h"

#include <QByteArray>

namespace kq::api::proto {
class uhf_module;
}

namespace radcfg {

// Runs the UHF panel's module calls in the worker thread: parameter reads
// and writes by id (the status-word fields composed onto the word read from
// the device), reset and firmware flash.
class uhf_worker : public cp_worker
{
    Q_OBJECT

public:
    enum uhf_parameter : uint32_t {
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
    Q_ENUM(uhf_parameter)

    // The parameter's name in log lines ("radio frequency", ...).
    static QString parameter_name(uint32_t id);

    uhf_worker(QObject* parent, kq::api::proto::uhf_module* module);

signals:
    void reset();
    void flash(const QByteArray& data);

protected slots:
    void _set_params(const kq::gui::sat_worker::param_pairs_t& params) override;

private slots:
    void _flash(const QByteArray& data);
    void _reset();

protected:
    void _get_param(uint32_t id) override;
    void _set_param(uint32_t id, const QVariant& value) override;

private:
    void _try_set_scw_params(const kq::gui::sat_worker::param_pairs_t& params);
    void _set_scw_params(const kq::gui::sat_worker::param_pairs_t& params);
    kq::api::proto::uhf_module& _uhf() const;
};

} // namespace radcfg
