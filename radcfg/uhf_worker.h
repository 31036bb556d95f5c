#pragma once

#include "cp_worker.h"

#include "panelkit/param_file.h"
#include "panelkit/uhf_params.h"

#include <QByteArray>

namespace kq::api::proto {
class uhf_module;
}

namespace radcfg {

// Runs the UHF panel's module calls in the worker thread: parameter reads
// and writes by id through the shared parameter table (the status-word
// fields composed onto the word read from the device), reset and firmware
// flash.
class uhf_worker : public cp_worker, public kq::gui::uhf_ids
{
    Q_OBJECT

public:
    // The parameter's name in log lines ("radio frequency", ...).
    static QString parameter_name(uint32_t id);

    uhf_worker(QObject* parent, kq::api::proto::uhf_module* module);

    // Free text: one line sent, and with `listen` lines heard after it until
    // stop(); queued to the worker's thread. The module's signals report
    // both.
    void send_text(uint32_t sequence, const QString& text, bool listen);
    void listen_texts();

signals:
    void reset();
    void flash(const QByteArray& data);
    // Reads every parameter for a configuration file or a comparison.
    void read_snapshot();
    void snapshot_read(const kq::gui::param_snapshot& snapshot);
    // A value written that the device reports otherwise afterwards.
    void readback_mismatch(uint32_t id, const QString& written, const QString& held);

protected slots:
    void _set_params(const kq::gui::sat_worker::param_pairs_t& params) override;

private slots:
    void _flash(const QByteArray& data);
    void _reset();
    void _read_snapshot();

protected:
    void _get_param(uint32_t param) override;
    void _set_param(uint32_t param, const QVariant& value) override;

private:
    bool _try_set_scw_params(const kq::gui::sat_worker::param_pairs_t& params);
    void _set_scw_params(const kq::gui::sat_worker::param_pairs_t& params);
    kq::api::proto::uhf_module& _uhf() const;
    void _read_back(const kq::gui::sat_worker::param_pairs_t& written);
};

} // namespace radcfg
