// The synchronisation point: after a fault the line is taken as clean only
// once the answer to a probe has come, an exchange whose answer no other
// command still owed could give.
//
// A module answers its commands in turn and the serial line and the radio
// relays keep the order of what they carry, so however late an owed answer
// is, it comes before the answer to a probe sent after it. Everything before
// the probe's answer is dropped; an owed answer lost on the way simply never
// comes. Probes are read commands without side effects: a radio property
// read of a count no other read asks for (each count is a shape of its own)
// for a transceiver, the clock or the calendar for an on-board computer.
// Another probe follows each attempt's timeout while none has answered, each
// of a shape not yet owed, for as long as a late answer is waited for.
#include "satcmd/kqttc/kqttc_proto.h"

#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/kqttc_response.h"
#include "satcmd/kqttc/obc_commands.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/module_lock.h"
#include "serline/media.h"
#include "serline/media_exception.h"

#include <QLoggingCategory>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_sync, "kq.kqttc.sync")

// Radio property counts that no other command reads: odd, and none of the
// one-, two- or four-byte fields of the status, counter and frequency reads.
constexpr unsigned char probe_counts[] = {7, 9, 11, 13, 15, 17, 19, 21};
constexpr unsigned char probe_group = 0;
// The longest an owed answer is waited for behind a probe, in the probe's
// attempt timeouts: a late answer, however late it is within this, is dropped.
constexpr int sync_timeouts = 12;

} // namespace

struct kqttc_proto::probe_t
{
    std::unique_ptr<kqttc_request> request;
    std::unique_ptr<kqttc_response> response;
    QByteArray frame;
    QDeadlineTimer next_due; // when the next probe is sent, if this one is silent
};

// The sent-th probe for the module at the current address, or none when
// every probe's shape is still owed (or there is no probe for that module).
std::unique_ptr<kqttc_proto::probe_t> kqttc_proto::_next_probe(int sent) const
{
    module_type_e type = _own_module_type();
    for (const module_connect_props_t& hop : _route) {
        if (hop.dev_addr == _device_address)
            type = hop.module_type;
    }
    std::vector<std::unique_ptr<probe_t>> candidates;
    const auto add = [&](kqttc_request* request, kqttc_response* response) {
        auto p = std::make_unique<probe_t>();
        p->request.reset(request);
        p->response.reset(response);
        candidates.push_back(std::move(p));
    };
    if (type == module_type_uhf) {
        for (const unsigned char count : probe_counts) {
            auto* request =
                new req_get_radio_transceiver_props(_device_address, probe_group, 0, count);
            add(request, new res_get_radio_transceiver_props(request));
        }
    } else if (type == module_type_obc) {
        auto* time = new req_get_time(_device_address);
        add(time, new res_get_time(time));
        auto* date = new req_get_date(_device_address);
        add(date, new res_get_date(date));
    }
    const int n = int(candidates.size());
    for (int i = 0; i < n; ++i) {
        std::unique_ptr<probe_t>& p = candidates[size_t((sent + i) % n)];
        if (!_owed_shapes.contains(p->response->answer_shape()))
            return std::move(p);
    }
    return nullptr;
}

// Owed answers are settled by a probe where one can be sent, else awaited
// within their bound. Once the probe has answered, the owed answers not yet
// seen are taken as lost: a serial line and its relays never let a later
// answer overtake an earlier one (a link that did could bring one after the
// probe's, where only the answer shapes keep it apart). A probe that
// got no answer within its bound leaves the line unsynchronised: the command
// about to be sent fails as unanswered, and the next one probes again,
// rather than risk taking a stale answer for its own.
void kqttc_proto::_settle_owed(kqttc_response* response, bool keep_pipe, const kqttc_request* next)
{
    // A block's answer owed is dropped line by line before the probe's: its
    // bytes never make a line of the probe's shape and CRC.
    const bool probed = !_owed_unprobed && _owed_kind != owed_lines;
    if (!probed || !_next_probe(0)) {
        _await_owed_answers(response, keep_pipe);
        return;
    }
    if (_synchronise(response, keep_pipe)) {
        // The line keeps the order: what is owed came before the probe's
        // answer or is lost.
        _unsynced = false;
        _forget_owed();
        return;
    }
    _forget_owed(); // a probe's shape is used again only by probes
    _unsynced = true;
    if (next) {
        qCDebug(lc_sync, "line not clean: command %d not sent", int(next->get_command()));
        throw media_exception(media_exception::timeout);
    }
}

// Relays let their pipe lapse after timeout_pipe without a command: when no
// probe is left to send, the listening ends in time for the next command.
bool kqttc_proto::_synchronise(kqttc_response* late_check, bool keep_pipe)
{
    std::vector<std::unique_ptr<probe_t>> probes;
    QDeadlineTimer bound;
    try {
        for (int sent = 0;;) {
            if (sent == 0) {
                QByteArray dropped; // what is already here, without waiting
                _media->drain(dropped, 0, 0);
                _take_dropped(dropped, late_check);
            }
            if (probes.empty() || probes.back()->next_due.hasExpired()) {
                if (!probes.empty() && keep_pipe && _pipe_lapse.hasExpired())
                    break; // the next command must reach the relays first
                // Once a probe has answered, the link is alive and slow:
                // the probes still on the way are awaited, not chased by more.
                std::unique_ptr<probe_t> p =
                    sent > int(probes.size()) ? nullptr : _next_probe(sent);
                if (!p && probes.empty())
                    return false; // nothing to probe with: the owed answers are awaited
                if (p) {
                    p->frame = _frame_bytes(*p->request);
                    const int64_t timeout =
                        _attempt_timeout(*p->response, p->request.get(), p->frame.size());
                    if (sent == 0)
                        bound = QDeadlineTimer(sync_timeouts * timeout);
                    _write_frame(*p->request, p->frame);
                    ++_owed; // not awaited beyond the probe's bound, unlike a command's
                    _owed_shapes.append(p->response->answer_shape());
                    p->next_due = QDeadlineTimer(timeout);
                    probes.push_back(std::move(p));
                    ++sent;
                    qCDebug(lc_sync, "probe %d sent, %d answers owed", sent, _owed);
                } else {
                    // Every shape owed: only listen.
                    probes.back()->next_due = keep_pipe ? std::min(bound, _pipe_lapse) : bound;
                }
            }
            if (bound.hasExpired())
                break;
            const QDeadlineTimer until = std::min(probes.back()->next_due, bound);
            QString line;
            try {
                _media->read_line(line, "\r\n", 2048, std::max<int64_t>(0, until.remainingTime()));
            } catch (const media_exception& e) {
                if (e.get_type() != media_exception::timeout)
                    throw;
                continue;
            }
            if (_take_probe_answer(probes, line, late_check)) {
                _line_dirty = false;
                qCDebug(lc_sync, "line clean after %d probes", sent);
                return true;
            }
        }
    } catch (...) {
        _line_dirty = true;
        throw;
    }
    _line_dirty = true;
    qCDebug(lc_sync, "no probe answered: %d answers still owed", _owed);
    return false;
}

// True when the line is clean: the last probe sent has been answered.
bool kqttc_proto::_take_probe_answer(std::vector<std::unique_ptr<probe_t>>& probes,
                                     const QString& line, kqttc_response* late_check)
{
    _handle_debug(flow_received, line);
    const QString prefix = kqttc_response::accepted_prefix(line);
    if (prefix.isEmpty() || prefix == QLatin1String("KQ+"))
        return false; // noise, chatter, an echo of a command
    QString payload;
    try {
        payload = kqttc_frame::checked_line(line);
    } catch (const proto_exception&) {
        _answer_arrived(); // spoilt on the way: some answer, whose it cannot tell
        return false;
    }
    for (size_t i = 0; i < probes.size(); ++i) {
        try {
            probes[i]->response->parse_response(payload);
        } catch (const proto_exception& e) {
            if (e.get_type() != proto_exception::pipe_error)
                continue;
            // The near side answered for the far one: nothing more comes
            // from behind the lapsed pipe, and the route must be restored.
            _forget_owed();
            _unsynced = true;
            throw;
        }
        // On a line that keeps the order, everything owed before this probe
        // has come or is lost, and so have the probes sent before it; the
        // probes sent after it are still to be answered.
        const int at = _owed_shapes.indexOf(probes[i]->response->answer_shape());
        if (at >= 0) {
            _owed_shapes.removeAt(at);
            _owed = std::max(0, _owed - 1);
        } else {
            _answer_arrived();
        }
        probes.erase(probes.begin(), probes.begin() + int(i) + 1);
        return probes.empty();
    }
    _answer_arrived();
    if (late_check)
        late_check->check_late_answer(payload);
    return false;
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
