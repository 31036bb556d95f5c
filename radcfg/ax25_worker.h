#pragma once

#include "cp_worker.h"

namespace kq::api::proto {
class uhf_module;
}

namespace radcfg {

// Listens for AX.25 beacons through the transceiver in the worker thread
// until stopped.
class ax25_worker : public cp_worker
{
    Q_OBJECT

public:
    ax25_worker(QObject* parent, kq::api::proto::uhf_module* module);

signals:
    void start_ax25_loop();

private slots:
    void _start_ax25_loop();

protected:
    void _get_param(uint32_t) override {}
    void _set_param(uint32_t, const QVariant&) override {}

private:
    kq::api::proto::uhf_module* _uhf;
};

} // namespace radcfg
