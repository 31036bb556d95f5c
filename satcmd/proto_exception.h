#pragma once

#include "satcmd/satcmd_global.h"

#include <QString>

#include <stdexcept>

namespace kq::api::proto {

// Failure of a protocol exchange: what went wrong, the device's or command's
// code, the name of the operation and whether repeating the command may help.
class SATCMD_EXPORT proto_exception : public std::runtime_error
{
public:
    enum exception_type_e : int {
        no_error = 0,
        general_error = 1,
        no_answer = 2,
        command_response_error = 3,
        invalid_result = 4,
        parameter_error = 5,
        crc_error = 6,
        pipe_error = 7,
        ax25_error = 8,
        busy = 9,
    };

    enum retry_behaviour_e : int {
        no_retry = 0,
        retry = 1,
    };

    proto_exception(exception_type_e type, unsigned short code, const QString& exec_context,
                    const QString& message, retry_behaviour_e retry_behaviour);
    ~proto_exception() override;

    exception_type_e get_type() const { return _type; }
    unsigned short get_code() const { return _code; }
    const QString& get_exec_context() const { return _exec_context; }
    retry_behaviour_e get_retry_behaviour() const { return _retry; }

private:
    exception_type_e _type;
    unsigned short _code;
    QString _exec_context;
    retry_behaviour_e _retry;
};

} // namespace kq::api::proto
