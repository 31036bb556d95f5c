#include "interrupt_watcher.h"

#include "ctl_error.h"

#include "satcmd/kq_module.h"

#include <QElapsedTimer>

#include <csignal>
#include <unistd.h>

namespace kq::ctl {

namespace {

std::atomic<bool> g_interrupted{false};

// How long an interrupted run may take to end on its own: a system call
// that does not return (an open on something that blocks) must not make the
// signal be ignored.
constexpr unsigned overdue_s = 1;

extern "C" void on_overdue(int)
{
    static const char text[] = "satctl: interrupted; ended at once\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(exit_interrupted);
}

extern "C" void on_interrupt(int)
{
    if (g_interrupted.exchange(true))
        on_overdue(0); // asked twice: at once
    ::alarm(overdue_s);
}

} // namespace

interrupt_watcher::interrupt_watcher(api::proto::kq_module& module)
    : _module(module)
{
    start();
}

interrupt_watcher::~interrupt_watcher()
{
    _done.store(true);
    wait();
}

void interrupt_watcher::install_handlers()
{
    struct sigaction sa = {};
    sa.sa_handler = on_interrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = on_overdue;
    sigaction(SIGALRM, &sa, nullptr);
}

bool interrupt_watcher::interrupted()
{
    return g_interrupted.load();
}

void interrupt_watcher::watch_loop(std::atomic<bool>& running, int deadline_ms)
{
    _deadline_ms.store(deadline_ms);
    _running.store(&running);
}

void interrupt_watcher::run()
{
    QElapsedTimer clock;
    clock.start();
    while (!_done.load()) {
        std::atomic<bool>* running = _running.load();
        const int64_t deadline = _deadline_ms.load();
        const bool expired = running && deadline > 0 && clock.elapsed() >= deadline;
        if (g_interrupted.load() || expired) {
            if (running)
                running->store(false);
            _module.stop_request();
            return;
        }
        msleep(20);
    }
}

} // namespace kq::ctl
