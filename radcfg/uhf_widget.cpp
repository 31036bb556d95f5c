#include "uhf_widget.h"

#include "monitor_widget.h"
#include "panelkit/free_text.h"

#include "app_settings.h"
#include "ui_uhf_widget.h"

#include "compare_dialog.h"

#include "panelkit/connection_route.h"
#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/param_history.h"
#include "panelkit/uhf_config.h"
#include "panelkit/widget_profile.h"
#include "satcmd/kqttc/firmware_file.h"
#include "satcmd/proto_exception.h"
#include "satcmd/uhf_module.h"
#include "serline/serial_port.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QTime>
#include <QVBoxLayout>

namespace radcfg {

using kq::gui::log_item;
using kq::gui::sat_worker;
using kq::gui::ui_controller;
using namespace kq::api::proto;
using kq::api::proto::kqttc::firmware_file;

namespace {

const QString key_uhf_persistent = QStringLiteral("uhf/last_persistent_chk");
const QString key_uhf_verbose = QStringLiteral("uhf/last_kqttc_chk");
const QString key_firmware_folder = QStringLiteral("uhf/last_firmware_folder");
const QString key_config_folder = QStringLiteral("uhf/last_config_folder");
const QString config_filter = QStringLiteral("Configuration files (*.json);;All files (*)");

// The device rejects audio beacon periods from 1 to 29 seconds.
constexpr int min_audio_beacon_period = 30;
// Long enough for a user typing "100" not to see "30" after the first digit.
constexpr int audio_beacon_rule_delay_ms = 700;

enum rf_mode_profile : uint32_t { application_labels = 0, bootloader_labels = 1 };

QString ok_or_error(bool ok)
{
    return ok ? QStringLiteral("OK") : QStringLiteral("ERROR");
}

// "3725 s (1:02:05)", days in front when there are any.
QString uptime_text(uint seconds)
{
    const uint days = seconds / 86400;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(seconds / 3600 % 24)
                              .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 s (%2)")
        .arg(seconds)
        .arg(days > 0 ? QStringLiteral("%1 d %2").arg(days).arg(clock) : clock);
}

// A status word's ERROR in the red of the log's error lines.
void show_health(QLabel* label, bool ok)
{
    label->setStyleSheet(ok ? QString() : QStringLiteral("color: red; font-weight: bold"));
}

} // namespace

uhf_widget::uhf_widget(QWidget* parent, uhf_module* module)
    : cp_widget(parent, module)
    , ui(std::make_unique<Ui::uhf_widget>())
    , _uhf_worker(new uhf_worker(nullptr, module))
    , _uhf(module)
{
    ui->setupUi(this);
    for (const auto& speed : kq::gui::uart_speeds())
        ui->cb_uart_speed->addItem(speed.first, speed.second);
    const QStringList& modes = kq::gui::rf_mode_labels();
    for (int i = 0; i < modes.size(); ++i)
        ui->cb_rf_mode->addItem(modes.at(i), i);

    _bind_parameters();
    _controller = std::make_unique<ui_controller>(&_params, &_hints);
    _set_ui_controller(_controller.get());
    _register_rf_mode_profiles();
    _controller->set_all_unknown(tr("not read"));
    _init_log(QStringLiteral("UHF"), ui->lb_log);

    // A child of the panel by name, so that its state can be looked up.
    _audio_beacon_timer.setParent(this);
    _audio_beacon_timer.setObjectName(QStringLiteral("audio_beacon_rule_timer"));
    _audio_beacon_timer.setSingleShot(true);
    _audio_beacon_timer.setInterval(audio_beacon_rule_delay_ms);
    connect(&_audio_beacon_timer, &QTimer::timeout, this,
            &uhf_widget::_on_timer_audio_beacon_perod_timeout);
    connect(_controller.get(), &ui_controller::on_data_changed, this,
            &uhf_widget::_on_ui_data_changed);
    _start_worker(_uhf_worker);
    _connect_controls();

    _enable_controls(true);
    _restore_check(ui->chk_persistent, key_uhf_persistent);
    _restore_check(ui->cb_verbose_log, key_uhf_verbose);
    _uhf_worker->set_persistent(ui->chk_persistent->isChecked());
}

uhf_widget::~uhf_widget()
{
    _store_check(ui->chk_persistent, key_uhf_persistent);
    _store_check(ui->cb_verbose_log, key_uhf_verbose);
    _audio_beacon_timer.stop();
}

void uhf_widget::_connect_controls()
{
    connect(ui->btn_read, &QPushButton::clicked, this, &uhf_widget::_on_btn_read_clicked);
    connect(ui->btn_write, &QPushButton::clicked, this, &uhf_widget::_on_btn_write_clicked);
    connect(ui->btn_discard, &QPushButton::clicked, this, &uhf_widget::_on_btn_discard_clicked);
    connect(ui->btn_reset, &QPushButton::clicked, this, &uhf_widget::_on_btn_reset_clicked);
    connect(ui->btn_flash, &QPushButton::clicked, this, &uhf_widget::_on_btn_flash_clicked);
    connect(ui->btn_open_log_dir, &QPushButton::clicked, this,
            &uhf_widget::_on_btn_open_log_dir_clicked);
    connect(ui->chk_persistent, &QCheckBox::toggled, this, &uhf_widget::_on_chk_persistent_toggled);
    connect(ui->cb_verbose_log, &QCheckBox::toggled, this, &uhf_widget::_on_cb_verbose_log_toggled);
    connect(ui->btn_save, &QPushButton::clicked, this, &uhf_widget::_on_btn_save_clicked);
    connect(ui->btn_load, &QPushButton::clicked, this, &uhf_widget::_on_btn_load_clicked);
    connect(ui->btn_compare, &QPushButton::clicked, this, &uhf_widget::_on_btn_compare_clicked);
    connect(ui->btn_history, &QPushButton::clicked, this, &uhf_widget::_on_btn_history_clicked);
    connect(ui->btn_send_text, &QPushButton::clicked, this, &uhf_widget::_on_btn_send_text_clicked);
    connect(ui->le_text, &QLineEdit::returnPressed, this, &uhf_widget::_on_btn_send_text_clicked);
    connect(ui->btn_listen_text, &QPushButton::toggled, this,
            &uhf_widget::_on_btn_listen_text_toggled);
    connect(ui->btn_monitor, &QPushButton::clicked, this, &uhf_widget::_on_btn_monitor_clicked);
    connect(_uhf, &uhf_module::on_send_arbitrary_text, this,
            [this](uint32_t sequence, const QString& text) { _on_text(true, sequence, text); });
    connect(_uhf, &uhf_module::on_receive_arbitrary_text, this,
            [this](uint32_t sequence, const QString& text) { _on_text(false, sequence, text); });
    connect(_uhf_worker, &uhf_worker::snapshot_read, this, &uhf_widget::_on_snapshot_read);
    connect(_uhf_worker, &uhf_worker::readback_mismatch, this, &uhf_widget::_on_readback_mismatch);
    connect(_uhf_worker, &uhf_worker::notice, this,
            [this](const QString& text) { _log(log_item::WARN, text); });
}

void uhf_widget::_bind_parameters()
{
    using kq::gui::widget_type_e;
    struct binding
    {
        uint32_t id;
        widget_type_e type;
        QObject* widget;
        QWidget* caption;
    };
    const binding bindings[] = {
        {uhf_worker::radio_frequency, kq::gui::doublespinbox, ui->sb_rf, ui->cap_rf},
        {uhf_worker::version, kq::gui::label, ui->lbl_version, ui->cap_version},
        {uhf_worker::uptime, kq::gui::label, ui->lbl_uptime, ui->cap_uptime},
        {uhf_worker::device_address, kq::gui::spinbox, ui->sb_dev_addr, ui->cap_dev_addr},
        {uhf_worker::rx_crc_errors, kq::gui::label, ui->lbl_rx_pkts_crc, ui->cap_rx_pkts_crc},
        {uhf_worker::rx_packets, kq::gui::label, ui->lbl_rx_pkts, ui->cap_rx_pkts},
        {uhf_worker::tx_packets, kq::gui::label, ui->lbl_tx_pkts, ui->cap_tx_pkts},
        {uhf_worker::audio_beacon, kq::gui::lineedit, ui->tb_audio_beacon_midi,
         ui->cap_audio_beacon_midi},
        {uhf_worker::audio_beacon_period, kq::gui::spinbox, ui->sb_audio_beacon_period,
         ui->cap_audio_beacon_period},
        {uhf_worker::dst_call_sign, kq::gui::lineedit, ui->tb_dst_call_sign, ui->cap_dst_call_sign},
        {uhf_worker::src_call_sign, kq::gui::lineedit, ui->tb_src_call_sign, ui->cap_src_call_sign},
        {uhf_worker::morse_code, kq::gui::lineedit, ui->tb_morse_code, ui->cap_morse_code},
        {uhf_worker::text_beacon, kq::gui::lineedit, ui->tb_text_beacon, ui->cap_text_beacon},
        {uhf_worker::text_beacon_period, kq::gui::spinbox, ui->sb_text_beacon_period,
         ui->cap_text_beacon_period},
        {uhf_worker::pipe_timeout, kq::gui::spinbox, ui->sb_pipe_timeout, ui->cap_pipe_timeout},
        {uhf_worker::uart_baud_rate, kq::gui::combobox, ui->cb_uart_speed, ui->cap_uart_speed},
        {uhf_worker::rf_mode, kq::gui::combobox, ui->cb_rf_mode, ui->cap_rf_mode},
        {uhf_worker::beacon_enabled, kq::gui::checkbox, ui->chk_beacon, ui->cap_beacon},
        {uhf_worker::boot, kq::gui::label, ui->lbl_boot, ui->cap_boot},
        {uhf_worker::fram, kq::gui::label, ui->lbl_fram, ui->cap_fram},
        {uhf_worker::rfts, kq::gui::label, ui->lbl_rfts, ui->cap_rfts},
        {uhf_worker::rssi, kq::gui::progressbar, ui->pb_rssi, ui->cap_rssi},
    };
    for (const binding& b : bindings) {
        _params.insert(b.id, {b.type, b.widget});
        _hints.insert(b.id, b.caption);
        // A text field takes no more than the device does.
        const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(b.id);
        if (auto* edit = qobject_cast<QLineEdit*>(b.widget); edit && p && p->max_length > 0)
            edit->setMaxLength(p->max_length);
    }
}

// The bootloader runs the two fastest modes at its default rate.
void uhf_widget::_register_rf_mode_profiles()
{
    const QStringList& modes = kq::gui::rf_mode_labels();
    const QString boot_suffix = QStringLiteral(" (2GFSK-9600-2400 by default)");
    QVector<QPair<QString, QVariant>> application, bootloader;
    for (int i = 0; i < modes.size(); ++i) {
        application.append({modes.at(i), i});
        bootloader.append({i >= 6 ? modes.at(i) + boot_suffix : modes.at(i), i});
    }
    using profile = kq::gui::widget_profile_combobox_t;
    _profiles.register_profile(application_labels,
                               {{ui->cb_rf_mode, std::make_shared<profile>(true, application)}});
    _profiles.register_profile(bootloader_labels,
                               {{ui->cb_rf_mode, std::make_shared<profile>(true, bootloader)}});
}

void uhf_widget::_set_controls_enabled(bool enabled)
{
    ui->btn_read->setEnabled(enabled);
    ui->btn_flash->setEnabled(enabled);
    ui->btn_reset->setEnabled(enabled);
    ui->chk_persistent->setEnabled(enabled);
    for (QPushButton* b :
         {ui->btn_save, ui->btn_load, ui->btn_compare, ui->btn_history, ui->btn_monitor})
        b->setEnabled(enabled);
    // Listening is an operation of its own: its button ends it, and a line
    // may be sent meanwhile.
    const bool listening = ui->btn_listen_text->isChecked();
    ui->btn_listen_text->setEnabled(enabled || listening);
    ui->btn_send_text->setEnabled(enabled || listening);
    const bool edits = enabled && _controller->has_changed_parameters();
    ui->btn_write->setEnabled(edits);
    ui->btn_discard->setEnabled(edits);
}

void uhf_widget::_set_data(uint32_t id, const QVariant& value)
{
    _values.insert(id, value);
    const ui_controller::loading_scope shown(*_controller); // a shown value is not an edit
    _controller->set_data(id, value);
}

void uhf_widget::_handle_boot_mode_rf_mode_labels(const scw_properties& scw)
{
    const ui_controller::loading_scope shown(*_controller);
    _profiles.set_active_profile(scw.get_boot() ? bootloader_labels : application_labels);
}

void uhf_widget::_show_scw(const scw_properties& scw)
{
    _set_data(uhf_worker::boot, scw.get_boot() ? tr("Bootloader") : tr("Application"));
    _set_data(uhf_worker::uart_baud_rate, int(scw.get_uart_baud()));
    _set_data(uhf_worker::rf_mode, int(scw.get_rf_mode()));
    _set_data(uhf_worker::beacon_enabled, scw.get_bcn());
    _set_data(uhf_worker::fram, ok_or_error(scw.get_fram()));
    _set_data(uhf_worker::rfts, ok_or_error(scw.get_rfts()));
    show_health(ui->lbl_fram, scw.get_fram());
    show_health(ui->lbl_rfts, scw.get_rfts());
    _set_data(uhf_worker::rssi, int(_uhf->get_rssi()));
}

void uhf_widget::_mark_unknown(uint32_t id, const QString& why)
{
    static const QVector<uint32_t> from_scw{uhf_worker::boot,    uhf_worker::uart_baud_rate,
                                            uhf_worker::rf_mode, uhf_worker::beacon_enabled,
                                            uhf_worker::fram,    uhf_worker::rfts,
                                            uhf_worker::rssi};
    for (const uint32_t field : id == uhf_worker::scw ? from_scw : QVector<uint32_t>{id}) {
        if (_controller->changed_parameters().contains(field))
            continue; // the user's edit stays
        _values.remove(field);
        _controller->set_unknown(field, why);
    }
}

void uhf_widget::_on_get_param(uint32_t id, const QVariant& value)
{
    _unanswered.removeOne(id);
    if (id == uhf_worker::scw) {
        _values.insert(id, value);
        const scw_properties scw(static_cast<short>(value.toUInt()));
        _handle_boot_mode_rf_mode_labels(scw);
        _show_scw(scw);
    } else if (id == uhf_worker::radio_frequency) {
        _set_data(id, value.toULongLong() / 1000.0 / 1000.0);
    } else if (id == uhf_worker::uptime) {
        _set_data(id, uptime_text(value.toUInt()));
    } else {
        _set_data(id, value);
    }
    _log(log_item::INFO, tr("read parameter: ") + uhf_worker::parameter_name(id));
}

void uhf_widget::_on_set_param(uint32_t id, const QVariant& value)
{
    if (id == uhf_worker::uart_baud_rate || id == uhf_worker::rf_mode ||
        id == uhf_worker::beacon_enabled) {
        _set_data(id, value); // the status word as the device now holds it
        if (id == uhf_worker::uart_baud_rate && _pending_uart_speed >= 0)
            _uart_speed_accepted = true;
    } else if (id == uhf_worker::radio_frequency) {
        _values.insert(id, value.toULongLong() / 1000.0 / 1000.0);
    } else if (id != uhf_worker::reset_parameter && id != uhf_worker::flash_parameter) {
        _values.insert(id, value);
    }
    _controller->remove_changed_parameter(id);
    _controller->set_hint_for_changed_value(id, false, QString());
    _controller->set_hint_for_error(id, false, QString());
    _set_controls_enabled(_controls_enabled());
    _log(log_item::INFO, tr("set parameter: ") + uhf_worker::parameter_name(id));
}

void uhf_widget::_on_get_param_request_error(uint32_t id, const error_descriptor& error)
{
    _unanswered.removeOne(id);
    const QString name = uhf_worker::parameter_name(id);
    if (error.get_proto_error() == proto_exception::command_response_error &&
        error.get_exec_context() == QLatin1String("res_get_text_beacon_message") &&
        error.get_message() == QLatin1String("ERR+REMOTE")) {
        _log(log_item::WARN, tr("value for ") + name + tr(" is not available from remote device"));
        _mark_unknown(id, tr("not available from the remote device"));
        return;
    }
    const QString text = _describe(error);
    _log(log_item::ERROR, tr("error get: ") + name + QStringLiteral(": ") + text);
    _mark_unknown(id, tr("no answer: ") + text);
}

void uhf_widget::_on_set_param_request_error(uint32_t id, const error_descriptor& error)
{
    const QString text = _describe(error);
    if (id == uhf_worker::flash_parameter) {
        _log(log_item::ERROR, tr("error while flashing module: ") + text);
        QMessageBox::warning(this, tr("Flash"), tr("Error while flashing module: ") + text);
        return;
    }
    if (id == uhf_worker::uart_baud_rate)
        _pending_uart_speed = -1; // the transceiver kept its speed
    _log(log_item::ERROR, tr("error settig parameter: ") + uhf_worker::parameter_name(id) +
                              QStringLiteral(": ") + text);
    _controller->set_hint_for_error(id, true, text);
}

void uhf_widget::_on_ui_data_changed(uint32_t id)
{
    _controller->set_hint_for_error(id, false, QString());
    if (id == uhf_worker::audio_beacon_period)
        _audio_beacon_timer.start();
    _set_controls_enabled(_controls_enabled());
}

void uhf_widget::_on_timer_audio_beacon_perod_timeout()
{
    _apply_audio_beacon_rule();
}

void uhf_widget::_apply_audio_beacon_rule()
{
    _audio_beacon_timer.stop();
    const int period = ui->sb_audio_beacon_period->value();
    if (period < 1 || period >= min_audio_beacon_period)
        return;
    const ui_controller::loading_scope shown(*_controller);
    ui->sb_audio_beacon_period->setValue(min_audio_beacon_period);
}

// After the transceiver accepted a new UART speed on a direct line, the port
// follows it; the next operation opens the port at the new speed.
void uhf_widget::_reset_port_speed_if_needed()
{
    if (_pending_uart_speed < 0)
        return;
    const auto code = uart_baud_e(_pending_uart_speed);
    _pending_uart_speed = -1;
    serial_port_settings_t settings = _uhf->get_media_settings();
    settings.baud_rate = serial_port::uart_baud_to_baud_rate(code);
    _uhf->set_media_settings(settings);
    QSettings().setValue(QStringLiteral("last/connect_cb_uart_speed"),
                         ui->cb_uart_speed->findData(int(code)));
    _log(log_item::INFO, tr("serial port speed set to %1").arg(int(settings.baud_rate)));
    emit on_module_settings_changed(settings, _uhf->get_connect_props());
}

void uhf_widget::_on_operation_control(sat_worker::operation_type_e op,
                                       sat_worker::operation_status_e status)
{
    cp_widget::_on_operation_control(op, status);
    if (op == sat_worker::READ && status != sat_worker::begin) {
        // The walk stopped where nothing answered: what it did not reach
        // is no value either.
        for (const uint32_t id : qAsConst(_unanswered))
            _mark_unknown(id, tr("no answer"));
        _unanswered.clear();
    }
    if (op == sat_worker::READ && status != sat_worker::begin && ui->btn_listen_text->isChecked()) {
        const QSignalBlocker quiet(ui->btn_listen_text);
        ui->btn_listen_text->setChecked(false);
        _set_controls_enabled(_controls_enabled());
    }
    if (op == sat_worker::WRITE && status != sat_worker::begin && _uart_speed_accepted)
        _reset_port_speed_if_needed();
    if (status != sat_worker::begin)
        _uart_speed_accepted = false;
}

void uhf_widget::_on_btn_read_clicked()
{
    _controller->clear_hints();
    _unanswered = {uhf_worker::version,
                   uhf_worker::uptime,
                   uhf_worker::scw,
                   uhf_worker::rx_packets,
                   uhf_worker::rx_crc_errors,
                   uhf_worker::tx_packets,
                   uhf_worker::device_address,
                   uhf_worker::pipe_timeout,
                   uhf_worker::radio_frequency,
                   uhf_worker::text_beacon,
                   uhf_worker::text_beacon_period,
                   uhf_worker::audio_beacon,
                   uhf_worker::audio_beacon_period,
                   uhf_worker::src_call_sign,
                   uhf_worker::dst_call_sign,
                   uhf_worker::morse_code};
    emit _uhf_worker->get_params(_unanswered);
}

void uhf_widget::_on_btn_write_clicked()
{
    _apply_audio_beacon_rule(); // a period typed just now is not yet corrected
    _pending_uart_speed = -1;
    sat_worker::param_pairs_t params;
    _controller->collect_changed_params(params);
    const bool direct = _uhf->get_connect_props().route.size() == 1;
    for (auto& p : params) {
        if (p.first == uhf_worker::radio_frequency)
            p.second = qulonglong(kq::gui::mhz_to_hz(p.second.toDouble()));
        else if (p.first == uhf_worker::uart_baud_rate && direct)
            _pending_uart_speed = p.second.toInt();
    }
    emit _uhf_worker->set_params(params);
}

void uhf_widget::_on_btn_discard_clicked()
{
    _audio_beacon_timer.stop();
    _controller->discard_changes(_values);
    _controller->clear_hints();
    _enable_controls(true);
}

void uhf_widget::_on_btn_reset_clicked()
{
    if (QMessageBox::question(this, tr("Reset"), tr("Reset module?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    emit _uhf_worker->reset();
}

// The file is read and checked whole before the question: a file that
// cannot be flashed never comes near the transceiver.
void uhf_widget::_on_btn_flash_clicked()
{
    QSettings settings;
    const QString file_name = QFileDialog::getOpenFileName(
        this, tr("Select firmware file"), settings.value(key_firmware_folder).toString(),
        tr("SCRM files(*.SCRM);;All files (*.*)"));
    if (file_name.isEmpty())
        return;
    settings.setValue(key_firmware_folder, QFileInfo(file_name).absolutePath());
    QFile file(file_name);
    try {
        kq::gui::local_file::open_for_reading(file); // a FIFO or a device would hang the window
    } catch (const kq::gui::local_file_error& e) {
        QMessageBox::warning(this, tr("Flash"), QString::fromStdString(e.what()), QMessageBox::Ok);
        return;
    }
    const std::optional<QByteArray> records = _checked_firmware(file_name, file.readAll());
    if (!records)
        return;
    if (QMessageBox::question(
            this, tr("Flash"),
            tr("You are about to flash the device with\n\n") + file_name + tr("\n\nAre you sure?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    emit _uhf_worker->flash(*records);
}

// The records to flash, converted when the user chose so; nothing when the
// file is refused or the user did not go on.
std::optional<QByteArray> uhf_widget::_checked_firmware(const QString& file_name,
                                                        const QByteArray& image)
{
    std::optional<firmware_file> checked;
    try {
        checked.emplace(image);
    } catch (const proto_exception& e) {
        checked = _offer_conversion(file_name, image, QString::fromUtf8(e.what()));
    }
    if (!checked)
        return std::nullopt;
    if (const QString why = checked->data_problem(); !why.isEmpty()) {
        QMessageBox::warning(this, tr("Flash"), file_name + QStringLiteral(": ") + why,
                             QMessageBox::Ok);
        return std::nullopt;
    }
    if (!checked->has_end() &&
        QMessageBox::question(this, tr("Flash"),
                              tr("%1 has no end record (S7 or S9) after its last line: it may "
                                 "have been cut short, and the transceiver may be left without "
                                 "working firmware.\n\nFlash it anyway?")
                                  .arg(file_name),
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes)
        return std::nullopt;
    return checked->text();
}

// A refused file is explained; when converting its records would mend it,
// "Convert and flash" is offered and the changes logged.
std::optional<firmware_file>
uhf_widget::_offer_conversion(const QString& file_name, const QByteArray& image, const QString& why)
{
    _log(log_item::ERROR, file_name + QStringLiteral(": ") + why);
    std::optional<firmware_file> converted;
    try {
        converted.emplace(image, true);
    } catch (const proto_exception&) {
        QMessageBox::warning(this, tr("Flash"),
                             tr("%1 cannot be flashed:\n\n%2").arg(file_name, why));
        return std::nullopt;
    }
    QMessageBox box(QMessageBox::Warning, tr("Flash"),
                    tr("%1 cannot be flashed as it is:\n\n%2").arg(file_name, why),
                    QMessageBox::Cancel, this);
    QPushButton* convert = box.addButton(tr("Con&vert and flash"), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() != convert)
        return std::nullopt;
    for (const QString& change : converted->changes())
        _log(log_item::INFO, file_name + QStringLiteral(": ") + change);
    return converted;
}

void uhf_widget::_on_btn_open_log_dir_clicked()
{
    open_log_folder();
}

void uhf_widget::_on_chk_persistent_toggled(bool on)
{
    _uhf_worker->set_persistent(on);
}

void uhf_widget::_on_cb_verbose_log_toggled(bool on)
{
    _set_log_verbose(on);
}

// Configuration files: Save reads the device, Load and Compare read it to
// set the file against it.

QString uhf_widget::_config_folder() const
{
    return QSettings().value(key_config_folder).toString();
}

void uhf_widget::_remember_config_folder(const QString& file) const
{
    QSettings().setValue(key_config_folder, QFileInfo(file).absolutePath());
}

void uhf_widget::_on_btn_save_clicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save configuration"),
                                                      _config_folder(), config_filter);
    if (path.isEmpty())
        return;
    _remember_config_folder(path);
    _snapshot_path = path;
    _snapshot_use = snapshot_use::save;
    emit _uhf_worker->read_snapshot();
}

void uhf_widget::_on_btn_load_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Load configuration"),
                                                      _config_folder(), config_filter);
    if (!path.isEmpty())
        _use_file(path, snapshot_use::load);
}

void uhf_widget::_on_btn_compare_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Compare with configuration"),
                                                      _config_folder(), config_filter);
    if (!path.isEmpty())
        _use_file(path, snapshot_use::compare);
}

// The snapshots of the transceiver this connection reaches, newest first.
void uhf_widget::_on_btn_history_clicked()
{
    const route_t route = _uhf->get_connect_props().route;
    const uint32_t address = route.isEmpty() ? 0 : route.last().dev_addr;
    const QVector<kq::gui::param_history::entry_t> entries =
        kq::gui::param_history(
            QLatin1String(kq::gui::uhf_config::module_name),
            QStringLiteral("0x") +
                QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper())
            .entries();
    QStringList items;
    for (const kq::gui::param_history::entry_t& e : entries)
        items << QStringLiteral("%1  %2").arg(
            e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), e.reason);
    if (items.isEmpty()) {
        QMessageBox::information(
            this, tr("History"),
            tr("No snapshots yet: one is taken before every write and flash."));
        return;
    }
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        this, tr("History"), tr("Snapshot to load as edits (newest first):"), items, 0, false, &ok);
    if (ok)
        _use_file(entries.at(items.indexOf(chosen)).file, snapshot_use::load);
}

void uhf_widget::_use_file(const QString& path, snapshot_use use)
{
    try {
        _file_snapshot = kq::gui::uhf_config::load(path);
    } catch (const kq::gui::param_file_error& e) {
        const QString why = QString::fromStdString(e.what());
        _log(log_item::ERROR, why);
        QMessageBox::warning(this, tr("Configuration"), why);
        return;
    }
    _remember_config_folder(path);
    _snapshot_path = path;
    _snapshot_use = use;
    emit _uhf_worker->read_snapshot();
}

void uhf_widget::_on_snapshot_read(const kq::gui::param_snapshot& device)
{
    const snapshot_use use = std::exchange(_snapshot_use, snapshot_use::none);
    switch (use) {
    case snapshot_use::save:
        try {
            kq::gui::param_snapshot saved = device;
            saved.reason = QStringLiteral("saved");
            kq::gui::param_file::save(saved, _snapshot_path);
            _log(log_item::INFO,
                 tr("saved %1 parameters to %2").arg(saved.parameters.size()).arg(_snapshot_path));
        } catch (const kq::gui::param_file_error& e) {
            _log(log_item::ERROR, QString::fromStdString(e.what()));
            QMessageBox::warning(this, tr("Save"), QString::fromStdString(e.what()));
        }
        return;
    case snapshot_use::load:
        _load_as_edits(device);
        return;
    case snapshot_use::compare: {
        compare_dialog dialog(
            this, _snapshot_path,
            kq::gui::uhf_config::diff(device.parameters, _file_snapshot.parameters));
        dialog.exec();
        return;
    }
    case snapshot_use::none:
        return;
    }
}

// The file's values that differ from the device's become edits, so that
// Write sends exactly those and Discard drops them. The address, and the
// UART speed on a direct line, are left to the user: the link would lose
// the transceiver.
void uhf_widget::_load_as_edits(const kq::gui::param_snapshot& device)
{
    const bool direct = _uhf->get_connect_props().route.size() <= 1;
    QStringList taken;
    for (const kq::gui::param_difference& d :
         kq::gui::uhf_config::diff(device.parameters, _file_snapshot.parameters)) {
        const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(d.name);
        if (!p || d.there.isUndefined())
            continue;
        if (d.name == QLatin1String("address") ||
            (d.name == QLatin1String("uart-baud") && direct)) {
            _log(log_item::WARN, tr("%1 differs (%2 in the file) and is not loaded: set it by "
                                    "hand if the link should change")
                                     .arg(p->caption, kq::gui::value_text(d.there)));
            continue;
        }
        QVariant value = p->from_json(d.there);
        if (p->id == uhf_worker::radio_frequency)
            value = value.toULongLong() / 1000.0 / 1000.0; // the box shows MHz
        _controller->set_edit(p->id, value);
        taken << p->caption;
    }
    _log(log_item::INFO, taken.isEmpty()
                             ? tr("%1: the device holds the file's values").arg(_snapshot_path)
                             : tr("%1: %2 values differ from the device and are now edits: %3")
                                   .arg(_snapshot_path)
                                   .arg(taken.size())
                                   .arg(taken.join(QStringLiteral(", "))));
    _set_controls_enabled(_controls_enabled());
}

void uhf_widget::_on_readback_mismatch(uint32_t id, const QString& written, const QString& held)
{
    const QString text =
        tr("%1: wrote %2, the device holds %3").arg(uhf_worker::parameter_name(id), written, held);
    _log(log_item::ERROR, text);
    _controller->set_hint_for_error(id, true, text);
}

void uhf_widget::_on_btn_send_text_clicked()
{
    const QString text = ui->le_text->text();
    const QString problem = kq::gui::free_text_problem(text);
    if (!problem.isEmpty()) {
        _log(log_item::WARN, tr("not sent: %1").arg(problem));
        return;
    }
    uint32_t sequence = 0;
    try {
        sequence = kq::gui::next_text_sequence();
    } catch (const std::invalid_argument& e) { // a hand-edited settings file
        _log(log_item::WARN, tr("not sent: %1").arg(QString::fromStdString(e.what())));
        return;
    }
    const bool listening = ui->btn_listen_text->isChecked();
    if (listening) {
        ++_listening;
        _uhf_worker->stop(); // the listening ends; the line goes, then it goes on
    }
    _uhf_worker->send_text(sequence, text, listening);
    ui->le_text->clear();
}

void uhf_widget::_on_btn_listen_text_toggled(bool on)
{
    ui->btn_listen_text->setText(on ? tr("Stop listening") : tr("Listen"));
    if (on) {
        ++_listening;
        _uhf_worker->listen_texts();
    } else {
        _uhf_worker->stop();
    }
}

void uhf_widget::_on_text(bool sent, uint32_t sequence, const QString& text)
{
    ui->lw_texts->addItem(QStringLiteral("%1  %2 #%3  %4")
                              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")),
                                   sent ? QStringLiteral(">>") : QStringLiteral("<<"))
                              .arg(sequence)
                              .arg(text));
    ui->lw_texts->scrollToBottom();
    _log(log_item::INFO, (sent ? tr("text sent: ") : tr("text heard: ")) + text);
}

void uhf_widget::_on_btn_monitor_clicked()
{
    if (!_monitor_dialog) {
        _monitor_dialog = new QDialog(this);
        _monitor_dialog->setWindowTitle(tr("Monitor of the transceiver"));
        auto* monitor = new monitor_widget(_monitor_dialog, kq::gui::monitor_sampler::device_e::uhf,
                                           _uhf_worker);
        connect(monitor, &monitor_widget::message, this,
                [this](const QString& text) { _log(log_item::WARN, text); });
        connect(_monitor_dialog, &QDialog::finished, monitor, &monitor_widget::pause);
        auto* layout = new QVBoxLayout(_monitor_dialog);
        layout->addWidget(monitor);
        _monitor_dialog->resize(900, 450);
    }
    _monitor_dialog->show();
    _monitor_dialog->raise();
}

} // namespace radcfg
