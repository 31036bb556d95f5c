#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/module_config.h"
#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

namespace kq::api::proto {

class media;

// The common module interface. A module holds its transport (not owned) and
// the route to reach it; connect() opens the transport afresh and prepares
// every hop of the route. The mutex is recursive and shared with the
// protocol engine of the concrete class, so commands issued while connecting
// take it again in the same thread.
class SATCMD_EXPORT kq_module : public QObject
{
    Q_OBJECT

public:
    kq_module(media* m, const connect_props_t& props);
    ~kq_module() override;

    virtual void connect();
    virtual void connect(const connect_props_t& props);
    virtual void disconnect();
    virtual void stop_request();
    virtual connect_props_t get_connect_props() const;
    virtual void set_connect_props(const connect_props_t& props);
    virtual bool is_connected();
    virtual void set_module_config(const module_config_t& config);
    virtual module_config_t get_module_config() const;
    virtual void set_persistent(bool persistent);
    virtual bool is_persistent();
    virtual void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                               bool probe, bool call_hooks);

    media* get_media() const { return _media; }
    // Set by the protocol engine: settles the line before disconnect()
    // closes the port, so that no answer still owed to this connection is
    // left for the next one. It never throws.
    void set_before_close(std::function<void()> settle) { _before_close = std::move(settle); }

signals:
    void on_flash_progress(QString step, uint32_t pos, uint32_t length);
    void on_media_debug(kq::api::proto::flow_direction_e fd, QString message);
    // In persistent mode a hop that did not answer is tried again after a
    // pause: `attempt` attempts have failed in `elapsed_ms` so far.
    void on_waiting(int attempt, qint64 elapsed_ms);

protected:
    QRecursiveMutex& module_mutex() { return _mutex; }

private:
    media* _media;
    // The panel may change the route or the persistent mode from its own
    // thread while the worker connects.
    mutable std::mutex _props_lock;
    connect_props_t _props;
    std::atomic<bool> _connected{false};
    module_config_t _config = module_config_t::zero();
    QRecursiveMutex _mutex;
    std::function<void()> _before_close;
};

} // namespace kq::api::proto
