#pragma once

#include "satcmd/kqttc/kqttc_proto.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/uhf_module.h"

#include <QStringList>

namespace kq::api::proto::kqttc {

// The UHF transceiver over the text protocol. The module part comes first
// among the bases so that its mutex exists before the engine is handed it.
class SATCMD_EXPORT kqttc_uhf_module : public uhf_module, public kqttc_proto
{
    Q_OBJECT

public:
    static constexpr unsigned int secure_key = 0x5A3C96E1;
    static constexpr int find_timeout_ms = 300;

    kqttc_uhf_module(media* m, const connect_props_t& props);
    ~kqttc_uhf_module() override;

    // kq_module
    void set_module_config(const module_config_t& config) override;
    void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                       bool probe, bool call_hooks) override;

    // uhf_module
    unsigned int find_module() override;
    scw_properties& get_scw() override;
    void set_scw(scw_properties& scw) override;
    void set_rf(unsigned int hz) override;
    unsigned long long get_rf() override;
    void flash(QByteArray& data) override;
    unsigned int get_dev_addr() override;
    void set_dev_addr(unsigned int address) override;
    unsigned char get_pipe_timeout() override;
    void set_pipe_timeout(unsigned char seconds) override;
    unsigned short get_text_beacon_period() override;
    void set_text_beacon_period(const unsigned short& period) override;
    QString get_text_beacon_message() override;
    void set_text_beacon_message(const QString& message) override;
    QString get_dst_call_sign() override;
    void set_dst_call_sign(const QString& call_sign) override;
    QString get_src_call_sign() override;
    void set_src_call_sign(const QString& call_sign) override;
    unsigned short get_audio_beacon_period() override;
    void set_audio_beacon_period(const unsigned short& period) override;
    QString get_audio_beacon_midi() override;
    void set_audio_beacon_midi(const QString& notes) override;
    QString get_morse_code_call_sign() override;
    void set_morse_code_call_sign(const QString& morse) override;
    QByteArray get_radio_transceiver_props(unsigned char group, unsigned char offset,
                                           unsigned char count) override;
    void set_radio_transceiver_props(unsigned char group, unsigned char offset,
                                     const QByteArray& value) override;
    QByteArray get_fram_memory(unsigned int address) override;
    void set_fram_memory(unsigned int address, const QByteArray& value) override;
    QString get_version() override;
    unsigned short get_payload_size() override;
    unsigned int get_uptime() override;
    unsigned int get_tx_pkts() override;
    unsigned int get_rx_pkts() override;
    unsigned int get_rx_crc_pkts() override;
    unsigned char get_rssi() override;
    void ax25_beacon_loop(std::atomic<bool>& running) override;
    void send_arbitrary_text(unsigned int sequence, const QString& text) override;
    void recv_arbitrary_text_loop(std::atomic<bool>& running) override;
    void wait_for_pipe_timeout(std::atomic<bool>& running) override;
    const media::settings_t& get_media_settings() const override;
    void set_media_settings(const media::settings_t& settings) override;
    void set_tx_power(tx_power_e power) override;

    // engine
    void sat_set_tx_power(tx_power_e power) override;
    void keep_alive() override;

    unsigned int get_secure_access();
    void set_secure_access(unsigned int answer);
    void set_secure_mode();

    // Firmware files: S-records of type 0, 1, 3, 7 or 9 with a matching
    // count and checksum. Raises parameter_error naming the fault.
    static void flash_check_line(const QString& line);
    void send_flash_line(const QString& line);

protected:
    bool _has_keep_alive() const override { return true; }

    module_type_e _own_module_type() const override { return module_type_uhf; }

private:
    // Reads whose answer carries an RSSI byte remember it; on_rssi then
    // reports the last RSSI known, also after answers that carry none.
    enum rssi_e { rssi_none, rssi_last_known, rssi_of_answer };
    void _report_rssi(int rssi = -1);

    // One read: the command, on_rssi as asked, the value's signal, the value.
    template<typename Req, typename Res, typename Get, typename Signal, typename... Args>
    auto _read(Get get, Signal signal, rssi_e rssi, Args&&... args)
    {
        const Res res = _run<Req, Res>(std::forward<Args>(args)...);
        if (rssi != rssi_none)
            _report_rssi(rssi == rssi_of_answer ? res.get_rssi() : -1);
        const auto value = (res.*get)();
        emit(this->*signal)(value);
        return value;
    }
    // One write: the command, then the signal with what was written.
    template<typename Req, typename Res, typename Signal, typename... Args>
    void _write(Signal signal, const Args&... args)
    {
        _run<Req, Res>(args...);
        emit(this->*signal)(args...);
    }
    // Listens for lines the transceiver sends on its own while running: a
    // quiet read is no error, refusals are skipped when asked, and on a pipe
    // error (the local transceiver speaks again) on_pipe says whether to go
    // on listening.
    template<typename Res, typename OnAnswer, typename OnPipe>
    void _listen(std::atomic<bool>& running, bool skip_refusals, OnAnswer on_answer,
                 OnPipe on_pipe);
    void _readdress_target(unsigned int from, unsigned int to);
    unsigned int _target_address() const;
    void _send_record(const QString& line, uint32_t number);
};

} // namespace kq::api::proto::kqttc
