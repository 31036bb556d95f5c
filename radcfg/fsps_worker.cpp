#include "fsps_worker.h"

#include "panelkit/fsps_params.h"
#include "satcmd/fsps_module.h"

namespace radcfg {

namespace {

const kq::gui::fsps_param_t* fsps_param_of(uint32_t id)
{
    const auto& table = kq::gui::fsps_params();
    return id >= 1 && int(id) <= table.size() ? &table.at(int(id) - 1) : nullptr;
}

} // namespace

fsps_worker::fsps_worker(QObject* parent, kq::api::proto::fsps_module* module)
    : cp_worker(parent, module)
{
}

void fsps_worker::_get_param(uint32_t id)
{
    if (const kq::gui::fsps_param_t* p = fsps_param_of(id))
        _cache_parameter_and_emit_signal(
            id, qulonglong(p->read(static_cast<kq::api::proto::fsps_module&>(*_module))));
}

void fsps_worker::_set_param(uint32_t id, const QVariant& value)
{
    const kq::gui::fsps_param_t* p = fsps_param_of(id);
    if (!p)
        return;
    auto& fsps = static_cast<kq::api::proto::fsps_module&>(*_module);
    p->write(fsps, value);
    emit on_set_param(id, value);
    _get_param(id); // what the module reports now
}

} // namespace radcfg
