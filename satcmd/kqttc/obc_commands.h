#pragma once

#include "satcmd/kqttc/detail/command_classes.h"
#include "satcmd/obc_types.h"
#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

#include <cstdint>
#include <functional>

// The on-board computer's commands: date and time, boot mode and the file
// commands. File commands are "KQ+D" address, two letters, an argument.

namespace kq::api::proto::kqttc {

namespace obc_cmd {
enum : kqttc_command_e {
    get_time = 0x31,
    set_time = 0x32,
    get_date = 0x33,
    set_date = 0x34,
    obc_mode = 0x7F,
    create_dirlist = 0xA0,
    file_delete = 0xA1,
    file_checksum = 0xA2,
    file_open = 0xA4,
    file_close = 0xA5,
    file_read = 0xA6,
    file_write = 0xA7,
    flash = 0xA8,
};
} // namespace obc_cmd

// "KQ+D" address, the command letters and an argument, with a carriage
// return before the CRC field. File names must be ASCII: the CRC covers
// UTF-8 while the line goes out as Latin-1.
class SATCMD_EXPORT obc_file_request : public obc_kqttc_request
{
public:
    obc_file_request(const QString& exec_context, unsigned int device_address,
                     kqttc_command_e command, const QString& letters, const QString& argument);
    QString create_string_request() override;

private:
    QString _letters;
    QString _argument;
};

// Date and time: a six-digit payload, each digit as its ASCII code in hex.
KQ_READ_REQUEST(req_get_time, obc_cmd::get_time)
class SATCMD_EXPORT res_get_time : public kqttc_pattern_response
{
public:
    explicit res_get_time(kqttc_request* request = nullptr);
    QTime get_time() const { return _time; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    QTime _time;
};
class SATCMD_EXPORT req_set_time : public kqttc_write_request
{
public:
    req_set_time(unsigned int device_address, const QTime& time);

protected:
    QString _value() const override;

private:
    QTime _time;
};
SATCMD_EXPORT const QRegularExpression& time_set_answer(); // "OK TIME"
KQ_SHAPED_OK_RESPONSE(res_set_time, obc_cmd::set_time, report_line, time_set_answer())
KQ_READ_REQUEST(req_get_date, obc_cmd::get_date)
class SATCMD_EXPORT res_get_date : public kqttc_pattern_response
{
public:
    explicit res_get_date(kqttc_request* request = nullptr);
    QDate get_date() const { return _date; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    QDate _date;
};
class SATCMD_EXPORT req_set_date : public kqttc_write_request
{
public:
    // Years 2000 to 2099: two digits on the wire.
    req_set_date(unsigned int device_address, const QDate& date);

protected:
    QString _value() const override;

private:
    int _yy, _month, _day;
};
SATCMD_EXPORT const QRegularExpression& date_set_answer(); // "OK DATE"
KQ_SHAPED_OK_RESPONSE(res_set_date, obc_cmd::set_date, report_line, date_set_answer())

// Boot mode.
class SATCMD_EXPORT req_get_obc_mode : public kqttc_read_request
{
public:
    explicit req_get_obc_mode(unsigned int device_address);
};
class SATCMD_EXPORT res_get_obc_mode : public kqttc_pattern_response
{
public:
    explicit res_get_obc_mode(kqttc_request* request = nullptr);
    obc_mode_e get_obc_mode() const { return _mode; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    obc_mode_e _mode = obc_mode_appl;
};
class SATCMD_EXPORT req_set_obc_mode : public kqttc_request
{
public:
    req_set_obc_mode(unsigned int device_address, obc_mode_e mode);
    QString create_string_request() override;

private:
    obc_mode_e _mode;
};
// The computer restarts and prints several lines; the exchange ends at an
// "OK+" line that speaks of "initialisation".
class SATCMD_EXPORT res_set_obc_mode : public kqttc_response
{
public:
    explicit res_set_obc_mode(kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    bool parse_multi_line(const QString& line) override;
    bool get_success() const { return _success; }
    // Sent once: a repeat would reach a computer that is restarting, or
    // switch it twice. What it switched to is read after its restart.
    unsigned get_command_retries(const module_config_t& config, kqttc_request* request) override;

private:
    void _check_error(const QString& line) const;
    bool _success = false;
};

// A file command whose argument is a name or a path.
#define KQ_FILE_REQUEST(name, code, letters)                                                       \
    class SATCMD_EXPORT name : public obc_file_request                                             \
    {                                                                                              \
    public:                                                                                        \
        name(unsigned int device_address, const QString& argument)                                 \
            : obc_file_request(QStringLiteral(#name), device_address, code,                        \
                               QStringLiteral(letters), argument)                                  \
        {                                                                                          \
        }                                                                                          \
    };

// Files.
KQ_FILE_REQUEST(req_obc_create_dirlist, obc_cmd::create_dirlist, "FL")
KQ_SHAPED_OK_RESPONSE(res_obc_create_dirlist, obc_cmd::create_dirlist, report_line,
                      remarked_ok_answer())
KQ_FILE_REQUEST(req_obc_delete, obc_cmd::file_delete, "FD")
KQ_SHAPED_OK_RESPONSE(res_obc_delete, obc_cmd::file_delete, report_line, remarked_ok_answer())
KQ_FILE_REQUEST(req_obc_checksum, obc_cmd::file_checksum, "FS")
class SATCMD_EXPORT res_obc_checksum : public kqttc_pattern_response
{
public:
    explicit res_obc_checksum(kqttc_request* request = nullptr);
    uint32_t get_checksum() const { return _checksum; }
    uint32_t get_size() const { return _size; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    uint32_t _checksum = 0;
    uint32_t _size = 0;
};
class SATCMD_EXPORT req_obc_file_open : public obc_file_request
{
public:
    req_obc_file_open(unsigned int device_address, const QString& name, obc_file_open_mode_e mode);
    static QString mode_letter(obc_file_open_mode_e mode); // throws std::out_of_range
};
class SATCMD_EXPORT res_obc_file_open : public kqttc_response
{
public:
    explicit res_obc_file_open(obc_file_open_mode_e mode = open_read,
                               kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    uint32_t get_size() const { return _size; }

private:
    obc_file_open_mode_e _mode;
    uint32_t _size = 0;
};
class SATCMD_EXPORT req_obc_file_close : public obc_file_request
{
public:
    explicit req_obc_file_close(unsigned int device_address);
};
KQ_SHAPED_OK_RESPONSE(res_obc_file_close, obc_cmd::file_close, report_line, remarked_ok_answer())

// A block read: the answer is the block and one sum byte (the sum of the
// block's bytes modulo 256), then the frame's CRC field.
class SATCMD_EXPORT req_obc_read : public obc_file_request
{
public:
    req_obc_read(unsigned int device_address, uint32_t pos, uint16_t length);
    uint32_t get_pos() const { return _pos; }
    uint16_t get_length() const { return _length; }

private:
    uint32_t _pos;
    uint16_t _length;
};
class SATCMD_EXPORT res_obc_read : public kqttc_response
{
public:
    explicit res_obc_read(uint16_t length = 0, kqttc_request* request = nullptr);
    void parse_response(const QString& line) override;
    void parse_response(const QByteArray& data) override;
    const QByteArray& get_data() const { return _data; }
    uint32_t get_size() const { return uint32_t(_data.size()); }

private:
    QByteArray _data;
};

// A block write: header line, the data and its sum byte, as one binary frame.
class SATCMD_EXPORT req_obc_write : public kqttc_request
{
public:
    req_obc_write(unsigned int device_address, const QByteArray& data, uint32_t pos);
    QByteArray create_binary_request() override;

private:
    QByteArray _data;
    uint32_t _pos;
};
KQ_SHAPED_OK_RESPONSE(res_obc_write, obc_cmd::file_write, report_line, remarked_ok_answer())

// The 8-bit additive sum of the block protocol.
SATCMD_EXPORT uint8_t obc_block_sum(const QByteArray& data);

} // namespace kq::api::proto::kqttc
