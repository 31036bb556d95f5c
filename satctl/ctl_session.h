#pragma once

#include "ctl_options.h"

#include <memory>

namespace kq::api::proto {
class kq_module;
class media;
} // namespace kq::api::proto

namespace kq::ctl {

class interrupt_watcher;

// What a command talks to.
enum class target_e { uhf, obc, beacon, fsps, xband };

// One connection for one command: the serial port, the module made by the
// factory for the route the options describe, the command timing from the
// settings store with the options' overrides, the traffic shown when
// verbose, and Ctrl+C turned into a stop request. Connects on creation;
// disconnects quietly when it ends.
class ctl_session
{
public:
    ctl_session(const ctl_options& options, target_e target);
    // The route the options describe, without opening anything.
    static api::proto::route_t route_for(const ctl_options& options, target_e target);
    ~ctl_session();
    ctl_session(const ctl_session&) = delete;
    ctl_session& operator=(const ctl_session&) = delete;

    template<typename M>
    M& module()
    {
        return dynamic_cast<M&>(*_module);
    }
    api::proto::kq_module& base() { return *_module; }
    interrupt_watcher& watcher() { return *_watcher; }

private:
    std::unique_ptr<api::proto::media> _media;
    std::unique_ptr<api::proto::kq_module> _module;
    std::unique_ptr<interrupt_watcher> _watcher;
};

} // namespace kq::ctl
