#pragma once

#include "satcmd/kq_module.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/scw_properties.h"
#include "serline/media.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>

namespace kq::api::proto {

// What the rest of the system sees of a UHF transceiver: one operation per
// parameter, the firmware flash, the receive loops, and one signal per value
// read or written. Operations run in the caller's thread; failures raise and
// emit nothing.
class SATCMD_EXPORT uhf_module : public kq_module
{
    Q_OBJECT

public:
    uhf_module(media* m, const connect_props_t& props);
    ~uhf_module() override;

    virtual unsigned int find_module() = 0;
    virtual scw_properties& get_scw() = 0;
    virtual void set_scw(scw_properties& scw) = 0;
    virtual void set_rf(unsigned int hz) = 0;
    virtual unsigned long long get_rf() = 0;
    virtual void flash(QByteArray& data) = 0;
    virtual unsigned int get_dev_addr() = 0;
    virtual void set_dev_addr(unsigned int address) = 0;
    virtual unsigned char get_pipe_timeout() = 0;
    virtual void set_pipe_timeout(unsigned char seconds) = 0;
    virtual unsigned short get_text_beacon_period() = 0;
    virtual void set_text_beacon_period(const unsigned short& period) = 0;
    virtual QString get_text_beacon_message() = 0;
    virtual void set_text_beacon_message(const QString& message) = 0;
    virtual QString get_dst_call_sign() = 0;
    virtual void set_dst_call_sign(const QString& call_sign) = 0;
    virtual QString get_src_call_sign() = 0;
    virtual void set_src_call_sign(const QString& call_sign) = 0;
    virtual unsigned short get_audio_beacon_period() = 0;
    virtual void set_audio_beacon_period(const unsigned short& period) = 0;
    virtual QString get_audio_beacon_midi() = 0;
    virtual void set_audio_beacon_midi(const QString& notes) = 0;
    virtual QString get_morse_code_call_sign() = 0;
    virtual void set_morse_code_call_sign(const QString& morse) = 0;
    virtual QByteArray get_radio_transceiver_props(unsigned char group, unsigned char offset,
                                                   unsigned char count) = 0;
    virtual void set_radio_transceiver_props(unsigned char group, unsigned char offset,
                                             const QByteArray& value) = 0;
    virtual QByteArray get_fram_memory(unsigned int address) = 0;
    virtual void set_fram_memory(unsigned int address, const QByteArray& value) = 0;
    virtual QString get_version() = 0;
    virtual unsigned short get_payload_size() = 0;
    virtual unsigned int get_uptime() = 0;
    virtual unsigned int get_tx_pkts() = 0;
    virtual unsigned int get_rx_pkts() = 0;
    virtual unsigned int get_rx_crc_pkts() = 0;
    virtual unsigned char get_rssi() = 0;
    virtual void ax25_beacon_loop(std::atomic<bool>& running) = 0;
    virtual void send_arbitrary_text(unsigned int sequence, const QString& text) = 0;
    virtual void recv_arbitrary_text_loop(std::atomic<bool>& running) = 0;
    virtual void wait_for_pipe_timeout(std::atomic<bool>& running) = 0;
    virtual const media::settings_t& get_media_settings() const = 0;
    virtual void set_media_settings(const media::settings_t& settings) = 0;
    virtual void set_tx_power(tx_power_e power) = 0;

signals:
    void on_rssi(uint8_t value);
    void on_get_scw(const kq::api::proto::scw_properties& value);
    void on_set_scw(const kq::api::proto::scw_properties& value);
    void on_get_rf(const uint64_t& value);
    void on_set_rf(const uint64_t& value);
    void on_get_pipe_timeout(uint8_t value);
    void on_set_pipe_timeout(uint8_t value);
    void on_get_text_beacon_period(const uint16_t& value);
    void on_set_text_beacon_period(const uint16_t& value);
    void on_get_text_beacon_message(const QString& value);
    void on_set_text_beacon_message(const QString& value);
    void on_get_dst_call_sign(const QString& value);
    void on_set_dst_call_sign(const QString& value);
    void on_get_src_call_sign(const QString& value);
    void on_set_src_call_sign(const QString& value);
    void on_get_audio_beacon_period(const uint16_t& value);
    void on_set_audio_beacon_period(const uint16_t& value);
    void on_get_audio_beacon_midi(const QString& value);
    void on_set_audio_beacon_midi(const QString& value);
    void on_get_morse_code_call_sign(const QString& value);
    void on_set_morse_code_call_sign(const QString& value);
    void on_get_radio_transceiver_props(uint8_t group, uint8_t offset, const QByteArray& value);
    void on_set_radio_transceiver_props(uint8_t group, uint8_t offset, const QByteArray& value);
    void on_get_fram_memory(uint32_t address, const QByteArray& value);
    void on_set_fram_memory(uint32_t address, const QByteArray& value);
    void on_get_version(const QString& value);
    void on_get_payload_size(const uint16_t& value);
    void on_get_uptime(const uint32_t& value);
    void on_get_tx_pkts(const uint32_t& value);
    void on_get_rx_pkts(const uint32_t& value);
    void on_get_rx_crc_pkts(const uint32_t& value);
    void on_ax25_beacon(const QString& message);
    void on_send_arbitrary_text(uint32_t sequence, const QString& arbitratry_text);
    void on_receive_arbitrary_text(uint32_t sequence, const QString& arbitratry_text);
};

} // namespace kq::api::proto
