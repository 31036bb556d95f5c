#include "cp_worker.h"

#include "panelkit/monitor_sampler.h"
#include "panelkit/param_history.h"

#include <QElapsedTimer>

#include <algorithm>

namespace radcfg {

cp_worker::cp_worker(QObject* parent, kq::api::proto::kq_module* module)
    : kq::gui::sat_worker(parent, module)
{
    connect(this, &cp_worker::monitor, this, &cp_worker::_monitor);
}

void cp_worker::post(operation_type_e op, std::function<void()> body)
{
    QMetaObject::invokeMethod(
        this, [this, op, body = std::move(body)] { _connect_exec_disconnect(op, body); },
        Qt::QueuedConnection);
}

void cp_worker::_record_snapshot(const QString& reason,
                                 const std::function<kq::gui::param_snapshot()>& backup)
{
    kq::api::proto::error_descriptor failure;
    const bool ok = _guarded(
        [&] {
            kq::gui::param_snapshot s = backup();
            s.reason = reason;
            kq::gui::param_history(s.module, s.address).record(s);
        },
        failure);
    if (!ok)
        emit notice(tr("no snapshot %1: %2").arg(reason, failure.get_message()));
}

void cp_worker::_monitor(const QStringList& names, int interval_ms)
{
    _connect_exec_disconnect(MONITOR, [&] {
        const kq::gui::monitor_sampler sampler(names);
        QElapsedTimer clock;
        clock.start();
        int64_t due = 0;
        while (_pause(due - clock.elapsed())) {
            QString problem;
            const QVector<double> values = sampler.sample(*_module, &problem);
            emit sampled(QDateTime::currentDateTimeUtc(), values, problem);
            due = kq::gui::monitor_sampler::next_due_ms(due, clock.elapsed(), interval_ms);
        }
    });
}

} // namespace radcfg
