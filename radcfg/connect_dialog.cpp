#include "connect_dialog.h"

#include "ui_connect_dialog.h"

#include "panelkit/uhf_params.h"

#include <QSerialPortInfo>
#include <QSettings>

#include <algorithm>

namespace radcfg {

using namespace kq::gui;

namespace {

QStringList& extra_ports()
{
    static QStringList ports;
    return ports;
}

// Port names in plain string order (so COM10 sorts before COM2).
QStringList sorted_ports()
{
    QStringList names = extra_ports();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (!names.contains(info.portName()))
            names << info.portName();
    }
    std::sort(names.begin(), names.end());
    return names;
}

const QString key_port = QStringLiteral("last/connect_cb_serial_port");
const QString key_connection = QStringLiteral("last/connect_cb_connection");
const QString key_uart = QStringLiteral("last/connect_cb_uart_speed");
const QString key_rf_mode = QStringLiteral("last/connect_cb_local_rf_mode");
const QString key_local = QStringLiteral("last/connect_sb_local_address");
const QString key_frequency = QStringLiteral("last/connect_sb_local_frequency");
const QString key_remote = QStringLiteral("last/connect_sb_remote_address");
const QString key_obc = QStringLiteral("last/connect_sb_obc_address");
const QString key_xband = QStringLiteral("last/connect_sb_xband_address");
const QString key_fsps = QStringLiteral("last/connect_sb_fsps_address");

// The X-band transmitter and the FSPS module sit on ports of their own, so
// their port and speed are remembered apart from the transceivers'.
QString own_port_suffix(uint type)
{
    if (type == connection_xband)
        return QStringLiteral("_xband");
    if (type == connection_fsps)
        return QStringLiteral("_fsps");
    return {};
}

} // namespace

void connect_dialog::set_extra_ports(const QStringList& ports)
{
    extra_ports() = ports;
}

connect_dialog::connect_dialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::connect_dialog>())
{
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->cb_connection, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &connect_dialog::_on_cb_connection_currentIndexChanged);
    connect(ui->btn_connect, &QAbstractButton::clicked, this,
            &connect_dialog::_on_btn_connect_clicked);
    connect(ui->btn_close, &QAbstractButton::clicked, this, &connect_dialog::_on_btn_close_clicked);
    connect(ui->btn_refresh_comports, &QAbstractButton::clicked, this,
            &connect_dialog::_on_btn_refresh_comports_clicked);
    connect(ui->sb_local_frequency, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &connect_dialog::_on_sb_local_frequency_valueChanged);
    ui->lbl_frequency_note->hide();
    loading = true;
    const QStringList types{tr("<< select >>"),        "xHF",    "xHF->xHF", "OBC", "xHF->xHF->OBC",
                            tr("X25 beacon receiver"), "X-band", "FSPS"};
    for (int i = 0; i < types.size(); ++i)
        ui->cb_connection->addItem(types.at(i), i);
    ui->cb_connection->setCurrentIndex(0);
    for (const QString& port : sorted_ports())
        ui->cb_serial_port->addItem(port, port);
    for (const auto& speed : kq::gui::uart_speeds())
        ui->cb_uart_speed->addItem(speed.first, speed.second);
    ui->cb_uart_speed->setCurrentIndex(ui->cb_uart_speed->count() - 1);
    const QStringList& modes = rf_mode_labels();
    for (int i = 0; i < modes.size(); ++i)
        ui->cb_local_rf_mode->addItem(modes.at(i), i);
    ui->cb_local_rf_mode->setCurrentIndex(3);
    _load_saved_values();
}

connect_dialog::~connect_dialog() = default;

int connect_dialog::get_uart_speed() const
{
    return ui->cb_uart_speed->currentData().toInt();
}

void connect_dialog::_load_saved_values()
{
    const QSettings s;
    loading = true;
    ui->cb_serial_port->setCurrentText(s.value(key_port, QString()).toString());
    ui->cb_uart_speed->setCurrentIndex(s.value(key_uart, 2).toInt());
    ui->cb_local_rf_mode->setCurrentIndex(s.value(key_rf_mode, 3).toInt());
    ui->sb_local_address->setValue(s.value(key_local, 34).toInt());
    ui->sb_remote_address->setValue(s.value(key_remote, 35).toInt());
    ui->sb_obc_address->setValue(s.value(key_obc, 17).toInt());
    ui->sb_xband_address->setValue(s.value(key_xband, 0x40).toInt());
    ui->sb_fsps_address->setValue(s.value(key_fsps, 0x31).toInt());
    ui->sb_local_frequency->setValue(s.value(key_frequency, 435.0).toDouble());
    last_frequency = ui->sb_local_frequency->value();
    loading = false;
    ui->cb_connection->setCurrentIndex(s.value(key_connection, 0).toInt());
    _show_port_of_type();
    _enable_controls();
}

void connect_dialog::_show_port_of_type()
{
    const QSettings s;
    const QString suffix = own_port_suffix(ui->cb_connection->currentData().toUInt());
    const QString port = s.value(key_port + suffix, QString()).toString();
    if (!port.isEmpty())
        ui->cb_serial_port->setCurrentText(port);
    ui->cb_uart_speed->setCurrentIndex(s.value(key_uart + suffix, s.value(key_uart, 2)).toInt());
}

void connect_dialog::_save_values() const
{
    QSettings s;
    const QString suffix = own_port_suffix(ui->cb_connection->currentData().toUInt());
    s.setValue(key_port + suffix, ui->cb_serial_port->currentText());
    s.setValue(key_connection, ui->cb_connection->currentIndex());
    s.setValue(key_uart + suffix, ui->cb_uart_speed->currentIndex());
    s.setValue(key_rf_mode, ui->cb_local_rf_mode->currentIndex());
    s.setValue(key_local, ui->sb_local_address->value());
    s.setValue(key_frequency, ui->sb_local_frequency->value());
    s.setValue(key_remote, ui->sb_remote_address->value());
    s.setValue(key_obc, ui->sb_obc_address->value());
    s.setValue(key_xband, ui->sb_xband_address->value());
    s.setValue(key_fsps, ui->sb_fsps_address->value());
}

void connect_dialog::_on_cb_connection_currentIndexChanged(int)
{
    if (!loading)
        _show_port_of_type();
    _enable_controls();
}

void connect_dialog::_enable_controls()
{
    if (loading)
        return;
    const uint type = ui->cb_connection->currentData().toUInt();
    const bool local = type == connection_xhf || type == connection_xhf_xhf ||
                       type == connection_xhf_xhf_obc || type == connection_beacon;
    const bool remote = type == connection_xhf_xhf || type == connection_xhf_xhf_obc;
    const bool obc = type == connection_obc || type == connection_xhf_xhf_obc;
    const bool radio = type != connection_xhf;
    ui->gb_local_xhf->setEnabled(local);
    ui->gb_remote_xhf->setEnabled(remote);
    ui->gb_obc->setEnabled(obc);
    ui->gb_device->setEnabled(type == connection_xband || type == connection_fsps);
    ui->lbl_xband_address->setEnabled(type == connection_xband);
    ui->sb_xband_address->setEnabled(type == connection_xband);
    ui->lbl_fsps_address->setEnabled(type == connection_fsps);
    ui->sb_fsps_address->setEnabled(type == connection_fsps);
    for (QWidget* w : {static_cast<QWidget*>(ui->lbl_local_frequency),
                       static_cast<QWidget*>(ui->sb_local_frequency),
                       static_cast<QWidget*>(ui->lbl_local_rf_mode),
                       static_cast<QWidget*>(ui->cb_local_rf_mode)})
        w->setEnabled(radio);
    ui->btn_connect->setEnabled(ui->cb_connection->currentIndex() > 0 &&
                                ui->cb_serial_port->currentIndex() >= 0);
}

void connect_dialog::_on_btn_refresh_comports_clicked()
{
    ui->cb_serial_port->clear();
    for (const QString& port : sorted_ports())
        ui->cb_serial_port->addItem(port, port);
    _show_port_of_type();
    _enable_controls();
}

// Frequencies strictly between 403 and 430 MHz are not for this radio: one
// entering the gap from above goes back to 430, one from below to 403.
// The note beside the box says why a value moved.
void connect_dialog::_on_sb_local_frequency_valueChanged(double value)
{
    if (value <= 403.0 || value >= 430.0) {
        if (!_moving_out_of_gap)
            ui->lbl_frequency_note->hide();
        return;
    }
    const double from = last_frequency;
    last_frequency = value;
    const double to = value - from <= 0 ? 430.0 : 403.0;
    ui->lbl_frequency_note->setText(tr("%1 MHz lies between 403 and 430 MHz, where this radio "
                                       "does not work: moved to %2 MHz.")
                                        .arg(value, 0, 'f', 3)
                                        .arg(to, 0, 'f', 3));
    ui->lbl_frequency_note->show();
    _moving_out_of_gap = true;
    ui->sb_local_frequency->setValue(to);
    _moving_out_of_gap = false;
}

void connect_dialog::_on_btn_connect_clicked()
{
    _save_values();
    route_choice_t choice;
    choice.local_address = uint32_t(ui->sb_local_address->value());
    choice.remote_address = uint32_t(ui->sb_remote_address->value());
    choice.obc_address = uint32_t(ui->sb_obc_address->value());
    choice.xband_address = uint32_t(ui->sb_xband_address->value());
    choice.fsps_address = uint32_t(ui->sb_fsps_address->value());
    choice.frequency_mhz = ui->sb_local_frequency->value();
    choice.rf_mode = kq::api::proto::rf_mode_e(ui->cb_local_rf_mode->currentData().toInt());
    connection_type = ui->cb_connection->currentData().toUInt();
    serial_port = ui->cb_serial_port->currentText();
    props.route = build_route(connection_type_e(connection_type), choice);
    props.persistent = false;
    props.probe = false;
    accept();
}

void connect_dialog::_on_btn_close_clicked()
{
    reject();
}

} // namespace radcfg
