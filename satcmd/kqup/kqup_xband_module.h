#pragma once

#include "satcmd/kqup/kqup_proto.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/xband_module.h"

#include <memory>

namespace kq::api::proto::kqup {

// The X-band transmitter over KQUP: every operation one command.
class SATCMD_EXPORT kqup_xband_module : public xband_module
{
    Q_OBJECT

public:
    kqup_xband_module(media* m, const connect_props_t& props);
    ~kqup_xband_module() override;

    uint8_t get_symbol_rate() override;
    uint8_t get_tx_power() override;
    float get_central_frequency() override;
    uint8_t get_modcod() override;
    xband_roll_off_e get_roll_off() override;
    xband_pilot_signal_status_e get_pilot_signal() override;
    xband_fec_frame_size_e get_fec_frame_size() override;
    xband_all_parameters_t get_all_parameters() override;
    xband_simple_report_t get_simple_report() override;
    xband_full_report_t get_full_report() override;
    void set_symbol_rate(unsigned char value) override;
    void set_tx_power(unsigned char value) override;
    void set_central_frequency(float value) override;
    void set_modcod(unsigned char value) override;
    void set_roll_off(xband_roll_off_e value) override;
    void set_pilot_signal(xband_pilot_signal_status_e value) override;
    void set_fec_frame_size(xband_fec_frame_size_e value) override;
    void set_all_parameters(const xband_all_parameters_t& value) override;
    void dir(QVector<xband_file_entry_t>& entries) override;
    void delete_file(const QString& name) override;
    void delete_all_files() override;
    void create_file(const QString& name, unsigned int size, unsigned int& handle) override;
    void open_file(const QString& name, unsigned int& a, unsigned int& b) override;
    void write_file(unsigned int handle, unsigned int offset, const QByteArray& data) override;
    void read_file(unsigned int handle, unsigned int& value, QByteArray& data) override;
    void update_fw(const QString& name) override;
    void shutdown() override;
    void tx_mode() override;
    void load_mode() override;
    void send_files(xband_file_status_e status, const QString& name) override;

    // One command with a status check on the reply; returns the reply payload.
    QByteArray exec_command(uint16_t command, uint16_t type_code, const QByteArray& payload);

private:
    kqup_packet_data_t _packet(uint16_t command, uint16_t type_code,
                               const QByteArray& payload) const;
    QByteArray _exchange(uint16_t command, uint16_t type_code, const QByteArray& payload,
                         const kqup_proto::answer_check& check);
    // A parameter: 1-byte code or float, and whole records.
    QByteArray _get_value(uint16_t type_code, int value_size);
    uint8_t _get_byte(uint16_t type_code);
    void _set_value(uint16_t type_code, const QByteArray& value);
    void _set_byte(uint16_t type_code, unsigned value);
    static QByteArray _name(const QString& name);

    std::unique_ptr<kqup_proto> _engine;
};

} // namespace kq::api::proto::kqup
