#include "satcmd/kqup/kqup_request.h"

#include "satcmd/checksum.h"
#include "satcmd/proto_exception.h"

#include <QtEndian>

#include <algorithm>

namespace kq::api::proto::kqup {

namespace {

[[noreturn]] void frame_error(proto_exception::exception_type_e type, const char* message)
{
    throw proto_exception(type, 0, QStringLiteral("parse_response"), QLatin1String(message),
                          proto_exception::retry);
}

uint16_t u16(const QByteArray& b, int at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

void put16(QByteArray& b, uint16_t v)
{
    char raw[2];
    qToLittleEndian<quint16>(v, raw);
    b.append(raw, 2);
}

} // namespace

void kqup_request::create_request(const kqup_packet_data_t& packet, QByteArray& frame)
{
    if (packet.payload.size() > max_payload)
        throw proto_exception(proto_exception::parameter_error, packet.command,
                              QStringLiteral("create_request"),
                              QStringLiteral("INVALID_PAYLOAD_LENGTH"), proto_exception::retry);
    frame.clear();
    frame.reserve(packet.payload.size() + header_size + 4);
    frame.append("KQUP", 4);
    put16(frame, packet.src_address);
    put16(frame, uint16_t(packet.payload.size()));
    put16(frame, packet.dst_address);
    put16(frame, packet.command);
    put16(frame, packet.type_code);
    frame.append(packet.payload);
    char crc[4];
    qToLittleEndian<quint32>(checksum::qcrc32(frame), crc);
    frame.append(crc, 4);
}

int kqup_request::parse_response(QByteArray& buffer, kqup_packet_data_t& packet)
{
    if (buffer.size() < header_size)
        return header_size - buffer.size();
    if (!buffer.startsWith("KQUP"))
        frame_error(proto_exception::general_error, "E_MAGIC");
    const int n = u16(buffer, 6);
    if (n > max_payload)
        frame_error(proto_exception::general_error, "E_SIZE");
    const int missing = n + header_size + 4 - buffer.size();
    if (missing < 0)
        frame_error(proto_exception::general_error, "E_SIZE_SHOULD_NOT_HAPPEND");
    if (missing > 0)
        return missing;
    const quint32 stored = qFromLittleEndian<quint32>(buffer.constData() + header_size + n);
    if (stored != checksum::qcrc32(buffer, 0, header_size + n))
        frame_error(proto_exception::crc_error, "E_SRC");
    packet.dst_address = u16(buffer, 4);
    packet.src_address = u16(buffer, 8);
    packet.command = u16(buffer, 10);
    packet.type_code = u16(buffer, 12);
    packet.payload = buffer.mid(header_size, n);
    return 0;
}

int kqup_request::take_frame(QByteArray& buffer, kqup_packet_data_t& packet)
{
    static const QByteArray magic("KQUP");
    const int start = buffer.indexOf(magic);
    if (start < 0) {
        // Garbage; its last bytes may be the start of a magic still coming.
        buffer.remove(0, std::max(0, int(buffer.size()) - (int(magic.size()) - 1)));
        return header_size;
    }
    buffer.remove(0, start);
    if (buffer.size() < header_size)
        return header_size - buffer.size();
    const int length = u16(buffer, 6);
    const int whole = std::min(length, max_payload + 1) + header_size + 4;
    QByteArray frame = buffer.left(whole);
    if (length <= max_payload && frame.size() < whole)
        return whole - frame.size();
    buffer.remove(0, length <= max_payload ? whole : magic.size());
    return parse_response(frame, packet);
}

} // namespace kq::api::proto::kqup
