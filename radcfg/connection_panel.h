#pragma once

#include "cp_worker.h"

#include "panelkit/log_controller.h"
#include "panelkit/resource_manager.h"

#include <QThread>
#include <QWidget>

#include <memory>

class QLabel;
class QListWidget;
class QPushButton;

namespace radcfg {

// A panel for a connection whose own panel is not there yet: it checks the
// route (connect, nothing read, disconnect) and logs what happens.
class connection_panel : public QWidget
{
    Q_OBJECT

public:
    connection_panel(QWidget* parent, kq::api::proto::kq_module* module, const QString& kind);
    ~connection_panel() override;

    cp_worker* worker() const { return _worker; }

private slots:
    void _on_check();
    void _on_operation_control(kq::gui::sat_worker::operation_type_e op,
                               kq::gui::sat_worker::operation_status_e status);
    void _on_connection_state(kq::gui::sat_worker::connection_state_e state);
    void _on_connection_error(const kq::api::proto::error_descriptor& error);

private:
    QThread _thread;
    cp_worker* _worker; // lives in _thread, deleted when it finishes
    kq::gui::resource_manager _texts;
    QListWidget* _log_view;
    QPushButton* _btn_check;
    std::unique_ptr<kq::gui::log_controller> _log;
};

} // namespace radcfg
