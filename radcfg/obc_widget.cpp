#include "obc_widget.h"

#include "app_settings.h"
#include "ui_obc_widget.h"

#include "panelkit/obc_file_names.h"
#include "panelkit/transfer_meter.h"
#include "satcmd/obc_module.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

namespace radcfg {

using kq::gui::log_item;
using kq::gui::sat_worker;
using namespace kq::api::proto;
namespace files = kq::gui::obc_files;

namespace {

const QString key_obc_persistent = QStringLiteral("obc/last_persistent_chk");
const QString key_obc_verbose = QStringLiteral("obc/last_kqttc_chk");
const QString key_local_folder = QStringLiteral("obc/last_local_folder");

// The folder a local selection stands for: itself, or the one holding it.
QString folder_of(const QFileInfo& selected)
{
    return selected.isDir() ? selected.absoluteFilePath() : selected.absolutePath();
}

} // namespace

obc_widget::obc_widget(QWidget* parent, obc_module* module)
    : cp_widget(parent, module)
    , ui(std::make_unique<Ui::obc_widget>())
    , _obc_worker(new obc_worker(nullptr, module))
    , _local_model(new QFileSystemModel(this))
{
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->btn_read, &QAbstractButton::clicked, this, &obc_widget::_on_btn_read_clicked);
    connect(ui->cb_verbose_log, &QCheckBox::stateChanged, this,
            &obc_widget::_on_cb_verbose_log_stateChanged);
    connect(ui->fl_local, &QAbstractItemView::pressed, this, &obc_widget::_on_fl_local_pressed);
    connect(ui->fl_local, &QTreeView::expanded, this, &obc_widget::_on_fl_local_expanded);
    connect(ui->btn_download, &QAbstractButton::clicked, this,
            &obc_widget::_on_btn_download_clicked);
    connect(ui->btn_logs, &QAbstractButton::clicked, this, &obc_widget::_on_btn_logs_clicked);
    connect(ui->btn_upload, &QAbstractButton::clicked, this, &obc_widget::_on_btn_upload_clicked);
    connect(ui->btn_erase, &QAbstractButton::clicked, this, &obc_widget::_on_btn_erase_clicked);
    connect(ui->btn_flash, &QAbstractButton::clicked, this, &obc_widget::_on_btn_flash_clicked);
    connect(ui->btn_localfs_home, &QAbstractButton::clicked, this,
            &obc_widget::_on_btn_localfs_home_clicked);
    connect(ui->btn_dir, &QAbstractButton::clicked, this, &obc_widget::_on_btn_dir_clicked);
    connect(ui->chk_persistent, &QCheckBox::stateChanged, this,
            &obc_widget::_on_chk_persistent_stateChanged);
    connect(ui->cb_boot_mode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &obc_widget::_on_cb_boot_mode_currentIndexChanged);
    connect(ui->btn_set_obc_mode, &QAbstractButton::clicked, this,
            &obc_widget::_on_btn_set_obc_mode_clicked);
    _local_model->setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
    _local_model->setRootPath(QString());
    ui->fl_local->setModel(_local_model);
    // Name takes what the other columns leave, so that Size stays in view.
    ui->fl_local->header()->setStretchLastSection(false);
    ui->fl_local->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ui->fl_local->hideColumn(2); // the file type says little here
    _obc_model.setHorizontalHeaderLabels({tr("Name"), tr("Size")});
    ui->fl_obc->setModel(&_obc_model);
    ui->cb_boot_mode->addItem(tr("Application"), int(obc_mode_appl));
    ui->cb_boot_mode->addItem(tr("Bootloader"), int(obc_mode_boot));

    _params.insert(obc_worker::boot_mode, {kq::gui::combobox, ui->cb_boot_mode});
    _hints.insert(obc_worker::boot_mode, ui->lbl_boot_mode);
    _hints.insert(obc_worker::date, ui->label_time);
    _hints.insert(obc_worker::time, ui->label_time);
    _controller = std::make_unique<kq::gui::ui_controller>(&_params, &_hints);
    _set_ui_controller(_controller.get());
    _init_log(QStringLiteral("OBC"), ui->lb_log);

    connect(ui->fl_obc, &QAbstractItemView::pressed, this, &obc_widget::_on_fl_obc_current_changed);
    connect(ui->fl_local->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& index) { _on_fl_local_pressed(index); });
    connect(ui->fl_obc->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &obc_widget::_on_fl_obc_current_changed);
    connect(module, &kq_module::on_flash_progress, this, &obc_widget::_on_flash_progress);
    connect(_obc_worker, &sat_worker::on_operation_error, this, &obc_widget::_on_operation_error);
    connect(_obc_worker, &obc_worker::obc_file_exists, this, &obc_widget::_on_obc_file_exists);
    connect(_obc_worker, &obc_worker::local_file_exists, this, &obc_widget::_on_local_file_exists);
    connect(_obc_worker, &obc_worker::transfer_notice, this,
            [this](const QString& text) { _log(log_item::WARN, text); });
    connect(module, &obc_module::on_file_verified, this,
            [this](const QString& name, uint32_t crc, uint32_t size) {
                const QString hex =
                    QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
                _log(log_item::INFO,
                     _meter.summary(_transfer_verb, name, files::content_size(name, size)) +
                         tr(", CRC-32 %1, verified against the OBC").arg(hex));
            });
    _start_worker(_obc_worker);
    const QString last = QSettings().value(key_local_folder).toString();
    _show_local_folder(!last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath());

    _restore_check(ui->chk_persistent, key_obc_persistent);
    _restore_check(ui->cb_verbose_log, key_obc_verbose);
    _obc_worker->set_persistent(ui->chk_persistent->isChecked());
    _enable_controls(true);
}

obc_widget::~obc_widget()
{
    _store_check(ui->chk_persistent, key_obc_persistent);
    _store_check(ui->cb_verbose_log, key_obc_verbose);
}

void obc_widget::_on_operation_control(sat_worker::operation_type_e op,
                                       sat_worker::operation_status_e status)
{
    if (status == sat_worker::begin && (op == sat_worker::UPLOAD || op == sat_worker::DOWNLOAD)) {
        _meter.start();
        _transfer_verb = op == sat_worker::UPLOAD ? tr("uploaded") : tr("downloaded");
    }
    cp_widget::_on_operation_control(op, status);
}

void obc_widget::_set_controls_enabled(bool enabled)
{
    for (QWidget* w : {static_cast<QWidget*>(ui->btn_read), static_cast<QWidget*>(ui->btn_dir),
                       static_cast<QWidget*>(ui->chk_persistent)})
        w->setEnabled(enabled);
    const bool obc_file = !_selected_obc_name().isEmpty();
    ui->btn_download->setEnabled(enabled && obc_file);
    ui->btn_erase->setEnabled(enabled && obc_file);
    ui->btn_flash->setEnabled(enabled && obc_file);
    ui->btn_upload->setEnabled(enabled && QFileInfo(_local_path()).isFile());
    // A mode is set only over one read from the computer.
    ui->btn_set_obc_mode->setEnabled(enabled && _mode_known &&
                                     ui->cb_boot_mode->currentData().toInt() != 0);
}

QString obc_widget::_selected_obc_name() const
{
    const QModelIndex index = ui->fl_obc->currentIndex();
    if (!index.isValid())
        return {};
    return _obc_model.item(index.row(), 0)->text();
}

QString obc_widget::_local_path() const
{
    const QModelIndex index = ui->fl_local->currentIndex();
    return index.isValid() ? _local_model->filePath(index) : QString();
}

void obc_widget::_on_flash_progress(const QString& step, uint32_t pos, uint32_t length)
{
    _log(log_item::INFO, QStringLiteral("%1 %2/%3").arg(step).arg(pos).arg(length));
}

void obc_widget::_on_operation_error(sat_worker::operation_type_e op, const error_descriptor& error)
{
    _log(log_item::ERROR,
         _texts.get_operation_error_string(op) + QStringLiteral(": ") + _describe(error));
}

void obc_widget::_on_get_param(uint32_t id, const QVariant& value)
{
    switch (id) {
    case obc_worker::date:
        _date = value.toDate();
        _show_clock();
        break;
    case obc_worker::time:
        _time = value.toTime();
        _show_clock();
        break;
    case obc_worker::boot_mode: {
        _mode_known = true;
        const int index = ui->cb_boot_mode->findData(value.toInt());
        if (index < 0 && ui->cb_boot_mode->findData(0) < 0)
            ui->cb_boot_mode->addItem(tr("<< unknown >>"), 0);
        const kq::gui::ui_controller::loading_scope shown(*_controller);
        ui->cb_boot_mode->setCurrentIndex(index >= 0 ? index : ui->cb_boot_mode->findData(0));
        break;
    }
    case obc_worker::directory:
        _show_listing(value.value<QList<file_info_t>>());
        return;
    default:
        return;
    }
    _log(log_item::INFO, tr("read parameter: ") + obc_worker::parameter_name(id));
}

void obc_widget::_show_clock()
{
    if (!_date.isValid() || !_time.isValid())
        return;
    ui->label_time_result->setText(
        QDateTime(_date, _time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

void obc_widget::_show_listing(const QList<file_info_t>& list)
{
    _obc_model.clear();
    _obc_model.setHorizontalHeaderLabels({tr("Name"), tr("Size")});
    for (const file_info_t& f : list) {
        auto* size = new QStandardItem(f.size_text);
        size->setData(f.size);
        _obc_model.appendRow({new QStandardItem(f.name), size});
    }
    ui->fl_obc->resizeColumnToContents(0);
    _set_controls_enabled(_controls_enabled());
}

void obc_widget::_on_set_param(uint32_t id, const QVariant&)
{
    _controller->remove_changed_parameter(id);
    _log(log_item::INFO, tr("set parameter: ") + obc_worker::parameter_name(id));
}

void obc_widget::_on_get_param_request_error(uint32_t id, const error_descriptor& error)
{
    _log(log_item::ERROR, tr("error gettig parameter: ") + _describe(error));
    _controller->set_hint_for_error(id, true, tr("Error getting value"));
}

void obc_widget::_on_set_param_request_error(uint32_t id, const error_descriptor& error)
{
    _log(log_item::ERROR, tr("error settig parameter: ") + _describe(error));
    _controller->set_hint_for_error(id, true, tr("Error setting value"));
}

void obc_widget::_on_fl_obc_current_changed()
{
    _set_controls_enabled(_controls_enabled());
}

int obc_widget::_ask_overwrite_or_resume(const QString& text, bool offer_resume)
{
    QMessageBox box(QMessageBox::Question, tr("File exists"), text, QMessageBox::Cancel, this);
    QPushButton* overwrite = box.addButton(tr("&Overwrite"), QMessageBox::AcceptRole);
    QPushButton* resume =
        offer_resume ? box.addButton(tr("&Resume"), QMessageBox::AcceptRole) : nullptr;
    box.exec();
    if (box.clickedButton() == overwrite)
        return 0;
    if (resume && box.clickedButton() == resume)
        return 1;
    return -1;
}

// A listed name the computer could not take back is never sent to it.
bool obc_widget::_refused_obc_name(const QString& name, const QString& title)
{
    const QString problem = files::short_name_problem(name);
    if (problem.isEmpty())
        return false;
    _log(log_item::ERROR, QStringLiteral("%1: %2: %3").arg(title, name, problem));
    QMessageBox::warning(this, title,
                         tr("The OBC file name \"%1\" cannot be used: %2").arg(name, problem));
    return true;
}

void obc_widget::_on_obc_file_exists(const QString& file, uint32_t size, const QString& remote)
{
    const qint64 local_size = QFileInfo(file).size();
    const int answer =
        _ask_overwrite_or_resume(tr("The file already exists on OBC.\nWhat do you want to do?"),
                                 size > 0 && size < local_size);
    if (answer == 0)
        emit _obc_worker->upload(file, 0, false, remote);
    else if (answer == 1)
        emit _obc_worker->upload(file, size, false, remote);
}

void obc_widget::_on_local_file_exists(const QString& src, const QString& dst, uint32_t srcsize,
                                       uint32_t dstsize)
{
    const int answer = _ask_overwrite_or_resume(
        dstsize > 0 ? tr("An unfinished download of %1 is on the local computer (%2 of %3 bytes).\n"
                         "What do you want to do?")
                          .arg(src)
                          .arg(dstsize)
                          .arg(srcsize)
                    : tr("The file already exists on local computer.\nWhat do you want to do?"),
        dstsize > 0 && dstsize <= srcsize);
    if (answer == 0)
        emit _obc_worker->download(src, dst, 0, false);
    else if (answer == 1)
        emit _obc_worker->download(src, dst, dstsize, false);
}

void obc_widget::_on_btn_read_clicked()
{
    _controller->clear_hints();
    _controller->clear_changed_parameters();
    _date = QDate();
    _time = QTime();
    ui->label_time_result->clear();
    emit _obc_worker->get_params({obc_worker::boot_mode});
}

void obc_widget::_on_cb_verbose_log_stateChanged(int state)
{
    _set_log_verbose(state == Qt::Checked);
}

void obc_widget::_on_fl_local_pressed(const QModelIndex& index)
{
    if (index.isValid())
        QSettings().setValue(key_local_folder, folder_of(QFileInfo(_local_model->filePath(index))));
    _set_controls_enabled(_controls_enabled());
}

void obc_widget::_show_local_folder(const QString& path)
{
    const QModelIndex index = _local_model->index(path);
    if (!index.isValid())
        return;
    ui->fl_local->setCurrentIndex(index);
    ui->fl_local->expand(index);
    ui->fl_local->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void obc_widget::_on_fl_local_expanded(const QModelIndex& index)
{
    ui->fl_local->resizeColumnToContents(0);
    Q_UNUSED(index);
}

void obc_widget::_on_btn_upload_clicked()
{
    const QFileInfo local(_local_path());
    if (!local.isFile())
        return;
    QString remote;
    QString problem = files::short_name_problem(local.fileName());
    // A name the OBC cannot take is caught here, before anything is sent,
    // and another one can be given for the file on the OBC.
    while (!problem.isEmpty()) {
        bool ok = false;
        remote = QInputDialog::getText(
            this, tr("Upload"),
            tr("Only an 8.3 filenames are supported.\nPlease rename your file and try again.") +
                QStringLiteral("\n\n") + (remote.isEmpty() ? local.fileName() : remote) +
                QStringLiteral(": ") + problem + QStringLiteral("\n\n") +
                tr("Name of the file on the OBC:"),
            QLineEdit::Normal, remote, &ok);
        if (!ok)
            return;
        problem = files::short_name_problem(remote);
    }
    emit _obc_worker->upload(local.absoluteFilePath(), 0, true, remote);
}

void obc_widget::_on_btn_download_clicked()
{
    const QString name = _selected_obc_name();
    if (name.isEmpty())
        return;
    // The listing comes from the device: its names never choose the folder.
    QString why;
    const QString local_name = files::local_name_for(name, &why);
    if (local_name.isEmpty()) {
        _log(log_item::ERROR, tr("error downloading file: ") + name + QStringLiteral(": ") + why);
        QMessageBox::warning(this, tr("Download"),
                             tr("The OBC file name \"%1\" cannot be used here: %2").arg(name, why));
        return;
    }
    const QFileInfo selected(_local_path());
    const QString folder = selected.exists() ? folder_of(selected) : QDir::homePath();
    emit _obc_worker->download(name, folder + QDir::separator() + local_name, 0, true);
}

void obc_widget::_on_btn_logs_clicked()
{
    open_log_folder();
}

void obc_widget::_on_btn_erase_clicked()
{
    const QString name = _selected_obc_name();
    if (name.isEmpty() || _refused_obc_name(name, tr("Erase")))
        return;
    if (QMessageBox::question(
            this, tr("Erase"), tr("You are about do erase %1 from OBC.\nAre you sure?").arg(name),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    emit _obc_worker->erase(name);
}

void obc_widget::_on_btn_flash_clicked()
{
    const QString name = _selected_obc_name();
    if (name.isEmpty() || _refused_obc_name(name, tr("Flash")))
        return;
    if (QMessageBox::question(
            this, tr("Flash"),
            tr("You are about do flash the device with %1\nAre you sure?").arg(name),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    emit _obc_worker->flash(name);
}

void obc_widget::_on_btn_localfs_home_clicked()
{
    // The documents folder, or the home folder where there is none.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    _show_local_folder(QFileInfo(documents).isDir() ? documents : QDir::homePath());
}

void obc_widget::_on_btn_dir_clicked()
{
    emit _obc_worker->dir();
}

void obc_widget::_on_chk_persistent_stateChanged(int state)
{
    _obc_worker->set_persistent(state == Qt::Checked);
}

void obc_widget::_on_cb_boot_mode_currentIndexChanged(int)
{
    _set_controls_enabled(_controls_enabled());
}

void obc_widget::_on_btn_set_obc_mode_clicked()
{
    if (QMessageBox::question(
            this, tr("Set mode"),
            tr("Restart the on-board computer into %1 mode?\n\nIt stops what it is doing and "
               "stays silent while it restarts.")
                .arg(ui->cb_boot_mode->currentText()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    emit _obc_worker->set_params({{obc_worker::boot_mode, ui->cb_boot_mode->currentData()}});
}

} // namespace radcfg
