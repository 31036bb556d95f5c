#include "panelkit/uicontroller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QToolTip>

#include <optional>
#include <stdexcept>
#include <type_traits>

namespace kq::gui {

namespace {

[[noreturn]] void invalid_parameter()
{
    throw std::runtime_error("invalid parameter");
}

// The widget as the class its type names; a table entry whose object is of
// another class (or missing) is refused rather than cast blindly.
template<typename W>
W* widget_as(QObject* object)
{
    auto* widget = qobject_cast<W*>(object);
    if (!widget)
        invalid_parameter();
    return widget;
}

// Calls `f` with the widget cast to the class its type names. False for the
// types without a managed widget class (unmanaged, or out of range).
template<typename F>
bool visit_widget(widget_type_e type, QObject* object, F&& f)
{
    switch (type) {
    case checkbox:
        f(widget_as<QCheckBox>(object));
        return true;
    case lineedit:
        f(widget_as<QLineEdit>(object));
        return true;
    case spinbox:
        f(widget_as<QSpinBox>(object));
        return true;
    case doublespinbox:
        f(widget_as<QDoubleSpinBox>(object));
        return true;
    case combobox:
        f(widget_as<QComboBox>(object));
        return true;
    case label:
        f(widget_as<QLabel>(object));
        return true;
    case progressbar:
        f(widget_as<QProgressBar>(object));
        return true;
    case datetimeedit:
        f(widget_as<QDateTimeEdit>(object));
        return true;
    case unmanaged:
        break;
    }
    return false;
}

// The signal by which an editor reports a user's edit; display widgets have none.
template<typename W>
auto edit_signal()
{
    if constexpr (std::is_same_v<W, QCheckBox>)
        return &QCheckBox::clicked;
    else if constexpr (std::is_same_v<W, QLineEdit>)
        return &QLineEdit::textChanged;
    else if constexpr (std::is_same_v<W, QSpinBox>)
        return QOverload<int>::of(&QSpinBox::valueChanged);
    else if constexpr (std::is_same_v<W, QDoubleSpinBox>)
        return QOverload<double>::of(&QDoubleSpinBox::valueChanged);
    else if constexpr (std::is_same_v<W, QComboBox>)
        return &QComboBox::currentTextChanged;
    else if constexpr (std::is_same_v<W, QDateTimeEdit>)
        return &QDateTimeEdit::dateTimeChanged;
    else
        return nullptr;
}

// What a field shows while it holds no value from the device, and how it
// comes back from that. Display widgets show a dash or nothing.
const QString no_value = QStringLiteral("\u2014");

void blank(QCheckBox* w, bool on)
{
    w->setTristate(on);
    if (on)
        w->setCheckState(Qt::PartiallyChecked);
}
void blank(QLineEdit* w, bool on)
{
    if (on)
        w->clear();
    w->setPlaceholderText(on ? no_value : QString());
}
template<typename Spin>
void blank_spin(Spin* w, bool on)
{
    w->setSpecialValueText(on ? no_value : QString());
    if (on)
        w->setValue(w->minimum());
}
void blank(QSpinBox* w, bool on)
{
    blank_spin(w, on);
}
void blank(QDoubleSpinBox* w, bool on)
{
    blank_spin(w, on);
}
void blank(QComboBox* w, bool on)
{
    if (on)
        w->setCurrentIndex(-1);
}
void blank(QLabel* w, bool on)
{
    if (on)
        w->setText(no_value);
}
void blank(QProgressBar* w, bool on)
{
    if (on)
        w->reset();
}
void blank(QDateTimeEdit*, bool)
{
}

QPalette greyed(QPalette palette)
{
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        const QColor grey = palette.color(QPalette::Disabled, role);
        palette.setColor(QPalette::Active, role, grey);
        palette.setColor(QPalette::Inactive, role, grey);
    }
    return palette;
}

void write(QCheckBox* w, const QVariant& v)
{
    w->setChecked(v.toBool());
}
void write(QLineEdit* w, const QVariant& v)
{
    w->setText(v.toString());
}
void write(QSpinBox* w, const QVariant& v)
{
    w->setValue(v.toInt());
}
void write(QDoubleSpinBox* w, const QVariant& v)
{
    w->setValue(v.toDouble());
}
void write(QComboBox* w, const QVariant& v)
{
    w->setCurrentIndex(w->findData(v.toUInt()));
}
void write(QLabel* w, const QVariant& v)
{
    w->setText(v.toString());
}
void write(QProgressBar* w, const QVariant& v)
{
    w->setValue(v.toInt());
}
void write(QDateTimeEdit* w, const QVariant& v)
{
    w->setDateTime(v.toDateTime());
}

std::optional<QVariant> read(const QCheckBox* w)
{
    return w->checkState() == Qt::Checked;
}
std::optional<QVariant> read(const QLineEdit* w)
{
    return w->text();
}
std::optional<QVariant> read(const QSpinBox* w)
{
    return w->value();
}
std::optional<QVariant> read(const QDoubleSpinBox* w)
{
    return w->value();
}
std::optional<QVariant> read(const QComboBox* w)
{
    return w->currentData();
}
std::optional<QVariant> read(const QDateTimeEdit* w)
{
    return w->dateTime();
}
// Display widgets show values; they are never written back.
std::optional<QVariant> read(const QLabel*)
{
    return std::nullopt;
}
std::optional<QVariant> read(const QProgressBar*)
{
    return std::nullopt;
}

} // namespace

ui_controller::ui_controller(const param_table_t* params, const hint_table_t* hint_widgets)
    : _params(params)
    , _hint_widgets(hint_widgets)
{
    // The edit signal carries the id across queued connections too.
    qRegisterMetaType<uint32_t>("uint32_t");
    for (auto it = _params->cbegin(); it != _params->cend(); ++it) {
        if (it->first > unmanaged)
            invalid_parameter();
        _object_ids.insert(it->second, it.key());
        _watch(it->first, it->second);
    }
}

void ui_controller::_watch(widget_type_e type, QObject* object)
{
    visit_widget(type, object, [this](auto* widget) {
        using W = std::remove_pointer_t<decltype(widget)>;
        if constexpr (!std::is_null_pointer_v<decltype(edit_signal<W>())>)
            connect(widget, edit_signal<W>(), this, &ui_controller::_on_data_changed);
    });
}

void ui_controller::set_data(uint32_t id, const QVariant& value)
{
    const auto it = _params->constFind(id);
    if (it == _params->cend())
        return;
    if (_unknown.remove(id) > 0)
        _show_unknown(id, false);
    const bool known =
        visit_widget(it->first, it->second, [&value](auto* widget) { write(widget, value); });
    if (!known)
        invalid_parameter();
}

void ui_controller::set_edit(uint32_t id, const QVariant& value)
{
    if (!_params->contains(id))
        return;
    {
        const loading_scope quiet(*this); // one edit, whatever the widget signals
        set_data(id, value);
    }
    _mark_edited(id);
}

void ui_controller::set_unknown(uint32_t id, const QString& why)
{
    if (!_params->contains(id))
        return;
    _unknown.insert(id, why);
    _show_unknown(id, true);
}

void ui_controller::set_all_unknown(const QString& why)
{
    for (auto it = _params->cbegin(); it != _params->cend(); ++it)
        set_unknown(it.key(), why);
}

void ui_controller::_show_unknown(uint32_t id, bool on)
{
    const auto it = _params->constFind(id);
    auto* widget = qobject_cast<QWidget*>(it->second);
    if (!widget || (!on && !_looks.contains(id)))
        return;
    const loading_scope shown(*this); // blanking a field is no edit
    visit_widget(it->first, widget, [on](auto* w) { blank(w, on); });
    if (on) {
        if (!_looks.contains(id))
            _looks.insert(id, {widget->palette(), widget->toolTip()});
        widget->setPalette(greyed(_looks.value(id).palette));
        widget->setToolTip(_unknown.value(id));
        return;
    }
    const look_t look = _looks.take(id);
    widget->setPalette(look.palette);
    widget->setToolTip(look.tool_tip);
}

QStringList ui_controller::changed_captions() const
{
    QStringList captions;
    for (const uint32_t id : _changed) {
        const auto* caption = qobject_cast<const QLabel*>(_hint_widget(id));
        const QObject* field = _params->value(id).second;
        captions << (caption ? caption->text() : field ? field->objectName() : QString::number(id));
    }
    return captions;
}

void ui_controller::remove_changed_parameter(uint32_t id)
{
    _changed.removeOne(id);
}

void ui_controller::collect_changed_params(QVector<QPair<uint32_t, QVariant>>& out) const
{
    for (const uint32_t id : _changed) {
        const auto it = _params->constFind(id);
        if (it == _params->cend())
            continue;
        std::optional<QVariant> value;
        visit_widget(it->first, it->second, [&value](auto* widget) { value = read(widget); });
        if (value)
            out.append({id, *value});
    }
}

void ui_controller::discard_changes(const QMap<uint32_t, QVariant>& saved_values)
{
    const loading_scope restoring(*this);
    for (const uint32_t id : qAsConst(_changed)) {
        const auto saved = saved_values.constFind(id);
        if (saved != saved_values.cend())
            set_data(id, *saved);
        else if (_unknown.contains(id))
            _show_unknown(id, true);
        set_hint_for_changed_value(id, false, QString());
    }
    _changed.clear();
}

QWidget* ui_controller::_hint_widget(uint32_t id) const
{
    return _hint_widgets ? _hint_widgets->value(id, nullptr) : nullptr;
}

void ui_controller::set_hint_for_error(uint32_t id, bool on, const QString& message)
{
    QWidget* caption = _hint_widget(id);
    if (!caption)
        return;
    caption->setStyleSheet(on ? QStringLiteral("background-color: red") : QString());
    caption->setToolTip(on ? message : QString());
    // Below the caption's row, so that the field it explains stays in view.
    if (on && !message.isEmpty())
        QToolTip::showText(caption->mapToGlobal(QPoint(0, caption->height())), message, caption);
}

void ui_controller::set_hint_for_changed_value(uint32_t id, bool on, const QString& /*text*/)
{
    QWidget* caption = _hint_widget(id);
    if (!caption)
        return;
    QFont font = caption->font();
    font.setUnderline(on);
    caption->setFont(font);
}

void ui_controller::clear_hints()
{
    if (!_hint_widgets)
        return;
    for (auto it = _hint_widgets->cbegin(); it != _hint_widgets->cend(); ++it) {
        set_hint_for_changed_value(it.key(), false, QString());
        set_hint_for_error(it.key(), false, QString());
    }
}

void ui_controller::_on_data_changed()
{
    if (_loading)
        return;
    _mark_edited(_object_ids.value(sender(), 0));
}

void ui_controller::_mark_edited(uint32_t id)
{
    if (_looks.contains(id))
        _show_unknown(id, false); // the user's value now, though not the device's
    if (!_changed.contains(id))
        _changed.append(id);
    set_hint_for_changed_value(id, true, QString());
    emit on_data_changed(id);
}

} // namespace kq::gui
