#pragma once

#include "cp_worker.h"

#include "panelkit/link_status.h"
#include "panelkit/log_controller.h"
#include "panelkit/resource_manager.h"
#include "satcmd/module_types.h"

#include <QThread>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QListWidget;

namespace kq::gui {
class ui_controller;
}

namespace radcfg {

// What every module panel shares: the worker in its own thread, the log with
// the operation, connection and traffic lines, the controls held disabled
// while a relay's pipe drains after an operation over a radio hop, and the
// check boxes remembered between runs.
class cp_widget : public QWidget
{
    Q_OBJECT

public:
    ~cp_widget() override;

    cp_worker* worker() const { return _worker; }
    // The text of the relay's pipe drain still running ("... 8 s"); empty
    // when none runs.
    QString pipe_countdown_text() const;
    QString link_status_text() const { return _link.text(); }
    // The port failing or the module silent: worth the user's attention.
    bool link_in_trouble() const
    {
        return _link.state() == kq::gui::link_status::silent ||
               _link.state() == kq::gui::link_status::port_failed;
    }
    // The captions of values edited and not yet written to the device.
    QStringList unwritten_edits() const;
    // A line of the window's own in the panel's log (and its file).
    void log_line(kq::gui::log_item::log_level_e level, const QString& message)
    {
        _log(level, message);
    }

signals:
    // Seconds until the relay's pipe has lapsed and the controls come back;
    // 0 when they are back.
    void pipe_countdown(int seconds);
    // What may be believed of the link now ("answering", "no answer since
    // 14:02:11"), whenever it changes.
    void link_status_changed(const QString& text);
    // A hop that did not answer is being tried again (persistent mode).
    void waiting_note(const QString& text);

protected:
    cp_widget(QWidget* parent, kq::api::proto::kq_module* module);

    // Takes the worker (no parent) into the panel's thread; it is deleted
    // when the thread ends.
    void _start_worker(cp_worker* worker);
    void _init_log(const QString& name, QListWidget* view);
    void _set_ui_controller(kq::gui::ui_controller* controller) { _controller = controller; }

    void _log(kq::gui::log_item::log_level_e level, const QString& message);
    // Raw protocol traffic in the view as well as in the file.
    void _set_log_verbose(bool on);
    // The error's text, its message and where it happened, for log lines.
    QString _describe(const kq::api::proto::error_descriptor& error) const;

    // The panel's own controls; called with false while an operation runs or
    // a pipe drains.
    virtual void _set_controls_enabled(bool enabled) = 0;
    bool _controls_enabled() const { return _enabled; }
    void _enable_controls(bool enabled);

    static void _restore_check(QCheckBox* box, const QString& key);
    static void _store_check(const QCheckBox* box, const QString& key);

    kq::api::proto::kq_module* _module;
    kq::gui::resource_manager _texts;

protected slots:
    virtual void _on_operation_control(kq::gui::sat_worker::operation_type_e op,
                                       kq::gui::sat_worker::operation_status_e status);
    virtual void _on_connection_state(kq::gui::sat_worker::connection_state_e state);
    virtual void _on_connection_error(const kq::api::proto::error_descriptor& error);
    // A panel's parameter reports; the receiver has none.
    virtual void _on_get_param(uint32_t, const QVariant&) {}
    virtual void _on_set_param(uint32_t, const QVariant&) {}
    virtual void _on_get_param_request_error(uint32_t, const kq::api::proto::error_descriptor&) {}
    virtual void _on_set_param_request_error(uint32_t, const kq::api::proto::error_descriptor&) {}
    void _on_media_debug(kq::api::proto::flow_direction_e fd, const QString& message);
    void _on_pipe_timer_timeout();

private:
    void _start_pipe_countdown();
    // Shows the seconds left on the disabled buttons' tooltips and tells the
    // window; no seconds left puts the tooltips back.
    void _show_pipe_countdown();
    void _watch_link(kq::gui::sat_worker* worker);
    void _on_waiting(int attempt, qint64 elapsed_ms);

    QThread _thread;
    cp_worker* _worker = nullptr; // lives in _thread
    std::unique_ptr<kq::gui::log_controller> _log_controller;
    kq::gui::ui_controller* _controller = nullptr;
    kq::gui::link_status _link;
    bool _failed_in_operation = false;
    QTimer _pipe_timer;
    QString _port_name; // of the connection, for explaining a port that will not open
    int _pipe_countdown = 0;
    bool _enabled = true;
};

} // namespace radcfg
