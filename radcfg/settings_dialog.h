#pragma once

#include <QDialog>

#include <memory>

class QAbstractButton;
class QSpinBox;

namespace radcfg {

namespace Ui {
class settings_dialog;
}

// The persistent settings: the log folder, the command timing, the OBC's
// automatic clock setting.
class settings_dialog : public QDialog
{
    Q_OBJECT

public:
    explicit settings_dialog(QWidget* parent);
    ~settings_dialog() override;

private slots:
    void _on_buttonBox_clicked(QAbstractButton* button);
    void _on_btn_common_browse_clicked();
    void _on_control_changed();
    void _apply_pipe_rule();

private:
    struct spin_key_t
    {
        QSpinBox* box;
        QString key;
        int fallback;
    };
    QVector<spin_key_t> _spin_keys() const;
    int _get_auto_time_value() const;
    void _set_auto_time_value(int value);
    void _apply();
    void _restore_defaults();

    std::unique_ptr<Ui::settings_dialog> ui;
};

} // namespace radcfg
