#pragma once

#include "panelkit/panelkit_global.h"
#include "satcmd/connect_props.h"

#include <QStringList>

#include <cstdint>

namespace kq::gui {

// The kinds of connection a user can open, as the connection dialog lists them.
enum connection_type_e : uint32_t {
    connection_none = 0,        // "<< select >>"
    connection_xhf = 1,         // "xHF"
    connection_xhf_xhf = 2,     // "xHF->xHF"
    connection_obc = 3,         // "OBC"
    connection_xhf_xhf_obc = 4, // "xHF->xHF->OBC"
    connection_beacon = 5,      // "X25 beacon receiver"
    connection_xband = 6,       // "X-band", on a port of its own
    connection_fsps = 7,        // "FSPS", on a port of its own
};

struct PANELKIT_EXPORT route_choice_t
{
    uint32_t local_address = 0x22;
    uint32_t remote_address = 0x23;
    uint32_t obc_address = 0x11;
    uint32_t xband_address = 0x40;
    uint32_t fsps_address = 0x31;
    double frequency_mhz = 435.0;
    api::proto::rf_mode_e rf_mode = api::proto::rf_mode_9600_2400;
};

// The RF modes' labels, indexed by rf_mode_e: "2GFSK-1200-600" ...
PANELKIT_EXPORT const QStringList& rf_mode_labels();

// MHz to Hz, to the nearest hertz: 437.05 is 437050000, not one below.
PANELKIT_EXPORT uint64_t mhz_to_hz(double mhz);

// The hops from the workstation outwards for a kind of connection: a local
// relay for the radio kinds, the remote relay for "xHF->xHF->OBC", then the
// target; the X-band transmitter and the FSPS module alone on their ports.
// Empty for connection_none.
// The route is a QLinkedList.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
PANELKIT_EXPORT api::proto::route_t build_route(connection_type_e type, const route_choice_t& c);
QT_WARNING_POP

} // namespace kq::gui
