#include "ax25_worker.h"

#include "satcmd/uhf_module.h"

namespace radcfg {

ax25_worker::ax25_worker(QObject* parent, kq::api::proto::uhf_module* module)
    : cp_worker(parent, module)
    , _uhf(module)
{
    connect(this, &ax25_worker::start_ax25_loop, this, &ax25_worker::_start_ax25_loop);
}

void ax25_worker::_start_ax25_loop()
{
    _connect_exec_disconnect(READ, [this] { _uhf->ax25_beacon_loop(_running_flag()); });
}

} // namespace radcfg
