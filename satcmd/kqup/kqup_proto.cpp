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

} // namespace

kqup_proto::kqup_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex)
    : _media(m)
    , _props(props)
    , _mutex(mutex)
{
}

kqup_proto::~kqup_proto() = default;

int64_t kqup_proto::_remaining(const QDeadlineTimer& deadline)
{
    return std::max<int64_t>(0, deadline.remainingTime());
}

// One frame out, the reply to it back. What came before the request is
// dropped, and after a fault the line is first made clean (see
// kqup_proto_sync.cpp); a reply to another command (one that came late, or
// out of turn) is skipped within the same deadline; garbage before a frame
// is skipped up to the next magic.
void kqup_proto::exec_command_atomic(const kqup_packet_data_t& request,
                                     kqup_packet_data_t& response, const answer_check& check)
{
    QByteArray frame;
    kqup_request::create_request(request, frame);
    _last_request = request; // a probe goes to the module about to be asked
    _settle(true);
    _exchange(request, frame, response, check);
}

void kqup_proto::_exchange(const kqup_packet_data_t& request, const QByteArray& frame,
                           kqup_packet_data_t& response, const answer_check& check)
{
    const int64_t timeout = _media->get_timeout();
    try {
        _media->write(frame);
        _read_reply(request, response, check, QDeadlineTimer(timeout));
    } catch (const media_exception& e) {
        // An unanswered request's reply may still come: the line is made
        // clean before the next request.
        if (e.get_type() == media_exception::timeout) {
            _owed.append(request.command);
            _stale_until = QDeadlineTimer(2 * timeout);
        }
        _dirty = true;
        throw;
    } catch (...) {
        _dirty = true; // the rest of a damaged reply
        throw;
    }
}

void kqup_proto::_read_reply(const kqup_packet_data_t& request, kqup_packet_data_t& response,
                             const answer_check& check, const QDeadlineTimer& deadline)
{
    QByteArray buffer;
    for (;;) {
        const int need = kqup_request::take_frame(buffer, response);
        if (need == 0 && response.command == request.command && _may_answer(response, check))
            return;
        if (need == 0) {
            qCDebug(lc_kqup, "skipped a reply to command %d", int(response.command));
            _reply_arrived(response.command);
            continue;
        }
        QByteArray piece;
        _media->read(piece, need, _remaining(deadline));
        buffer += piece;
    }
}

// A refused answer phase carries no result: only an accepted one is checked.
bool kqup_proto::_may_answer(const kqup_packet_data_t& reply, const answer_check& check)
{
    if (reply.command != kqup_cmd::answer || reply.type_code != kqup_type::accepted || !check)
        return true;
    return check(reply.payload);
}

void kqup_proto::_reply_arrived(uint16_t command)
{
    const int at = _owed.indexOf(command);
    if (at >= 0)
        _owed.removeAt(at);
}

// After a failed exchange the line is let fall quiet.
void kqup_proto::_drop_quiet_input()
{
    QByteArray dropped;
    _media->drain(dropped, _dirty ? quiet_ms : 0, _dirty ? 4 * quiet_ms : 0);
    _dirty = false;
    if (!dropped.isEmpty())
        qCDebug(lc_kqup, "dropped %d stale bytes", int(dropped.size()));
}

void kqup_proto::exec_command(const kqup_packet_data_t& request, kqup_packet_data_t& response,
                              const answer_check& check)
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
    // No probe between the phases: the transmitter answers the answer
    // phase for the last request it took.
    kqup_packet_data_t answer = request;
    answer.command = kqup_cmd::answer;
    answer.type_code = request.command;
    answer.payload = QByteArray(2, '\0');
    QByteArray frame;
    kqup_request::create_request(answer, frame);
    _drop_quiet_input();
    _exchange(answer, frame, response, check);
    if (response.type_code != kqup_type::accepted)
        throw proto_exception(proto_exception::command_response_error, request.command,
                              QStringLiteral("ANSWER_PHASE"), QString::number(response.type_code),
                              proto_exception::retry);
}

} // namespace kq::api::proto::kqup
