#pragma once

#include "satcmd/kqttc/detail/command_classes.h"
#include "satcmd/satcmd_global.h"
#include "satcmd/scw_properties.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The UHF transceiver's commands: one request and one response class each,
// named after the operation. Every class passes its own name as the context
// of the errors it raises.

namespace kq::api::proto::kqttc {

namespace uhf_cmd {
enum : kqttc_command_e {
    scw = 0x00,
    rf = 0x01,
    uptime = 0x02,
    tx_pkts = 0x03,
    rx_pkts = 0x04,
    rx_crc_pkts = 0x05,
    pipe_timeout = 0x06,
    text_beacon_period = 0x07,
    audio_beacon_period = 0x08,
    ax25_beacon = 0xA9,
    arbitrary_text = 0xAA,
    flash_line = 0xB0,
    dst_call_sign = 0xF5,
    src_call_sign = 0xF6,
    morse_code_call_sign = 0xF7,
    audio_beacon_midi = 0xF8,
    version = 0xF9,
    payload_size = 0xFA,
    text_beacon_message = 0xFB,
    dev_addr = 0xFC,
    fram_memory = 0xFD,
    radio_transceiver_props = 0xFE,
    secure_access = 0xFF,
};
} // namespace uhf_cmd

// Status control word.
KQ_READ_REQUEST(req_get_scw, uhf_cmd::scw)
class SATCMD_EXPORT res_get_scw : public kqttc_pattern_response
{
public:
    explicit res_get_scw(kqttc_request* request = nullptr);
    scw_properties get_scw_value() const { return _scw; }
    unsigned int get_dev_addr() const { return _dev_addr; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    scw_properties _scw;
    unsigned int _dev_addr = 0;
};
class SATCMD_EXPORT req_set_scw : public kqttc_number_write_request
{
public:
    req_set_scw(unsigned int device_address, scw_properties& scw);
};
KQ_OK_RESPONSE(res_set_scw, uhf_cmd::scw, report_line)

// Radio frequency, in the synthesiser's integer/fraction word.
KQ_READ_REQUEST(req_get_rf, uhf_cmd::rf)
class SATCMD_EXPORT res_get_rf : public kqttc_number_response<uint32_t>
{
public:
    explicit res_get_rf(kqttc_request* request = nullptr);
    uint32_t get_rf() const { return si4463_to_freq(_value); }
    static uint32_t si4463_to_freq(uint32_t word);
};
class SATCMD_EXPORT req_set_rf : public kqttc_number_write_request
{
public:
    // A frequency the synthesiser cannot be set to (its integer part must
    // fit eight bits: 6.5 MHz up to 1670.5 MHz) is "INVALID_FREQUENCY".
    req_set_rf(unsigned int device_address, unsigned long long hz);
    static uint32_t freq_to_si4463(unsigned long long hz);
    static bool fits_synthesiser(unsigned long long hz);
};
KQ_OK_RESPONSE(res_set_rf, uhf_cmd::rf, report_line)

// Counters.
KQ_READ_REQUEST(req_get_uptime, uhf_cmd::uptime)
KQ_NUMBER_RESPONSE(res_get_uptime, uint32_t, get_uptime)
KQ_READ_REQUEST(req_get_tx_pkts, uhf_cmd::tx_pkts)
KQ_NUMBER_RESPONSE(res_get_tx_pkts, uint32_t, get_tx_pkts)
KQ_READ_REQUEST(req_get_rx_pkts, uhf_cmd::rx_pkts)
KQ_NUMBER_RESPONSE(res_get_rx_pkts, uint32_t, get_rx_pkts)
KQ_READ_REQUEST(req_get_rx_crc_pkts, uhf_cmd::rx_crc_pkts)
KQ_NUMBER_RESPONSE(res_get_rx_crc_pkts, uint32_t, get_rx_crc_pkts)

// Pipe timeout, seconds.
KQ_READ_REQUEST(req_get_pipe_timeout, uhf_cmd::pipe_timeout)
KQ_NUMBER_RESPONSE(res_get_pipe_timeout, uint8_t, get_pipe_timeout)
KQ_NUMBER_WRITE_REQUEST(req_set_pipe_timeout, uhf_cmd::pipe_timeout, unsigned char, "000000", 2)
KQ_OK_RESPONSE(res_set_pipe_timeout, uhf_cmd::pipe_timeout, quiet)

// Beacon periods.
KQ_READ_REQUEST(req_get_text_beacon_period, uhf_cmd::text_beacon_period)
KQ_NUMBER_RESPONSE(res_get_text_beacon_period, uint16_t, get_text_beacon_period)
KQ_NUMBER_WRITE_REQUEST(req_set_text_beacon_period, uhf_cmd::text_beacon_period, unsigned short,
                        "0000", 4)
KQ_OK_RESPONSE(res_set_text_beacon_period, uhf_cmd::text_beacon_period, quiet)
KQ_READ_REQUEST(req_get_audio_beacon_period, uhf_cmd::audio_beacon_period)
class SATCMD_EXPORT req_set_audio_beacon_period : public kqttc_number_write_request
{
public:
    req_set_audio_beacon_period(unsigned int device_address, unsigned short period);
    // 0 (off) or at least 30.
    static bool allowed(unsigned short period) { return period == 0 || period >= 30; }
};
// A period the transceiver could not hold (1 to 29) is another command's
// answer of the same shape, the pipe timeout's, say.
class SATCMD_EXPORT res_get_audio_beacon_period : public kqttc_number_response<uint16_t>
{
public:
    explicit res_get_audio_beacon_period(kqttc_request* request = nullptr);
    uint16_t get_audio_beacon_period() const { return _value; }

protected:
    void _take(const QRegularExpressionMatch& m) override;
};
KQ_OK_RESPONSE(res_set_audio_beacon_period, uhf_cmd::audio_beacon_period, report_line)

// Call signs: at most six printable characters, sent padded to six.
class SATCMD_EXPORT req_set_call_sign : public kqttc_text_write_request
{
protected:
    req_set_call_sign(const QString& exec_context, unsigned int device_address,
                      kqttc_command_e command, const QString& call_sign, const char* length_error,
                      const char* form_error);
};
KQ_READ_REQUEST(req_get_dst_call_sign, uhf_cmd::dst_call_sign)
KQ_TEXT_RESPONSE(res_get_dst_call_sign, get_dst_call_sign)
class SATCMD_EXPORT req_set_dst_call_sign : public req_set_call_sign
{
public:
    req_set_dst_call_sign(unsigned int device_address, const QString& call_sign);
};
KQ_OK_RESPONSE(res_set_dst_call_sign, uhf_cmd::dst_call_sign, report_line)
KQ_READ_REQUEST(req_get_src_call_sign, uhf_cmd::src_call_sign)
KQ_TEXT_RESPONSE(res_get_src_call_sign, get_src_call_sign)
class SATCMD_EXPORT req_set_src_call_sign : public req_set_call_sign
{
public:
    req_set_src_call_sign(unsigned int device_address, QString call_sign);
};
KQ_OK_RESPONSE(res_set_src_call_sign, uhf_cmd::src_call_sign, report_line)

// Morse call sign: dots, dashes and blanks, at most 40.
KQ_READ_REQUEST(req_get_morse_code_call_sign, uhf_cmd::morse_code_call_sign)
KQ_TEXT_RESPONSE(res_get_morse_code_call_sign, get_morse_code_call_sign)
class SATCMD_EXPORT req_set_morse_code_call_sign : public kqttc_text_write_request
{
public:
    req_set_morse_code_call_sign(unsigned int device_address, const QString& morse);
};
KQ_OK_RESPONSE(res_set_morse_code_call_sign, uhf_cmd::morse_code_call_sign, report_line)

// Audio beacon melody: notes of two digits and an upper-case letter.
KQ_READ_REQUEST(req_get_audio_beacon_midi, uhf_cmd::audio_beacon_midi)
KQ_TEXT_RESPONSE(res_get_audio_beacon_midi, get_audio_beacon_midi)
class SATCMD_EXPORT req_set_audio_beacon_midi : public kqttc_text_write_request
{
public:
    req_set_audio_beacon_midi(unsigned int device_address, const QString& notes);
};
KQ_OK_RESPONSE(res_set_audio_beacon_midi, uhf_cmd::audio_beacon_midi, report_line)

// Identity.
KQ_READ_REQUEST(req_get_version, uhf_cmd::version)
KQ_TEXT_RESPONSE(res_get_version, get_version)
KQ_READ_REQUEST(req_get_payload_size, uhf_cmd::payload_size)
KQ_NUMBER_RESPONSE(res_get_payload_size, uint16_t, get_payload_size)
KQ_NUMBER_WRITE_REQUEST(req_set_dev_addr, uhf_cmd::dev_addr, unsigned int, "", 2)
KQ_OK_RESPONSE(res_set_dev_addr, uhf_cmd::dev_addr, report_line)

// Text beacon: written as text, read back as the frame that goes on the air.
KQ_READ_REQUEST(req_get_text_beacon_message, uhf_cmd::text_beacon_message)
class SATCMD_EXPORT res_get_text_beacon_message : public kqttc_response
{
public:
    explicit res_get_text_beacon_message(kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    const QString& get_text_beacon_message() const { return _message; }

private:
    QString _message;
};
class SATCMD_EXPORT req_set_text_beacon_message : public kqttc_text_write_request
{
public:
    // ASCII without line feeds, at most 128 characters.
    req_set_text_beacon_message(unsigned int device_address, const QString& message);
};
class SATCMD_EXPORT res_set_text_beacon_message : public kqttc_response
{
public:
    explicit res_set_text_beacon_message(kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
};

// FRAM pages of 16 bytes.
class SATCMD_EXPORT req_get_fram_memory : public kqttc_read_request
{
public:
    req_get_fram_memory(unsigned int device_address, unsigned int fram_addr);

protected:
    QString _arguments() const override;

private:
    unsigned int _fram_addr;
};
class SATCMD_EXPORT res_get_fram_memory : public kqttc_bytes_response
{
public:
    explicit res_get_fram_memory(kqttc_request* request = nullptr);
    const QByteArray& get_fram_memory() const { return _bytes; }
};
class SATCMD_EXPORT req_set_fram_memory : public kqttc_text_write_request
{
public:
    static constexpr int page_size = 16;
    req_set_fram_memory(unsigned int device_address, unsigned int fram_addr,
                        const QByteArray& data);
};
KQ_OK_RESPONSE(res_set_fram_memory, uhf_cmd::fram_memory, report_line)

// Properties of the radio chip, by group and offset.
class SATCMD_EXPORT req_get_radio_transceiver_props : public kqttc_read_request
{
public:
    req_get_radio_transceiver_props(unsigned int device_address, unsigned char group,
                                    unsigned char offset, unsigned char count);
    unsigned char get_count() const { return _count; }

protected:
    QString _arguments() const override;

private:
    unsigned char _group, _offset, _count;
};
class SATCMD_EXPORT res_get_radio_transceiver_props : public kqttc_bytes_response
{
public:
    explicit res_get_radio_transceiver_props(kqttc_request* request = nullptr);
    const QByteArray& get_radio_transceiver_props() const { return _bytes; }
    // As many hex fields as bytes asked for: each count is a shape of its own.
    QString answer_shape() const override;

protected:
    // As many bytes as the request asked for.
    void _take(const QRegularExpressionMatch& m) override;
};
// At most 255 data bytes: their count travels in one byte ("INVALID_DATA_LENGTH").
class SATCMD_EXPORT req_set_radio_transceiver_props : public kqttc_text_write_request
{
public:
    req_set_radio_transceiver_props(unsigned int device_address, unsigned char group,
                                    unsigned char offset, const QByteArray& value);
};
KQ_OK_RESPONSE(res_set_radio_transceiver_props, uhf_cmd::radio_transceiver_props, report_line)

// Secure access: a challenge read, its answer written.
KQ_READ_REQUEST(req_get_secure_access, uhf_cmd::secure_access)
KQ_NUMBER_RESPONSE(res_get_secure_access, uint32_t, get_challenge)
KQ_NUMBER_WRITE_REQUEST(req_set_secure_access, uhf_cmd::secure_access, unsigned int, "", 8)
KQ_OK_RESPONSE(res_set_secure_access, uhf_cmd::secure_access, quiet)

// Free text over the radio link: "KQ+" sequence number and text.
class SATCMD_EXPORT req_send_arbitrary_text : public kqttc_request
{
public:
    static constexpr int max_length = 116;
    req_send_arbitrary_text(unsigned int device_address, unsigned int sequence,
                            const QString& text);
    QString create_string_request() override;

private:
    unsigned int _sequence;
    QString _text;
};

// Received free text: "KQ+" sequence number and text.
class SATCMD_EXPORT res_recv_arbitrary_text : public kqttc_pattern_response
{
public:
    explicit res_recv_arbitrary_text(kqttc_request* request = nullptr);
    uint32_t get_sequence() const { return _sequence; }
    const QString& get_arbitrary_text() const { return _text; }

protected:
    void _take(const QRegularExpressionMatch& m) override;

private:
    uint32_t _sequence = 0;
    QString _text;
};

// An AX.25 beacon the transceiver heard, sent on its own as a raw bit stream.
class SATCMD_EXPORT res_get_ax25_beacon : public kqttc_response
{
public:
    static constexpr int max_buffer = 256;
    explicit res_get_ax25_beacon(kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    bool parse_binary_chunk(const QByteArray& chunk) override;
    const QString& get_ax25_beacon() const { return _beacon; }

    // "CQ    [E0]QQ9ZZZ[E1][03F0]HELLO": call signs with their SSID bytes,
    // control and protocol, then the information field.
    static QString beacon_text(const QByteArray& frame);

private:
    QByteArray _buffer;
    QString _beacon;
};

// One line of a firmware file.
class SATCMD_EXPORT req_uhf_flash_send_line : public kqttc_request
{
public:
    req_uhf_flash_send_line(int address, const QString& line);
    QString create_string_request() override;
    const QString& get_line() const { return _line; }

private:
    QString _line;
};

// Accepted on "OK"; a refusal is worth repeating only when the transceiver
// says the line arrived damaged ("+CHKSUM", "+FW"). Data records wait as
// class S, the others as class L.
class SATCMD_EXPORT res_uhf_flash_send_line : public kqttc_response
{
public:
    explicit res_uhf_flash_send_line(bool data_record, kqttc_request* request = nullptr);
    using kqttc_response::parse_response;
    void parse_response(const QString& line) override;
    // A record sent more than once was refused for one of its copies: the
    // flash cannot count on it.
    void check_late_answer(const QString& line) override;
    int expected_answer_bytes() const override;
    unsigned get_command_retries(const module_config_t& config, kqttc_request* request) override;
    unsigned get_media_timeout(const module_config_t& config, kqttc_request* request) override;
    static const QStringList& retry_markers();

private:
    bool _data_record;
};

} // namespace kq::api::proto::kqttc
