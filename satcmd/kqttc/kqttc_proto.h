#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/kq_module.h"
#include "satcmd/link_timing.h"
#include "satcmd/module_config.h"
#include "satcmd/module_types.h"
#include "satcmd/proto_exception.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/scw_properties.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QRecursiveMutex>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace kq::api::proto {
class media;
}

// The route is the design's QLinkedList (deprecated in Qt 5.15).
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

class kqttc_request;
class kqttc_response;

// The engine every text command travels through: frames the request, writes
// it, reads and checks the answer, repeats within the response's budget, and
// serialises commands on the module's mutex. It also prepares the relays of
// a route so that commands for a module behind the radio link reach it.
//
// An answer belongs to the command that asked for it. The protocol carries
// no sequence numbers, so the engine keeps count of the answers its attempts
// still owe: an attempt that gave up may be answered late. Before the next
// command (and before the port closes) a probe makes the line clean: an
// exchange whose answer no owed command could give, before which everything
// is dropped (kqttc_proto_sync.cpp); where there is none, the owed answers
// are awaited until twice the attempt's timeout after it was sent. After any
// fault the line is let fall quiet and everything on it dropped, partial
// lines included. An answer the
// command has taken may be followed by an earlier attempt's late one, which
// the response may still refuse (a late refusal of a firmware record). On
// the clean path none of this costs anything but dropping what is left.
// The port does not close with answers owed either: they are awaited first.
class SATCMD_EXPORT kqttc_proto
{
public:
    // `events` is the module this engine serves: traffic and waiting are
    // reported through its signals.
    kqttc_proto(kq_module& events, media* m, const connect_props_t& props, QRecursiveMutex& mutex);
    virtual ~kqttc_proto();
    kqttc_proto(const kqttc_proto&) = delete;
    kqttc_proto& operator=(const kqttc_proto&) = delete;

    void exec_command(kqttc_request* request, kqttc_response* response);
    void exec_command_atomic(kqttc_request* request, kqttc_response* response);

    bool is_alive(const module_connect_props_t& hop);
    void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                       bool probe, bool call_hooks);
    void connect_pipe_only();
    void ensure_restore_pipe();
    // Before the port closes: the answers still owed are awaited within
    // their bound and dropped, with whatever else the line holds, so that
    // the next connection (the next run of a program too) does not start
    // with them. Never throws; a stop ends it.
    void settle_line();

    unsigned char get_pipe_timeout();
    void set_pipe_timeout(unsigned char seconds);
    unsigned short get_payload_size();
    unsigned char get_rssi() const { return _last_rssi; }
    scw_properties& get_scw();
    void set_scw(scw_properties& scw);
    void set_module_config_sat(const module_config_t& config);
    const module_config_t& get_module_config_sat() const { return _config; }

    virtual void sat_set_rf(unsigned long long frequency_hz);
    virtual void sat_set_tx_power(tx_power_e power);
    virtual unsigned int sat_get_rf();
    virtual void keep_alive();

protected:
    // Every frame sent and line received, for the traffic views.
    void _handle_debug(flow_direction_e direction, const QString& message);
    // True when keep_alive() does something, so that waiting for an
    // on-board computer makes sense.
    virtual bool _has_keep_alive() const { return false; }
    // The module this engine drives, for the addresses not on its route.
    virtual module_type_e _own_module_type() const { return module_type_none; }

    // Runs one command of this engine: request and response built with the
    // current device address.
    template<typename Req, typename Res, typename... Args>
    Res _run(Args&&... args)
    {
        Req request(_device_address, std::forward<Args>(args)...);
        Res response(&request);
        exec_command(&request, &response);
        return response;
    }

    // While the route is searched, commands to addresses that may hold no
    // module owe answers that are awaited, never probed for.
    auto _searching_route()
    {
        _probing = false;
        return qScopeGuard([this] { _probing = true; });
    }

    void _remember_rssi(int rssi) { _last_rssi = static_cast<unsigned char>(rssi); }
    void _set_route(const route_t& route) { _route = route; }

    media* _media;
    unsigned int _device_address = 0;

private:
    QByteArray _frame_bytes(kqttc_request& request) const;
    void _write_frame(const kqttc_request& request, const QByteArray& frame);
    void _read_answer(kqttc_response& response, const QByteArray& sent, int64_t timeout_ms);
    static QString _checked(const kqttc_response& response, const QString& line);
    void _read_line_answer(kqttc_response& response, const QByteArray& sent,
                           const QDeadlineTimer& deadline);
    void _read_multi_line_answer(kqttc_response& response, int64_t timeout_ms);
    link_timing _link() const;
    int64_t _quiet_ms() const;
    int64_t _attempt_timeout(kqttc_response& response, kqttc_request* request, int frame_bytes);
    void _owe_answer(int64_t timeout_ms, const kqttc_response& response);
    void _answer_arrived(int n = 1);
    void _forget_owed();
    // After a fault: a probe whose answer cannot be taken for any other
    // makes the line clean (everything before its answer is dropped).
    // False when no probe could be sent or none was answered in time.
    struct probe_t;
    std::unique_ptr<probe_t> _next_probe(int sent) const;
    bool _synchronise(kqttc_response* late_check, bool keep_pipe);
    bool _take_probe_answer(std::vector<std::unique_ptr<probe_t>>& probes, const QString& line,
                            kqttc_response* late_check);
    void _settle_owed(kqttc_response* response, bool keep_pipe = true,
                      const kqttc_request* next = nullptr);
    void _prepare_line();
    // Bounded also by the relays' pipe lapse unless the port is closing.
    void _await_owed_answers(kqttc_response* response, bool keep_pipe = true);
    void _take_dropped(const QByteArray& dropped, kqttc_response* response);
    void _check_late_answer(kqttc_response& response, const QString& line);
    template<typename Parse>
    bool _answered_by(Parse&& parse);
    template<typename Step>
    void _waiting_loop(bool persistent, Step&& step);
    void _configure_local_relay(const module_connect_props_t& hop, bool persistent, bool probe,
                                bool call_hooks);
    int _restart_index(const route_t& route);
    unsigned char _pipe_seconds() const;

    kq_module& _events;
    std::atomic<unsigned char> _last_rssi{0}; // shown by a panel while commands run
    scw_properties _cached_scw;
    route_t _route;
    bool _persistent;
    bool _probe;
    QRecursiveMutex& _mutex;
    module_config_t _config;
    // What may still be on the line: answers owed by attempts that gave up
    // (awaited until _owed_until), and fragments after any fault.
    enum owed_kind_e { owed_line, owed_block, owed_lines };
    static owed_kind_e owed_kind(const kqttc_response& response);
    int _owed = 0;
    QStringList _owed_shapes;    // oldest first, as they come on a line that keeps their order
    bool _owed_unprobed = false; // owed by a search of the route: awaited, not probed for
    bool _probing = true;        // off while the route is searched
    bool _unsynced = false;      // a probe went unanswered: the next command probes first
    owed_kind_e _owed_kind = owed_line;
    int _owed_block = 0;
    QDeadlineTimer _owed_until;
    QDeadlineTimer _pipe_lapse{QDeadlineTimer::Forever};
    bool _line_dirty = false;
    QByteArray _last_sent;
};

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
