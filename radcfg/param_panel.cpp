#include "param_panel.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace radcfg {

using kq::api::proto::error_descriptor;
using kq::gui::log_item;
using kq::gui::sat_worker;
using kq::gui::ui_controller;

param_panel::param_panel(QWidget* parent, kq::api::proto::kq_module* module)
    : cp_widget(parent, module)
{
}

param_panel::~param_panel() = default;

void param_panel::_add_field(QFormLayout* form, uint32_t id, const QString& caption,
                             kq::gui::widget_type_e type, QWidget* field)
{
    auto* label = new QLabel(caption, field->parentWidget());
    _params.insert(id, {type, field});
    _hints.insert(id, label);
    _captions.insert(id, caption);
    form->addRow(label, field);
}

QLayout* param_panel::_param_buttons(QWidget* parent)
{
    _btn_read = new QPushButton(tr("&Read"), parent);
    _btn_write = new QPushButton(tr("&Write"), parent);
    _btn_discard = new QPushButton(tr("&Discard"), parent);
    connect(_btn_read, &QPushButton::clicked, this, &param_panel::_read);
    connect(_btn_write, &QPushButton::clicked, this, &param_panel::_write);
    connect(_btn_discard, &QPushButton::clicked, this, &param_panel::_discard);
    auto* row = new QHBoxLayout;
    row->addStretch();
    for (QPushButton* b : {_btn_read, _btn_write, _btn_discard})
        row->addWidget(b);
    return row;
}

void param_panel::_init_parameters()
{
    _controller = std::make_unique<ui_controller>(&_params, &_hints);
    _set_ui_controller(_controller.get());
    _controller->set_all_unknown(tr("not read"));
    connect(_controller.get(), &ui_controller::on_data_changed, this, [this](uint32_t id) {
        _controller->set_hint_for_error(id, false, QString());
        _set_controls_enabled(_controls_enabled());
    });
}

void param_panel::_set_param_controls_enabled(bool enabled)
{
    _btn_read->setEnabled(enabled);
    const bool edits = enabled && _controller && _controller->has_changed_parameters();
    _btn_write->setEnabled(edits);
    _btn_discard->setEnabled(edits);
}

QString param_panel::_caption(uint32_t id) const
{
    return _captions.value(id, tr("parameter %1").arg(id));
}

void param_panel::_read()
{
    _controller->clear_hints();
    emit worker()->get_params(_params.keys().toVector());
}

void param_panel::_write()
{
    sat_worker::param_pairs_t params;
    _controller->collect_changed_params(params);
    emit worker()->set_params(params);
}

void param_panel::_discard()
{
    _controller->discard_changes(_values);
    _controller->clear_hints();
    _enable_controls(true);
}

void param_panel::_on_get_param(uint32_t id, const QVariant& value)
{
    _values.insert(id, value);
    const ui_controller::loading_scope shown(*_controller); // a shown value is not an edit
    _controller->set_data(id, value);
}

void param_panel::_on_set_param(uint32_t id, const QVariant& value)
{
    _values.insert(id, value);
    _controller->remove_changed_parameter(id);
    _controller->set_hint_for_changed_value(id, false, QString());
    _set_controls_enabled(_controls_enabled());
    _log(log_item::INFO, tr("set parameter: ") + _caption(id));
}

void param_panel::_on_get_param_request_error(uint32_t id, const error_descriptor& error)
{
    const QString text = _describe(error);
    _log(log_item::ERROR, tr("error get: %1: %2").arg(_caption(id), text));
    if (_controller->changed_parameters().contains(id))
        return; // the user's edit stays
    _values.remove(id);
    _controller->set_unknown(id, tr("no answer: ") + text);
}

void param_panel::_on_set_param_request_error(uint32_t id, const error_descriptor& error)
{
    const QString text = _describe(error);
    _log(log_item::ERROR, tr("error setting parameter: %1: %2").arg(_caption(id), text));
    _controller->set_hint_for_error(id, true, text);
}

void param_panel::_show_mismatch(uint32_t id, const QString& written, const QString& held)
{
    const QString text = tr("written %1, the module holds %2").arg(written, held);
    _log(log_item::ERROR, _caption(id) + QStringLiteral(": ") + text);
    _controller->set_hint_for_error(id, true, text);
}

} // namespace radcfg
