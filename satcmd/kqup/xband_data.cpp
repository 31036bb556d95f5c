#include "satcmd/kqup/xband_data.h"

#include "satcmd/kqup/kqup_request.h"
#include "satcmd/proto_exception.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>

namespace kq::api::proto::kqup {

namespace {

[[noreturn]] void invalid(unsigned short command, const char* context, const char* message)
{
    throw proto_exception(proto_exception::invalid_result, command, QLatin1String(context),
                          QLatin1String(message), proto_exception::retry);
}

// Records are little-endian, floats single precision.
QDataStream& records(QDataStream& s)
{
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    return s;
}

quint32 le32_at(const QByteArray& b, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(b.at(at + i));
    return v;
}

} // namespace

QByteArray xband_data::pack(const xband_all_parameters_packed_t& p)
{
    QByteArray b;
    QDataStream out(&b, QIODevice::WriteOnly);
    records(out);
    out << p.symbol_rate << p.tx_power << quint16(0) << p.central_frequency << p.modcod
        << p.roll_off << p.pilot_signal << p.fec_frame_size << p.parameters_word;
    return b;
}

xband_all_parameters_packed_t xband_data::unpack_all_parameters(const QByteArray& record)
{
    xband_all_parameters_packed_t p;
    quint16 reserved = 0;
    QDataStream in(record);
    records(in);
    in >> p.symbol_rate >> p.tx_power >> reserved >> p.central_frequency >> p.modcod >>
        p.roll_off >> p.pilot_signal >> p.fec_frame_size >> p.parameters_word;
    return p;
}

QByteArray xband_data::pack(const xband_simple_report_packed_t& r)
{
    QByteArray b;
    QDataStream out(&b, QIODevice::WriteOnly);
    records(out);
    out << r.report_byte_0 << r.report_byte_1 << r.report_word_0 << r.report_word_1;
    return b;
}

xband_simple_report_packed_t xband_data::unpack_simple_report(const QByteArray& record)
{
    xband_simple_report_packed_t r;
    QDataStream in(record);
    records(in);
    in >> r.report_byte_0 >> r.report_byte_1 >> r.report_word_0 >> r.report_word_1;
    return r;
}

QByteArray xband_data::pack(const xband_full_report_packed_t& r)
{
    QByteArray b = pack(r.head);
    b.append(reinterpret_cast<const char*>(r.report_bytes), 10);
    QByteArray tail;
    QDataStream out(&tail, QIODevice::WriteOnly);
    records(out);
    out << r.report_word_2 << r.report_word_3;
    for (const float f : r.report_float)
        out << f;
    return b + tail;
}

xband_full_report_packed_t xband_data::unpack_full_report(const QByteArray& record)
{
    // A short record reads as zeros, as the other records do; the report
    // bytes are copied, so they must not be read past its end.
    const QByteArray full = record.leftJustified(xband_full_report_packed_t::size, '\0');
    xband_full_report_packed_t r;
    r.head = unpack_simple_report(full.left(xband_simple_report_packed_t::size));
    std::copy_n(full.constData() + 6, 10, reinterpret_cast<char*>(r.report_bytes));
    QDataStream in(full.mid(16));
    records(in);
    in >> r.report_word_2 >> r.report_word_3;
    for (float& f : r.report_float)
        in >> f;
    return r;
}

xband_all_parameters_packed_t
xband_data::convert_all_parameters_to_packed(const xband_all_parameters_t& p)
{
    xband_all_parameters_packed_t w;
    w.symbol_rate = uint8_t(p.symbol_rate);
    w.tx_power = uint8_t(p.tx_power);
    w.central_frequency = p.central_frequency;
    w.modcod = uint8_t(p.modcod);
    w.roll_off = uint8_t(p.roll_off);
    w.pilot_signal = uint8_t(p.pilot_signal);
    w.fec_frame_size = uint8_t(p.fec_frame_size);
    w.parameters_word = uint16_t(p.parameters_word);
    return w;
}

xband_all_parameters_t
xband_data::convert_all_parameters_from_packed(const xband_all_parameters_packed_t& w)
{
    xband_all_parameters_t p;
    p.symbol_rate = w.symbol_rate;
    p.tx_power = w.tx_power;
    p.central_frequency = w.central_frequency;
    p.modcod = w.modcod;
    p.roll_off = xband_roll_off_e(w.roll_off);
    p.pilot_signal = xband_pilot_signal_status_e(w.pilot_signal);
    p.fec_frame_size = xband_fec_frame_size_e(w.fec_frame_size);
    p.parameters_word = w.parameters_word;
    return p;
}

xband_simple_report_t
xband_data::convert_simple_report_from_packed(const xband_simple_report_packed_t& r)
{
    return {r.report_byte_0, r.report_byte_1, r.report_word_0, r.report_word_1};
}

xband_full_report_t xband_data::convert_full_report_from_packed(const xband_full_report_packed_t& r)
{
    xband_full_report_t f;
    f.report_byte_0 = r.head.report_byte_0;
    f.report_byte_1 = r.head.report_byte_1;
    f.report_word_0 = r.head.report_word_0;
    f.report_word_1 = r.head.report_word_1;
    std::copy_n(r.report_bytes, 10, f.report_bytes);
    f.report_word_2 = r.report_word_2;
    f.report_word_3 = r.report_word_3;
    f.report_float_0 = r.report_float[0];
    f.report_float_1 = r.report_float[1];
    f.report_float_2 = r.report_float[2];
    f.report_float_3 = r.report_float[3];
    return f;
}

void xband_data::parse_cmd_set_result(const QByteArray& payload, xband_cmd_set_result_t* result)
{
    if (payload.isEmpty())
        invalid(kqup_cmd::set_parameter, "parse_cmd_set_result", "data length missmatch");
    if (result)
        result->status = uint8_t(payload.at(0));
}

void xband_data::parse_cmd_create_file_result(const QByteArray& payload, unsigned int& handle)
{
    if (payload.size() < 5)
        invalid(kqup_cmd::create_file, "parse_cmd_create_file_result", "data length missmatch");
    handle = le32_at(payload, 1);
}

void xband_data::parse_cmd_open_file_result(const QByteArray& payload, unsigned int& a,
                                            unsigned int& b)
{
    if (payload.size() < 9)
        invalid(kqup_cmd::open_file, "parse_cmd_open_file_result", "data length missmatch");
    a = le32_at(payload, 1);
    b = le32_at(payload, 5);
}

void xband_data::parse_cmd_read_file_result(const QByteArray& payload, unsigned int& value,
                                            QByteArray& data)
{
    QDataStream in(payload); // the data stream's own order: most significant byte first
    qint8 status = 0;
    qint16 length = 0;
    qint32 v = 0;
    in >> status >> length >> v;
    if (in.status() != QDataStream::Ok || length < 0 || payload.size() < 7 + length)
        invalid(kqup_cmd::read_file, "parse_cmd_read_file_result", "data length missmatch");
    value = quint32(v);
    data = payload.mid(7, length);
}

// Each entry: the name up to a zero byte, then the size as 32 bits
// little-endian after the terminator.
void xband_data::parse_cmd_dir_result(const QByteArray& payload,
                                      QVector<xband_file_entry_t>& entries)
{
    entries.clear();
    for (int at = 1; at < payload.size();) {
        const int zero = payload.indexOf('\0', at);
        if (zero < 0 || zero + 5 > payload.size())
            invalid(kqup_cmd::dir, "parse_cmd_dir_result", "data length missmatch");
        xband_file_entry_t e;
        e.name = QString::fromLatin1(payload.constData() + at, zero - at);
        e.size = le32_at(payload, zero + 1);
        entries.append(e);
        at = zero + 5;
    }
}

void xband_data::parse_xband_load_mode_result(const QByteArray& payload, int& result)
{
    if (payload.size() != 1)
        invalid(kqup_cmd::get_parameter, "parse_xband_load_mode_result", "invalid status value");
    result = int8_t(payload.at(0));
}

void xband_data::create_cmd_write_file_payload(unsigned int handle, unsigned int offset,
                                               const QByteArray& data, QByteArray& payload)
{
    payload.clear();
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << quint16(data.size()) << quint32(handle) << quint32(offset) << data;
}

void xband_data::create_cmd_read_file_payload(unsigned int handle, QByteArray& payload)
{
    payload.clear();
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << quint32(handle);
}

void xband_data::create_cmd_send_files_payload(xband_file_status_e status, const QString& name,
                                               QByteArray& payload)
{
    payload.clear();
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << name << quint32(0) << quint16(status);
}

} // namespace kq::api::proto::kqup
