#pragma once

#include "panelkit/panelkit_global.h"

#include <QJsonValue>
#include <QString>
#include <QVector>

#include <functional>

namespace kq::api::proto {
class xband_module;
struct xband_all_parameters_t;
} // namespace kq::api::proto

namespace kq::gui {

// One of the X-band transmitter's parameters, as the command-line driver
// and the configuration files know it: read from the answer that carries
// them all, written one by one.
struct PANELKIT_EXPORT xband_param_t
{
    using module_t = api::proto::xband_module;
    using all_t = api::proto::xband_all_parameters_t;

    QString name;
    QString caption; // for the panel: "Central frequency (MHz)"
    double maximum;  // from 0 up to this
    bool whole;      // whole numbers only (the frequency alone takes fractions)
    std::function<QJsonValue(const all_t&)> read;
    std::function<void(module_t&, double)> write; // null: read only

    bool writable() const { return bool(write); }
    // Checked before anything is sent: throws param_value_error.
    double parse(const QString& text) const;
    double from_json(const QJsonValue& value) const;
    // The value as the transmitter holds it (the frequency as a float).
    QJsonValue stored(double value) const;
};

PANELKIT_EXPORT const QVector<xband_param_t>& xband_params();
PANELKIT_EXPORT const xband_param_t* find_xband_param(const QString& name);

} // namespace kq::gui
