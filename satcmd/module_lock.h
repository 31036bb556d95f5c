#pragma once

#include "satcmd/satcmd_global.h"

#include <QRecursiveMutex>

namespace kq::api::proto {

// Holds a module's mutex for a scope. Waits at most limit_ms() (2000 ms),
// then throws a proto_exception of type busy ("another command is in
// progress").
class SATCMD_EXPORT module_lock
{
public:
    static constexpr int default_limit_ms = 2000;

    static int limit_ms();
    // For tests of the busy case, which would otherwise wait the limit out;
    // returns the limit it replaces.
    static int set_limit_ms(int ms);

    explicit module_lock(QRecursiveMutex& mutex);
    ~module_lock();
    module_lock(const module_lock&) = delete;
    module_lock& operator=(const module_lock&) = delete;

private:
    QRecursiveMutex& _mutex;
};

} // namespace kq::api::proto
