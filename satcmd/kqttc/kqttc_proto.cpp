#include "satcmd/kqttc/kqttc_proto.h"

#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/kqttc_response.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/module_lock.h"
#include "serline/media.h"
#include "serline/serial_port_atomic.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QThread>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_kqttc, "kq.kqttc")

constexpr int64_t default_timeout_ms = 1000;
constexpr size_t read_line_max = 2048;
constexpr int max_settle_quiets = 4; // a line that never falls quiet is left after this many
constexpr int late_quiets = 3;       // slack after twice the timeout for a late answer
constexpr int pipe_margin_ms =
    1000; // the next command reaches a relay this long before its pipe lapses
constexpr int multi_line_timeouts = 10; // the longest a several-line answer may take

QString spaced_hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

// The device repeating what it was sent: a line equal to one of the lines
// of the frame. Only lines that look like a command can be one.
bool is_echo(const QString& line, const QByteArray& sent)
{
    if (!line.startsWith(QLatin1String("KQ+")) || sent.isEmpty())
        return false;
    QByteArray rest = sent + '\r';
    QString piece;
    while (serial_port_atomic::extract_line_from_byte_array(rest, piece, "\r\n")) {
        if (piece == line)
            return true;
    }
    return false;
}

bool is_timeout(const media_exception& e)
{
    return e.get_type() == media_exception::timeout;
}

} // namespace

kqttc_proto::kqttc_proto(kq_module& events, media* m, const connect_props_t& props,
                         QRecursiveMutex& mutex)
    : _media(m)
    , _events(events)
    , _route(props.route)
    , _persistent(props.persistent)
    , _probe(props.probe)
    , _mutex(mutex)
{
    events.set_before_close([this] { settle_line(); });
}

kqttc_proto::~kqttc_proto() = default;

void kqttc_proto::set_module_config_sat(const module_config_t& config)
{
    _config = config;
}

void kqttc_proto::exec_command(kqttc_request* request, kqttc_response* response)
{
    _media->set_timeout(default_timeout_ms);
    unsigned retries = 0;
    if (response) {
        retries = response->get_command_retries(_config, request);
        _media->set_timeout(response->get_media_timeout(_config, request));
    }
    const module_lock lock(_mutex);
    if (request && (_owed > 0 || _unsynced))
        _settle_owed(nullptr, true, request); // a failed command's late answers are not this one's
    for (unsigned i = 0;; ++i) {
        qCDebug(lc_kqttc, "i=%d", int(i));
        const bool last = i >= retries;
        try {
            exec_command_atomic(request, response);
            if (request && _owed > 0)
                _settle_owed(response);
            return;
        } catch (const media_exception& e) {
            if (last || e.get_type() == media_exception::stopped)
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
    QByteArray frame;
    if (request) {
        frame = _frame_bytes(*request);
        _prepare_line();
    }
    try {
        const int64_t timeout =
            response ? _attempt_timeout(*response, request, frame.size()) : default_timeout_ms;
        if (!frame.isEmpty()) {
            _write_frame(*request, frame);
            if (response)
                _owe_answer(timeout, *response);
        }
        if (response)
            _read_answer(*response, frame, timeout);
    } catch (...) {
        _line_dirty = true;
        throw;
    }
}

QByteArray kqttc_proto::_frame_bytes(kqttc_request& request) const
{
    if (request.get_flow_mode() == kqttc_request::flow_binary)
        return kqttc_frame::binary_frame(request);
    return kqttc_frame::text_frame(request).toLatin1();
}

void kqttc_proto::_write_frame(const kqttc_request& request, const QByteArray& frame)
{
    _last_sent = frame;
    _pipe_lapse = _link().radio_hops() == 0
                      ? QDeadlineTimer(QDeadlineTimer::Forever)
                      : QDeadlineTimer(std::max(0, _config.timeout_pipe - pipe_margin_ms));
    if (request.get_flow_mode() == kqttc_request::flow_binary) {
        _handle_debug(flow_sent, QString::fromUtf8(frame));
        _handle_debug(flow_sent, QLatin1String("[BIN]") + spaced_hex(frame));
        _media->write(frame);
        return;
    }
    const QString text = QString::fromLatin1(frame);
    _handle_debug(flow_sent, text);
    _handle_debug(flow_sent, QLatin1String("[BIN]") + spaced_hex(frame));
    _media->write_line(text);
}

link_timing kqttc_proto::_link() const
{
    return link_timing::to_address(_route, _device_address, _media->get_settings().baud_rate);
}

// Without a link model (factor 0) the line is taken as quiet after the
// shortest pause.
int64_t kqttc_proto::_quiet_ms() const
{
    return _config.link_factor > 0 ? _link().quiet_ms() : link_timing::min_quiet_ms;
}

int64_t kqttc_proto::_attempt_timeout(kqttc_response& response, kqttc_request* request,
                                      int frame_bytes)
{
    const int64_t floor = response.get_media_timeout(_config, request);
    if (frame_bytes == 0)
        return floor;
    return _link().attempt_ms(floor, _config.link_factor, frame_bytes,
                              response.expected_answer_bytes());
}

kqttc_proto::owed_kind_e kqttc_proto::owed_kind(const kqttc_response& response)
{
    switch (response.get_flow_mode()) {
    case kqttc_response::flow_binary_block:
        return owed_block;
    case kqttc_response::flow_single_line:
        return owed_line;
    default:
        return owed_lines; // not counted: awaited until they are no longer expected
    }
}

// An attempt's answer may come after the attempt has given up; it is awaited
// until twice the attempt's timeout after the request, and a few quiet
// intervals more for the bytes on their way.
void kqttc_proto::_owe_answer(int64_t timeout_ms, const kqttc_response& response)
{
    const QDeadlineTimer until(2 * timeout_ms + late_quiets * _quiet_ms());
    if (_owed == 0 || _owed_until < until)
        _owed_until = until;
    ++_owed;
    _owed_shapes.append(response.answer_shape());
    _owed_unprobed = _owed_unprobed || !_probing;
    _owed_kind = owed_kind(response);
    _owed_block = response.expected_answer_bytes();
}

// Before a write: on the clean path only what is left is dropped (the LF
// of the last answer's CR LF, a second answer that came in one burst); after
// a fault the line is first let fall quiet, so that the rest of a cut or
// spoilt answer, or a late one already under way, goes too.
void kqttc_proto::_prepare_line()
{
    QByteArray dropped;
    if (_line_dirty) {
        const int64_t quiet = _quiet_ms();
        _media->drain(dropped, quiet, max_settle_quiets * quiet);
    } else {
        _media->drain(dropped, 0, 0);
    }
    _line_dirty = false;
    _take_dropped(dropped, nullptr);
}

// Waits for the answers still owed, or until they are no longer awaited,
// and drops them. A response given is the command's own: it may refuse what
// its earlier attempts were answered late.
//
// Relays let their pipe lapse after timeout_pipe without a command: the wait
// ends in time for the next command to keep it open.
void kqttc_proto::_await_owed_answers(kqttc_response* response, bool keep_pipe)
{
    const int64_t quiet = _quiet_ms();
    const QDeadlineTimer until = keep_pipe ? std::min(_owed_until, _pipe_lapse) : _owed_until;
    try {
        while (_owed > 0 && !until.hasExpired()) {
            QByteArray dropped;
            _media->drain(dropped, quiet, std::max<int64_t>(0, until.remainingTime()));
            _take_dropped(dropped, response);
        }
    } catch (...) {
        _forget_owed();
        _line_dirty = true;
        throw;
    }
    _line_dirty = _owed > 0; // given up on: whatever still comes is dropped before the next write
    _forget_owed();
}

void kqttc_proto::_answer_arrived(int n)
{
    for (int i = 0; i < n && _owed > 0; ++i) {
        --_owed;
        if (!_owed_shapes.isEmpty())
            _owed_shapes.removeFirst();
    }
    if (_owed == 0)
        _owed_unprobed = false;
}

void kqttc_proto::_forget_owed()
{
    _owed = 0;
    _owed_shapes.clear();
    _owed_unprobed = false;
}

void kqttc_proto::settle_line()
{
    if (_owed == 0 && !_line_dirty && !_unsynced)
        return; // the clean path
    try {
        const module_lock lock(_mutex);
        if (_owed > 0 || _unsynced)
            _settle_owed(nullptr, false);
        QByteArray dropped;
        const int64_t quiet = _quiet_ms();
        _media->drain(dropped, quiet, max_settle_quiets * quiet);
        _take_dropped(dropped, nullptr);
        _line_dirty = false;
    } catch (const std::exception& e) {
        // A stop, a pulled cable, a busy module: the port closes all the
        // same, and the next connection drops what the line holds before
        // its first command.
        qCDebug(lc_kqttc, "line left unsettled: %s", e.what());
    }
}

// Logs what was dropped and counts the answers among it.
void kqttc_proto::_take_dropped(const QByteArray& dropped, kqttc_response* response)
{
    if (dropped.isEmpty())
        return;
    if (_owed_kind == owed_block) {
        qCDebug(lc_kqttc, "dropped %d bytes", int(dropped.size()));
        _handle_debug(flow_received, QLatin1String("[BIN]") + spaced_hex(dropped));
        _answer_arrived(int(dropped.size()) / std::max(1, _owed_block));
        return;
    }
    QByteArray rest = dropped;
    QString line;
    while (serial_port_atomic::extract_line_from_byte_array(rest, line, "\r\n")) {
        if (line.isEmpty())
            continue;
        _handle_debug(flow_received, line);
        qCDebug(lc_kqttc, "dropped: %s", qPrintable(line));
        if (is_echo(line, _last_sent) || kqttc_response::accepted_prefix(line).isEmpty())
            continue;
        if (_owed_kind == owed_line)
            _answer_arrived();
        if (response)
            _check_late_answer(*response, line);
    }
    if (!rest.isEmpty())
        qCDebug(lc_kqttc, "dropped a partial line: %s", rest.toHex(' ').constData());
}

void kqttc_proto::_check_late_answer(kqttc_response& response, const QString& line)
{
    QString payload;
    try {
        payload = kqttc_frame::checked_line(line);
    } catch (const proto_exception&) {
        return; // spoilt on the way: it tells nothing
    }
    response.check_late_answer(payload);
}

void kqttc_proto::_read_answer(kqttc_response& response, const QByteArray& sent, int64_t timeout_ms)
{
    switch (response.get_flow_mode()) {
    case kqttc_response::flow_single_line:
        _read_line_answer(response, sent, QDeadlineTimer(timeout_ms));
        return;
    case kqttc_response::flow_multi_line:
        _read_multi_line_answer(response, timeout_ms);
        return;
    case kqttc_response::flow_binary_block: {
        // A sized read may bring more: on a slow line the answer to a
        // repeat follows a late one at once. The first block is the answer
        // (both are the same command's); what follows is an owed one's.
        const int size = int(response.get_binary_response_length()) + 10;
        QByteArray data;
        _media->read(data, size, timeout_ms);
        if (data.size() > size) {
            _take_dropped(data.mid(size), nullptr);
            data.truncate(size);
            _line_dirty = true; // the rest of a second one may still be on its way
        }
        const int nul = data.indexOf('\0');
        _handle_debug(flow_received, QString::fromUtf8(nul < 0 ? data : data.left(nul)));
        _handle_debug(flow_received, QLatin1String("[BIN]") + spaced_hex(data));
        _answer_arrived();
        response.parse_response(kqttc_frame::checked_block(data));
        return;
    }
    case kqttc_response::flow_binary_stream: {
        QByteArray chunk;
        bool complete = false;
        while (!complete) {
            _media->read_all(chunk, timeout_ms);
            complete = _answered_by([&] { return response.parse_binary_chunk(chunk); });
        }
        _answer_arrived();
        return;
    }
    default:
        throw std::runtime_error("kqttc_proto: unknown response flow mode");
    }
}

// One deadline for the whole attempt: lines that are not an answer (noise,
// a device's own chatter, the echo of the command) do not extend it.
void kqttc_proto::_read_line_answer(kqttc_response& response, const QByteArray& sent,
                                    const QDeadlineTimer& deadline)
{
    QString line;
    for (;;) {
        _media->read_line(line, response.get_readline_term(), read_line_max,
                          std::max<int64_t>(0, deadline.remainingTime()));
        _handle_debug(flow_received, line);
        if (is_echo(line, sent)) {
            qCDebug(lc_kqttc, "echo: %s", qPrintable(line));
            continue;
        }
        QString prefix = kqttc_response::accepted_prefix(line);
        if (prefix.isEmpty()) {
            line = kqttc_response::answer_after_noise(line);
            prefix = kqttc_response::accepted_prefix(line);
        }
        if (prefix.isEmpty())
            continue; // empty lines, noise
        qCDebug(lc_kqttc, "MATCH '%s' %s", qPrintable(prefix), qPrintable(line));
        _answer_arrived();
        response.parse_response(_checked(response, line));
        return;
    }
}

// A spoilt answer names the command it answered, not only its CRC.
QString kqttc_proto::_checked(const kqttc_response& response, const QString& line)
{
    try {
        return kqttc_frame::checked_line(line);
    } catch (const proto_exception& e) {
        if (e.get_type() != proto_exception::crc_error)
            throw;
        throw proto_exception(e.get_type(), static_cast<unsigned short>(response.get_command()),
                              response.get_exec_context(), QString::fromUtf8(e.what()),
                              e.get_retry_behaviour());
    }
}

// The lines of a restart follow each other with pauses; each may take the
// attempt's timeout, the whole answer a bounded multiple of it.
void kqttc_proto::_read_multi_line_answer(kqttc_response& response, int64_t timeout_ms)
{
    const QDeadlineTimer whole(multi_line_timeouts * timeout_ms);
    QString line;
    bool complete = false;
    while (!complete) {
        const int64_t left = std::max<int64_t>(0, whole.remainingTime());
        _media->read_line(line, response.get_readline_term(), read_line_max,
                          std::min(timeout_ms, left));
        _handle_debug(flow_received, line);
        complete = _answered_by([&] { return response.parse_multi_line(line); });
    }
    _answer_arrived();
}

// A refusal is the answer, not one still owed: it is not awaited again (for
// the many seconds of a flash's timeout) before the next command or the
// port's closing.
template<typename Parse>
bool kqttc_proto::_answered_by(Parse&& parse)
{
    try {
        return parse();
    } catch (const proto_exception&) {
        _answer_arrived();
        throw;
    }
}

template<typename Step>
void kqttc_proto::_waiting_loop(bool persistent, Step&& step)
{
    QElapsedTimer waited;
    waited.start();
    for (int attempt = 1;; ++attempt) {
        try {
            step();
            return;
        } catch (const media_exception& e) {
            if (!persistent || !is_timeout(e))
                throw;
        }
        emit _events.on_waiting(attempt, waited.elapsed());
        _media->idle(std::max(0, _config.persistent_time)); // a stop ends it within 20 ms
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
            set_pipe_timeout(_pipe_seconds());
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
    set_pipe_timeout(_pipe_seconds());
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

// The relays' pipe timeout in whole seconds, one byte on the wire.
unsigned char kqttc_proto::_pipe_seconds() const
{
    const int seconds = _config.timeout_pipe / 1000;
    if (seconds < 0 || seconds > 0xFF)
        throw proto_exception(proto_exception::parameter_error, uhf_cmd::pipe_timeout,
                              QStringLiteral("set_pipe_timeout"),
                              QStringLiteral("INVALID_PIPE_TIMEOUT"), proto_exception::retry);
    return static_cast<unsigned char>(seconds);
}

bool kqttc_proto::is_alive(const module_connect_props_t& hop)
{
    const auto searching = _searching_route();
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

void kqttc_proto::_handle_debug(flow_direction_e direction, const QString& message)
{
    emit _events.on_media_debug(direction, message);
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
