#include "satcmd/kqup/kqup_proto.h"

#include "satcmd/module_lock.h"
#include "satcmd/proto_exception.h"
#include "serline/media.h"

#include <QLoggingCategory>

#include <algorithm>

namespace kq::api::proto::kqup {

namespace {

Q_LOGGING_CATEGORY(lc_kqup, "kq.kqup")

constexpr int64_t quiet_ms = 20; // a pause this long ends a reply on a direct line

int64_t remaining(const QDeadlineTimer& deadline)
{
    return std::max<int64_t>(0, deadline.remainingTime());
}

} // namespace

kqup_proto::kqup_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex)
    : _media(m)
    , _props(props)
    , _mutex(mutex)
{
}

kqup_proto::~kqup_proto() = default;

// One frame out, the reply to it back. What came before the request is
// dropped; a reply to another command (one that came late, or out of turn)
// is skipped within the same deadline; garbage before a frame is skipped up
// to the next magic.
void kqup_proto::exec_command_atomic(const kqup_packet_data_t& request,
                                     kqup_packet_data_t& response)
{
    QByteArray frame;
    kqup_request::create_request(request, frame);
    _drop_stale_input();
    const int64_t timeout = _media->get_timeout();
    try {
        _media->write(frame);
        _read_reply(request.command, response, QDeadlineTimer(timeout));
    } catch (const media_exception& e) {
        // An unanswered request's reply may still come: awaited, and
        // dropped, before the next request.
        if (e.get_type() == media_exception::timeout)
            _stale_until = QDeadlineTimer(2 * timeout);
        _dirty = true;
        throw;
    } catch (...) {
        _dirty = true; // the rest of a damaged reply
        throw;
    }
}

void kqup_proto::_read_reply(uint16_t command, kqup_packet_data_t& response,
                             const QDeadlineTimer& deadline)
{
    QByteArray buffer;
    for (;;) {
        int need = kqup_request::take_frame(buffer, response);
        if (need == 0 && response.command == command)
            return;
        if (need == 0) {
            qCDebug(lc_kqup, "skipped a reply to command %d", int(response.command));
            continue;
        }
        QByteArray piece;
        _media->read(piece, need, remaining(deadline));
        buffer += piece;
    }
}

// After a failed exchange the line is let fall quiet, and an unanswered
// request's reply is awaited until it has come (a frame's magic among what
// arrives) or can no longer be expected.
void kqup_proto::_drop_stale_input()
{
    QByteArray dropped;
    _media->drain(dropped, _dirty ? quiet_ms : 0, _dirty ? 4 * quiet_ms : 0);
    while (!_stale_until.hasExpired() && !dropped.contains("KQUP")) {
        QByteArray more;
        _media->drain(more, quiet_ms, remaining(_stale_until));
        dropped += more;
    }
    _stale_until = QDeadlineTimer();
    _dirty = false;
    if (!dropped.isEmpty())
        qCDebug(lc_kqup, "dropped %d stale bytes", int(dropped.size()));
}

void kqup_proto::exec_command(const kqup_packet_data_t& request, kqup_packet_data_t& response)
{
    const module_lock lock(_mutex);
    kqup_packet_data_t first;
    exec_command_atomic(request, first);
    if (first.type_code != kqup_type::accepted) {
        const QString first_byte =
            first.payload.isEmpty() ? QString() : QString::number(uint8_t(first.payload.at(0)));
        throw proto_exception(proto_exception::command_response_error, request.command,
                              QStringLiteral("REQUEST_PHASE"), first_byte, proto_exception::retry);
    }
    kqup_packet_data_t answer = request;
    answer.command = kqup_cmd::answer;
    answer.type_code = request.command;
    answer.payload = QByteArray(2, '\0');
    exec_command_atomic(answer, response);
    if (response.type_code != kqup_type::accepted)
        throw proto_exception(proto_exception::command_response_error, request.command,
                              QStringLiteral("ANSWER_PHASE"), QString::number(response.type_code),
                              proto_exception::retry);
}

} // namespace kq::api::proto::kqup
