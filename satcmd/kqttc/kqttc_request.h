#pragma once

#include "satcmd/satcmd_global.h"

#include <QByteArray>
#include <QString>

namespace kq::api::proto::kqttc {

using kqttc_command_e = unsigned int; // 0..255, two hex digits on the wire

// Base of every KQTTC command line. It formats its payload only when asked;
// the frame (CRC field, terminators) is added by kqttc_frame.
class SATCMD_EXPORT kqttc_request
{
public:
    enum flow_mode_e : unsigned { flow_text = 0, flow_binary = 1 };
    enum format_bits_e : unsigned {
        cr_at_end = 1,     // end the frame with a carriage return
        cr_before_crc = 2, // carriage return between payload and CRC field
    };

    // A device address above 0xFF does not fit its two digits:
    // "INVALID_DEVICE_ADDRESS".
    kqttc_request(const QString& exec_context, unsigned int device_address,
                  kqttc_command_e command);
    virtual ~kqttc_request();

    virtual QString create_string_request();
    virtual QByteArray create_binary_request();

    kqttc_command_e get_command() const { return _command; }
    unsigned int get_device_address() const { return _device_address; }
    unsigned int get_flow_mode() const { return _flow_mode; }
    const QString& get_exec_context() const { return _exec_context; }
    unsigned int get_cmd_format_behaviour() const { return _format; }

    // Text the wire carries as it is (see _require_plain_text): printable
    // ASCII only.
    static bool is_plain_text(const QString& text);

protected:
    // "KQ+R" / "KQ+W" followed by address and command code.
    QString read_prefix() const;
    QString write_prefix() const;
    // Throws parameter_error with this request's code and context.
    [[noreturn]] void _reject(const char* error_name) const;
    // Refuses text the wire cannot carry as it is: lines go out as Latin-1
    // while the CRC covers UTF-8, so only ASCII arrives with a matching CRC,
    // and a carriage return, line feed or other control character would end
    // the line early and make the device run the rest as a command of its own.
    void _require_plain_text(const QString& text, const char* error_name) const;

    unsigned int _flow_mode = flow_text;
    unsigned int _format = cr_at_end;

private:
    kqttc_command_e _command;
    QString _exec_context;
    unsigned int _device_address;
};

// A command addressed to the on-board computer: a carriage return also
// separates payload and CRC field.
class SATCMD_EXPORT obc_kqttc_request : public kqttc_request
{
public:
    obc_kqttc_request(const QString& exec_context, unsigned int device_address,
                      kqttc_command_e command);
};

} // namespace kq::api::proto::kqttc
