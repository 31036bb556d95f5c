#pragma once

#include "panelkit/widget_profile.h"

class QWidget;

namespace kq::gui {

// Applies one kind of profile to its widget. The base step, which every
// handler ends with, sets the widget's enabled state.
class PANELKIT_EXPORT widget_profile_handler
{
public:
    virtual ~widget_profile_handler() = default;
    virtual void apply_profile(QWidget* widget, const widget_profile_t& profile);
};

class PANELKIT_EXPORT widget_profile_handler_spinbox : public widget_profile_handler
{
public:
    void apply_profile(QWidget* widget, const widget_profile_t& profile) override;
};

class PANELKIT_EXPORT widget_profile_handler_doublespinbox : public widget_profile_handler
{
public:
    void apply_profile(QWidget* widget, const widget_profile_t& profile) override;
};

class PANELKIT_EXPORT widget_profile_handler_label : public widget_profile_handler
{
public:
    void apply_profile(QWidget* widget, const widget_profile_t& profile) override;
};

class PANELKIT_EXPORT widget_profile_handler_combobox : public widget_profile_handler
{
public:
    void apply_profile(QWidget* widget, const widget_profile_t& profile) override;
};

} // namespace kq::gui
