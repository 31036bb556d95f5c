#pragma once

#include "panelkit/widget_profile_handler.h"

#include <QMap>
#include <QPair>
#include <QVector>

#include <memory>

namespace kq::gui {

// Switches registered sets of widget constraints (ranges, steps, decimals,
// combo items, label texts, enabled state) at once.
class PANELKIT_EXPORT widget_profile_controller
{
public:
    using profile_list_t = QVector<QPair<QWidget*, std::shared_ptr<widget_profile_t>>>;

    widget_profile_controller();

    void register_profile(uint32_t profile_id, const profile_list_t& widgets);
    void set_active_profile(uint32_t profile_id);

private:
    QMap<uint32_t, profile_list_t> _profiles;
    QMap<widget_type_e, std::shared_ptr<widget_profile_handler>> _handlers;
};

} // namespace kq::gui
