#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"

#include <QVector>

#include <cstdint>

namespace kq::api::proto {

// How long one exchange takes on its way: every byte crosses the serial line
// as 10 bits at the UART speed, and the radio hop that a local relay opens as
// 8 bits at its RF mode's data rate, both ways (a remote relay passes on to
// the module beside it on the satellite's own bus); each module on the way
// also takes a little time of its own. The engine waits a safe multiple of
// that (never less than the timeout of the command's class) and takes the
// line as quiet after a pause of about one short answer.
class SATCMD_EXPORT link_timing
{
public:
    static constexpr int module_work_ms = 10; // per module the exchange passes
    static constexpr int64_t min_quiet_ms = 20;
    static constexpr int64_t max_quiet_ms = 500;

    explicit link_timing(int serial_baud = 115200, const QVector<int>& radio_rates = {},
                         int modules = 1);

    // The way to the route's hop with this address: the radio hops of the
    // local relays before it, and the modules passed (the whole route when
    // the address is not on it).
    // The route is a QLinkedList.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    static link_timing to_address(const route_t& route, unsigned device_address, int serial_baud);
    QT_WARNING_POP
    // Bits per second of an RF mode: the first number of its label.
    static int rf_rate(rf_mode_e mode);

    double exchange_ms(int request_bytes, int answer_bytes) const;
    // At least floor_ms, and at least factor times the exchange (factor 0:
    // floor_ms alone).
    int64_t attempt_ms(int64_t floor_ms, int factor, int request_bytes, int answer_bytes) const;
    // A pause this long means that no answer is on its way in pieces.
    int64_t quiet_ms() const;

    int radio_hops() const { return _radio_rates.size(); }

private:
    int _serial_baud;
    QVector<int> _radio_rates;
    int _modules;
};

} // namespace kq::api::proto
