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

// A whole-number setting of the store, `fallback` when absent; anything else
// than a whole number from `minimum` to `maximum` is refused the same way.
PANELKIT_EXPORT int32_t setting_number(const QSettings& s, const QString& key, int32_t minimum,
                                       int32_t maximum, int32_t fallback);

} // namespace kq::gui
