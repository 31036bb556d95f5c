#include "settings_dialog.h"

#include "app_settings.h"
#include "ui_settings_dialog.h"

#include <QFileDialog>
#include <QPushButton>
#include <QSettings>

namespace radcfg {

settings_dialog::settings_dialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::settings_dialog>())
{
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->buttonBox, &QDialogButtonBox::clicked, this,
            &settings_dialog::_on_buttonBox_clicked);
    connect(ui->btn_common_browse, &QAbstractButton::clicked, this,
            &settings_dialog::_on_btn_common_browse_clicked);
    const QSettings s;
    ui->tb_common_logs_location->setText(
        s.value(QStringLiteral("common/log_location"), default_log_location()).toString());
    for (const spin_key_t& k : _spin_keys())
        k.box->setValue(s.value(k.key, k.fallback).toInt());
    _set_auto_time_value(s.value(QStringLiteral("obc/auto_time_type"), 0).toInt());
    ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);

    for (const spin_key_t& k : _spin_keys())
        connect(k.box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &settings_dialog::_on_control_changed);
    // The rule waits for the whole number: typing 25000 passes through 2500.
    connect(ui->sb_timeout_pipe, &QSpinBox::editingFinished, this,
            &settings_dialog::_apply_pipe_rule);
    connect(ui->sb_timeout_pipe, QOverload<int>::of(&QSpinBox::valueChanged), ui->lbl_pipe_note,
            &QWidget::hide);
    ui->lbl_pipe_note->hide();
    for (QRadioButton* b :
         {ui->rb_obc_auto_time_utc, ui->rb_obc_auto_time_local, ui->rb_obc_auto_time_disabled})
        connect(b, &QRadioButton::toggled, this, &settings_dialog::_on_control_changed);
}

settings_dialog::~settings_dialog() = default;

QVector<settings_dialog::spin_key_t> settings_dialog::_spin_keys() const
{
    QVector<spin_key_t> keys;
    const QVector<QSpinBox*> boxes{ui->sb_timeout_pipe, ui->sb_persistent_time, ui->sb_timeout_XS,
                                   ui->sb_timeout_S,    ui->sb_timeout_M,       ui->sb_timeout_L,
                                   ui->sb_timeout_XL,   ui->sb_repeats_XS,      ui->sb_repeats_S,
                                   ui->sb_repeats_M,    ui->sb_repeats_L,       ui->sb_repeats_XL};
    const QVector<setting_default_t> defaults = default_settings();
    // The defaults list the twelve command keys after the log folder, in the
    // boxes' order.
    for (int i = 0; i < boxes.size(); ++i)
        keys.append({boxes.at(i), defaults.at(i + 1).key, defaults.at(i + 1).value.toInt()});
    return keys;
}

int settings_dialog::_get_auto_time_value() const
{
    if (ui->rb_obc_auto_time_utc->isChecked())
        return 2;
    if (ui->rb_obc_auto_time_local->isChecked())
        return 1;
    return 0;
}

void settings_dialog::_set_auto_time_value(int value)
{
    if (value == 0)
        ui->rb_obc_auto_time_disabled->setChecked(true);
    else if (value == 1)
        ui->rb_obc_auto_time_local->setChecked(true);
    else if (value == 2)
        ui->rb_obc_auto_time_utc->setChecked(true);
}

// Every command timeout stays at least a second below the pipe timeout; a
// value the rule lowers is named in the note below the tabs.
void settings_dialog::_apply_pipe_rule()
{
    const int limit = ui->sb_timeout_pipe->value() - 1000;
    QStringList lowered;
    const QVector<QPair<QSpinBox*, QString>> boxes{{ui->sb_persistent_time, tr("Persistent time")},
                                                   {ui->sb_timeout_XS, tr("Extra small")},
                                                   {ui->sb_timeout_S, tr("Small")},
                                                   {ui->sb_timeout_M, tr("Medium")},
                                                   {ui->sb_timeout_L, tr("Large")},
                                                   {ui->sb_timeout_XL, tr("Extra large")}};
    for (const auto& box : boxes) {
        if (box.first->value() > limit)
            lowered << box.second;
        box.first->setMaximum(limit);
    }
    if (lowered.isEmpty())
        return; // a note of an earlier lowering stays until the pipe changes
    ui->lbl_pipe_note->show();
    ui->lbl_pipe_note->setText(
        tr("%1 lowered to %2 ms: every timeout stays a second below the pipe timeout.")
            .arg(lowered.join(QStringLiteral(", ")))
            .arg(limit));
}

void settings_dialog::_on_control_changed()
{
    ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(true);
    ui->buttonBox->button(QDialogButtonBox::RestoreDefaults)->setEnabled(true);
}

void settings_dialog::_on_btn_common_browse_clicked()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("Select log folder"),
                                                          ui->tb_common_logs_location->text(),
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.trimmed().isEmpty())
        ui->tb_common_logs_location->setText(dir.trimmed());
}

void settings_dialog::_on_buttonBox_clicked(QAbstractButton* button)
{
    switch (ui->buttonBox->standardButton(button)) {
    case QDialogButtonBox::Cancel:
        reject();
        break;
    case QDialogButtonBox::Ok:
        _apply();
        accept();
        break;
    case QDialogButtonBox::Apply:
        _apply();
        break;
    case QDialogButtonBox::RestoreDefaults:
        _restore_defaults();
        break;
    default:
        break;
    }
}

void settings_dialog::_apply()
{
    _apply_pipe_rule(); // a pipe value set without finishing the edit
    QSettings s;
    s.setValue(QStringLiteral("common/log_location"), ui->tb_common_logs_location->text());
    for (const spin_key_t& k : _spin_keys())
        s.setValue(k.key, k.box->value());
    s.setValue(QStringLiteral("obc/auto_time_type"), _get_auto_time_value());
    ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(false);
}

void settings_dialog::_restore_defaults()
{
    QWidget* tab = ui->tab_settings->currentWidget();
    if (tab == ui->tab_common) {
        ui->tb_common_logs_location->setText(default_log_location());
    } else if (tab == ui->tab_command) {
        // The pipe first, then the form's own maxima again: the defaults
        // (a persistent time of 9500) are not bound by the pipe rule.
        const QVector<spin_key_t> keys = _spin_keys();
        keys.first().box->setValue(keys.first().fallback);
        ui->sb_persistent_time->setMaximum(9500);
        for (QSpinBox* box : {ui->sb_timeout_XS, ui->sb_timeout_S, ui->sb_timeout_M,
                              ui->sb_timeout_L, ui->sb_timeout_XL})
            box->setMaximum(9000);
        for (const spin_key_t& k : keys)
            k.box->setValue(k.fallback);
    } else if (tab == ui->tab_obc) {
        _set_auto_time_value(0);
    }
    ui->buttonBox->button(QDialogButtonBox::Apply)->setEnabled(true);
    ui->buttonBox->button(QDialogButtonBox::RestoreDefaults)->setEnabled(true);
}

} // namespace radcfg
