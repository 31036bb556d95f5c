#include "uhf_worker.h"

#include "panelkit/param_history.h"
#include "panelkit/uhf_config.h"
#include "satcmd/scw_properties.h"
#include "satcmd/uhf_module.h"

#include <optional>

namespace radcfg {

using namespace kq::api::proto;

namespace {

bool is_scw_field(uint32_t id)
{
    const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(id);
    return p && p->in_scw();
}

} // namespace

QString uhf_worker::parameter_name(uint32_t id)
{
    if (const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(id))
        return p->caption;
    static const QMap<uint32_t, QString> operations{{payload_size, "payload size"},
                                                    {reset_parameter, "reset"},
                                                    {flash_parameter, "flash"},
                                                    {boot_mode, "boot mode"}};
    return operations.value(id, QStringLiteral("parameter %1").arg(id));
}

uhf_worker::uhf_worker(QObject* parent, uhf_module* module)
    : cp_worker(parent, module)
{
    connect(this, &uhf_worker::reset, this, &uhf_worker::_reset);
    connect(this, &uhf_worker::flash, this, &uhf_worker::_flash);
    connect(this, &uhf_worker::read_snapshot, this, &uhf_worker::_read_snapshot);
}

void uhf_worker::send_text(uint32_t sequence, const QString& text, bool listen)
{
    post(listen ? LISTEN : WRITE, [this, sequence, text, listen] {
        _uhf().send_arbitrary_text(sequence, text);
        if (listen) // the answer comes after the line: nothing is missed
            _uhf().recv_arbitrary_text_loop(_running_flag());
    });
}

void uhf_worker::listen_texts()
{
    post(LISTEN, [this] { _uhf().recv_arbitrary_text_loop(_running_flag()); });
}

uhf_module& uhf_worker::_uhf() const
{
    return static_cast<uhf_module&>(*_module);
}

void uhf_worker::_get_param(uint32_t param)
{
    const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(param);
    if (!p)
        return;
    uhf_module& u = _uhf();
    _cache_parameter_and_emit_signal(param, p->read(u, [&u] { return u.get_scw(); }));
}

void uhf_worker::_set_param(uint32_t param, const QVariant& value)
{
    const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(param);
    if (!p || !p->write)
        return; // the status-word fields go together, the rest is read only
    p->write(_uhf(), value);
    emit on_set_param(param, value);
}

void uhf_worker::_set_params(const param_pairs_t& params)
{
    _connect_exec_disconnect(WRITE, [this, params] {
        _record_snapshot(QStringLiteral("before write"),
                         [this] { return kq::gui::uhf_config::backup(_uhf()); });
        param_pairs_t written;
        for (const auto& p : params) {
            if (!is_running())
                return;
            if (!is_scw_field(p.first) && _try_set_param(p.first, p.second))
                written.append(p);
        }
        if (is_running() && _try_set_scw_params(params)) {
            for (const auto& p : params) {
                if (is_scw_field(p.first))
                    written.append(p);
            }
        }
        if (is_running())
            _read_back(written);
    });
}

// "Done" is what the device holds afterwards: each value written is read
// again and compared as the device stores it.
void uhf_worker::_read_back(const param_pairs_t& written)
{
    uhf_module& u = _uhf();
    std::optional<scw_properties> word;
    const auto word_once = [&] {
        if (!word)
            word = u.get_scw();
        return *word;
    };
    for (const auto& w : written) {
        const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(w.first);
        if (!p)
            continue;
        QJsonValue held;
        error_descriptor failure;
        if (!_guarded([&] { held = p->json(p->read(u, word_once)); }, failure)) {
            emit notice(QStringLiteral("%1 written, not read back: %2")
                            .arg(p->caption, failure.get_message()));
            continue;
        }
        const QJsonValue wanted = p->json(w.second);
        if (held != wanted)
            emit readback_mismatch(w.first, kq::gui::value_text(wanted), kq::gui::value_text(held));
    }
}

void uhf_worker::_read_snapshot()
{
    _connect_exec_disconnect(READ, [this] {
        error_descriptor failure;
        kq::gui::param_snapshot s;
        if (_guarded([&] { s = kq::gui::uhf_config::backup(_uhf()); }, failure))
            emit snapshot_read(s);
        else
            emit on_get_param_request_error(scw, failure);
    });
}

bool uhf_worker::_try_set_scw_params(const param_pairs_t& params)
{
    error_descriptor failure;
    if (_guarded([&] { _set_scw_params(params); }, failure))
        return true;
    for (const auto& p : params) {
        if (is_scw_field(p.first))
            emit on_set_param_request_error(p.first, failure);
    }
    return false;
}

// The fields the user changed, composed onto the word read from the device,
// in one write; reported as RF mode, beacon and UART speed.
void uhf_worker::_set_scw_params(const param_pairs_t& params)
{
    bool any = false;
    for (const auto& p : params)
        any = any || is_scw_field(p.first);
    if (!any)
        return;
    uhf_module& u = _uhf();
    scw_properties word = u.get_scw();
    for (const auto& p : params) {
        if (is_scw_field(p.first))
            kq::gui::find_uhf_param(p.first)->write_scw(word, p.second);
    }
    u.set_scw(word);
    emit on_set_param(rf_mode, int(word.get_rf_mode()));
    emit on_set_param(beacon_enabled, word.get_bcn());
    emit on_set_param(uart_baud_rate, int(word.get_uart_baud()));
}

void uhf_worker::_reset()
{
    _connect_exec_disconnect(RESET, [this] {
        uhf_module& u = _uhf();
        scw_properties word = u.get_scw();
        word.set_reset(true);
        u.set_scw(word);
        emit on_set_param(reset_parameter, true);
    });
}

void uhf_worker::_flash(const QByteArray& data)
{
    _connect_exec_disconnect(FLASH, [this, data] {
        _record_snapshot(QStringLiteral("before flash"),
                         [this] { return kq::gui::uhf_config::backup(_uhf()); });
        QByteArray image = data;
        error_descriptor failure;
        if (_guarded([&] { _uhf().flash(image); }, failure))
            emit on_set_param(flash_parameter, image.size());
        else
            emit on_set_param_request_error(flash_parameter, failure);
    });
}

} // namespace radcfg
