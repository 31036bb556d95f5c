#include "satcmd/link_timing.h"

#include <algorithm>
#include <cmath>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto {

namespace {

constexpr int short_answer_bytes = 16;

} // namespace

link_timing::link_timing(int serial_baud, const QVector<int>& radio_rates, int modules)
    : _serial_baud(std::max(1, serial_baud))
    , _radio_rates(radio_rates)
    , _modules(std::max(1, modules))
{
}

link_timing link_timing::to_address(const route_t& route, unsigned device_address, int serial_baud)
{
    QVector<int> radio;
    int modules = 0;
    for (const module_connect_props_t& hop : route) {
        ++modules;
        if (hop.dev_addr == device_address)
            break;
        if (hop.role == role_local_relay)
            radio.append(rf_rate(hop.rf_mode));
    }
    return link_timing(serial_baud, radio, modules);
}

int link_timing::rf_rate(rf_mode_e mode)
{
    static const int rates[] = {1200, 2400, 4800, 9600, 9600, 19200, 19200, 19200};
    return rates[int(mode) & 7];
}

double link_timing::exchange_ms(int request_bytes, int answer_bytes) const
{
    const double bytes = request_bytes + answer_bytes;
    double ms = bytes * 10.0 * 1000.0 / _serial_baud;
    for (const int rate : _radio_rates)
        ms += bytes * 8.0 * 1000.0 / std::max(1, rate);
    return ms + module_work_ms * _modules;
}

int64_t link_timing::attempt_ms(int64_t floor_ms, int factor, int request_bytes,
                                int answer_bytes) const
{
    if (factor <= 0)
        return floor_ms;
    const auto link =
        static_cast<int64_t>(std::ceil(factor * exchange_ms(request_bytes, answer_bytes)));
    return std::max(floor_ms, link);
}

int64_t link_timing::quiet_ms() const
{
    const auto pause = static_cast<int64_t>(std::ceil(2.0 * exchange_ms(0, short_answer_bytes)));
    return std::clamp(pause, min_quiet_ms, max_quiet_ms);
}

} // namespace kq::api::proto

QT_WARNING_POP
