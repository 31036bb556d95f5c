#pragma once

#include <mutex>

#include <cstdint>

namespace kq::satsim {

// Link pacing: how long the bytes of one exchange would take on the real
// links, each byte 10 bits at the serial line's baud rate and 8 bits over a
// radio hop at the data rate of the hop's RF mode (the first number of its
// label). The serial link waits that long before it sends the answer.
class pacer
{
public:
    void set(bool enabled, int serial_baud)
    {
        _enabled = enabled;
        _baud = serial_baud;
    }
    bool enabled() const { return _enabled; }
    void serial(int bytes) { _add(bytes * 10.0 / _baud); }
    void radio(int bytes, int rf_mode);
    // The time owed for the exchange so far, in microseconds; starts anew.
    int64_t take_us();
    // All time imposed since the start, in microseconds.
    int64_t total_us() const { return _total_us; }

    static int rf_rate(int rf_mode);

private:
    void _add(double seconds)
    {
        if (_enabled)
            _owed_s += seconds;
    }
    bool _enabled = false;
    int _baud = 115200;
    double _owed_s = 0;
    int64_t _total_us = 0;
};

} // namespace kq::satsim
