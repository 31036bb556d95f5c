#pragma once

#include "panelkit/connection_route.h"
#include "satcmd/connect_props.h"

#include <QDialog>
#include <QStringList>

#include <memory>

namespace radcfg {

namespace Ui {
class connect_dialog;
}

// "New connection": the type, the port and speed, the addresses and the
// local relay's radio settings, remembered between runs and turned into
// the route of the connection on Connect.
class connect_dialog : public QDialog
{
    Q_OBJECT

public:
    explicit connect_dialog(QWidget* parent);
    ~connect_dialog() override;

    QString get_serial_port() const { return serial_port; }
    uint32_t get_connection_type() const { return connection_type; }
    const kq::api::proto::connect_props_t* get_connect_props() const { return &props; }
    int get_uart_speed() const;

    // Devices the system's port list does not show (pseudo-terminals,
    // /dev/serial/by-id links), listed with the others.
    static void set_extra_ports(const QStringList& ports);

signals:
    void connect_request();

private slots:
    void _on_cb_connection_currentIndexChanged(int index);
    void _on_btn_connect_clicked();
    void _on_btn_close_clicked();
    void _on_btn_refresh_comports_clicked();
    void _on_sb_local_frequency_valueChanged(double value);

private:
    void _fill_ports();
    void _load_saved_values();
    void _save_values() const;
    // The port and speed remembered for the chosen type.
    void _show_port_of_type();
    void _enable_controls();

    std::unique_ptr<Ui::connect_dialog> ui;
    QString serial_port;
    uint32_t connection_type = 0;
    kq::api::proto::connect_props_t props;
    bool loading = true;
    double last_frequency = 0;
    bool _moving_out_of_gap = false; // the value set back out of the gap
};

} // namespace radcfg
