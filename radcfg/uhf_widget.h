#pragma once

#include "cp_widget.h"
#include "uhf_worker.h"

#include "panelkit/param_file.h"
#include "panelkit/uicontroller.h"
#include "panelkit/widget_profile_controller.h"
#include "satcmd/connect_props.h"
#include "satcmd/kqttc/firmware_file.h"
#include "satcmd/scw_properties.h"
#include "serline/serial_port_settings.h"

#include <QDialog>
#include <QMap>
#include <QTimer>
#include <QVariant>

#include <memory>
#include <optional>

namespace kq::api::proto {
class uhf_module;
}

namespace radcfg {

namespace Ui {
class uhf_widget;
}

// The UHF transceiver's page: its parameters grouped as on the device, read
// and written through the worker, with reset and firmware flash.
class uhf_widget : public cp_widget
{
    Q_OBJECT

public:
    uhf_widget(QWidget* parent, kq::api::proto::uhf_module* module);
    ~uhf_widget() override;

signals:
    // The port now runs at the speed the transceiver was switched to.
    void on_module_settings_changed(const kq::api::proto::serial_port_settings_t& settings,
                                    const kq::api::proto::connect_props_t& props);

protected slots:
    void _on_get_param(uint32_t id, const QVariant& value) override;
    void _on_set_param(uint32_t id, const QVariant& value) override;
    void _on_get_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;
    void _on_set_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;
    void _on_operation_control(kq::gui::sat_worker::operation_type_e op,
                               kq::gui::sat_worker::operation_status_e status) override;

private slots:
    void _set_data(uint32_t id, const QVariant& value);
    void _on_ui_data_changed(uint32_t id);
    void _on_timer_audio_beacon_perod_timeout();
    void _reset_port_speed_if_needed();
    void _handle_boot_mode_rf_mode_labels(const kq::api::proto::scw_properties& scw);

    void _on_btn_read_clicked();
    void _on_btn_write_clicked();
    void _on_btn_discard_clicked();
    void _on_btn_reset_clicked();
    void _on_btn_flash_clicked();
    void _on_btn_open_log_dir_clicked();
    void _on_chk_persistent_toggled(bool on);
    void _on_cb_verbose_log_toggled(bool on);
    void _on_btn_save_clicked();
    void _on_btn_load_clicked();
    void _on_btn_compare_clicked();
    void _on_btn_history_clicked();
    void _on_btn_send_text_clicked();
    void _on_btn_listen_text_toggled(bool on);
    void _on_btn_monitor_clicked();
    void _on_text(bool sent, uint32_t sequence, const QString& text);
    void _on_snapshot_read(const kq::gui::param_snapshot& device);
    void _on_readback_mismatch(uint32_t id, const QString& written, const QString& held);

private:
    QDialog* _monitor_dialog = nullptr; // made on first use, a child of the panel
    int _listening = 0;                 // listening operations asked for and not ended
    void _set_controls_enabled(bool enabled) override;
    void _connect_controls();
    void _bind_parameters();
    void _register_rf_mode_profiles();
    void _show_scw(const kq::api::proto::scw_properties& scw);
    std::optional<QByteArray> _checked_firmware(const QString& file_name, const QByteArray& image);
    std::optional<kq::api::proto::kqttc::firmware_file>
    _offer_conversion(const QString& file_name, const QByteArray& image, const QString& why);
    void _apply_audio_beacon_rule();
    // The fields of a parameter (the status word fills several) now hold
    // no value from the device, for the reason given.
    void _mark_unknown(uint32_t id, const QString& why);
    // What a snapshot read from the device is for.
    enum class snapshot_use { none, save, load, compare };
    // Loads a configuration file and reads the device to load or compare it.
    void _use_file(const QString& path, snapshot_use use);
    void _load_as_edits(const kq::gui::param_snapshot& device);
    QString _config_folder() const;
    void _remember_config_folder(const QString& file) const;

    std::unique_ptr<Ui::uhf_widget> ui;
    uhf_worker* _uhf_worker;
    kq::api::proto::uhf_module* _uhf;
    kq::gui::ui_controller::param_table_t _params;
    kq::gui::ui_controller::hint_table_t _hints;
    std::unique_ptr<kq::gui::ui_controller> _controller;
    kq::gui::widget_profile_controller _profiles;
    QMap<uint32_t, QVariant> _values; // what each widget last showed from the device
    QVector<uint32_t> _unanswered;    // asked for by the running read, not yet given
    QTimer _audio_beacon_timer;
    snapshot_use _snapshot_use = snapshot_use::none;
    QString _snapshot_path;                 // the file saved to or loaded from
    kq::gui::param_snapshot _file_snapshot; // loaded, for Load and Compare
    int _pending_uart_speed = -1;
    bool _uart_speed_accepted = false;
};

} // namespace radcfg
