#pragma once

#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"

#include <QMetaType>
#include <QtGlobal>

#include <cstdint>
#include <functional>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED
#include <QLinkedList>

namespace kq::api::proto {

struct module_connect_props_t;
using hop_hook_t =
    std::function<void(const module_connect_props_t& hop, bool persistent, bool probe)>;

// One hop of a route from the serial port to the target.
struct SATCMD_EXPORT module_connect_props_t
{
    uint32_t dev_addr = 0xFF;
    int32_t role = 0; // hop_role_e
    module_type_e module_type = module_type_none;
    uint64_t frequency = 420000000; // Hz, given to a local relay
    rf_mode_e rf_mode = rf_mode_1200_600;
    hop_hook_t on_configure;    // before the hop is configured
    hop_hook_t on_configure_rf; // local relay: after frequency and mode, before the pipe
};

using route_t = QLinkedList<module_connect_props_t>;

// The route in order from the serial port, and how to treat hops that do not
// answer in time.
struct SATCMD_EXPORT connect_props_t
{
    route_t route;
    bool persistent = false; // try a silent hop again after a pause instead of failing
    bool probe = false;      // probe the target while configuring even when not persistent
};

} // namespace kq::api::proto

QT_WARNING_POP

Q_DECLARE_METATYPE(kq::api::proto::connect_props_t)
