#pragma once

#include "panelkit/sat_worker.h"
#include "panelkit/transfer_meter.h"
#include "satcmd/connect_props.h"
#include "serline/serial_port_settings.h"

#include <QMainWindow>

#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QVBoxLayout;

namespace kq::api::proto {
class kq_module;
class media;
} // namespace kq::api::proto

namespace radcfg {

namespace Ui {
class MainWindow;
}

// The configurator's window: at most one connection at a time (the serial
// media, one module on it and the panel for that module), the dialogs, and
// the status bar with the connection, the running operation and progress.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    kq::gui::sat_worker* current_worker() const { return worker; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void _show_connect_status(const kq::api::proto::serial_port_settings_t& media,
                              const kq::api::proto::connect_props_t& props);
    void _on_flash_progress(const QString& step, uint32_t pos, uint32_t length);
    void _on_operation_control(kq::gui::sat_worker::operation_type_e operation,
                               kq::gui::sat_worker::operation_status_e status);

    void _on_actionnew_connection_triggered();
    void _on_action_close_connection_triggered();
    void _on_action_exit_triggered();
    void _on_action_settings_triggered();
    void _on_action_About_triggered();
    void _on_actionCRC32_Calculator_triggered();
    void _on_action_stop_triggered();

private:
    void _close_connection();
    // The connection's module, now owned by it.
    kq::api::proto::kq_module* _take_module(kq::api::proto::kq_module* module);
    static bool _ask(QWidget* parent, const QString& title, const QString& text);
    // Asks before the connection ends: a running flash or transfer gets a
    // question that names it (No by default) and, when stopped, a line in
    // the panel's log saying where it was stopped and by what.
    bool _confirm_end(const QString& title, const QString& generic, const QString& anyway,
                      const QString& by);
    QString _running_work() const;
    QString _unwritten_edits() const;
    int _percent() const;

    std::unique_ptr<Ui::MainWindow> ui;
    QVBoxLayout* layout = nullptr;
    // The connection, declared in the order it is built; taken down the
    // other way round: the panel (with its worker) before the module before
    // the media.
    struct connection_t
    {
        std::unique_ptr<kq::api::proto::media> media;
        std::unique_ptr<kq::api::proto::kq_module> module;
        std::unique_ptr<QWidget> panel;
        ~connection_t();
    };
    std::unique_ptr<connection_t> _connection;
    kq::gui::sat_worker* worker = nullptr;
    QWidget* panel() const { return _connection ? _connection->panel.get() : nullptr; }
    QLabel* lbl_connection = nullptr;
    QLabel* lbl_link = nullptr; // what the link is doing: answering, silent, ...
    QLabel* lbl_operation = nullptr;
    QProgressBar* progress = nullptr;
    // The flash or transfer running, and the file or step it reported last.
    std::optional<kq::gui::sat_worker::operation_type_e> _running;
    QString _running_item;
    // The user has answered the exit question: Qt 6 closes every window on
    // the way out, and the window must not ask again.
    bool _quit_confirmed = false;
    QString _operation_text;        // "Reading ...", before any note on waiting
    kq::gui::transfer_meter _meter; // of the running flash or transfer
};

} // namespace radcfg
