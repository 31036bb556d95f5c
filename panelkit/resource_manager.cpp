#include "panelkit/resource_manager.h"

#include <stdexcept>

namespace kq::gui {

resource_manager::resource_manager()
    : _media_errors{{0, tr("no error")},
                    {1, tr("please check com port and device address")},
                    {2, tr("media not open")},
                    {3, tr("error while opening media")},
                    {4, tr("error while reading data")},
                    {5, tr("error while writing data")},
                    {6, tr("stopped")},
                    {7, tr("general error")}}
    , _proto_errors{{0, tr("no error")},
                    {1, tr("general error")},
                    {2, tr("please check com port and device address")},
                    {3, tr("command response error")},
                    {4, tr("invalid result value in response")},
                    {5, tr("parameter error")},
                    {6, tr("CRC error")},
                    {7, tr("PIPE error")},
                    {8, tr("AX25 error")},
                    {9, tr("another command is in progress")}}
    , _connection_states{{0, QStringLiteral("connecting")},
                         {1, QStringLiteral("connected")},
                         {2, QStringLiteral("disconnected")},
                         {3, QStringLiteral("pipe drain")},
                         {4, QStringLiteral("error occured")}}
    , _operation_types{{0, tr("READ")},    {1, tr("WRITE")},    {2, tr("RESET")}, {3, tr("FLASH")},
                       {4, tr("UPLOAD")},  {5, tr("DOWNLOAD")}, {7, tr("ERASE")}, {8, tr("DIR")},
                       {9, tr("MONITOR")}, {10, tr("LISTEN")}}
    , _operation_statuses{{0, tr("begin of %1 operation")},
                          {1, tr("end of %1 operation")},
                          {2, tr("error while performing %1 operation")}}
    , _fallback(fallback_text())
{
}

QString resource_manager::fallback_text()
{
    return tr("<< operation string not configured >>>");
}

QString resource_manager::_get_string(const QMap<uint32_t, QString>& table, uint32_t key) const
{
    const auto it = table.constFind(key);
    return it == table.constEnd() ? _fallback : it.value();
}

QString resource_manager::get_media_exception_string(
    api::proto::media_exception::exception_type_e type) const
{
    return _get_string(_media_errors, uint32_t(type));
}

QString resource_manager::get_proto_exception_string(
    api::proto::proto_exception::exception_type_e type) const
{
    return _get_string(_proto_errors, uint32_t(type));
}

QString resource_manager::get_connection_state_string(sat_worker::connection_state_e state) const
{
    return _get_string(_connection_states, uint32_t(state));
}

QString resource_manager::get_operation_type_string(sat_worker::operation_type_e type,
                                                    sat_worker::operation_status_e status) const
{
    const auto it = _operation_statuses.constFind(uint32_t(status));
    if (it == _operation_statuses.constEnd())
        throw std::out_of_range("map::at");
    return it.value().arg(_get_string(_operation_types, uint32_t(type)));
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
