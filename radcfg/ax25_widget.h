#pragma once

#include "cp_widget.h"

#include <memory>

namespace kq::api::proto {
class uhf_module;
}

namespace radcfg {

namespace Ui {
class ax25_widget;
}

class ax25_worker;

// The beacon receiver: lists, with a time stamp, every AX.25 beacon the
// transceiver hears between Start and Stop.
class ax25_widget : public cp_widget
{
    Q_OBJECT

public:
    ax25_widget(QWidget* parent, kq::api::proto::uhf_module* module);
    ~ax25_widget() override;

    // "yyyy-MM-dd HH:mm:ss,zzz  AX25 " and the beacon, as listed.
    static QString beacon_line(const QDateTime& received, const QString& message);

protected slots:
    void _on_operation_control(kq::gui::sat_worker::operation_type_e op,
                               kq::gui::sat_worker::operation_status_e status) override;
    void _on_connection_state(kq::gui::sat_worker::connection_state_e state) override;
    void _on_connection_error(const kq::api::proto::error_descriptor& error) override;

private slots:
    void _on_ax25_beacon(const QString& message);
    void _on_btn_start_clicked();
    void _on_btn_stop_clicked();
    void _on_cb_verbose_log_stateChanged(int state);
    void _on_btn_logs_clicked();

private:
    void _set_controls_enabled(bool) override {}

    std::unique_ptr<Ui::ax25_widget> ui;
    ax25_worker* _ax25_worker;
};

} // namespace radcfg
