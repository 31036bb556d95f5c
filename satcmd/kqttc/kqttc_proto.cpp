#include "satcmd/kqttc/kqttc_proto.h"

#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/kqttc_response.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/module_lock.h"
#include "serline/media.h"

#include <QLoggingCategory>
#include <QThread>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_kqttc, "kq.kqttc")

constexpr int64_t default_timeout_ms = 1000;

QString spaced_hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

bool is_timeout(const media_exception& e)
{
    return e.get_type() == media_exception::timeout;
}

} // namespace

kqttc_proto::kqttc_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex)
    : _media(m)
    , _route(props.route)
    , _persistent(props.persistent)
    , _probe(props.probe)
    , _mutex(mutex)
{
}

kqttc_proto::~kqttc_proto() = default;

void kqttc_proto::exec_command(kqttc_request* request, kqttc_response* response)
{
    _media->set_timeout(default_timeout_ms);
    unsigned retries = 0;
    if (response) {
        retries = response->get_command_retries(_config, request);
        _media->set_timeout(response->get_media_timeout(_config, request));
    }
    const module_lock lock(_mutex);
    for (unsigned i = 0;; ++i) {
        qCDebug(lc_kqttc, "i=%d", int(i));
        const bool last = i >= retries;
        try {
            exec_command_atomic(request, response);
            return;
        } catch (const media_exception&) {
            if (last)
                throw;
        } catch (const proto_exception& e) {
            if (last || e.get_retry_behaviour() == proto_exception::no_retry ||
                e.get_type() == proto_exception::pipe_error)
                throw;
        }
    }
}

void kqttc_proto::exec_command_atomic(kqttc_request* request, kqttc_response* response)
{
    // Stale input is dropped before a command; a round that only listens
    // (beacons, free text) keeps it, or traffic arriving between two rounds
    // would be lost.
    if (request) {
        _media->clear();
        _discard_buffered_lines();
        _write_frame(*request);
    }
    if (response)
        _read_answer(*response);
}

// Lines that came in one burst with an earlier answer (a second answer, an
// echo) would otherwise be read as the answer to this command. A zero timeout
// hands out what is buffered and fails at once when nothing is.
void kqttc_proto::_discard_buffered_lines()
{
    QString stale;
    try {
        for (;;) {
            _media->read_line(stale, "\r\n", 2048, 0);
            _handle_debug(flow_received, stale);
        }
    } catch (const media_exception& e) {
        if (!is_timeout(e))
            throw;
    }
}

void kqttc_proto::_write_frame(kqttc_request& request)
{
    if (request.get_flow_mode() == kqttc_request::flow_binary) {
        const QByteArray frame = kqttc_frame::binary_frame(request);
        if (frame.isEmpty())
            return;
        _handle_debug(flow_sent, QString::fromUtf8(frame));
        _handle_debug(flow_sent, QLatin1String("[BIN]") + spaced_hex(frame));
        _media->write(frame);
        return;
    }
    const QString frame = kqttc_frame::text_frame(request);
    _handle_debug(flow_sent, frame);
    _handle_debug(flow_sent, QLatin1String("[BIN]") + spaced_hex(frame.toLatin1()));
    _media->write_line(frame);
}

void kqttc_proto::_read_answer(kqttc_response& response)
{
    QString line;
    switch (response.get_flow_mode()) {
    case kqttc_response::flow_single_line:
        for (;;) {
            _media->read_line(line, response.get_readline_term());
            _handle_debug(flow_received, line);
            const QString prefix = kqttc_response::accepted_prefix(line);
            if (prefix.isEmpty())
                continue; // echoes, empty lines, noise
            qCDebug(lc_kqttc, "MATCH '%s' %s", qPrintable(prefix), qPrintable(line));
            response.parse_response(kqttc_frame::checked_line(line));
            return;
        }
    case kqttc_response::flow_multi_line:
        do {
            _media->read_line(line, response.get_readline_term());
            _handle_debug(flow_received, line);
        } while (!response.parse_multi_line(line));
        return;
    case kqttc_response::flow_binary_block: {
        QByteArray data;
        _media->read(data, int(response.get_binary_response_length()) + 10);
        const int nul = data.indexOf('\0');
        _handle_debug(flow_received, QString::fromUtf8(nul < 0 ? data : data.left(nul)));
        _handle_debug(flow_received, QLatin1String("[BIN]") + spaced_hex(data));
        response.parse_response(kqttc_frame::checked_block(data));
        return;
    }
    case kqttc_response::flow_binary_stream: {
        QByteArray chunk;
        do {
            _media->read_all(chunk);
        } while (!response.parse_binary_chunk(chunk));
        return;
    }
    default:
        throw std::runtime_error("kqttc_proto: unknown response flow mode");
    }
}

template<typename Step>
void kqttc_proto::_waiting_loop(bool persistent, Step&& step)
{
    for (;;) {
        try {
            step();
            return;
        } catch (const media_exception& e) {
            if (!persistent || !is_timeout(e))
                throw;
        }
        QThread::msleep(static_cast<unsigned long>(std::max(0, _config.persistent_time)));
    }
}

void kqttc_proto::configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                                bool probe, bool call_hooks)
{
    _device_address = hop.dev_addr;
    if (call_hooks && hop.on_configure)
        hop.on_configure(hop, persistent, probe);

    switch (hop.module_type) {
    case module_type_obc:
        if ((persistent || probe) && _has_keep_alive())
            _waiting_loop(persistent, [this] { keep_alive(); });
        return;
    case module_type_uhf:
        break;
    default:
        return;
    }

    switch (hop.role) {
    case role_local_relay:
        _configure_local_relay(hop, persistent, probe, call_hooks);
        return;
    case role_remote_relay:
        _waiting_loop(persistent, [this] {
            set_pipe_timeout(static_cast<unsigned char>(_config.timeout_pipe / 1000));
            scw_properties& scw = get_scw();
            scw.set_pipe(true);
            scw.set_echo(false);
            set_scw(scw);
        });
        return;
    case role_target:
        if (persistent || probe)
            _waiting_loop(persistent, [this] { get_scw(); });
        return;
    default:
        return;
    }
}

void kqttc_proto::_configure_local_relay(const module_connect_props_t& hop, bool persistent,
                                         bool probe, bool call_hooks)
{
    set_pipe_timeout(static_cast<unsigned char>(_config.timeout_pipe / 1000));
    sat_set_rf(hop.frequency);
    scw_properties scw = get_scw();
    scw.set_echo(false);
    scw.set_rf_mode(hop.rf_mode);
    set_scw(scw);
    if (call_hooks && hop.on_configure_rf)
        hop.on_configure_rf(hop, persistent, probe);
    scw.set_pipe(true);
    set_scw(scw);
}

bool kqttc_proto::is_alive(const module_connect_props_t& hop)
{
    const module_config_t saved = _config;
    _config.repeats_s = 0;
    _config.repeats_m = 0;
    _config.repeats_l = 0;
    _device_address = hop.dev_addr;
    try {
        // A transceiver is asked for its status word whatever module this
        // engine drives: the keep-alive of an on-board computer is a
        // command that relays do not know.
        if (hop.module_type == module_type_uhf)
            kqttc_proto::get_scw();
        else
            keep_alive();
    } catch (const media_exception& e) {
        _config = saved;
        if (is_timeout(e))
            return false;
        throw;
    } catch (const proto_exception& e) {
        _config = saved;
        // The near side answered for the far one: the pipe in front of this
        // hop is down, so the hop cannot be reached.
        if (e.get_type() == proto_exception::pipe_error)
            return false;
        throw;
    } catch (...) {
        _config = saved;
        throw;
    }
    _config = saved;
    return true;
}

void kqttc_proto::connect_pipe_only()
{
    const module_lock lock(_mutex);
    for (const module_connect_props_t& hop : _route)
        configure_intermediate_module(hop, _persistent, _probe, false);
}

// Index of the first hop to configure again, walking back from the target.
// A hop that answers is in order; a relay that answers may still have lost
// its pipe, so it is configured again itself, while behind an answering
// target nothing needs doing. When nothing answers the local relay itself is
// the culprit: its pipe is what lapses first when the link goes quiet.
int kqttc_proto::_restart_index(const route_t& route)
{
    const QVector<module_connect_props_t> hops(route.begin(), route.end());
    for (int i = hops.size() - 1; i >= 1; --i) {
        const module_connect_props_t& hop = hops.at(i);
        if (hop.role == role_local_relay)
            continue;
        if (is_alive(hop))
            return hop.role == role_remote_relay ? i : i + 1;
    }
    return !hops.isEmpty() && hops.first().role == role_local_relay ? 0 : 1;
}

void kqttc_proto::ensure_restore_pipe()
{
    const module_lock lock(_mutex);
    const QVector<module_connect_props_t> hops(_route.begin(), _route.end());
    const int restart = _restart_index(_route);
    for (;;) {
        try {
            for (int i = restart; i < hops.size(); ++i)
                configure_intermediate_module(hops.at(i), _persistent, _probe, true);
            return;
        } catch (const media_exception& e) {
            if (!_persistent || !is_timeout(e))
                throw;
        }
    }
}

unsigned char kqttc_proto::get_pipe_timeout()
{
    const auto res = _run<req_get_pipe_timeout, res_get_pipe_timeout>();
    _remember_rssi(res.get_rssi());
    return res.get_pipe_timeout();
}

void kqttc_proto::set_pipe_timeout(unsigned char seconds)
{
    _run<req_set_pipe_timeout, res_set_pipe_timeout>(seconds);
}

unsigned short kqttc_proto::get_payload_size()
{
    return _run<req_get_payload_size, res_get_payload_size>().get_payload_size();
}

scw_properties& kqttc_proto::get_scw()
{
    const auto res = _run<req_get_scw, res_get_scw>();
    _remember_rssi(res.get_rssi());
    _cached_scw = res.get_scw_value();
    return _cached_scw;
}

void kqttc_proto::set_scw(scw_properties& scw)
{
    _run<req_set_scw, res_set_scw>(scw);
}

void kqttc_proto::sat_set_rf(unsigned long long frequency_hz)
{
    _run<req_set_rf, res_set_rf>(frequency_hz);
}

unsigned int kqttc_proto::sat_get_rf()
{
    const auto res = _run<req_get_rf, res_get_rf>();
    _remember_rssi(res.get_rssi());
    return res.get_rf();
}

void kqttc_proto::sat_set_tx_power(tx_power_e)
{
}

void kqttc_proto::keep_alive()
{
}

void kqttc_proto::_handle_debug(flow_direction_e, const QString&)
{
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
