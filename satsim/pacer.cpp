#include "pacer.h"

namespace kq::satsim {

int pacer::rf_rate(int rf_mode)
{
    static const int rates[] = {1200, 2400, 4800, 9600, 9600, 19200, 19200, 19200};
    return rates[rf_mode & 7];
}

void pacer::radio(int bytes, int rf_mode)
{
    _add(bytes * 8.0 / rf_rate(rf_mode));
}

int64_t pacer::take_us()
{
    const auto us = int64_t(_owed_s * 1e6);
    _owed_s = 0;
    _total_us += us;
    return us;
}

} // namespace kq::satsim
