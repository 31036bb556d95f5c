#include "satcmd/error_descriptor.h"

#include <stdexcept>

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

error_descriptor error_descriptor::of_current_exception()
{
    try {
        throw;
    } catch (const media_exception& e) {
        return error_descriptor(&e, nullptr, nullptr);
    } catch (const proto_exception& e) {
        return error_descriptor(nullptr, &e, nullptr);
    } catch (const std::exception& e) {
        return error_descriptor(nullptr, nullptr, &e);
    } catch (...) {
        const std::runtime_error unknown("unknown failure");
        return error_descriptor(nullptr, nullptr, &unknown);
    }
}

} // namespace kq::api::proto
