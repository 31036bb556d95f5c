#include "panelkit/resource_manager.h"

#include <stdexcept>

namespace kq::gui {

using api::proto::media_exception;
using api::proto::proto_exception;

resource_manager::resource_manager()
    : _fallback(fallback_text())
{
}

QString resource_manager::fallback_text()
{
    return tr("<< operation string not configured >>>");
}

// Each text is chosen by a switch without a default: a new code without a
// text is a compiler warning. A value outside the enumeration gets the
// fallback.
QString resource_manager::get_media_exception_string(media_exception::exception_type_e type) const
{
    switch (type) {
    case media_exception::no_error:
        return tr("no error");
    case media_exception::timeout:
        return tr("please check com port and device address");
    case media_exception::not_open:
        return tr("media not open");
    case media_exception::open_failed:
        return tr("error while opening media");
    case media_exception::read_failed:
        return tr("error while reading data");
    case media_exception::write_failed:
        return tr("error while writing data");
    case media_exception::stopped:
        return tr("stopped");
    case media_exception::general:
        return tr("general error");
    }
    return _fallback;
}

QString resource_manager::get_proto_exception_string(proto_exception::exception_type_e type) const
{
    switch (type) {
    case proto_exception::no_error:
        return tr("no error");
    case proto_exception::general_error:
        return tr("general error");
    case proto_exception::no_answer:
        return tr("please check com port and device address");
    case proto_exception::command_response_error:
        return tr("command response error");
    case proto_exception::invalid_result:
        return tr("invalid result value in response");
    case proto_exception::parameter_error:
        return tr("parameter error");
    case proto_exception::crc_error:
        return tr("CRC error");
    case proto_exception::pipe_error:
        return tr("PIPE error");
    case proto_exception::ax25_error:
        return tr("AX25 error");
    case proto_exception::busy:
        return tr("another command is in progress");
    }
    return _fallback;
}

QString resource_manager::get_connection_state_string(sat_worker::connection_state_e state) const
{
    switch (state) {
    case sat_worker::connecting:
        return QStringLiteral("connecting");
    case sat_worker::connected:
        return QStringLiteral("connected");
    case sat_worker::disconnected:
        return QStringLiteral("disconnected");
    case sat_worker::pipe_drain:
        return QStringLiteral("pipe drain");
    case sat_worker::error:
        return QStringLiteral("error occured");
    }
    return _fallback;
}

QString resource_manager::_operation_name(sat_worker::operation_type_e type) const
{
    switch (type) {
    case sat_worker::READ:
        return tr("READ");
    case sat_worker::WRITE:
        return tr("WRITE");
    case sat_worker::RESET:
        return tr("RESET");
    case sat_worker::FLASH:
        return tr("FLASH");
    case sat_worker::UPLOAD:
        return tr("UPLOAD");
    case sat_worker::DOWNLOAD:
        return tr("DOWNLOAD");
    case sat_worker::AX25_BEACON:
        return _fallback; // the receiver's loop reports no operation lines of its own
    case sat_worker::ERASE:
        return tr("ERASE");
    case sat_worker::DIR:
        return tr("DIR");
    case sat_worker::MONITOR:
        return tr("MONITOR");
    case sat_worker::LISTEN:
        return tr("LISTEN");
    }
    return _fallback;
}

QString resource_manager::get_operation_type_string(sat_worker::operation_type_e type,
                                                    sat_worker::operation_status_e status) const
{
    switch (status) {
    case sat_worker::begin:
        return tr("begin of %1 operation").arg(_operation_name(type));
    case sat_worker::end:
        return tr("end of %1 operation").arg(_operation_name(type));
    case sat_worker::failed:
        return tr("error while performing %1 operation").arg(_operation_name(type));
    }
    throw std::out_of_range("map::at");
}

QString resource_manager::get_operation_error_string(sat_worker::operation_type_e type) const
{
    return get_operation_type_string(type, sat_worker::failed);
}

QString resource_manager::get_error_descriptor_string(const api::proto::error_descriptor& d) const
{
    QString text;
    if (d.get_media_error() != 0)
        text = get_media_exception_string(d.get_media_error());
    else if (d.get_proto_error() != 0)
        text = get_proto_exception_string(d.get_proto_error());
    if (!d.get_message().isEmpty() && _verbose_level > 4)
        text += QStringLiteral(": ") + d.get_message();
    return text;
}

} // namespace kq::gui
