#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/kqup/kqup_request.h"
#include "satcmd/satcmd_global.h"

#include <QDeadlineTimer>
#include <QRecursiveMutex>
#include <QVector>

#include <functional>
#include <vector>

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
    // Whether an answer-phase reply's payload can be the answer asked for
    // (its length, its status): one that cannot is a late reply to another
    // command, and is skipped.
    using answer_check = std::function<bool(const QByteArray& payload)>;

    kqup_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex);
    virtual ~kqup_proto();
    kqup_proto(const kqup_proto&) = delete;
    kqup_proto& operator=(const kqup_proto&) = delete;

    virtual void exec_command(const kqup_packet_data_t& request, kqup_packet_data_t& response,
                              const answer_check& check = {});
    virtual void exec_command_atomic(const kqup_packet_data_t& request,
                                     kqup_packet_data_t& response, const answer_check& check = {});
    // Before the port closes: no reply still owed is left for the next
    // connection. Never throws.
    void settle_line();

private:
    struct probe_t;
    enum class sync_result { clean, silent, no_probe };

    void _exchange(const kqup_packet_data_t& request, const QByteArray& frame,
                   kqup_packet_data_t& response, const answer_check& check);
    void _read_reply(const kqup_packet_data_t& request, kqup_packet_data_t& response,
                     const answer_check& check, const QDeadlineTimer& deadline);
    static bool _may_answer(const kqup_packet_data_t& reply, const answer_check& check);
    void _reply_arrived(uint16_t command);
    static int64_t _remaining(const QDeadlineTimer& deadline);
    void _drop_quiet_input();
    // kqup_proto_sync.cpp
    void _settle(bool before_command);
    sync_result _synchronise();
    bool _next_probe(int sent, probe_t& probe) const;
    void _write_probe(uint16_t command);
    bool _take_probe_reply(std::vector<probe_t>& probes, const kqup_packet_data_t& reply);
    void _await_owed_replies();

    media* _media;
    connect_props_t _props;
    QRecursiveMutex& _mutex;
    // The command fields of the replies owed: a request's that timed out
    // (an answer phase's is the answer command), oldest first.
    QVector<uint16_t> _owed;
    QDeadlineTimer _stale_until;      // an owed reply is awaited until then
    bool _dirty = false;              // a failed exchange may have left bytes behind
    bool _unsynced = false;           // no probe answered: the line is not known clean
    kqup_packet_data_t _last_request; // the addresses a probe goes to
};
} // namespace kq::api::proto::kqup
