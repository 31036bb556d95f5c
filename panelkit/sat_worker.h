#pragma once

#include "panelkit/panelkit_global.h"
#include "satcmd/error_descriptor.h"
#include "satcmd/module_config.h"

#include <QDateTime>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QVariant>
#include <QVector>
#include <QWaitCondition>

#include <atomic>
#include <cstdint>
#include <functional>

namespace kq::api::proto {
class kq_module;
}

namespace kq::gui {

// Runs a panel's module operations in the thread it is moved to. Every
// operation gets the same frame: timing from the settings into the module,
// connect, pre-operations, the body, post-operations, disconnect, begin and
// end reported. Results and failures travel back as signals; nothing here
// throws to the caller. stop() may be called from any thread.
class PANELKIT_EXPORT sat_worker : public QObject
{
    Q_OBJECT

public:
    enum connection_state_e : int {
        connecting = 0,
        connected = 1,
        disconnected = 2,
        pipe_drain = 3,
        error = 4,
    };
    Q_ENUM(connection_state_e)
    enum operation_type_e : int {
        READ = 0,
        WRITE = 1,
        RESET = 2,
        FLASH = 3,
        UPLOAD = 4,
        DOWNLOAD = 5,
        AX25_BEACON = 6,
        ERASE = 7,
        DIR = 8,
        MONITOR = 9, // values sampled at an interval until stopped
        LISTEN = 10, // free text lines heard until stopped
    };
    Q_ENUM(operation_type_e)
    enum operation_status_e : int { begin = 0, end = 1, failed = 2 };
    Q_ENUM(operation_status_e)

    using param_pairs_t = QVector<QPair<uint32_t, QVariant>>;

    sat_worker(QObject* parent, api::proto::kq_module* module);
    ~sat_worker() override;

    virtual void stop();
    void set_persistent(bool persistent);
    // True while an operation runs and has not been stopped.
    bool is_running() const { return _running.load(); }
    connection_state_e get_connection_state() const { return _connection_state; }
    const api::proto::module_config_t& get_module_config() const { return _config; }

signals:
    void connect_module();
    void disconnect_module();
    void get_params(const QVector<uint32_t>& params);
    void set_params(const kq::gui::sat_worker::param_pairs_t& params);
    void on_connection_state(kq::gui::sat_worker::connection_state_e state);
    void on_connection_error(const kq::api::proto::error_descriptor& error);
    void on_operation_control(kq::gui::sat_worker::operation_type_e op,
                              kq::gui::sat_worker::operation_status_e status);
    void on_operation_error(kq::gui::sat_worker::operation_type_e op,
                            const kq::api::proto::error_descriptor& error);
    void on_get_param(uint32_t id, const QVariant& value);
    void on_get_param_request_error(uint32_t id, const kq::api::proto::error_descriptor& error);
    void on_set_param(uint32_t id, const QVariant& value);
    void on_set_param_request_error(uint32_t id, const kq::api::proto::error_descriptor& error);

protected slots:
    virtual bool _connect_module();
    virtual void _disconnect_module();
    virtual void _get_params(const QVector<uint32_t>& params);
    virtual void _set_params(const kq::gui::sat_worker::param_pairs_t& params);
    virtual void _cache_parameter_and_emit_signal(uint32_t id, const QVariant& value,
                                                  bool emit_signal = true);

protected:
    // False when the read failed (and was reported); `failure` receives why.
    virtual bool _try_get_param(uint32_t id, api::proto::error_descriptor* failure = nullptr);
    virtual void _get_param(uint32_t id) = 0;
    virtual void _set_module_config();
    // False when the write failed (and was reported).
    virtual bool _try_set_param(uint32_t id, const QVariant& value);
    virtual void _set_param(uint32_t id, const QVariant& value) = 0;
    virtual bool _try_exec_func(operation_type_e op, const std::function<void()>& fn);
    virtual void _connect_exec_disconnect(operation_type_e op, const std::function<void()>& fn);
    virtual void _try_exec_op(operation_type_e op, std::function<void()> fn);
    virtual void _execute_pre_ops();
    virtual void _execute_post_ops();
    virtual bool _emit_param_value_from_cache(uint32_t id);
    virtual void _set_connection_state(connection_state_e state);
    virtual void _emit_on_connection_error(const api::proto::error_descriptor& failure);
    virtual void _emit_on_operation_control(operation_type_e op, operation_status_e status);
    virtual void _emit_on_operation_error(operation_type_e op,
                                          const api::proto::error_descriptor& failure);

    // Runs f; false with the failure's descriptor when it threw. Exceptions
    // that are not std::exceptions pass through.
    template<typename F>
    static bool _guarded(F&& f, api::proto::error_descriptor& failure);

    // When the cache entry for id was stored; tests move it into the past.
    void _age_cache_entry(uint32_t id, const QDateTime& stored);

    // Waits ms, or less when stop() comes; false once stopped.
    bool _pause(int64_t ms);

    // The flag the module's long loops watch; stop() clears it.
    std::atomic<bool>& _running_flag() { return _running; }

    api::proto::kq_module* _module;

private:
    std::atomic<bool> _running{false};
    QMutex _mutex;
    QWaitCondition _wait_condition;
    api::proto::module_config_t _config;
    QMap<uint32_t, QPair<QDateTime, QVariant>> _cache;
    connection_state_e _connection_state = disconnected;
};

template<typename F>
bool sat_worker::_guarded(F&& f, api::proto::error_descriptor& failure)
{
    using namespace api::proto;
    try {
        f();
        return true;
    } catch (...) {
        failure = error_descriptor::of_current_exception();
    }
    return false;
}

} // namespace kq::gui

Q_DECLARE_METATYPE(kq::gui::sat_worker::param_pairs_t)
