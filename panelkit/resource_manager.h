#pragma once

#include "panelkit/panelkit_global.h"
#include "panelkit/sat_worker.h"
#include "satcmd/error_descriptor.h"

#include <QCoreApplication>
#include <QString>

namespace kq::gui {

// The user-visible texts of the lower layers' codes: transport and protocol
// errors, connection states, and the begin/end/error messages of operations.
class PANELKIT_EXPORT resource_manager
{
    Q_DECLARE_TR_FUNCTIONS(resource_manager)

public:
    resource_manager();

    void set_verbose_level(int level) { _verbose_level = level; }
    int get_verbose_level() const { return _verbose_level; }

    QString get_media_exception_string(api::proto::media_exception::exception_type_e type) const;
    QString get_proto_exception_string(api::proto::proto_exception::exception_type_e type) const;
    QString get_connection_state_string(sat_worker::connection_state_e state) const;
    // Throws std::out_of_range ("map::at") for a status the worker never emits.
    QString get_operation_type_string(sat_worker::operation_type_e type,
                                      sat_worker::operation_status_e status) const;
    QString get_operation_error_string(sat_worker::operation_type_e type) const;
    // The media text, else the protocol text; ": " and the message above
    // verbose level 4.
    QString get_error_descriptor_string(const api::proto::error_descriptor& d) const;

    static QString fallback_text();

private:
    QString _operation_name(sat_worker::operation_type_e type) const;

    QString _fallback;
    int _verbose_level = 10;
};

} // namespace kq::gui
