#pragma once

#include <QThread>

#include <atomic>
#include <cstdint>

namespace kq::api::proto {
class kq_module;
}

namespace kq::ctl {

// Turns Ctrl+C into a stop request: the signal handler only sets a flag, and
// this thread, polling it, asks the module to stop, which breaks off the
// blocking exchange in the main thread.
class interrupt_watcher : public QThread
{
public:
    explicit interrupt_watcher(api::proto::kq_module& module);
    ~interrupt_watcher() override;

    // For a listening loop: Ctrl+C, or the deadline (ms, 0: none), ends the
    // loop by clearing `running` before the stop request.
    void watch_loop(std::atomic<bool>& running, int deadline_ms);

    static void install_handlers();
    static bool interrupted();

protected:
    void run() override;

private:
    api::proto::kq_module& _module;
    std::atomic<bool> _done{false};
    std::atomic<std::atomic<bool>*> _running{nullptr};
    std::atomic<int64_t> _deadline_ms{0};
};

} // namespace kq::ctl
