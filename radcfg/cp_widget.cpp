#include "cp_widget.h"

#include "panelkit/error_advice.h"
#include "panelkit/module_settings.h"
#include "panelkit/port_diagnosis.h"
#include "panelkit/transfer_meter.h"
#include "panelkit/uicontroller.h"
#include "satcmd/kq_module.h"
#include "serline/media.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QSettings>

#include <algorithm>
#include <stdexcept>

namespace radcfg {

using kq::gui::log_item;
using kq::gui::sat_worker;
using namespace kq::api::proto;

cp_widget::cp_widget(QWidget* parent, kq_module* module)
    : QWidget(parent)
    , _module(module)
    , _port_name(module->get_media() ? module->get_media()->get_settings().port_name : QString())
{
    _pipe_timer.setInterval(1000);
    connect(&_pipe_timer, &QTimer::timeout, this, &cp_widget::_on_pipe_timer_timeout);
    connect(module, &kq_module::on_media_debug, this, &cp_widget::_on_media_debug);
    connect(module, &kq_module::on_waiting, this, &cp_widget::_on_waiting);
}

cp_widget::~cp_widget()
{
    _pipe_timer.stop();
    if (_worker)
        _worker->stop();
    _thread.quit();
    _thread.wait();
}

void cp_widget::_start_worker(cp_worker* worker)
{
    _worker = worker;
    _worker->moveToThread(&_thread);
    connect(&_thread, &QThread::finished, _worker, &QObject::deleteLater);
    connect(_worker, &sat_worker::on_operation_control, this, &cp_widget::_on_operation_control);
    connect(_worker, &sat_worker::on_connection_state, this, &cp_widget::_on_connection_state);
    connect(_worker, &sat_worker::on_connection_error, this, &cp_widget::_on_connection_error);
    connect(_worker, &sat_worker::on_get_param, this, &cp_widget::_on_get_param);
    connect(_worker, &sat_worker::on_set_param, this, &cp_widget::_on_set_param);
    connect(_worker, &sat_worker::on_get_param_request_error, this,
            &cp_widget::_on_get_param_request_error);
    connect(_worker, &sat_worker::on_set_param_request_error, this,
            &cp_widget::_on_set_param_request_error);
    _watch_link(_worker);
    _thread.start();
}

// Answers and silences as the worker reports them; the status bar follows.
void cp_widget::_watch_link(sat_worker* worker)
{
    const auto changed = [this](const std::function<void()>& change) {
        const QString before = _link.text();
        change();
        if (_link.text() != before)
            emit link_status_changed(_link.text());
    };
    const auto failed = [this, changed](const error_descriptor& error) {
        _failed_in_operation = true;
        changed([this, &error] { _link.failed(error); });
    };
    const auto answered = [this, changed] { changed([this] { _link.answered(); }); };
    connect(worker, &sat_worker::on_connection_state, this,
            [this, changed](sat_worker::connection_state_e state) {
                if (state == sat_worker::connecting)
                    changed([this] { _link.opening_port(); });
                else if (state == sat_worker::connected)
                    changed([this] { _link.port_opened(); });
            });
    connect(worker, &sat_worker::on_connection_error, this, failed);
    connect(worker, &sat_worker::on_get_param_request_error, this,
            [failed](uint32_t, const error_descriptor& error) { failed(error); });
    connect(worker, &sat_worker::on_set_param_request_error, this,
            [failed](uint32_t, const error_descriptor& error) { failed(error); });
    connect(
        worker, &sat_worker::on_operation_error, this,
        [failed](sat_worker::operation_type_e, const error_descriptor& error) { failed(error); });
    connect(worker, &sat_worker::on_get_param, this, answered);
    connect(worker, &sat_worker::on_set_param, this, answered);
    connect(worker, &sat_worker::on_operation_control, this,
            [this, answered](sat_worker::operation_type_e, sat_worker::operation_status_e status) {
                // An operation that ended without a failure was answered
                // throughout, whatever it read.
                if (status == sat_worker::begin)
                    _failed_in_operation = false;
                else if (status == sat_worker::end && !_failed_in_operation)
                    answered();
            });
}

void cp_widget::_on_waiting(int attempt, qint64 elapsed_ms)
{
    const QString attempts = attempt == 1 ? tr("1 attempt") : tr("%1 attempts").arg(attempt);
    const QString text = tr("no answer after %1 in %2; trying again (Stop gives up)")
                             .arg(attempts, kq::gui::transfer_meter::clock_text(elapsed_ms / 1000));
    _log(log_item::WARN, text);
    emit waiting_note(text);
}

void cp_widget::_init_log(const QString& name, QListWidget* view)
{
    _log_controller = std::make_unique<kq::gui::log_controller>(this, name, view);
}

void cp_widget::_log(log_item::log_level_e level, const QString& message)
{
    if (_log_controller)
        _log_controller->log(level, message);
}

void cp_widget::_set_log_verbose(bool on)
{
    if (_log_controller)
        _log_controller->set_is_verbose(on);
}

QString cp_widget::_describe(const error_descriptor& error) const
{
    QString text = _texts.get_error_descriptor_string(error);
    if (!error.get_exec_context().isEmpty())
        text += QStringLiteral(", context=") + error.get_exec_context();
    if (!error.get_message().isEmpty())
        text += QStringLiteral(": ") + error.get_message();
    return kq::gui::error_advice::with_advice(text, error);
}

QStringList cp_widget::unwritten_edits() const
{
    return _controller ? _controller->changed_captions() : QStringList();
}

void cp_widget::_enable_controls(bool enabled)
{
    _enabled = enabled;
    _set_controls_enabled(enabled);
}

void cp_widget::_restore_check(QCheckBox* box, const QString& key)
{
    box->setChecked(QSettings().value(key, true).toBool());
}

void cp_widget::_store_check(const QCheckBox* box, const QString& key)
{
    QSettings().setValue(key, box->isChecked());
}

void cp_widget::_on_operation_control(sat_worker::operation_type_e op,
                                      sat_worker::operation_status_e status)
{
    _log(status == sat_worker::failed ? log_item::ERROR : log_item::INFO,
         _texts.get_operation_type_string(op, status));
    if (status == sat_worker::begin) {
        if (_controller)
            _controller->set_loading_data(true);
        _pipe_timer.stop();
        _show_pipe_countdown();
        _enable_controls(false);
        return;
    }
    if (_controller)
        _controller->set_loading_data(false);
    if (_module->get_connect_props().route.size() >= 2) {
        _start_pipe_countdown();
        return;
    }
    _enable_controls(true);
}

// A relay keeps its pipe to the remote side open for its pipe timeout after
// the last command; a command sent before it lapses would go to the old
// target.
void cp_widget::_start_pipe_countdown()
{
    _log(log_item::INFO, _texts.get_connection_state_string(sat_worker::pipe_drain));
    int32_t pipe_ms = kq::api::proto::module_config_t().timeout_pipe;
    try {
        pipe_ms = kq::gui::module_config_from_settings(QSettings()).timeout_pipe;
    } catch (const std::invalid_argument&) {
        // refused settings: the operation that ended here has said so
    }
    _pipe_countdown = pipe_ms / 1000 + 1;
    _enable_controls(false);
    _pipe_timer.start();
    _show_pipe_countdown();
}

void cp_widget::_on_pipe_timer_timeout()
{
    if (--_pipe_countdown > 0) {
        _show_pipe_countdown();
        return;
    }
    _pipe_timer.stop();
    _enable_controls(true);
    _show_pipe_countdown();
}

QString cp_widget::pipe_countdown_text() const
{
    if (!_pipe_timer.isActive() || _pipe_countdown <= 0)
        return {};
    return tr("Waiting for the relay's pipe to close: %1 s").arg(_pipe_countdown);
}

void cp_widget::_show_pipe_countdown()
{
    static const char* saved_tip = "kq_tooltip";
    const QString text = pipe_countdown_text();
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (!button->property(saved_tip).isValid())
            button->setProperty(saved_tip, button->toolTip());
        const bool waiting = !text.isEmpty() && !button->isEnabled();
        button->setToolTip(waiting ? text : button->property(saved_tip).toString());
    }
    emit pipe_countdown(text.isEmpty() ? 0 : _pipe_countdown);
}

void cp_widget::_on_connection_state(sat_worker::connection_state_e state)
{
    _log(log_item::INFO, _texts.get_connection_state_string(state));
}

// A port that would not open is explained: which port, the system's
// reason, and what helps.
void cp_widget::_on_connection_error(const error_descriptor& error)
{
    QString text = tr("connection error: ") + _describe(error);
    const media_exception::exception_type_e media_error = error.get_media_error();
    if (media_error == media_exception::open_failed || media_error == media_exception::not_open)
        text +=
            QStringLiteral(" (") + kq::gui::port_diagnosis::explain(_port_name) + QLatin1Char(')');
    _log(log_item::ERROR, text);
}

namespace {

bool printable(const QString& line)
{
    return std::all_of(line.cbegin(), line.cend(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// A line with anything but printable ASCII (a binary block, a spoilt byte)
// is shown as its bytes in hex, as the engine's "[BIN]" lines are.
QString as_hex(const QString& line)
{
    const bool latin1 =
        std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
    const QByteArray bytes = latin1 ? line.toLatin1() : line.toUtf8();
    return QStringLiteral("[BIN]") + QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

void cp_widget::_on_media_debug(flow_direction_e fd, const QString& message)
{
    QString line = message;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    if (line.isEmpty())
        return;
    if (!printable(line)) {
        // The engine follows every frame it sends with its own "[BIN]" line
        // of the same bytes.
        if (fd == flow_sent)
            return;
        line = as_hex(line);
    }
    _log(log_item::KQTTC,
         (fd == flow_sent ? QStringLiteral(">>> ") : QStringLiteral("<<< ")) + line);
}

} // namespace radcfg
