#include "ax25_widget.h"

#include "app_settings.h"
#include "ax25_worker.h"
#include "ui_ax25_widget.h"

#include "satcmd/uhf_module.h"

#include <QDateTime>

namespace radcfg {

using kq::gui::log_item;
using kq::gui::sat_worker;
using namespace kq::api::proto;

ax25_widget::ax25_widget(QWidget* parent, uhf_module* module)
    : cp_widget(parent, module)
    , ui(std::make_unique<Ui::ax25_widget>())
    , _ax25_worker(new ax25_worker(nullptr, module))
{
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->btn_start, &QAbstractButton::clicked, this, &ax25_widget::_on_btn_start_clicked);
    connect(ui->btn_stop, &QAbstractButton::clicked, this, &ax25_widget::_on_btn_stop_clicked);
    connect(ui->cb_verbose_log, &QCheckBox::stateChanged, this,
            &ax25_widget::_on_cb_verbose_log_stateChanged);
    connect(ui->btn_logs, &QAbstractButton::clicked, this, &ax25_widget::_on_btn_logs_clicked);
    _init_log(QStringLiteral("AX25"), ui->lb_log);
    connect(module, &uhf_module::on_ax25_beacon, this, &ax25_widget::_on_ax25_beacon);
    _start_worker(_ax25_worker);
    ui->btn_stop->setEnabled(false);
}

ax25_widget::~ax25_widget() = default;

QString ax25_widget::beacon_line(const QDateTime& received, const QString& message)
{
    return received.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss,zzz  ")) +
           QStringLiteral("AX25 ") + message;
}

void ax25_widget::_on_ax25_beacon(const QString& message)
{
    ui->lb_x25->addItem(beacon_line(QDateTime::currentDateTime(), message));
    ui->lb_x25->clearSelection();
    ui->lb_x25->setCurrentRow(ui->lb_x25->count() - 1);
    _log(log_item::INFO, message);
}

// The receiver's buttons follow the connection, not the operation.
void ax25_widget::_on_operation_control(sat_worker::operation_type_e,
                                        sat_worker::operation_status_e)
{
}

void ax25_widget::_on_connection_state(sat_worker::connection_state_e state)
{
    cp_widget::_on_connection_state(state);
    ui->btn_start->setEnabled(state == sat_worker::disconnected);
    ui->btn_stop->setEnabled(state == sat_worker::connected);
    if (state == sat_worker::connected)
        _log(log_item::INFO, tr("listening for ax25 frames ..."));
}

void ax25_widget::_on_connection_error(const error_descriptor& error)
{
    if (error.get_media_error() == media_exception::stopped)
        return; // the user pressed Stop
    cp_widget::_on_connection_error(error);
}

void ax25_widget::_on_btn_start_clicked()
{
    ui->btn_start->setEnabled(false);
    emit _ax25_worker->start_ax25_loop();
}

void ax25_widget::_on_btn_stop_clicked()
{
    ui->btn_stop->setEnabled(false);
    _ax25_worker->stop();
}

void ax25_widget::_on_cb_verbose_log_stateChanged(int state)
{
    _set_log_verbose(state == Qt::Checked);
}

void ax25_widget::_on_btn_logs_clicked()
{
    open_log_folder();
}

} // namespace radcfg
