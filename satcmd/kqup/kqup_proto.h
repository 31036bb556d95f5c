#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/kqup/kqup_request.h"
#include "satcmd/satcmd_global.h"

#include <QDeadlineTimer>
#include <QRecursiveMutex>

namespace kq::api::proto {
class media;
}

namespace kq::api::proto::kqup {

// Runs KQUP exchanges: one frame out, one frame back. A command takes two:
// the request phase, then the answer phase (command 276, the request's
// command as type code, two zero bytes) whose reply carries the result.
class SATCMD_EXPORT kqup_proto
{
public:
    kqup_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex);
    virtual ~kqup_proto();
    kqup_proto(const kqup_proto&) = delete;
    kqup_proto& operator=(const kqup_proto&) = delete;

    virtual void exec_command(const kqup_packet_data_t& request, kqup_packet_data_t& response);
    virtual void exec_command_atomic(const kqup_packet_data_t& request,
                                     kqup_packet_data_t& response);

private:
    void _read_reply(uint16_t command, kqup_packet_data_t& response,
                     const QDeadlineTimer& deadline);
    void _drop_stale_input();

    media* _media;
    connect_props_t _props;
    QRecursiveMutex& _mutex;
    QDeadlineTimer _stale_until; // an unanswered request's reply is awaited until then
    bool _dirty = false;         // a failed exchange may have left bytes behind
};

} // namespace kq::api::proto::kqup
