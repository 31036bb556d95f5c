#include "xband_worker.h"

#include "panelkit/local_file.h"
#include "panelkit/uhf_params.h"
#include "panelkit/xband_config.h"
#include "panelkit/xband_params.h"
#include "panelkit/xband_report.h"
#include "panelkit/xband_transfer.h"
#include "satcmd/xband_module.h"

namespace radcfg {

using namespace kq::api::proto;
using kq::gui::xband_param_t;
using kq::gui::xband_params;

namespace {

const xband_param_t* xband_param_of(uint32_t id)
{
    return id >= 1 && int(id) <= xband_params().size() ? &xband_params().at(int(id) - 1) : nullptr;
}

} // namespace

xband_worker::xband_worker(QObject* parent, xband_module* module)
    : cp_worker(parent, module)
{
}

xband_module& xband_worker::_xband() const
{
    return static_cast<xband_module&>(*_module);
}

void xband_worker::_emit_parameters(const xband_all_parameters_t& all, const QVector<uint32_t>& ids)
{
    for (const uint32_t id : ids) {
        if (const xband_param_t* p = xband_param_of(id))
            _cache_parameter_and_emit_signal(id, p->read(all).toVariant());
    }
}

// One answer carries every parameter.
void xband_worker::_get_params(const QVector<uint32_t>& params)
{
    _connect_exec_disconnect(READ, [this, params] {
        error_descriptor failure;
        xband_all_parameters_t all;
        if (_guarded([&] { all = _xband().get_all_parameters(); }, failure)) {
            _emit_parameters(all, params);
            return;
        }
        for (const uint32_t id : params)
            emit on_get_param_request_error(id, failure);
    });
}

void xband_worker::_get_param(uint32_t id)
{
    _emit_parameters(_xband().get_all_parameters(), {id});
}

void xband_worker::_set_param(uint32_t id, const QVariant& value)
{
    const xband_param_t* p = xband_param_of(id);
    if (!p || !p->writable())
        return;
    p->write(_xband(), value.toDouble());
    emit on_set_param(id, value);
}

// Written one by one after a snapshot, then read back: "done" is what the
// transmitter holds.
void xband_worker::_set_params(const param_pairs_t& params)
{
    _connect_exec_disconnect(WRITE, [this, params] {
        _record_snapshot(QStringLiteral("before write"), [this] {
            const route_t& route = _module->get_connect_props().route;
            return kq::gui::xband_config::backup(_xband(),
                                                 route.isEmpty() ? 0 : route.last().dev_addr);
        });
        param_pairs_t written;
        for (const auto& p : params) {
            if (is_running() && _try_set_param(p.first, p.second))
                written.append(p);
        }
        if (written.isEmpty() || !is_running())
            return;
        const xband_all_parameters_t all = _xband().get_all_parameters();
        for (const auto& w : written) {
            const xband_param_t* p = xband_param_of(w.first);
            const QJsonValue held = p->read(all);
            const QJsonValue wanted = p->stored(w.second.toDouble());
            if (held != wanted)
                emit readback_mismatch(w.first, kq::gui::value_text(wanted),
                                       kq::gui::value_text(held));
        }
    });
}

void xband_worker::read_report(bool full)
{
    post(READ, [this, full] {
        xband_module& x = _xband();
        emit report_read(full ? x.get_full_report() : kq::gui::widen(x.get_simple_report()), full);
    });
}

void xband_worker::_list()
{
    QVector<xband_file_entry_t> files;
    _xband().dir(files);
    emit files_listed(files);
}

void xband_worker::list_files()
{
    post(DIR, [this] { _list(); });
}

kq::gui::xband_transfer xband_worker::_transfer()
{
    return kq::gui::xband_transfer(
        _xband(), [this](const QString& step, uint64_t done, uint64_t total) {
            emit transfer_progress(step, uint32_t(done), uint32_t(total));
        });
}

void xband_worker::_upload(const QByteArray& data, const QString& name)
{
    _transfer().upload(data, name);
}

void xband_worker::upload(const QByteArray& data, const QString& name)
{
    post(UPLOAD, [this, data, name] {
        _upload(data, name);
        emit notice(
            tr("%1 uploaded (%2 bytes), read back and verified").arg(name).arg(data.size()));
        _list();
    });
}

void xband_worker::download(const QString& name, const QString& path)
{
    post(DOWNLOAD, [this, name, path] {
        const QByteArray data = _transfer().download(name);
        kq::gui::local_file::write_whole(path, data);
        emit notice(tr("%1 saved as %2 (%3 bytes)").arg(name, path).arg(data.size()));
    });
}

void xband_worker::delete_file(const QString& name)
{
    post(ERASE, [this, name] {
        _xband().delete_file(name);
        emit notice(tr("%1 deleted").arg(name));
        _list();
    });
}

void xband_worker::delete_all_files()
{
    post(ERASE, [this] {
        _xband().delete_all_files();
        emit notice(tr("every file deleted"));
        _list();
    });
}

void xband_worker::set_mode(bool transmit)
{
    post(WRITE, [this, transmit] {
        if (transmit)
            _xband().tx_mode();
        else
            _xband().load_mode();
        emit report_read(kq::gui::widen(_xband().get_simple_report()), false);
    });
}

void xband_worker::send_file(const QString& name)
{
    post(WRITE, [this, name] {
        _xband().send_files(xband_file_status_e(0), name);
        emit notice(tr("sending %1").arg(name));
        emit report_read(_xband().get_full_report(), true);
    });
}

void xband_worker::update_firmware(const QByteArray& data, const QString& name)
{
    post(FLASH, [this, data, name] {
        _upload(data, name);
        _xband().update_fw(name);
        emit notice(tr("firmware update from %1 started").arg(name));
        emit report_read(_xband().get_full_report(), true);
    });
}

void xband_worker::shutdown()
{
    post(WRITE, [this] {
        _xband().shutdown();
        emit notice(tr("the transmitter is shut down"));
        emit report_read(kq::gui::widen(_xband().get_simple_report()), false);
    });
}

} // namespace radcfg
