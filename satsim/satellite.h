#pragma once

#include "fsps_unit.h"
#include "obc_computer.h"
#include "sim_link.h"
#include "uhf_transceiver.h"
#include "virtual_serial_pair.h"

#include <mutex>

#include <utility>

namespace kq::satsim {

// The simulated satellite: behind one serial port the local transceiver on
// the wire, over the air the remote transceiver and behind it the on-board
// computer; behind a second port the FSPS module.
class satellite
{
public:
    explicit satellite(uint8_t local_address = 0x22, uint8_t remote_address = 0x23,
                       uint8_t obc_address = 0x11, const QString& store_dir = QString());
    ~satellite();

    QString port_name() const { return _pair.port_name(); }
    sim_link& link() { return _link; }
    // Pacing of the links as real hardware would (off by default).
    void set_pacing(bool on, int serial_baud = 115200);
    int64_t paced_us();
    QString fsps_port_name() const { return _fsps_pair.port_name(); }
    sim_link& fsps_link() { return _fsps_link; }

    // Runs f on a module's state under the simulator's lock.
    template<typename F>
    auto with_local(F&& f)
    {
        const std::lock_guard<std::mutex> locker(_lock);
        return std::forward<F>(f)(_local);
    }
    template<typename F>
    auto with_remote(F&& f)
    {
        const std::lock_guard<std::mutex> locker(_lock);
        return std::forward<F>(f)(_remote);
    }
    template<typename F>
    auto with_obc(F&& f)
    {
        const std::lock_guard<std::mutex> locker(_lock);
        return std::forward<F>(f)(_obc);
    }
    template<typename F>
    auto with_fsps(F&& f)
    {
        const std::lock_guard<std::mutex> locker(_lock);
        return std::forward<F>(f)(_fsps);
    }

private:
    std::mutex _lock;
    pacer _pacer;
    virtual_serial_pair _pair;
    uhf_transceiver _local;
    uhf_transceiver _remote;
    obc_computer _obc;
    sim_link _link;
    virtual_serial_pair _fsps_pair;
    fsps_unit _fsps;
    sim_link _fsps_link;
};

} // namespace kq::satsim
