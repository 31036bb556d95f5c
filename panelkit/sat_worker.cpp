#include "panelkit/sat_worker.h"
#include "panelkit/module_settings.h"

#include "satcmd/kq_module.h"

#include <QSettings>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::gui {

using namespace api::proto;

sat_worker::sat_worker(QObject* parent, kq_module* module)
    : QObject(parent)
    , _module(module)
{
    // The requests and notifications cross threads queued.
    qRegisterMetaType<QVector<uint32_t>>("QVector<uint32_t>");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<param_pairs_t>();
    qRegisterMetaType<error_descriptor>();
    qRegisterMetaType<connection_state_e>();
    qRegisterMetaType<operation_type_e>();
    qRegisterMetaType<operation_status_e>();
    connect(this, &sat_worker::connect_module, this, &sat_worker::_connect_module);
    connect(this, &sat_worker::disconnect_module, this, &sat_worker::_disconnect_module);
    connect(this, &sat_worker::get_params, this, &sat_worker::_get_params);
    connect(this, &sat_worker::set_params, this, &sat_worker::_set_params);
}

sat_worker::~sat_worker() = default;

void sat_worker::stop()
{
    if (!_running.exchange(false))
        return;
    _module->stop_request();
    const QMutexLocker locker(&_mutex);
    _wait_condition.wakeAll();
}

void sat_worker::set_persistent(bool persistent)
{
    _module->set_persistent(persistent);
}

void sat_worker::_set_module_config()
{
    _config = module_config_from_settings(QSettings());
    _module->set_module_config(_config);
}

bool sat_worker::_connect_module()
{
    _running.store(true);
    _set_connection_state(connecting);
    try {
        _module->connect();
        _set_connection_state(connected);
        return true;
    } catch (const media_exception& e) {
        _emit_on_connection_error(error_descriptor(&e, nullptr, nullptr));
        if (e.get_type() != media_exception::timeout) {
            _set_connection_state(disconnected);
            return false;
        }
        if (!_running.load())
            return false; // stopped by the user: the state stays
        if (_module->get_connect_props().route.size() < 2) {
            _set_connection_state(disconnected);
            return false;
        }
        // Through a radio hop the relays' pipes may still be open: wait for
        // them to lapse before the next command goes out.
        _set_connection_state(pipe_drain);
        _pause(_config.timeout_pipe);
        _set_connection_state(disconnected);
        return false;
    } catch (...) {
        _emit_on_connection_error(error_descriptor::of_current_exception());
    }
    _set_connection_state(disconnected);
    return false;
}

bool sat_worker::_pause(int64_t ms)
{
    QMutexLocker locker(&_mutex);
    if (_running.load() && ms > 0)
        _wait_condition.wait(&_mutex, static_cast<unsigned long>(ms));
    return _running.load();
}

void sat_worker::_disconnect_module()
{
    try {
        _module->disconnect();
    } catch (...) {
        _emit_on_connection_error(error_descriptor::of_current_exception());
    }
    _set_connection_state(disconnected);
}

bool sat_worker::_try_exec_func(operation_type_e, const std::function<void()>& fn)
{
    if (!_running.load())
        return false;
    if (!fn)
        return true;
    error_descriptor failure;
    if (_guarded(fn, failure))
        return true;
    _emit_on_connection_error(failure);
    return false;
}

void sat_worker::_connect_exec_disconnect(operation_type_e op, const std::function<void()>& fn)
{
    _emit_on_operation_control(op, begin);
    error_descriptor failure;
    const bool completed = _guarded(
        [&] {
            _set_module_config(); // a refused setting ends the operation here
            if (_connect_module() && _running.load() &&
                _try_exec_func(op, [this] { _execute_pre_ops(); }) && _running.load() &&
                _try_exec_func(op, fn))
                _try_exec_func(op, [this] { _execute_post_ops(); });
            _disconnect_module();
        },
        failure);
    if (!completed)
        _emit_on_operation_error(op, failure);
    // Not running once it has ended, stopped or not: a later stop() has
    // nothing to stop, and the panel that sees the end sees it idle.
    _running.store(false);
    _emit_on_operation_control(op, end);
}

void sat_worker::_try_exec_op(operation_type_e op, std::function<void()> fn)
{
    if (!_running.load())
        return;
    error_descriptor failure;
    if (!_guarded(
            [&] {
                _set_module_config();
                fn(); // an empty function throws std::bad_function_call
            },
            failure))
        _emit_on_operation_error(op, failure);
}

void sat_worker::_get_params(const QVector<uint32_t>& params)
{
    _connect_exec_disconnect(READ, [this, params] {
        bool answered = false;
        for (const uint32_t id : params) {
            if (!_running.load())
                return;
            error_descriptor failure;
            if (_try_get_param(id, &failure)) {
                answered = true;
                continue;
            }
            // Nothing has answered and this went unanswered: the connection
            // itself is silent, and every other read would only wait out its
            // own timeout.
            if (!answered && (failure.get_media_error() == media_exception::timeout ||
                              failure.get_proto_error() == proto_exception::no_answer))
                return;
        }
    });
}

void sat_worker::_set_params(const param_pairs_t& params)
{
    _connect_exec_disconnect(WRITE, [this, params] {
        for (const auto& p : params) {
            if (!_running.load())
                return;
            _try_set_param(p.first, p.second);
        }
    });
}

bool sat_worker::_try_get_param(uint32_t id, error_descriptor* failure)
{
    if (!_running.load())
        return false;
    error_descriptor why;
    if (_guarded([&] { _get_param(id); }, why))
        return true;
    emit on_get_param_request_error(id, why);
    if (failure)
        *failure = why;
    return false;
}

bool sat_worker::_try_set_param(uint32_t id, const QVariant& value)
{
    if (!_running.load())
        return false;
    error_descriptor failure;
    if (_guarded([&] { _set_param(id, value); }, failure))
        return true;
    emit on_set_param_request_error(id, failure);
    return false;
}

void sat_worker::_execute_pre_ops()
{
}

void sat_worker::_execute_post_ops()
{
}

void sat_worker::_cache_parameter_and_emit_signal(uint32_t id, const QVariant& value,
                                                  bool emit_signal)
{
    _cache.insert(id, qMakePair(QDateTime::currentDateTime(), value));
    if (emit_signal)
        emit on_get_param(id, value);
}

bool sat_worker::_emit_param_value_from_cache(uint32_t id)
{
    const auto it = _cache.constFind(id);
    if (it == _cache.constEnd())
        return false;
    const qint64 age =
        QDateTime::currentDateTime().toSecsSinceEpoch() - it.value().first.toSecsSinceEpoch();
    if (age > 1)
        return false;
    emit on_get_param(id, it.value().second);
    return true;
}

void sat_worker::_age_cache_entry(uint32_t id, const QDateTime& stored)
{
    if (_cache.contains(id))
        _cache[id].first = stored;
}

void sat_worker::_set_connection_state(connection_state_e state)
{
    _connection_state = state;
    emit on_connection_state(state);
}

void sat_worker::_emit_on_connection_error(const error_descriptor& failure)
{
    emit on_connection_error(failure);
}

void sat_worker::_emit_on_operation_control(operation_type_e op, operation_status_e status)
{
    emit on_operation_control(op, status);
}

void sat_worker::_emit_on_operation_error(operation_type_e op, const error_descriptor& failure)
{
    emit on_operation_error(op, failure);
}

} // namespace kq::gui

QT_WARNING_POP
