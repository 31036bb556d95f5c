#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

#include <cstdint>

namespace kq::gui {

// Free text lines through the transceiver, as every front end sends them.

// Why this line cannot be sent, in plain words; empty when it can: 1 to 116
// characters of printable ASCII (a line end would cut the frame on the wire,
// and other characters arrive spoilt).
PANELKIT_EXPORT QString free_text_problem(const QString& text);

// The next sequence number for a sent line, counted on in the settings
// ("text/last_sequence") so that the far station can tell lines of one
// workstation apart across runs and front ends. A stored value that is no
// count is refused (std::invalid_argument naming the setting).
PANELKIT_EXPORT uint32_t next_text_sequence();

} // namespace kq::gui
