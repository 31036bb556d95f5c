#include "satcmd/module_config.h"

#include <cmath>

namespace kq::api::proto {

namespace {

constexpr int32_t max_time_ms = 3600000;
constexpr int32_t max_repeats = 1000;
constexpr int32_t max_pipe_ms = 255000;

} // namespace

const QVector<module_config_t::setting_t>& module_config_t::settings()
{
    using c = module_config_t;
    static const QVector<setting_t> all{
        {"timeout_pipe", &c::timeout_pipe, 10000, 0, max_pipe_ms, false},
        {"persistent_time", &c::persistent_time, 9500, 0, max_time_ms, false},
        {"timeout_xs", &c::timeout_xs, 400, 1, max_time_ms, false},
        {"timeout_s", &c::timeout_s, 800, 1, max_time_ms, false},
        {"timeout_m", &c::timeout_m, 1000, 1, max_time_ms, false},
        {"timeout_l", &c::timeout_l, 4000, 1, max_time_ms, false},
        {"timeout_xl", &c::timeout_xl, 9000, 1, max_time_ms, false},
        {"repeats_xs", &c::repeats_xs, 10, 0, max_repeats, true},
        {"repeats_s", &c::repeats_s, 4, 0, max_repeats, true},
        {"repeats_m", &c::repeats_m, 2, 0, max_repeats, true},
        {"repeats_l", &c::repeats_l, 1, 0, max_repeats, true},
        {"repeats_xl", &c::repeats_xl, 0, 0, max_repeats, true},
    };
    return all;
}

const module_config_t::setting_t* module_config_t::find_setting(const QString& key)
{
    for (const setting_t& s : settings()) {
        if (key == QLatin1String(s.key))
            return &s;
    }
    return nullptr;
}

// Whole numbers only: "1.5", "-1" for a count, "nan" or "1e9" are refused
// rather than cut to something the user did not write.
bool module_config_t::parse_setting(const setting_t& s, const QVariant& value, int32_t& out,
                                    QString& why)
{
    bool ok = false;
    const QString text = value.toString().trimmed();
    const qlonglong number = text.toLongLong(&ok, 10);
    if (!ok || number < s.minimum || number > s.maximum) {
        why =
            QStringLiteral("\"%1\" is not %2 from %3 to %4")
                .arg(text, s.is_count ? QStringLiteral("a count") : QStringLiteral("milliseconds"))
                .arg(s.minimum)
                .arg(s.maximum);
        return false;
    }
    out = int32_t(number);
    return true;
}

} // namespace kq::api::proto
