#pragma once

#include "satcmd/proto_exception.h"
#include "satcmd/satcmd_global.h"
#include "serline/media_exception.h"

#include <QMetaType>
#include <QString>

#include <exception>

namespace kq::api::proto {

// Any failure condensed into a value that can travel in queued signals.
class SATCMD_EXPORT error_descriptor
{
public:
    error_descriptor();
    // The first non-null of m, p and e is taken.
    error_descriptor(const media_exception* m, const proto_exception* p, const std::exception* e);
    // The exception being handled; call only inside a catch block.
    static error_descriptor of_current_exception();

    const QString& get_message() const { return _message; }
    const QString& get_exec_context() const { return _exec_context; }
    media_exception::exception_type_e get_media_error() const { return _media_error; }
    proto_exception::exception_type_e get_proto_error() const { return _proto_error; }

private:
    QString _message;
    QString _exec_context;
    media_exception::exception_type_e _media_error = media_exception::no_error;
    proto_exception::exception_type_e _proto_error = proto_exception::no_error;
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::error_descriptor)
