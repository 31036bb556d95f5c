#include "panelkit/connection_route.h"

#include <cmath>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

namespace kq::gui {

using namespace api::proto;

namespace {

module_connect_props_t hop(hop_role_e role, uint32_t address, module_type_e type)
{
    module_connect_props_t h;
    h.role = role;
    h.dev_addr = address;
    h.module_type = type;
    return h;
}

} // namespace

const QStringList& rf_mode_labels()
{
    static const QStringList labels{
        QStringLiteral("2GFSK-1200-600"),   QStringLiteral("2GFSK-2400-600"),
        QStringLiteral("2GFSK-4800-1200"),  QStringLiteral("2GFSK-9600-2400"),
        QStringLiteral("2GFSK-9600-4800"),  QStringLiteral("2GFSK-19200-4800"),
        QStringLiteral("2GFSK-19200-9600"), QStringLiteral("2GFSK-19200-19200")};
    return labels;
}

uint64_t mhz_to_hz(double mhz)
{
    // Not a number, or beyond any radio: 0, which the frequency request refuses.
    if (!std::isfinite(mhz) || mhz <= 0.0 || mhz > 1.0e6)
        return 0;
    return static_cast<uint64_t>(std::llround(mhz * 1000.0 * 1000.0));
}

route_t build_route(connection_type_e type, const route_choice_t& c)
{
    route_t route;
    if (type == connection_xhf_xhf || type == connection_xhf_xhf_obc || type == connection_beacon) {
        module_connect_props_t local = hop(role_local_relay, c.local_address, module_type_uhf);
        local.frequency = mhz_to_hz(c.frequency_mhz);
        local.rf_mode = c.rf_mode;
        route.append(local);
    }
    if (type == connection_xhf_xhf_obc)
        route.append(hop(role_remote_relay, c.remote_address, module_type_uhf));
    switch (type) {
    case connection_xhf:
        route.append(hop(role_target, c.local_address, module_type_uhf));
        break;
    case connection_xhf_xhf:
    case connection_beacon:
        route.append(hop(role_target, c.remote_address, module_type_uhf));
        break;
    case connection_obc:
    case connection_xhf_xhf_obc:
        route.append(hop(role_target, c.obc_address, module_type_obc));
        break;
    case connection_xband:
        route.append(hop(role_target, c.xband_address, module_type_xband));
        break;
    case connection_fsps:
        route.append(hop(role_target, c.fsps_address, module_type_fsps));
        break;
    case connection_none:
        break;
    }
    return route;
}

} // namespace kq::gui
