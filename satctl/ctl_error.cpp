#include "ctl_error.h"

#include "panelkit/error_advice.h"
#include "panelkit/local_file_error.h"
#include "panelkit/port_diagnosis.h"
#include "panelkit/resource_manager.h"
#include "satcmd/error_descriptor.h"
#include "satcmd/proto_exception.h"
#include "serline/media_exception.h"

#include <QFileInfo>

namespace kq::ctl {

using namespace api::proto;

namespace {

// Why the port cannot be used, and what helps, for the error line.
QString port_reason(const QString& port)
{
    const QString why = gui::port_diagnosis::explain(port);
    return why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')');
}

exit_code_e media_code(media_exception::exception_type_e type)
{
    switch (type) {
    case media_exception::timeout:
        return exit_no_answer;
    case media_exception::stopped:
        return exit_interrupted;
    case media_exception::not_open:
    case media_exception::open_failed:
    case media_exception::read_failed:
    case media_exception::write_failed:
        return exit_port;
    default:
        return exit_failed;
    }
}

exit_code_e proto_code(proto_exception::exception_type_e type)
{
    switch (type) {
    case proto_exception::no_answer:
        return exit_no_answer;
    case proto_exception::command_response_error:
        return exit_refused;
    case proto_exception::parameter_error:
        return exit_usage;
    default:
        return exit_failed;
    }
}

QString with_context(const QString& text, const error_descriptor& d)
{
    if (d.get_exec_context().isEmpty() || d.get_exec_context() == QLatin1String("NOT_DEFINED"))
        return text;
    return text + QStringLiteral(", context=") + d.get_exec_context();
}

} // namespace

failure_t describe_current_exception(const QString& port)
{
    error_descriptor d;
    try {
        throw;
    } catch (const ctl_error& e) {
        return {e.code(), QString::fromStdString(e.what())};
    } catch (const gui::local_file_error& e) {
        return {exit_local_file, QString::fromStdString(e.what())};
    } catch (const std::invalid_argument& e) {
        // A value of the command line or of the settings, refused before use.
        return {exit_usage, QString::fromStdString(e.what())};
    } catch (...) {
        d = error_descriptor::of_current_exception();
    }
    const gui::resource_manager texts;
    const media_exception::exception_type_e media = d.get_media_error();
    if (media == media_exception::open_failed || media == media_exception::not_open)
        return {media_code(media), texts.get_error_descriptor_string(d) + port_reason(port)};
    if (media == media_exception::read_failed || media == media_exception::write_failed)
        return {media_code(media), gui::error_advice::with_advice(
                                       texts.get_error_descriptor_string(d) +
                                           QStringLiteral(" on %1").arg(port) + port_reason(port),
                                       d)};
    if (media != media_exception::no_error)
        return {media_code(media),
                gui::error_advice::with_advice(texts.get_error_descriptor_string(d), d)};
    if (d.get_exec_context() == QLatin1String("verify_file"))
        return {exit_mismatch, d.get_message()};
    if (d.get_proto_error() != proto_exception::no_error)
        return {proto_code(d.get_proto_error()),
                gui::error_advice::with_advice(
                    with_context(texts.get_error_descriptor_string(d), d), d)};
    return {exit_failed, d.get_message()};
}

} // namespace kq::ctl
