#pragma once

#include "satcmd/kq_module.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/xband_types.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace kq::api::proto {

// The X-band transmitter: modulation parameters, reports, its file store,
// its modes, firmware update and shutdown.
class SATCMD_EXPORT xband_module : public kq_module
{
    Q_OBJECT

public:
    xband_module(media* m, const connect_props_t& props);
    ~xband_module() override;

    virtual uint8_t get_symbol_rate() = 0;
    virtual uint8_t get_tx_power() = 0;
    virtual float get_central_frequency() = 0;
    virtual uint8_t get_modcod() = 0;
    virtual xband_roll_off_e get_roll_off() = 0;
    virtual xband_pilot_signal_status_e get_pilot_signal() = 0;
    virtual xband_fec_frame_size_e get_fec_frame_size() = 0;
    virtual xband_all_parameters_t get_all_parameters() = 0;
    virtual xband_simple_report_t get_simple_report() = 0;
    virtual xband_full_report_t get_full_report() = 0;
    virtual void set_symbol_rate(unsigned char value) = 0;
    virtual void set_tx_power(unsigned char value) = 0;
    virtual void set_central_frequency(float value) = 0;
    virtual void set_modcod(unsigned char value) = 0;
    virtual void set_roll_off(xband_roll_off_e value) = 0;
    virtual void set_pilot_signal(xband_pilot_signal_status_e value) = 0;
    virtual void set_fec_frame_size(xband_fec_frame_size_e value) = 0;
    virtual void set_all_parameters(const xband_all_parameters_t& value) = 0;
    virtual void dir(QVector<xband_file_entry_t>& entries) = 0;
    virtual void delete_file(const QString& name) = 0;
    virtual void delete_all_files() = 0;
    virtual void create_file(const QString& name, unsigned int size, unsigned int& handle) = 0;
    virtual void open_file(const QString& name, unsigned int& a, unsigned int& b) = 0;
    virtual void write_file(unsigned int handle, unsigned int offset, const QByteArray& data) = 0;
    virtual void read_file(unsigned int handle, unsigned int& value, QByteArray& data) = 0;
    virtual void update_fw(const QString& name) = 0;
    virtual void shutdown() = 0;
    virtual void tx_mode() = 0;
    virtual void load_mode() = 0;
    virtual void send_files(xband_file_status_e status, const QString& name) = 0;
};

} // namespace kq::api::proto
