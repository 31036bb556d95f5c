#include "panelkit/monitor_sampler.h"

#include "panelkit/uhf_params.h"
#include "panelkit/xband_report.h"
#include "satcmd/proto_exception.h"
#include "satcmd/uhf_module.h"
#include "satcmd/xband_module.h"
#include "serline/media_exception.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kq::gui {

using namespace api::proto;

namespace {

constexpr double none = std::numeric_limits<double>::quiet_NaN();

const QStringList uhf_names{QStringLiteral("rssi"), QStringLiteral("rx-packets"),
                            QStringLiteral("rx-crc-errors"), QStringLiteral("tx-packets"),
                            QStringLiteral("uptime")};

QVector<monitor_sampler::series_t> make_series()
{
    QVector<monitor_sampler::series_t> all;
    for (const QString& name : uhf_names) {
        const uhf_param_t* p = find_uhf_param(name);
        const QString unit = name == QLatin1String("uptime") ? QStringLiteral("s") : QString();
        all.append({name, p->caption, unit, monitor_sampler::device_e::uhf});
    }
    for (const xband_report_field_t& f : xband_report_fields())
        all.append({f.name, f.caption, f.unit, monitor_sampler::device_e::xband});
    return all;
}

// Runs a read; a refusal or a lost answer is a missing value, a stop or a
// broken port ends the monitor.
template<typename F>
bool read_value(F&& read, QString* problem)
{
    try {
        read();
        return true;
    } catch (const proto_exception& e) {
        if (problem)
            *problem = QString::fromStdString(e.what());
    } catch (const media_exception& e) {
        if (e.get_type() != media_exception::timeout)
            throw;
        if (problem)
            *problem = QStringLiteral("no answer");
    }
    return false;
}

} // namespace

const QVector<monitor_sampler::series_t>& monitor_sampler::all_series()
{
    static const QVector<series_t> table = make_series();
    return table;
}

QStringList monitor_sampler::names(device_e device)
{
    QStringList out;
    for (const series_t& s : all_series()) {
        if (s.device == device)
            out << s.name;
    }
    return out;
}

monitor_sampler::monitor_sampler(const QStringList& wanted)
{
    for (const QString& name : wanted) {
        const auto it = std::find_if(all_series().cbegin(), all_series().cend(),
                                     [&name](const series_t& s) { return s.name == name; });
        if (it == all_series().cend())
            throw param_value_error(
                QStringLiteral("'%1' is not a watched value; the transceiver's: %2; the X-band "
                               "transmitter's: %3")
                    .arg(name, names(device_e::uhf).join(QStringLiteral(", ")),
                         names(device_e::xband).join(QStringLiteral(", ")))
                    .toStdString());
        if (!_chosen.isEmpty() && it->device != _chosen.first().device)
            throw param_value_error(
                QStringLiteral("'%1' is not a value of the %2: one device at a time")
                    .arg(name, _chosen.first().device == device_e::uhf
                                   ? QStringLiteral("transceiver")
                                   : QStringLiteral("X-band transmitter"))
                    .toStdString());
        _chosen.append(*it);
    }
    if (_chosen.isEmpty())
        throw param_value_error("no value chosen to watch");
    _device = _chosen.first().device;
}

QVector<double> monitor_sampler::sample(kq_module& module, QString* problem) const
{
    QVector<double> values(_chosen.size(), none);
    if (_device == device_e::xband) {
        xband_full_report_t report;
        if (!read_value([&] { report = dynamic_cast<xband_module&>(module).get_full_report(); },
                        problem))
            return values;
        for (int i = 0; i < _chosen.size(); ++i)
            values[i] = find_xband_report_field(_chosen.at(i).name)->value(report);
        return values;
    }
    // The RSSI is the one measured with the last answer: read after the
    // other values, or after the cheapest read when it is alone.
    auto& uhf = dynamic_cast<uhf_module&>(module);
    int rssi = -1;
    bool answered = false;
    for (int i = 0; i < _chosen.size(); ++i) {
        if (_chosen.at(i).name == QLatin1String("rssi")) {
            rssi = i;
            continue;
        }
        const uhf_param_t* p = find_uhf_param(_chosen.at(i).name);
        answered |= read_value([&] { values[i] = p->read(uhf, nullptr).toDouble(); }, problem);
    }
    if (rssi < 0)
        return values;
    if (_chosen.size() == 1)
        answered = read_value([&] { uhf.get_uptime(); }, problem);
    if (answered) // else the last RSSI is an old one
        values[rssi] = uhf.get_rssi();
    return values;
}

int64_t monitor_sampler::next_due_ms(int64_t due_ms, int64_t now_ms, int64_t interval_ms)
{
    const int64_t step = std::max<int64_t>(1, interval_ms);
    const int64_t earliest = now_ms + step / 2;
    if (due_ms + step >= earliest)
        return due_ms + step;
    return due_ms + (earliest - due_ms + step - 1) / step * step;
}

QString monitor_sampler::csv_header() const
{
    QStringList cells{QStringLiteral("time")};
    for (const series_t& s : _chosen)
        cells << s.name;
    return cells.join(QLatin1Char(','));
}

// The transmitter's readings are single-precision: such a value is written
// with the fewest digits that read back as the same float ("5.02", not
// "5.019999981"); whole numbers and others as before.
QString monitor_sampler::csv_cell(double v)
{
    if (std::isnan(v))
        return QString();
    const float f = float(v);
    if (double(f) == v && v != std::trunc(v)) {
        for (int digits = 1; digits <= 9; ++digits) {
            const QString text = QString::number(v, 'g', digits);
            if (float(text.toDouble()) == f)
                return text;
        }
    }
    return QString::number(v, 'g', 10);
}

QString monitor_sampler::csv_row(const QDateTime& time, const QVector<double>& values) const
{
    QStringList cells{time.toUTC().toString(Qt::ISODateWithMs)};
    for (const double v : values)
        cells << csv_cell(v);
    return cells.join(QLatin1Char(','));
}

} // namespace kq::gui
