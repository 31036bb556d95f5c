#pragma once

#include "panelkit/sat_worker.h"

namespace radcfg {

// The application's worker base: the panels' workers derive from it.
class cp_worker : public kq::gui::sat_worker
{
    Q_OBJECT

public:
    cp_worker(QObject* parent, kq::api::proto::kq_module* module);
};

} // namespace radcfg
