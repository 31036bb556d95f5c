#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>
#include <QVector>

#include <functional>

namespace kq::api::proto {
struct xband_full_report_t;
struct xband_simple_report_t;
} // namespace kq::api::proto

namespace kq::gui {

// One field of the X-band transmitter's reports, named and in its unit, as
// the panel, the driver and the monitor show it. The simple report carries
// the first four fields, the full report all of them.
struct PANELKIT_EXPORT xband_report_field_t
{
    QString name;    // "board-temp"
    QString caption; // "Board temperature"
    QString unit;    // "°C"; empty for codes and counts
    bool in_simple;
    bool is_float;
    std::function<double(const api::proto::xband_full_report_t&)> value;

    // The value with its unit ("21.50 °C", "state 1 (transmitting)").
    QString text(const api::proto::xband_full_report_t& report) const;
};

PANELKIT_EXPORT const QVector<xband_report_field_t>& xband_report_fields();
PANELKIT_EXPORT const xband_report_field_t* find_xband_report_field(const QString& name);
// The simple report's fields in a full record, the others zero.
PANELKIT_EXPORT api::proto::xband_full_report_t
widen(const api::proto::xband_simple_report_t& simple);
// The transmitter's operating state (the report's first byte) in words.
PANELKIT_EXPORT QString xband_state_text(int state);

} // namespace kq::gui
