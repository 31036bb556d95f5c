#pragma once

#include "panelkit/uicontroller.h"

#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

namespace kq::gui {

// What a double spin box shows once its range changed.
enum value_policy_e : uint32_t { keep_value = 0, set_minimum = 1, set_maximum = 2 };

// A set of constraints for one widget; the derived records carry the
// constraints of one widget class each.
struct PANELKIT_EXPORT widget_profile_t
{
    widget_profile_t(widget_type_e type_, bool enabled_)
        : type(type_)
        , enabled(enabled_)
    {
    }
    virtual ~widget_profile_t() = default;

    widget_type_e type;
    bool enabled;
};

struct PANELKIT_EXPORT widget_profile_spinbox_t : widget_profile_t
{
    widget_profile_spinbox_t(bool enabled_, int minimum_, int maximum_, int step_)
        : widget_profile_t(spinbox, enabled_)
        , minimum(minimum_)
        , maximum(maximum_)
        , step(step_)
    {
    }

    int minimum;
    int maximum;
    int step;
};

struct PANELKIT_EXPORT widget_profile_doublespinbox_t : widget_profile_t
{
    widget_profile_doublespinbox_t(bool enabled_, double minimum_, double maximum_, double step_,
                                   int decimals_, value_policy_e policy_)
        : widget_profile_t(doublespinbox, enabled_)
        , minimum(minimum_)
        , maximum(maximum_)
        , step(step_)
        , decimals(decimals_)
        , policy(policy_)
    {
    }

    double minimum;
    double maximum;
    double step;
    int decimals;
    value_policy_e policy;
};

struct PANELKIT_EXPORT widget_profile_combobox_t : widget_profile_t
{
    widget_profile_combobox_t(bool enabled_, const QVector<QPair<QString, QVariant>>& items_)
        : widget_profile_t(combobox, enabled_)
        , items(items_)
    {
    }

    QVector<QPair<QString, QVariant>> items;
};

struct PANELKIT_EXPORT widget_profile_label_t : widget_profile_t
{
    widget_profile_label_t(bool enabled_, const QString& text_)
        : widget_profile_t(label, enabled_)
        , text(text_)
    {
    }

    QString text;
};

} // namespace kq::gui
