#pragma once

#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kq::api::proto::kqttc {

// An S-record firmware file checked as the transceiver takes it, before
// anything is sent: every line a record of type S0, S1, S3, S7 or S9 with a
// sound length and checksum, and nothing after the first end record (S7 or
// S9); data_problem() tells a file with no data record at all. A file whose last record is not an
// end record may have been cut short; has_end() tells, and the front ends ask before flashing it.
//
// With conversion, files as common tools write them are taken too: S2 and
// S8 records (24-bit addresses) are rewritten as S3 and S7 with the same
// address and data, and an S5 or S6 record count is checked against the
// data records and left out; changes() says what was done.
//
// A refusal is a parameter_error, context "flash_check_line", whose message
// names the line, the error and the mend: "line 3: FLASH_FILE_INVALID_TYPE:
// ...".
class SATCMD_EXPORT firmware_file
{
public:
    explicit firmware_file(const QByteArray& data, bool convert = false);

    // The records to send, one per line, without line ends.
    const QStringList& records() const { return _records; }
    // The records as a file (LF line ends).
    QByteArray text() const;
    bool has_end() const { return _has_end; }
    // The number of the file's last line.
    int last_line() const { return _lines; }
    // Why a user's file is no firmware to flash though every line is sound:
    // it has no data record ("FLASH_FILE_NO_DATA: ..."); empty when it has.
    // The transceiver itself takes an empty flash (it only unlocks).
    QString data_problem() const;
    const QStringList& changes() const { return _changes; }

    // The file's lines without their ends (LF or CR LF); a line end after
    // the last line does not make an empty line.
    static QStringList lines(const QByteArray& data);
    // Checks one record on its own; the message has no line number. With
    // conversion, S2, S5, S6 and S8 records are taken too.
    static void check_record(const QString& line, bool convert = false);
    static bool is_data_record(const QString& line);
    static bool is_end_record(const QString& line);

private:
    void _take(const QString& line, int number, bool convert);
    // The record with a 24-bit address rewritten with a 32-bit one.
    static QString _widened(const QString& line, QChar type);

    QStringList _records;
    QStringList _changes;
    bool _has_end = false;
    int _end_line = 0;
    int _lines = 0;
    int _data_records = 0;
    int _widened_data = 0;
    bool _widened_end = false;
    int _count_line = 0;
    int _count = -1;
    int _count_bytes = 2;
};

} // namespace kq::api::proto::kqttc
