#pragma once

#include "serline/detail/thread_order.h"

#include <QThread>

namespace kq::testing {

// The thread a test moves a worker object to. Its end is told to the thread
// checker, which cannot see the ordering QThread::wait() gives, so that what
// the worker did is known to come before the test deletes it.
class worker_thread : public QThread
{
public:
    worker_thread()
    {
        connect(
            this, &QThread::finished, this, [this] { detail::order_release(this); },
            Qt::DirectConnection);
    }
    ~worker_thread() override { quit_and_wait(); }

    void quit_and_wait()
    {
        quit();
        wait();
        detail::order_acquire(this);
    }
};

} // namespace kq::testing
