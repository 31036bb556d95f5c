#pragma once

#include "param_panel.h"

namespace kq::api::proto {
class fsps_module;
}

namespace radcfg {

class fsps_worker;

// The FSPS module: its RF value and attenuation, read and written.
class fsps_widget : public param_panel
{
    Q_OBJECT

public:
    fsps_widget(QWidget* parent, kq::api::proto::fsps_module* module);

private:
    void _set_controls_enabled(bool enabled) override { _set_param_controls_enabled(enabled); }
};

} // namespace radcfg
