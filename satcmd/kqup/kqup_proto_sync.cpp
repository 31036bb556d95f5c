// The synchronisation point of the KQUP line: after a request went
// unanswered, the line is taken as clean only once the reply to a probe has
// come, a request whose reply no request still owed could give.
//
// The transmitter answers in turn and the line keeps the order, so however
// late an owed reply is, it comes before the reply to a probe sent after it;
// everything before the probe's reply is dropped, and an owed reply lost on
// the way simply never comes. A probe is the request phase of a read
// without side effects (a parameter read, the directory), never followed by
// its answer phase: its reply carries the probe's command, which no owed
// reply does. Answer-phase replies all carry the answer command, so they
// can never be taken for a probe's. Another probe follows each timeout
// while none has answered, of a command not yet owed, for as long as a late
// reply is waited for.
#include "satcmd/kqup/kqup_proto.h"

#include "satcmd/module_lock.h"
#include "satcmd/proto_exception.h"
#include "serline/media.h"
#include "serline/media_exception.h"

#include <QLoggingCategory>

#include <algorithm>

namespace kq::api::proto::kqup {

namespace {

Q_LOGGING_CATEGORY(lc_sync, "kq.kqup.sync")

// The probes' commands: reads whose request phase changes nothing.
constexpr uint16_t probe_commands[] = {kqup_cmd::get_parameter, kqup_cmd::dir};
// The longest an owed reply is waited for behind a probe, in timeouts.
constexpr int sync_timeouts = 12;

} // namespace

struct kqup_proto::probe_t
{
    uint16_t command = 0;
    QDeadlineTimer next_due; // when the next probe is sent, if this one is silent
};

// The sent-th probe: a command whose reply is not owed, if one is left.
bool kqup_proto::_next_probe(int sent, probe_t& probe) const
{
    const int n = int(std::size(probe_commands));
    for (int i = 0; i < n; ++i) {
        const uint16_t command = probe_commands[(sent + i) % n];
        if (!_owed.contains(command)) {
            probe.command = command;
            return true;
        }
    }
    return false;
}

// Before a request (before_command) or the port's closing: the line is
// made clean when replies are owed, else let fall quiet after a fault.
// With no probe answered the owed replies are forgotten, as lost, and the
// request is not sent: it fails as unanswered, and the next one probes again.
void kqup_proto::_settle(bool before_command)
{
    if (!_owed.isEmpty() || _unsynced) {
        const sync_result result = _synchronise();
        if (result == sync_result::silent) {
            _owed.clear();
            _unsynced = true;
            _dirty = true;
            if (before_command) {
                qCDebug(lc_sync, "line not clean: the request is not sent");
                throw media_exception(media_exception::timeout);
            }
            return;
        }
        _unsynced = false;
        // A line that lets a later reply overtake an earlier one brings the
        // owed replies not yet seen after the probe's.
        _await_owed_replies();
    }
    _drop_quiet_input();
}

kqup_proto::sync_result kqup_proto::_synchronise()
{
    const int64_t timeout = _media->get_timeout();
    std::vector<probe_t> probes;
    QDeadlineTimer bound;
    QByteArray buffer;
    _media->drain(buffer, 0, 0); // what is already here, without waiting
    for (int sent = 0;;) {
        kqup_packet_data_t reply;
        int need = 0;
        try {
            need = kqup_request::take_frame(buffer, reply);
        } catch (const proto_exception&) {
            continue; // a damaged frame: some reply, whose it cannot tell
        }
        if (need == 0) {
            if (_take_probe_reply(probes, reply))
                return sync_result::clean;
            continue;
        }
        if (probes.empty() || probes.back().next_due.hasExpired()) {
            probe_t probe;
            // Once a probe has answered, the link is alive and slow: the
            // probes still on the way are awaited, not chased by more.
            const bool answered = sent > int(probes.size());
            if (!answered && _next_probe(sent, probe)) {
                if (sent == 0)
                    bound = QDeadlineTimer(sync_timeouts * timeout);
                _write_probe(probe.command);
                probe.next_due = QDeadlineTimer(timeout);
                probes.push_back(probe);
                ++sent;
                qCDebug(lc_sync, "probe %d sent, %d replies owed", sent, int(_owed.size()));
            } else if (probes.empty()) {
                return sync_result::no_probe;
            } else {
                probes.back().next_due = bound; // every probe's command owed: only listen
            }
        }
        if (bound.hasExpired())
            break;
        QByteArray piece;
        try {
            _media->read(piece, need, _remaining(std::min(probes.back().next_due, bound)));
        } catch (const media_exception& e) {
            if (e.get_type() != media_exception::timeout)
                throw;
            buffer.clear(); // the part read of a frame is gone with the timeout
            continue;
        }
        buffer += piece;
    }
    qCDebug(lc_sync, "no probe answered: %d replies still owed", int(_owed.size()));
    return sync_result::silent;
}

void kqup_proto::_write_probe(uint16_t command)
{
    kqup_packet_data_t request = _last_request;
    request.command = command;
    request.type_code =
        command == kqup_cmd::get_parameter ? kqup_type::symbol_rate : kqup_type::none;
    request.payload.clear();
    QByteArray frame;
    kqup_request::create_request(request, frame);
    _media->write(frame);
    _owed.append(command);
}

// True when the line is clean: the last probe sent has been answered. On a
// line that keeps the order, the probes before an answered one have come or
// are lost; those after it are still to be answered.
bool kqup_proto::_take_probe_reply(std::vector<probe_t>& probes, const kqup_packet_data_t& reply)
{
    for (size_t i = 0; i < probes.size(); ++i) {
        if (reply.command != probes[i].command)
            continue;
        for (size_t k = 0; k <= i; ++k)
            _reply_arrived(probes[k].command);
        probes.erase(probes.begin(), probes.begin() + int(i) + 1);
        return probes.empty();
    }
    qCDebug(lc_sync, "dropped a reply to command %d", int(reply.command));
    _reply_arrived(reply.command);
    return false;
}

// The owed replies are awaited until they have come or can no longer be
// expected, then forgotten.
void kqup_proto::_await_owed_replies()
{
    QByteArray buffer;
    while (!_owed.isEmpty() && !_stale_until.hasExpired()) {
        kqup_packet_data_t reply;
        int need = 0;
        try {
            need = kqup_request::take_frame(buffer, reply);
        } catch (const proto_exception&) {
            continue;
        }
        if (need == 0) {
            _reply_arrived(reply.command);
            continue;
        }
        QByteArray piece;
        try {
            _media->read(piece, need, _remaining(_stale_until));
        } catch (const media_exception& e) {
            if (e.get_type() != media_exception::timeout)
                throw;
            break;
        }
        buffer += piece;
    }
    _owed.clear();
    _stale_until = QDeadlineTimer();
}

void kqup_proto::settle_line()
{
    if (_owed.isEmpty() && !_unsynced && !_dirty)
        return; // the clean path
    try {
        const module_lock lock(_mutex);
        _settle(false);
    } catch (const std::exception& e) {
        // A stop, a pulled cable: the port closes all the same, and the next
        // connection drops what the line holds before its first request.
        qCDebug(lc_sync, "line left unsettled: %s", e.what());
    }
}

} // namespace kq::api::proto::kqup
