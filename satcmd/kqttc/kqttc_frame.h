#pragma once

#include "satcmd/kqttc/kqttc_request.h"
#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

namespace kq::api::proto::kqttc {

// The frame around a command line or block and around an answer: the CRC-32
// of the payload as eight upper-case hex digits after a space, with optional
// carriage returns before the field and at the end.
class SATCMD_EXPORT kqttc_frame
{
public:
    static QString text_frame(kqttc_request& request);
    // Empty when the request has no binary payload: nothing is sent then.
    static QByteArray binary_frame(kqttc_request& request);

    // "\s([A-Z0-9]{8})$": the CRC field at the end of an answer line.
    static const QRegularExpression& crc_pattern();

    // An answer line less its CRC field, after checking it. A line without
    // the field passes unchanged; a field that is not hex or does not match
    // is a crc_error.
    static QString checked_line(const QString& line);
    // A fixed-length block: payload, separator, eight hex digits, terminator.
    static QByteArray checked_block(const QByteArray& block);

private:
    static QString crc_field(uint32_t crc);
    [[noreturn]] static void crc_error();
};

} // namespace kq::api::proto::kqttc
