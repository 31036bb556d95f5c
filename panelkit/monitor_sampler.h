#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

class QDateTime;

namespace kq::api::proto {
class kq_module;
}

namespace kq::gui {

// Values watched over time: the transceiver's RSSI, packet counters, CRC
// errors and uptime, or the fields of the X-band transmitter's full report.
// The driver's monitor and the panels' plots sample through it, so both
// show the same series; its CSV has a row per sample, the time (UTC, ISO
// 8601 with milliseconds) first.
class PANELKIT_EXPORT monitor_sampler
{
public:
    enum class device_e { uhf, xband };
    struct series_t
    {
        QString name; // "rssi", "board-temp"
        QString caption;
        QString unit;
        device_e device;
    };

    static const QVector<series_t>& all_series();
    static QStringList names(device_e device);

    // Throws param_value_error for an unknown name or names of two devices.
    explicit monitor_sampler(const QStringList& wanted);

    device_e device() const { return _device; }
    const QVector<series_t>& chosen() const { return _chosen; }

    // One value per chosen series, NaN for one the module did not give
    // (`problem` then says why). A stop or a broken port is thrown.
    QVector<double> sample(api::proto::kq_module& module, QString* problem = nullptr) const;

    QString csv_header() const;
    QString csv_row(const QDateTime& time, const QVector<double>& values) const;
    // One value of a row; empty for a value without an answer.
    static QString csv_cell(double v);
    // When the sample after the one due at `due_ms` is due, on the grid of
    // `interval_ms` from the first: the next slot, or after a sample that
    // overran it (a slow or stalled link, done at `now_ms`) the first slot
    // at least half an interval ahead. Missed slots are skipped, never made
    // up in a burst of rows a millisecond apart.
    static int64_t next_due_ms(int64_t due_ms, int64_t now_ms, int64_t interval_ms);

private:
    QVector<series_t> _chosen;
    device_e _device = device_e::uhf;
};

} // namespace kq::gui
