#pragma once

#include "param_panel.h"

#include "satcmd/xband_types.h"

#include <QTimer>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTabWidget;

namespace kq::api::proto {
class xband_module;
}

namespace radcfg {

class monitor_widget;
class xband_worker;

// The X-band transmitter: its parameters (read, edited with underlined
// captions, only the edited written and read back), its simple and full
// reports with every field named and in its unit (on demand or at an
// interval), its file store (upload with progress, download, delete, send),
// its modes, firmware update and shutdown, and a monitor of its telemetry.
// Everything that destroys or switches off asks first, with No as default.
class xband_widget : public param_panel
{
    Q_OBJECT

public:
    xband_widget(QWidget* parent, kq::api::proto::xband_module* module);
    ~xband_widget() override;

    xband_worker* transmitter_worker() const { return _xband_worker; }
    monitor_widget* monitor() const { return _monitor; }

    // The file chosen for an action (tests pick it without a dialog).
    void select_file(const QString& name);
    void upload_file(const QString& path);
    void download_file(const QString& path);
    void delete_file();
    void delete_all_files();
    void update_firmware(const QString& path);
    void shut_down();

private:
    QWidget* _build_parameters();
    QWidget* _build_report();
    QWidget* _build_files();
    void _set_controls_enabled(bool enabled) override;
    void _show_report(const kq::api::proto::xband_full_report_t& report, bool full);
    void _show_files(const QVector<kq::api::proto::xband_file_entry_t>& files);
    QString _chosen_file() const;
    bool _ask(const QString& title, const QString& question);
    bool _read_local(const QString& path, QByteArray& bytes);

    xband_worker* _xband_worker;
    QTabWidget* _tabs;
    QTableWidget* _report;
    QCheckBox* _full;
    QCheckBox* _auto_refresh;
    QSpinBox* _refresh_s;
    QPushButton* _btn_refresh;
    QTimer _refresh_timer;
    QTableWidget* _files;
    QList<QPushButton*> _file_buttons;
    monitor_widget* _monitor;
    QListWidget* _log_view;
};

} // namespace radcfg
