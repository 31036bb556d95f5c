#pragma once

#include "satcmd/satcmd_global.h"

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <QVector>

#include <cstdint>

namespace kq::api::proto {

// Timeouts (ms) and retry budgets of the command classes, and the timings of
// relays; each field but the last mirrors the setting "command/<name>".
struct SATCMD_EXPORT module_config_t
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

    // One setting: its key below "command/", its field, its default and the
    // whole numbers it may hold. The pipe timeout travels in seconds as one
    // byte, so it ends at 255 s.
    struct setting_t
    {
        const char* key;
        int32_t module_config_t::*field;
        int32_t fallback;
        int32_t minimum;
        int32_t maximum;
        bool is_count; // a number of repeats, not milliseconds
    };
    static const QVector<setting_t>& settings();
    static const setting_t* find_setting(const QString& key);

    // The value of a setting as stored or typed, if it is a whole number in
    // its range; otherwise the reason, for the user.
    static bool parse_setting(const setting_t& s, const QVariant& value, int32_t& out,
                              QString& why);
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::module_config_t)
