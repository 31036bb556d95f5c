#pragma once

#include "panelkit/param_file.h"
#include "panelkit/sat_worker.h"

#include <QDateTime>
#include <QStringList>
#include <QVector>

#include <functional>

namespace radcfg {

// The application's worker base: the panels' workers derive from it. It
// also runs the monitor: values sampled at an interval over one connection
// until stop().
class cp_worker : public kq::gui::sat_worker
{
    Q_OBJECT

public:
    cp_worker(QObject* parent, kq::api::proto::kq_module* module);

    // Runs `body` as one operation in the worker's thread (queued from any
    // thread): connected, reported, stoppable.
    void post(operation_type_e op, std::function<void()> body);

signals:
    // What the user should know beside the results ("no snapshot ...").
    void notice(const QString& text);
    void monitor(const QStringList& names, int interval_ms);
    // One sample; NaN where no value came (`problem` says why).
    void sampled(const QDateTime& time, const QVector<double>& values, const QString& problem);

protected:
    // Keeps the device's parameters in its history before they change; a
    // device that cannot be read is changed all the same, with a notice.
    void _record_snapshot(const QString& reason,
                          const std::function<kq::gui::param_snapshot()>& backup);

private slots:
    void _monitor(const QStringList& names, int interval_ms);
};

} // namespace radcfg
