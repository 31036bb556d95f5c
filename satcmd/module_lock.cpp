#include "satcmd/module_lock.h"

#include "satcmd/proto_exception.h"
#include "serline/detail/thread_order.h"

#include <atomic>

namespace kq::api::proto {

namespace {

std::atomic<int> limit{module_lock::default_limit_ms};

} // namespace

int module_lock::limit_ms()
{
    return limit.load();
}

int module_lock::set_limit_ms(int ms)
{
    return limit.exchange(ms);
}

module_lock::module_lock(QRecursiveMutex& mutex)
    : _mutex(mutex)
{
    if (!_mutex.tryLock(limit_ms()))
        throw proto_exception(proto_exception::busy, 0, QStringLiteral("NOT_DEFINED"), QString(),
                              proto_exception::retry);
    detail::order_acquire(&_mutex);
}

module_lock::~module_lock()
{
    detail::order_release(&_mutex);
    _mutex.unlock();
}

} // namespace kq::api::proto
