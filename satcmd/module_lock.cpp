#include "satcmd/module_lock.h"

#include "satcmd/proto_exception.h"
#include "serline/detail/thread_order.h"

namespace kq::api::proto {

module_lock::module_lock(QRecursiveMutex& mutex)
    : _mutex(mutex)
{
    if (!_mutex.tryLock(limit_ms))
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
