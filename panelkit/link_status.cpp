#include "panelkit/link_status.h"

#include "satcmd/error_descriptor.h"

#include <QCoreApplication>

namespace kq::gui {

using namespace api::proto;

void link_status::opening_port()
{
    if (_state == unused || _state == port_failed)
        _state = opening;
}

void link_status::port_opened()
{
    if (_state == opening)
        _state = port_open;
}

void link_status::answered(const QDateTime&)
{
    _state = answering;
    _silent_since = QDateTime();
}

void link_status::failed(const error_descriptor& error, const QDateTime& at)
{
    const media_exception::exception_type_e media = error.get_media_error();
    if (media == media_exception::open_failed || media == media_exception::not_open) {
        _state = port_failed;
        return;
    }
    const bool silence =
        media == media_exception::timeout || error.get_proto_error() == proto_exception::no_answer;
    if (!silence) {
        if (error.get_proto_error() == proto_exception::command_response_error)
            answered(at); // refused, but it answered
        return;
    }
    if (_state != silent)
        _silent_since = at;
    _state = silent;
}

QString link_status::text() const
{
    const char* const context = "link_status";
    switch (_state) {
    case unused:
        return QCoreApplication::translate(context, "not used yet");
    case opening:
        return QCoreApplication::translate(context, "opening the port");
    case port_failed:
        return QCoreApplication::translate(context, "port cannot be opened");
    case port_open:
        return QCoreApplication::translate(context, "port open");
    case answering:
        return QCoreApplication::translate(context, "answering");
    case silent:
        return QCoreApplication::translate(context, "no answer since %1")
            .arg(_silent_since.toString(QStringLiteral("HH:mm:ss")));
    }
    return {};
}

} // namespace kq::gui
