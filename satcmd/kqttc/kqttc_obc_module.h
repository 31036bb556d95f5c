#pragma once

#include "satcmd/kqttc/kqttc_proto.h"
#include "satcmd/obc_module.h"
#include "satcmd/satcmd_global.h"

#include <QByteArray>

#include <functional>

namespace kq::api::proto::kqttc {

// The on-board computer over the text protocol, usually behind one or two
// relays. Files move in blocks of 128 bytes. A ".BIN" file carries on the
// computer a 4-byte CRC-32 header in front of the image: written on an upload
// from the start, checked against the image on a download from the start,
// and counted in the computer's offsets when a transfer resumes (local offset
// + 4). Every upload and download ends with verify_file: done means the
// computer's checksum of the file matches the local bytes.
class SATCMD_EXPORT kqttc_obc_module : public obc_module, public kqttc_proto
{
    Q_OBJECT

public:
    static constexpr int block_size = 128;
    // The shortest a restart after a mode switch is awaited (twice the
    // longest command timeout when that is more).
    static constexpr int64_t restart_wait_ms = 12000;
    static constexpr int bin_header = 4;

    kqttc_obc_module(media* m, const connect_props_t& props);
    ~kqttc_obc_module() override;

    void set_module_config(const module_config_t& config) override;
    void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                       bool probe, bool call_hooks) override;
    void keep_alive() override;

    QList<file_info_t> dir(const QString& path) override;
    void put(const QString& name, QIODevice* source, const unsigned int& offset) override;
    void get(const QString& name, QIODevice* target, const unsigned int& offset) override;
    void flash(const QString& name) override;
    void del(const QString& name) override;
    void checksum(const QString& name, unsigned int& checksum, unsigned int& size) override;
    uint32_t get_file_size(const QString& name) override;
    obc_mode_e get_obc_mode() override;
    void set_obc_mode(obc_mode_e mode) override;
    QTime get_time() override;
    void set_time(const QTime& time) override;
    QDate get_date() override;
    void set_date(const QDate& date) override;
    uint32_t verify_file(const QString& name, QIODevice* local) override;

    // The entries of a DIRLIST.TXT; lines that are no entries are skipped.
    static QList<file_info_t> parse_dirlist(const QByteArray& listing);
    static bool is_bin(const QString& name);

    uint32_t obc_file_open(const QString& name, obc_file_open_mode_e mode);
    void obc_file_close();
    QByteArray obc_read(uint32_t pos, uint16_t length);
    void obc_write(const QByteArray& data, uint32_t pos);
    void obc_create_dirlist(const QString& path);
    void obc_flash(
        const QString& name,
        std::function<void(const QString&, const unsigned int&, const unsigned int&)>& progress,
        unsigned int start, unsigned int end);

protected:
    bool _has_keep_alive() const override { return true; }
    module_type_e _own_module_type() const override { return module_type_obc; }

private:
    void _drain_boot_output();
    obc_mode_e _await_computer();
    void _check_bin_header(const QByteArray& header, QIODevice* target, uint32_t image_size);
};

} // namespace kq::api::proto::kqttc
