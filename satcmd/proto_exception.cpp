#include "satcmd/proto_exception.h"

namespace kq::api::proto {

proto_exception::proto_exception(exception_type_e type, unsigned short code,
                                 const QString& exec_context, const QString& message,
                                 retry_behaviour_e retry_behaviour)
    : std::runtime_error(message.toUtf8().toStdString())
    , _type(type)
    , _code(code)
    , _exec_context(exec_context)
    , _retry(retry_behaviour)
{
}

proto_exception::~proto_exception() = default;

} // namespace kq::api::proto
