#include "panelkit/widget_profile_controller.h"

namespace kq::gui {

widget_profile_controller::widget_profile_controller()
{
    _handlers.insert(combobox, std::make_shared<widget_profile_handler_combobox>());
    _handlers.insert(spinbox, std::make_shared<widget_profile_handler_spinbox>());
    _handlers.insert(doublespinbox, std::make_shared<widget_profile_handler_doublespinbox>());
    _handlers.insert(label, std::make_shared<widget_profile_handler_label>());
}

void widget_profile_controller::register_profile(uint32_t profile_id, const profile_list_t& widgets)
{
    _profiles.insert(profile_id, widgets);
}

void widget_profile_controller::set_active_profile(uint32_t profile_id)
{
    Q_ASSERT(_profiles.contains(profile_id));
    for (const auto& entry : _profiles.value(profile_id)) {
        const std::shared_ptr<widget_profile_t>& wp = entry.second;
        if (!entry.first || !wp)
            continue;
        // clang-format off
        Q_ASSERT(_handlers.contains( wp->type));
        // clang-format on
        // Without assertions an unknown id or type is skipped, not dereferenced.
        const auto handler = _handlers.value(wp->type);
        if (handler)
            handler->apply_profile(entry.first, *wp);
    }
}

} // namespace kq::gui
