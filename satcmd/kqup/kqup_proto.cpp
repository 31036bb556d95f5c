#include "satcmd/kqup/kqup_proto.h"

#include "satcmd/module_lock.h"
#include "satcmd/proto_exception.h"
#include "serline/media.h"

namespace kq::api::proto::kqup {

kqup_proto::kqup_proto(media* m, const connect_props_t& props, QRecursiveMutex& mutex)
    : _media(m)
    , _props(props)
    , _mutex(mutex)
{
}

kqup_proto::~kqup_proto() = default;

void kqup_proto::exec_command_atomic(const kqup_packet_data_t& request,
                                     kqup_packet_data_t& response)
{
    QByteArray frame;
    kqup_request::create_request(request, frame);
    _media->write(frame);
    QByteArray buffer;
    for (int need = kqup_request::header_size; need > 0;
         need = kqup_request::parse_response(buffer, response)) {
        QByteArray piece;
        _media->read(piece, need);
        buffer += piece;
    }
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
