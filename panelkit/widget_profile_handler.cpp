#include "panelkit/widget_profile_handler.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>

namespace kq::gui {

namespace {

// The widget and profile as the classes a handler works on; a pair of other
// classes is left alone.
template<typename W, typename P>
bool cast_pair(QWidget* widget, const widget_profile_t& profile, W*& w, const P*& p)
{
    w = qobject_cast<W*>(widget);
    p = dynamic_cast<const P*>(&profile);
    return w && p;
}

} // namespace

void widget_profile_handler::apply_profile(QWidget* widget, const widget_profile_t& profile)
{
    widget->setEnabled(profile.enabled);
}

void widget_profile_handler_spinbox::apply_profile(QWidget* widget, const widget_profile_t& profile)
{
    QSpinBox* box = nullptr;
    const widget_profile_spinbox_t* p = nullptr;
    if (!cast_pair(widget, profile, box, p))
        return;
    const int value = box->value();
    box->setRange(p->minimum, p->maximum);
    box->setSingleStep(p->step);
    box->setValue(value);
    widget_profile_handler::apply_profile(widget, profile);
}

void widget_profile_handler_doublespinbox::apply_profile(QWidget* widget,
                                                         const widget_profile_t& profile)
{
    QDoubleSpinBox* box = nullptr;
    const widget_profile_doublespinbox_t* p = nullptr;
    if (!cast_pair(widget, profile, box, p))
        return;
    const double value = box->value();
    box->setRange(p->minimum, p->maximum);
    box->setSingleStep(p->step);
    box->setDecimals(p->decimals);
    switch (p->policy) {
    case set_minimum:
        box->setValue(p->minimum);
        break;
    case set_maximum:
        box->setValue(p->maximum);
        break;
    case keep_value:
    default:
        box->setValue(value);
        break;
    }
    widget_profile_handler::apply_profile(widget, profile);
}

void widget_profile_handler_label::apply_profile(QWidget* widget, const widget_profile_t& profile)
{
    QLabel* label = nullptr;
    const widget_profile_label_t* p = nullptr;
    if (!cast_pair(widget, profile, label, p))
        return;
    label->setText(p->text);
    widget_profile_handler::apply_profile(widget, profile);
}

void widget_profile_handler_combobox::apply_profile(QWidget* widget,
                                                    const widget_profile_t& profile)
{
    QComboBox* combo = nullptr;
    const widget_profile_combobox_t* p = nullptr;
    if (!cast_pair(widget, profile, combo, p))
        return;
    const QVariant current = combo->currentData();
    combo->clear();
    for (const auto& item : p->items)
        combo->addItem(item.first, item.second);
    // An empty list leaves the box empty and its enabled state as it was.
    if (p->items.isEmpty())
        return;
    const int index = combo->findData(current);
    if (index >= 0)
        combo->setCurrentIndex(index);
    widget_profile_handler::apply_profile(widget, profile);
}

} // namespace kq::gui
