#pragma once

#include "serline/serline_global.h"

#include <exception>

namespace kq::api::proto {

// Failure of the transport. It carries only its type; what() stays the
// standard text so that the user sees the type's own message.
class SERLINE_EXPORT media_exception : public std::exception
{
public:
    enum exception_type_e : int {
        no_error = 0,
        timeout = 1,
        not_open = 2,
        open_failed = 3,
        read_failed = 4,
        write_failed = 5,
        stopped = 6,
        general = 7,
    };

    media_exception() = default;
    explicit media_exception(exception_type_e type)
        : _type(type)
    {
    }

    exception_type_e get_type() const { return _type; }

private:
    exception_type_e _type = general;
};

} // namespace kq::api::proto
