#include "main_window.h"
#include "obc_widget.h"

#include "about_dialog.h"
#include "app_settings.h"
#include "ax25_widget.h"
#include "connect_dialog.h"
#include "crc32_calculator_dialog.h"
#include "fsps_widget.h"
#include "settings_dialog.h"
#include "uhf_widget.h"
#include "ui_main_window.h"
#include "xband_widget.h"
#include "xband_worker.h"

#include "panelkit/connection_route.h"
#include "satcmd/factory.h"
#include "satcmd/fsps_module.h"
#include "satcmd/kq_module.h"
#include "satcmd/obc_module.h"
#include "satcmd/uhf_module.h"
#include "satcmd/xband_module.h"
#include "serline/media.h"
#include "serline/serial_port.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QVBoxLayout>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

// The icons are compiled into the static core library; the linker keeps them
// only when something names them.
static void init_radcfg_resources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(radcfg);
        return true;
    }();
    Q_UNUSED(done);
}

namespace radcfg {

using namespace kq::api::proto;
using kq::gui::log_item;
using kq::gui::sat_worker;

namespace {

// Each dialog lives for one exec().
template<typename Dialog>
int run_dialog(QWidget* parent)
{
    Dialog dialog(parent);
    dialog.setModal(true);
    dialog.show();
    return dialog.exec();
}

QString hop_address(uint32_t address)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

MainWindow::MainWindow()
    : ui(std::make_unique<Ui::MainWindow>())
{
    init_radcfg_resources();
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->actionnew_connection, &QAction::triggered, this,
            &MainWindow::_on_actionnew_connection_triggered);
    connect(ui->action_close_connection, &QAction::triggered, this,
            &MainWindow::_on_action_close_connection_triggered);
    connect(ui->action_exit, &QAction::triggered, this, &MainWindow::_on_action_exit_triggered);
    connect(ui->action_settings, &QAction::triggered, this,
            &MainWindow::_on_action_settings_triggered);
    connect(ui->action_About, &QAction::triggered, this, &MainWindow::_on_action_About_triggered);
    connect(ui->actionCRC32_Calculator, &QAction::triggered, this,
            &MainWindow::_on_actionCRC32_Calculator_triggered);
    connect(ui->action_stop, &QAction::triggered, this, &MainWindow::_on_action_stop_triggered);
    layout = new QVBoxLayout(ui->centralWidget);
    lbl_connection = new QLabel(this);
    lbl_connection->setObjectName(QStringLiteral("lbl_connection"));
    lbl_link = new QLabel(this);
    lbl_link->setObjectName(QStringLiteral("lbl_link"));
    lbl_link->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lbl_link->hide(); // until there is a connection
    lbl_operation = new QLabel(this);
    lbl_operation->setObjectName(QStringLiteral("lbl_operation"));
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->hide();
    ui->statusBar->addWidget(lbl_connection);
    ui->statusBar->addWidget(lbl_link);
    ui->statusBar->addWidget(lbl_operation);
    ui->statusBar->addWidget(progress, 1);
    lbl_connection->setText(tr("Connection: none"));
    setWindowTitle(windowTitle() + QStringLiteral(", version ") +
                   QString::fromLatin1(version_string));
}

MainWindow::~MainWindow()
{
    _close_connection();
}

MainWindow::connection_t::~connection_t()
{
    if (media)
        media->stop_request(); // a blocked exchange ends before the panel waits for it
}

bool MainWindow::_ask(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::NoButton) == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The application ends only through the quit of the exit question.
    if (_quit_confirmed) {
        event->accept();
        return;
    }
    event->ignore();
    _on_action_exit_triggered();
}

void MainWindow::_show_connect_status(const serial_port_settings_t& settings,
                                      const connect_props_t& props)
{
    QStringList hops;
    for (const module_connect_props_t& hop : props.route)
        hops << hop_address(hop.dev_addr);
    QString text =
        QStringLiteral("Connection: port=%1 speed=%2 module=%3")
            .arg(settings.port_name)
            .arg(settings.baud_rate)
            .arg(props.route.isEmpty() ? hop_address(0) : hop_address(props.route.last().dev_addr));
    if (!hops.isEmpty())
        text += QStringLiteral(" route=") + hops.join(QLatin1Char(':'));
    lbl_connection->setText(text);
}

void MainWindow::_on_flash_progress(const QString& step, uint32_t pos, uint32_t length)
{
    _running_item = step;
    if (_running == sat_worker::UPLOAD || _running == sat_worker::DOWNLOAD)
        lbl_operation->setText(_meter.progress_text(step, pos, length));
    else if (_running == sat_worker::FLASH)
        lbl_operation->setText(tr("Flashing ") + _meter.step_text(step, pos, length));
    progress->setMinimum(0);
    progress->setMaximum(int(length));
    progress->setValue(int(pos));
}

void MainWindow::_on_operation_control(sat_worker::operation_type_e operation,
                                       sat_worker::operation_status_e status)
{
    if (status != sat_worker::begin) {
        _running.reset();
        ui->action_stop->setEnabled(false);
        lbl_operation->clear();
        _operation_text.clear();
        // After a flash the bar keeps its last value until the next operation.
        if (operation != sat_worker::FLASH)
            progress->hide();
        return;
    }
    ui->action_stop->setEnabled(worker != nullptr);
    static const QMap<sat_worker::operation_type_e, const char*> texts{
        {sat_worker::READ, QT_TR_NOOP("Reading ...")},
        {sat_worker::WRITE, QT_TR_NOOP("Writing ...")},
        {sat_worker::RESET, QT_TR_NOOP("Resetting ...")},
        {sat_worker::FLASH, QT_TR_NOOP("Flashing ...")},
        {sat_worker::UPLOAD, QT_TR_NOOP("Transferring ...")},
        {sat_worker::DOWNLOAD, QT_TR_NOOP("Transferring ...")},
        {sat_worker::AX25_BEACON, QT_TR_NOOP("Waiting for AX25 beacon ...")},
        {sat_worker::ERASE, QT_TR_NOOP("Erasing file ...")},
        {sat_worker::DIR, QT_TR_NOOP("Waiting list ...")},
        {sat_worker::MONITOR, QT_TR_NOOP("Monitoring ...")},
        {sat_worker::LISTEN, QT_TR_NOOP("Listening for free text ...")}};
    _operation_text = texts.contains(operation) ? tr(texts.value(operation)) : QString();
    lbl_operation->setText(_operation_text);
    const bool with_progress = operation == sat_worker::FLASH || operation == sat_worker::UPLOAD ||
                               operation == sat_worker::DOWNLOAD;
    if (with_progress) {
        progress->setRange(0, 100);
        progress->setValue(0);
        _running = operation;
        _running_item.clear();
        _meter.start();
    }
    progress->setVisible(with_progress);
}

void MainWindow::_on_actionnew_connection_triggered()
{
    connect_dialog dialog(this);
    dialog.setModal(true);
    dialog.show();
    if (dialog.exec() != QDialog::Accepted)
        return;
    _close_connection();

    serial_port_settings_t settings;
    settings.port_name = dialog.get_serial_port();
    settings.baud_rate = serial_port::uart_baud_to_baud_rate(uart_baud_e(dialog.get_uart_speed()));
    factory f;
    _connection = std::make_unique<connection_t>();
    _connection->media.reset(f.create_media(factory::media_serial_port, settings));
    media* media_port = _connection->media.get();
    const connect_props_t props = *dialog.get_connect_props();
    _show_connect_status(settings, props);

    const uint32_t type = dialog.get_connection_type();
    switch (type) {
    case kq::gui::connection_xhf:
    case kq::gui::connection_xhf_xhf: {
        kq_module* module =
            _take_module(f.create_module(module_type_uhf, factory::proto_kqttc, media_port, props));
        connect(module, &kq_module::on_flash_progress, this, &MainWindow::_on_flash_progress);
        auto* p = new uhf_widget(this, qobject_cast<uhf_module*>(module));
        connect(p, &uhf_widget::on_module_settings_changed, this,
                &MainWindow::_show_connect_status);
        _connection->panel.reset(p);
        worker = p->worker();
        break;
    }
    case kq::gui::connection_obc:
    case kq::gui::connection_xhf_xhf_obc: {
        kq_module* module =
            _take_module(f.create_module(module_type_obc, factory::proto_kqttc, media_port, props));
        auto* obc = qobject_cast<obc_module*>(module);
        connect(module, &kq_module::on_flash_progress, this, &MainWindow::_on_flash_progress);
        connect(obc, &obc_module::on_get_file_progress, this, &MainWindow::_on_flash_progress);
        connect(obc, &obc_module::on_put_file_progress, this, &MainWindow::_on_flash_progress);
        auto* p = new obc_widget(this, obc);
        _connection->panel.reset(p);
        worker = p->worker();
        break;
    }
    case kq::gui::connection_beacon: {
        kq_module* module =
            _take_module(f.create_module(module_type_uhf, factory::proto_kqttc, media_port, props));
        auto* p = new ax25_widget(this, qobject_cast<uhf_module*>(module));
        _connection->panel.reset(p);
        worker = p->worker();
        break;
    }
    case kq::gui::connection_xband: {
        kq_module* module = _take_module(
            f.create_module(module_type_xband, factory::proto_kqup, media_port, props));
        auto* p = new xband_widget(this, qobject_cast<xband_module*>(module));
        connect(p->transmitter_worker(), &xband_worker::transfer_progress, this,
                &MainWindow::_on_flash_progress);
        _connection->panel.reset(p);
        worker = p->worker();
        break;
    }
    case kq::gui::connection_fsps: {
        kq_module* module = _take_module(
            f.create_module(module_type_fsps, factory::proto_kqttc, media_port, props));
        auto* p = new fsps_widget(this, qobject_cast<fsps_module*>(module));
        _connection->panel.reset(p);
        worker = p->worker();
        break;
    }
    default:
        break;
    }
    if (auto* p = qobject_cast<cp_widget*>(panel())) {
        // The wait for the relay's pipe, counted down where the operation was.
        connect(p, &cp_widget::pipe_countdown, this, [this, p](int seconds) {
            lbl_operation->setText(seconds > 0 ? p->pipe_countdown_text() : QString());
        });
        connect(p, &cp_widget::waiting_note, this, [this](const QString& note) {
            lbl_operation->setText(
                _operation_text.isEmpty() ? note : _operation_text + QStringLiteral(" ") + note);
        });
        const auto show_link = [this, p] {
            lbl_link->setText(p->link_status_text());
            lbl_link->show();
            lbl_link->setStyleSheet(p->link_in_trouble() ? QStringLiteral("color: red")
                                                         : QString());
        };
        connect(p, &cp_widget::link_status_changed, this, show_link);
        show_link();
    }
    if (QWidget* shown = panel()) {
        if (type != kq::gui::connection_beacon)
            connect(worker, &sat_worker::on_operation_control, this,
                    &MainWindow::_on_operation_control);
        layout->addWidget(shown);
        shown->show();
    }
    ui->action_close_connection->setEnabled(true);
}

kq_module* MainWindow::_take_module(kq_module* module)
{
    _connection->module.reset(module);
    return module;
}

void MainWindow::_close_connection()
{
    if (panel())
        layout->removeWidget(panel());
    worker = nullptr;
    _connection.reset();
    lbl_connection->setText(tr("Connection: none"));
    lbl_link->clear();
    lbl_link->setStyleSheet(QString());
    lbl_link->hide();
    // Nothing of the ended connection's work stays on show.
    _running.reset();
    lbl_operation->clear();
    progress->hide();
    progress->reset();
    ui->action_stop->setEnabled(false);
}

int MainWindow::_percent() const
{
    const int span = progress->maximum() - progress->minimum();
    return span > 0 ? int(100.0 * (progress->value() - progress->minimum()) / span) : 0;
}

QString MainWindow::_unwritten_edits() const
{
    const auto* p = qobject_cast<const cp_widget*>(panel());
    const QStringList edits = p ? p->unwritten_edits() : QStringList();
    if (edits.isEmpty())
        return {};
    return tr("%1 edited and not written to the device: %2. Closing now loses the edits.")
        .arg(edits.size() == 1 ? tr("One value is") : tr("%1 values are").arg(edits.size()),
             edits.join(QStringLiteral(", ")));
}

QString MainWindow::_running_work() const
{
    if (!_running)
        return {};
    const int percent = _percent();
    switch (*_running) {
    case sat_worker::FLASH:
        return qobject_cast<obc_widget*>(panel())
                   ? tr("The on-board computer is being flashed (%1 %). Stopping now can leave it "
                        "in its boot loader without working firmware.")
                         .arg(percent)
                   : tr("The transceiver is being flashed (%1 %). Stopping now can leave it "
                        "without working firmware.")
                         .arg(percent);
    case sat_worker::UPLOAD:
        return tr("%1 is being uploaded to the on-board computer (%2 %). Stopping now leaves an "
                  "incomplete file there, which a resumed upload continues.")
            .arg(_running_item.isEmpty() ? tr("A file") : _running_item)
            .arg(percent);
    case sat_worker::DOWNLOAD:
        return tr("%1 is being downloaded from the on-board computer (%2 %). Stopping now keeps "
                  "the bytes received in a partial file, which a resumed download continues.")
            .arg(_running_item.isEmpty() ? tr("A file") : _running_item)
            .arg(percent);
    default:
        return {};
    }
}

bool MainWindow::_confirm_end(const QString& title, const QString& generic, const QString& anyway,
                              const QString& by)
{
    QString running = _running_work();
    if (running.isEmpty())
        running = _unwritten_edits();
    if (running.isEmpty())
        return _ask(this, title, generic);
    if (QMessageBox::question(this, title, running + QStringLiteral("\n\n") + anyway,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return false;
    if (auto* p = qobject_cast<cp_widget*>(panel()); p && _running) {
        static const QMap<sat_worker::operation_type_e, const char*> names{
            {sat_worker::FLASH, QT_TR_NOOP("flash")},
            {sat_worker::UPLOAD, QT_TR_NOOP("upload")},
            {sat_worker::DOWNLOAD, QT_TR_NOOP("download")}};
        QString what = tr(names.value(*_running));
        if (!_running_item.isEmpty())
            what += QStringLiteral(" (") + _running_item + QLatin1Char(')');
        p->log_line(log_item::WARN, tr("%1 stopped at %2 % (%3 of %4) by %5")
                                        .arg(what)
                                        .arg(_percent())
                                        .arg(progress->value())
                                        .arg(progress->maximum())
                                        .arg(by));
    }
    return true;
}

void MainWindow::_on_action_close_connection_triggered()
{
    if (!_confirm_end(tr("Close"), tr("Close connection?"), tr("Close the connection anyway?"),
                      tr("closing the connection")))
        return;
    _close_connection();
    ui->action_close_connection->setEnabled(false);
}

void MainWindow::_on_action_exit_triggered()
{
    if (!_confirm_end(tr("Quit"), tr("Quit application?"), tr("Quit anyway?"), tr("quitting")))
        return;
    _close_connection();
    _quit_confirmed = true;
    QApplication::quit();
}

void MainWindow::_on_action_settings_triggered()
{
    run_dialog<settings_dialog>(this);
}

void MainWindow::_on_action_About_triggered()
{
    run_dialog<about_dialog>(nullptr);
}

void MainWindow::_on_actionCRC32_Calculator_triggered()
{
    run_dialog<crc32_calculator_dialog>(this);
}

void MainWindow::_on_action_stop_triggered()
{
    if (!_ask(this, tr("Stop"), tr("Stop current operation?")))
        return;
    if (worker)
        worker->stop();
}

} // namespace radcfg
