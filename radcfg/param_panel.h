#pragma once

#include "cp_widget.h"

#include "panelkit/uicontroller.h"

#include <QMap>

#include <memory>

class QFormLayout;
class QLayout;
class QPushButton;

namespace radcfg {

// A panel of a module's parameters by id: a form of captions and fields,
// Read (all), Write (only the edited, underlined), Discard; a value that
// did not come is shown as none with the reason, a refused write or a
// value read back otherwise is marked at its caption.
class param_panel : public cp_widget
{
    Q_OBJECT

protected:
    param_panel(QWidget* parent, kq::api::proto::kq_module* module);
    ~param_panel() override;

    // A row of the form; the caption names the value in the log.
    void _add_field(QFormLayout* form, uint32_t id, const QString& caption,
                    kq::gui::widget_type_e type, QWidget* field);
    // The Read, Write and Discard buttons, right-aligned.
    QLayout* _param_buttons(QWidget* parent);
    // Once the fields are added and the worker is started.
    void _init_parameters();
    void _set_param_controls_enabled(bool enabled);
    QString _caption(uint32_t id) const;
    void _show_mismatch(uint32_t id, const QString& written, const QString& held);

    void _on_get_param(uint32_t id, const QVariant& value) override;
    void _on_set_param(uint32_t id, const QVariant& value) override;
    void _on_get_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;
    void _on_set_param_request_error(uint32_t id,
                                     const kq::api::proto::error_descriptor& error) override;

private:
    void _read();
    void _write();
    void _discard();

    kq::gui::ui_controller::param_table_t _params;
    kq::gui::ui_controller::hint_table_t _hints;
    QMap<uint32_t, QString> _captions;
    std::unique_ptr<kq::gui::ui_controller> _controller;
    QMap<uint32_t, QVariant> _values;
    QPushButton* _btn_read = nullptr;
    QPushButton* _btn_write = nullptr;
    QPushButton* _btn_discard = nullptr;
};

} // namespace radcfg
