#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

namespace kq::api::proto {
class fsps_module;
}

namespace kq::gui {

// One of the FSPS module's values: parsed (checked before anything is
// sent), written, and read back (the module answers a single digit).
struct PANELKIT_EXPORT fsps_param_t
{
    QString name;    // "rf"
    QString command; // the driver's command that sets it, "fsps-rf"
    QString help;
    std::function<QVariant(const QString&)> parse; // throws param_value_error
    std::function<void(api::proto::fsps_module&, const QVariant&)> write;
    std::function<unsigned(api::proto::fsps_module&)> read;
};

PANELKIT_EXPORT const QVector<fsps_param_t>& fsps_params();
PANELKIT_EXPORT const fsps_param_t* find_fsps_param(const QString& name);

} // namespace kq::gui
