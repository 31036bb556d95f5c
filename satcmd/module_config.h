#pragma once

#include <QMetaType>

#include <cstdint>

namespace kq::api::proto {

// Timeouts (ms) and retry budgets of the command classes, and the timings of
// relays; each field mirrors the setting "command/<name>".
struct module_config_t
{
    int32_t persistent_time = 9500; // pause between two attempts of a hop in persistent mode
    int32_t timeout_pipe = 10000;   // relays get timeout_pipe / 1000 seconds as pipe timeout
    int32_t timeout_xs = 400;
    int32_t timeout_s = 800;
    int32_t timeout_m = 1000;
    int32_t timeout_l = 4000;
    int32_t timeout_xl = 9000;
    int32_t repeats_xs = 10;
    int32_t repeats_s = 4;
    int32_t repeats_m = 2;
    int32_t repeats_l = 1;
    int32_t repeats_xl = 0;
    // Not a setting: each attempt waits at least this many times the
    // exchange's expected time on its route (0: the class timeout alone).
    int32_t link_factor = 3;

    // All zero, as a module holds it until it is configured.
    static module_config_t zero() { return module_config_t{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}; }
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::module_config_t)
