#include "cp_worker.h"

namespace radcfg {

cp_worker::cp_worker(QObject* parent, kq::api::proto::kq_module* module)
    : kq::gui::sat_worker(parent, module)
{
}

} // namespace radcfg
