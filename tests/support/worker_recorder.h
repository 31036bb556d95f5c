#pragma once

#include "panelkit/sat_worker.h"
#include "satcmd/error_descriptor.h"

#include <QCoreApplication>
#include <QList>
#include <QObject>
#include <QPair>
#include <QThread>
#include <QVariant>

namespace kq::testing {

// Collects, in the test's thread, what a worker in its own thread reports.
struct worker_recorder : QObject
{
    using sat_worker = gui::sat_worker;
    using error_descriptor = api::proto::error_descriptor;

    QList<int> states;
    QList<QPair<int, int>> control;
    QList<error_descriptor> connection_errors, operation_errors, param_errors;
    QList<QPair<uint32_t, error_descriptor>> set_errors;
    QList<QPair<uint32_t, QVariant>> values, written;

    explicit worker_recorder(sat_worker& w)
        : _worker(&w)
    {
        connect(&w, &sat_worker::on_connection_state, this, [this](auto s) { states << int(s); });
        connect(&w, &sat_worker::on_operation_control, this, [this](auto op, auto st) {
            control.append({int(op), int(st)});
        });
        connect(&w, &sat_worker::on_connection_error, this,
                [this](const error_descriptor& d) { connection_errors << d; });
        connect(&w, &sat_worker::on_operation_error, this,
                [this](auto, const error_descriptor& d) { operation_errors << d; });
        connect(&w, &sat_worker::on_get_param_request_error, this,
                [this](uint32_t, const error_descriptor& d) { param_errors << d; });
        connect(&w, &sat_worker::on_get_param, this, [this](uint32_t id, const QVariant& v) {
            values.append({id, v});
        });
        connect(&w, &sat_worker::on_set_param, this, [this](uint32_t id, const QVariant& v) {
            written.append({id, v});
        });
        connect(&w, &sat_worker::on_set_param_request_error, this,
                [this](uint32_t id, const error_descriptor& d) {
                    set_errors.append({id, d});
                });
    }
    bool ended() const { return !control.isEmpty() && control.last().second == sat_worker::end; }
    // Returns once every call queued to the worker before it has run and
    // what the worker reported has reached this thread: an operation that a
    // click started, if any, is recorded by then. For an idle worker only.
    void settle()
    {
        if (_worker->thread() != QThread::currentThread())
            QMetaObject::invokeMethod(
                _worker, [] {}, Qt::BlockingQueuedConnection);
        QCoreApplication::sendPostedEvents();
    }
    QVariant value(uint32_t id) const
    {
        for (const auto& v : values) {
            if (v.first == id)
                return v.second;
        }
        return {};
    }

private:
    sat_worker* _worker;
};

} // namespace kq::testing
