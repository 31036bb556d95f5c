#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/module_config.h"
#include "satellite.h"

#include <memory>

namespace kq::api::proto {
class kq_module;
class media;
} // namespace kq::api::proto

namespace kq::testing {

// The simulated satellite with a real serial port open on it and a module of
// the given type made by the factory for a route, with quick timings.
class sim_session
{
public:
    sim_session(api::proto::module_type_e type, const api::proto::route_t& route,
                bool fsps_port = false, uint8_t local_address = 0x22);
    ~sim_session();

    satsim::satellite& sat() { return *_sat; }
    api::proto::media& port() { return *_port; }
    template<typename M>
    M& module()
    {
        return dynamic_cast<M&>(*_module);
    }
    api::proto::kq_module& base() { return *_module; }
    void configure(const api::proto::module_config_t& config);
    // Writes a line of the test's own through the port and waits until the
    // simulator has it: lines arrive in order, so the ones before it are all
    // the module had written. Their number, or -1 when the marker did not
    // arrive within the port's timeout.
    int lines_before_marker();

    static api::proto::module_config_t quick_config();
    static api::proto::module_connect_props_t
    hop(unsigned addr, int role, api::proto::module_type_e type = api::proto::module_type_uhf);
    // The routes the tests use: the wire transceiver alone, the far
    // transceiver through the wire one, the computer through both.
    static api::proto::route_t uhf_direct();
    static api::proto::route_t uhf_relayed();
    static api::proto::route_t obc_two_relays();

private:
    std::unique_ptr<satsim::satellite> _sat;
    std::unique_ptr<api::proto::media> _port;
    std::unique_ptr<api::proto::kq_module> _module;
};

} // namespace kq::testing
