#pragma once

#include "satcmd/proto_exception.h"
#include "serline/media_exception.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <memory>
#include <utility>

namespace kq::testing {

// Runs a module operation or receive loop in a thread of its own, with the
// flag such loops watch, and keeps how it ended. What the thread wrote is
// handed over through an atomic as it ends, so that a thread checker sees
// the order that QThread::wait() gives.
class loop_runner
{
public:
    template<typename F>
    explicit loop_runner(F&& loop)
        : _thread(QThread::create([this, loop = std::forward<F>(loop)] {
            try {
                loop(running);
            } catch (const api::proto::proto_exception& e) {
                proto_error = e.get_type();
                message = QString::fromUtf8(e.what());
            } catch (const api::proto::media_exception& e) {
                media_error = e.get_type();
            }
            _ended.store(true, std::memory_order_release);
        }))
    {
        _thread->start();
    }
    ~loop_runner()
    {
        running.store(false);
        wait(-1);
    }
    loop_runner(const loop_runner&) = delete;
    loop_runner& operator=(const loop_runner&) = delete;

    bool stop_and_wait(int ms)
    {
        running.store(false);
        return wait(ms);
    }
    // ms < 0 waits for as long as it takes.
    bool wait(int ms)
    {
        const bool done = ms < 0 ? _thread->wait() : _thread->wait(static_cast<unsigned long>(ms));
        return done && _ended.load(std::memory_order_acquire);
    }
    bool finished() const { return _thread->isFinished(); }

    std::atomic<bool> running{true};
    int proto_error = -1;
    int media_error = -1;
    QString message;

private:
    std::atomic<bool> _ended{false};
    std::unique_ptr<QThread> _thread;
};

} // namespace kq::testing
