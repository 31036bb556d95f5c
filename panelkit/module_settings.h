#pragma once

#include "panelkit/panelkit_global.h"
#include "satcmd/module_config.h"

class QSettings;

namespace kq::gui {

// The command timing of the settings store ("command/<name>"), with the
// defaults of a first start for keys not yet written. A value that is not a
// whole number in its range (a hand-edited file) is refused: throws
// std::invalid_argument naming the keys.
PANELKIT_EXPORT api::proto::module_config_t module_config_from_settings(const QSettings& s);

} // namespace kq::gui
