#pragma once

#include "virtual_serial_pair.h"
#include "xband_transmitter.h"

#include <memory>

namespace kq::api::proto {
class kq_module;
class media;
class xband_module;
} // namespace kq::api::proto

namespace kq::testing {

// The simulated X-band transmitter on a pseudo-terminal of its own, with a
// real serial port open on it (the given wait for an answer) and the KQUP
// module connected through it.
class xband_session
{
public:
    explicit xband_session(int timeout_ms = 1000);
    ~xband_session();

    satsim::xband_transmitter& tx() { return *_tx; }
    api::proto::media& port() { return *_port; }
    api::proto::xband_module& module();

private:
    satsim::virtual_serial_pair _pair;
    std::unique_ptr<satsim::xband_transmitter> _tx;
    std::unique_ptr<api::proto::media> _port;
    std::unique_ptr<api::proto::kq_module> _module;
};

} // namespace kq::testing
