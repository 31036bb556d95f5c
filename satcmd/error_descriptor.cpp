#include "satcmd/error_descriptor.h"

namespace kq::api::proto {

error_descriptor::error_descriptor() = default;

error_descriptor::error_descriptor(const media_exception* m, const proto_exception* p,
                                   const std::exception* e)
{
    if (m) {
        _media_error = m->get_type();
        _message = QString::fromUtf8(m->what());
    } else if (p) {
        _exec_context = p->get_exec_context();
        _proto_error = p->get_type();
        _message = QString::fromUtf8(p->what());
    } else if (e) {
        _message = QString::fromUtf8(e->what());
    }
    // The default what() of std::exception (and so of media_exception) says
    // nothing to a user.
    if (_message == QLatin1String("std::exception"))
        _message.clear();
}

} // namespace kq::api::proto
