#include "satcmd/kqttc/kqttc_frame.h"

#include "satcmd/checksum.h"
#include "satcmd/kqttc/hex.h"
#include "satcmd/proto_exception.h"

namespace kq::api::proto::kqttc {

namespace {

constexpr int crc_digits = 8;
constexpr int block_trailer = 10; // separator, eight digits, terminator

// The field covers the answer's bytes as they came. The transport reads a
// line as UTF-8 when it is that and as Latin-1 otherwise, so those bytes are
// the line's UTF-8 or, with characters up to 0xFF only, its Latin-1; the
// UTF-8 form is also what a device computes over text it sends as Latin-1,
// as the workstation does for its own lines.
bool crc_matches(const QString& payload, uint32_t field)
{
    if (checksum::qcrc32(payload) == field)
        return true;
    bool ascii = true;
    for (const QChar c : payload) {
        if (c.unicode() > 0xFF)
            return false;
        ascii = ascii && c.unicode() < 0x80;
    }
    return !ascii && checksum::qcrc32(payload.toLatin1()) == field;
}

} // namespace

QString kqttc_frame::crc_field(uint32_t crc)
{
    return hex::field(crc, crc_digits);
}

void kqttc_frame::crc_error()
{
    throw proto_exception(proto_exception::crc_error, 0, QStringLiteral("NOT_DEFINED"), QString(),
                          proto_exception::retry);
}

QString kqttc_frame::text_frame(kqttc_request& request)
{
    QString frame = request.create_string_request();
    const uint32_t crc = checksum::qcrc32(frame);
    const unsigned format = request.get_cmd_format_behaviour();
    if (format & kqttc_request::cr_before_crc)
        frame += QLatin1Char('\r');
    frame += QLatin1Char(' ') + crc_field(crc);
    if (format & kqttc_request::cr_at_end)
        frame += QLatin1Char('\r');
    return frame;
}

QByteArray kqttc_frame::binary_frame(kqttc_request& request)
{
    QByteArray frame = request.create_binary_request();
    if (frame.isEmpty())
        return frame;
    const uint32_t crc = checksum::qcrc32(frame);
    const unsigned format = request.get_cmd_format_behaviour();
    if (format & kqttc_request::cr_before_crc)
        frame += '\r';
    frame += ' ' + crc_field(crc).toUtf8();
    if (format & kqttc_request::cr_at_end)
        frame += '\r';
    return frame;
}

const QRegularExpression& kqttc_frame::crc_pattern()
{
    static const QRegularExpression pattern(QStringLiteral("\\s([A-Z0-9]{8})$"));
    return pattern;
}

QString kqttc_frame::checked_line(const QString& line)
{
    if (!crc_pattern().match(line).hasMatch())
        return line;
    bool ok = false;
    const uint32_t field = line.right(crc_digits).toUInt(&ok, 16);
    if (!ok)
        crc_error();
    QString payload = line.left(line.size() - crc_digits - 1);
    if (!crc_matches(payload, field))
        crc_error();
    return payload;
}

QByteArray kqttc_frame::checked_block(const QByteArray& block)
{
    if (block.size() < block_trailer)
        crc_error();
    bool ok = false;
    const uint32_t field = block.mid(block.size() - 9, crc_digits).toUInt(&ok, 16);
    if (!ok)
        crc_error();
    QByteArray payload = block.left(block.size() - block_trailer);
    if (checksum::qcrc32(payload) != field)
        crc_error();
    return payload;
}

} // namespace kq::api::proto::kqttc
