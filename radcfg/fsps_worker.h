#pragma once

#include "cp_worker.h"

namespace kq::api::proto {
class fsps_module;
}

namespace radcfg {

// The FSPS panel's module calls: its two values by id (1 RF value,
// 2 attenuation, the order of the shared table), each written value read
// back as the module reports it.
class fsps_worker : public cp_worker
{
    Q_OBJECT

public:
    fsps_worker(QObject* parent, kq::api::proto::fsps_module* module);

protected:
    void _get_param(uint32_t id) override;
    void _set_param(uint32_t id, const QVariant& value) override;
};

} // namespace radcfg
