#include "satcmd/kqttc/firmware_file.h"

#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/proto_exception.h"

#include <QRegularExpression>

namespace kq::api::proto::kqttc {

namespace {

[[noreturn]] void refuse(const char* error_name, const QString& why)
{
    throw proto_exception(
        proto_exception::parameter_error, uhf_cmd::flash_line, QStringLiteral("flash_check_line"),
        QLatin1String(error_name) + QStringLiteral(": ") + why, proto_exception::retry);
}

QChar type_of(const QString& line)
{
    return line.size() > 1 ? line.at(1) : QChar();
}

// Bytes of the address field of a record type.
int address_bytes(QChar type)
{
    switch (type.toLatin1()) {
    case '2':
    case '6':
    case '8':
        return 3;
    case '3':
    case '7':
        return 4;
    default:
        return 2;
    }
}

QByteArray record_bytes(const QString& line)
{
    return QByteArray::fromHex(line.mid(2).toLatin1());
}

const QString damaged = QStringLiteral("the line is damaged: copy or export the file again");

} // namespace

QStringList firmware_file::lines(const QByteArray& data)
{
    QStringList lines = QString::fromLatin1(data).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the end of the last line, not a line of its own
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

bool firmware_file::is_data_record(const QString& line)
{
    const QChar type = type_of(line);
    return type == QLatin1Char('1') || type == QLatin1Char('2') || type == QLatin1Char('3');
}

bool firmware_file::is_end_record(const QString& line)
{
    const QChar type = type_of(line);
    return type == QLatin1Char('7') || type == QLatin1Char('8') || type == QLatin1Char('9');
}

void firmware_file::check_record(const QString& line, bool convert)
{
    if (line.isEmpty())
        refuse("FLASH_FILE_EMPTY_LINE",
               QStringLiteral("an empty line among the records: delete it"));
    if (line.at(0) != QLatin1Char('S'))
        refuse("FLASH_FILE_INVALID_START_LINE",
               QStringLiteral("a record begins with 'S'; this line does not, so the file is not "
                              "an S-record file or the line is damaged: export the firmware "
                              "again as S-records"));
    const QChar type = type_of(line);
    const bool convertible = QStringLiteral("2568").contains(type);
    if (line.size() < 2 || !(QStringLiteral("01379").contains(type) || (convert && convertible))) {
        if (convertible)
            refuse("FLASH_FILE_INVALID_TYPE",
                   QStringLiteral("the transceiver takes S0, S1, S3, S7 and S9 records, not S%1: "
                                  "flash with --convert (\"Convert and flash\" in the window), or "
                                  "export with 32-bit addresses (S3, S7) and no count record")
                       .arg(type));
        refuse("FLASH_FILE_INVALID_TYPE",
               QStringLiteral("'%1' is not a record type the transceiver takes (S0, S1, S3, S7, "
                              "S9): export the firmware again as S-records")
                   .arg(line.left(2)));
    }
    // Strictly pairs of hex digits: anything else cannot be counted.
    static const QRegularExpression hex_pairs(QStringLiteral("^(?:[0-9A-Fa-f]{2})+$"));
    const QByteArray bytes = record_bytes(line);
    if (!hex_pairs.match(line.mid(2)).hasMatch() || int(uint8_t(bytes.at(0))) + 1 != bytes.size())
        refuse("FLASH_FILE_INVALID_LENGTH",
               QStringLiteral("the record's byte count does not match its digits; ") + damaged);
    // A converted record needs its whole address.
    if (convertible && bytes.size() < 2 + address_bytes(type))
        refuse("FLASH_FILE_INVALID_LENGTH",
               QStringLiteral("the record is shorter than its address; ") + damaged);
    unsigned sum = 0;
    for (const char b : bytes)
        sum += uint8_t(b);
    if ((sum & 0xFF) != 0xFF)
        refuse("FLASH_FILE_INVALID_CHECKSUM",
               QStringLiteral("the record's checksum does not match its bytes; ") + damaged);
}

QString firmware_file::_widened(const QString& line, QChar type)
{
    QByteArray bytes = record_bytes(line);
    bytes.chop(1); // the checksum, computed again below
    bytes.insert(1, '\0');
    bytes[0] = char(bytes.size()); // address, data and checksum
    unsigned sum = 0;
    for (const char b : bytes)
        sum += uint8_t(b);
    bytes += char(~sum & 0xFF);
    return QLatin1Char('S') + type + QString::fromLatin1(bytes.toHex().toUpper());
}

firmware_file::firmware_file(const QByteArray& data, bool convert)
{
    const QStringList all = lines(data);
    for (int i = 0; i < all.size(); ++i) {
        try {
            _take(all.at(i), i + 1, convert);
        } catch (const proto_exception& e) {
            throw proto_exception(
                e.get_type(), e.get_code(), e.get_exec_context(),
                QStringLiteral("line %1: %2").arg(i + 1).arg(QString::fromUtf8(e.what())),
                e.get_retry_behaviour());
        }
    }
    _lines = all.size();
    if (_count >= 0 && _count != _data_records % (1 << (8 * _count_bytes)))
        throw proto_exception(
            proto_exception::parameter_error, uhf_cmd::flash_line,
            QStringLiteral("flash_check_line"),
            QStringLiteral("line %1: FLASH_FILE_COUNT_MISMATCH: the count record says %2 data "
                           "records, the file has %3; it is incomplete or damaged: copy or "
                           "export it again")
                .arg(_count_line)
                .arg(_count)
                .arg(_data_records),
            proto_exception::retry);
    if (_widened_data > 0)
        _changes << QStringLiteral("rewrote %1 S2 records as S3").arg(_widened_data);
    if (_widened_end)
        _changes << QStringLiteral("rewrote the S8 end record as S7");
    if (_count >= 0)
        _changes << QStringLiteral("checked the count record of line %1 (%2 data records) and "
                                   "left it out")
                        .arg(_count_line)
                        .arg(_count);
}

void firmware_file::_take(const QString& line, int number, bool convert)
{
    check_record(line, convert);
    if (_has_end)
        refuse("FLASH_FILE_AFTER_END",
               QStringLiteral("a record after the end record of line %1; a file holds one end "
                              "record, last: delete what follows it, or merge the files with a "
                              "tool that writes one end record")
                   .arg(_end_line));
    const QChar type = type_of(line);
    if (type == QLatin1Char('5') || type == QLatin1Char('6')) {
        const QByteArray bytes = record_bytes(line);
        _count = 0;
        _count_bytes = address_bytes(type);
        for (int i = 1; i <= _count_bytes; ++i)
            _count = (_count << 8) | uint8_t(bytes.at(i));
        _count_line = number;
        return; // the transceiver does not take it
    }
    _data_records += is_data_record(line) ? 1 : 0;
    if (is_end_record(line)) {
        _has_end = true;
        _end_line = number;
    }
    if (type == QLatin1Char('2')) {
        ++_widened_data;
        _records << _widened(line, QLatin1Char('3'));
    } else if (type == QLatin1Char('8')) {
        _widened_end = true;
        _records << _widened(line, QLatin1Char('7'));
    } else {
        _records << line;
    }
}

QString firmware_file::data_problem() const
{
    if (_data_records > 0)
        return {};
    return QStringLiteral("FLASH_FILE_NO_DATA: %1 lines and no data record (S1, S2 or S3): this "
                          "is not a firmware image; export the image again, with its data")
        .arg(_lines);
}

QByteArray firmware_file::text() const
{
    QByteArray text;
    for (const QString& record : _records)
        text += record.toLatin1() + '\n';
    return text;
}

} // namespace kq::api::proto::kqttc
