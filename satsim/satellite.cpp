#include "satellite.h"

namespace kq::satsim {

satellite::satellite(uint8_t local_address, uint8_t remote_address, uint8_t obc_address,
                     const QString& store_dir)
    : _local(local_address, true)
    , _remote(remote_address, false)
    , _obc(obc_address, store_dir)
    , _link(_pair, _local, _lock, &_pacer)
    , _fsps_link(_fsps_pair, _fsps, _lock)
{
    _local.set_far_side(&_remote);
    _remote.set_far_side(&_obc);
    _local.set_pacer(&_pacer); // the radio hop; the computer sits on the remote's own bus
    _remote.state().rssi = 0x9A;
    _link.start();
    _fsps_link.start();
}

void satellite::set_pacing(bool on, int serial_baud)
{
    const std::lock_guard<std::mutex> locker(_lock);
    _pacer.set(on, serial_baud);
}

int64_t satellite::paced_us()
{
    const std::lock_guard<std::mutex> locker(_lock);
    return _pacer.total_us();
}

satellite::~satellite()
{
    _link.stop();
    _fsps_link.stop();
}

} // namespace kq::satsim
