#pragma once

#include "cp_widget.h"

#include "obc_worker.h"
#include "panelkit/transfer_meter.h"

#include "panelkit/uicontroller.h"

#include <QDate>
#include <QModelIndex>
#include <QStandardItemModel>
#include <QTime>

#include <memory>

class QFileSystemModel;

namespace kq::api::proto {
class obc_module;
}

namespace radcfg {

namespace Ui {
class obc_widget;
}

// The on-board computer's page: the local file system beside the OBC's
// directory, transfers both ways with overwrite or resume, erase, flash,
// boot mode and clock.
class obc_widget : public cp_widget
{
    Q_OBJECT

public:
    obc_widget(QWidget* parent, kq::api::proto::obc_module* module);
    ~obc_widget() override;

protected slots:
    void _on_operation_control(kq::gui::sat_worker::operation_type_e op,
                               kq::gui::sat_worker::operation_status_e status) override;
    void _on_get_param(uint32_t id, const QVariant& value) override;
    void _on_set_param(uint32_t id, const QVariant& value) override;
    void _on_get_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;
    void _on_set_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;

private slots:
    void _on_flash_progress(const QString& step, uint32_t pos, uint32_t length);
    void _on_operation_error(kq::gui::sat_worker::operation_type_e op,
                             const kq::api::proto::error_descriptor& error);
    void _on_fl_obc_current_changed();
    void _on_obc_file_exists(const QString& file, uint32_t size, const QString& remote);
    void _on_local_file_exists(const QString& src, const QString& dst, uint32_t srcsize,
                               uint32_t dstsize);

    void _on_btn_read_clicked();
    void _on_cb_verbose_log_stateChanged(int state);
    void _on_fl_local_pressed(const QModelIndex& index);
    void _on_fl_local_expanded(const QModelIndex& index);
    void _on_btn_download_clicked();
    void _on_btn_logs_clicked();
    void _on_btn_upload_clicked();
    void _on_btn_erase_clicked();
    void _on_btn_flash_clicked();
    void _on_btn_localfs_home_clicked();
    void _on_btn_dir_clicked();
    void _on_chk_persistent_stateChanged(int state);
    void _on_cb_boot_mode_currentIndexChanged(int index);
    void _on_btn_set_obc_mode_clicked();

private:
    // Selects, opens and scrolls to a local folder.
    void _show_local_folder(const QString& path);
    void _set_controls_enabled(bool enabled) override;
    void _show_listing(const QList<kq::api::proto::file_info_t>& files);
    void _show_clock();
    QString _selected_obc_name() const;
    QString _local_path() const;
    // A question with Overwrite, Resume (when offered) and Cancel: 0, 1 or -1.
    int _ask_overwrite_or_resume(const QString& text, bool offer_resume);
    bool _refused_obc_name(const QString& name, const QString& title);
    bool _mode_known = false;       // the boot mode was read at least once
    kq::gui::transfer_meter _meter; // of the running transfer
    QString _transfer_verb;

    std::unique_ptr<Ui::obc_widget> ui;
    obc_worker* _obc_worker;
    QFileSystemModel* _local_model; // owned by this panel
    QStandardItemModel _obc_model;
    kq::gui::ui_controller::param_table_t _params;
    kq::gui::ui_controller::hint_table_t _hints;
    std::unique_ptr<kq::gui::ui_controller> _controller;
    QDate _date;
    QTime _time;
};

} // namespace radcfg
