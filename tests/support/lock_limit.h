#pragma once

#include "satcmd/module_lock.h"

namespace kq::testing {

// Makes the module lock's wait short for a test of the busy case, and puts
// the limit back when the test ends.
class lock_limit
{
public:
    explicit lock_limit(int ms = 200)
        : _ms(ms)
        , _saved(api::proto::module_lock::set_limit_ms(ms))
    {
    }
    ~lock_limit() { api::proto::module_lock::set_limit_ms(_saved); }
    lock_limit(const lock_limit&) = delete;
    lock_limit& operator=(const lock_limit&) = delete;

    int ms() const { return _ms; }
    // The holder's longest hold: far past the limit, short of a hang.
    int hold_ms() const { return 20 * _ms; }

private:
    int _ms;
    int _saved;
};

} // namespace kq::testing
