#pragma once

#include "cp_worker.h"

#include "satcmd/xband_types.h"

#include <QByteArray>
#include <QVector>

namespace kq::api::proto {
class xband_module;
}
namespace kq::gui {
class xband_transfer;
}

namespace radcfg {

// Runs the X-band panel's module calls in the worker thread: the parameters
// by id (1 to 7, the order of the shared table) read all at once and
// written one by one, then read back; reports; the file store with verified
// transfers; modes, firmware update and shutdown.
class xband_worker : public cp_worker
{
    Q_OBJECT

public:
    xband_worker(QObject* parent, kq::api::proto::xband_module* module);

    // Each is queued to the worker's thread as one operation.
    void read_report(bool full);
    void list_files();
    void upload(const QByteArray& data, const QString& name);
    void download(const QString& name, const QString& path);
    void delete_file(const QString& name);
    void delete_all_files();
    void set_mode(bool transmit);
    void send_file(const QString& name);
    void update_firmware(const QByteArray& data, const QString& name);
    void shutdown();

signals:
    void report_read(const kq::api::proto::xband_full_report_t& report, bool full);
    void files_listed(const QVector<kq::api::proto::xband_file_entry_t>& files);
    void transfer_progress(const QString& step, uint32_t done, uint32_t total);
    // A value written that the transmitter reports otherwise afterwards.
    void readback_mismatch(uint32_t id, const QString& written, const QString& held);

protected slots:
    void _get_params(const QVector<uint32_t>& params) override;
    void _set_params(const kq::gui::sat_worker::param_pairs_t& params) override;

protected:
    void _get_param(uint32_t id) override;
    void _set_param(uint32_t id, const QVariant& value) override;

private:
    kq::api::proto::xband_module& _xband() const;
    void _emit_parameters(const kq::api::proto::xband_all_parameters_t& all,
                          const QVector<uint32_t>& ids);
    // A transfer that reports its progress as transfer_progress.
    kq::gui::xband_transfer _transfer();
    void _upload(const QByteArray& data, const QString& name);
    void _list();
};

} // namespace radcfg
