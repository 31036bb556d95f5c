#include "fsps_widget.h"

#include "fsps_worker.h"

#include "satcmd/fsps_module.h"

#include <QFormLayout>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace radcfg {

fsps_widget::fsps_widget(QWidget* parent, kq::api::proto::fsps_module* module)
    : param_panel(parent, module)
{
    auto* form = new QFormLayout;
    auto* rf = new QSpinBox(this);
    rf->setObjectName(QStringLiteral("rf"));
    rf->setRange(0, std::numeric_limits<int>::max());
    auto* attenuation = new QSpinBox(this);
    attenuation->setObjectName(QStringLiteral("att"));
    attenuation->setRange(0, 63); // the module refuses more
    _add_field(form, 1, tr("RF value"), kq::gui::spinbox, rf);
    _add_field(form, 2, tr("Attenuation"), kq::gui::spinbox, attenuation);
    auto* log = new QListWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(_param_buttons(this));
    layout->addWidget(log, 1);
    _init_parameters();
    _init_log(QStringLiteral("FSPS"), log);
    _start_worker(new fsps_worker(nullptr, module));
    _enable_controls(true);
}

} // namespace radcfg
