#include "satcmd/kqttc/uhf_commands.h"

#include "satcmd/kqttc/ax25_decoder.h"
#include "satcmd/kqttc/detail/command_definitions.h"

#include <algorithm>
#include <cmath>

namespace kq::api::proto::kqttc {

namespace {

// Answer patterns, anchored at both ends and as narrow as the fields allow:
// the protocol names no command in its answers, so an answer's shape is all
// that tells a late answer to another command from this one's.
KQ_PATTERN(scw_answer, "^OK\\+([0-9A-F]{2})([0-9A-F]{2})[0-9A-F]{2}([0-9A-F]{4})$")
// The synthesiser's fraction has 20 bits: the word's fifth digit is 0.
KQ_PATTERN(rf_word, "^OK\\+([0-9A-F]{2})([0-9A-F]{4}0[0-9A-F]{3})$")
KQ_PATTERN(rssi_word8, "^OK\\+([0-9A-F]{2})([0-9A-F]{8})$")
KQ_PATTERN(rssi_byte, "^OK\\+([0-9A-F]{2})000000([0-9A-F]{2})$")
KQ_PATTERN(rssi_period, "^OK\\+([0-9A-F]{2})0000([0-9A-F]{4})$")
// Six printable characters, the call sign padded with blanks; the value is
// the call sign without them.
KQ_PATTERN(padded_call_sign, "^OK\\+(?=[\\x20-\\x7E]{6}$)(.*?) *$")
KQ_PATTERN(morse_answer, "^OK\\+([0-9]{2})([.\\- ]*)$")
KQ_PATTERN(notes_answer, "^OK\\+([0-9]{2})((?:[0-9]{2}[A-Z])*)$")
// A name, a blank and a dotted number, perhaps a remark after another blank
// ("KQ-UHF 2.4.1"); any character but controls.
KQ_PATTERN(version_text, "^OK\\+([^\\x00-\\x20\\x7F][^\\x00-\\x1F\\x7F]*? [0-9]+(?:\\.[0-9]+)+"
                         "(?: [^\\x00-\\x1F\\x7F]*)?)$")
KQ_PATTERN(word4, "^OK\\+([0-9A-F]{4})$")
KQ_PATTERN(word8, "^OK\\+([0-9A-F]{8})$")
KQ_PATTERN(fram_page, "^OK\\+([0-9A-F]{32})$")
KQ_PATTERN(hex_bytes, "^OK\\+([0-9A-F]+)$")
KQ_PATTERN(beacon_frame, "^OK\\+([0-9A-F]{2})\\s*([0-9A-F]*)$")
KQ_PATTERN(printable_call_sign, "(^[\\x20-\\x7E]{1,6}$)")
KQ_PATTERN(morse_text, "^[\\.\\-\\s]+$")
KQ_PATTERN(note, "([0-9]{2}[A-Z])")
KQ_PATTERN(free_text, "^KQ\\+([0-9A-Fa-f]{8})(.*?)$")

constexpr int beacon_info_offset = 16; // two address fields, control, protocol

QString decimal2(int n)
{
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

} // namespace

// Status control word.

res_get_scw::res_get_scw(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_get_scw"), uhf_cmd::scw, scw_answer(), 1, request)
{
}

// The answer names the transceiver that gave it: another one's status word
// (a relay speaking for the far end, a late answer to another hop) is not
// this command's answer.
void res_get_scw::_take(const QRegularExpressionMatch& m)
{
    _dev_addr = static_cast<unsigned int>(hex::parse(m.captured(2)));
    if (_request && _dev_addr != (_request->get_device_address() & 0xFF))
        _reject(m.captured(0));
    _scw = static_cast<short>(hex::parse(m.captured(3)));
}

req_set_scw::req_set_scw(unsigned int device_address, scw_properties& scw)
    : kqttc_number_write_request(QStringLiteral("req_set_scw"), device_address, uhf_cmd::scw,
                                 static_cast<unsigned short>(scw.get_value()), QString(), 4)
{
}

// Radio frequency.

res_get_rf::res_get_rf(kqttc_request* request)
    : kqttc_number_response(QStringLiteral("res_get_rf"), uhf_cmd::rf, rf_word(), 1, 2, request)
{
}

uint32_t res_get_rf::si4463_to_freq(uint32_t word)
{
    const uint32_t inte = word & 0xFF;
    const uint32_t frac =
        (word >> 24) | (((word >> 16) & 0xFF) << 8) | (((word >> 8) & 0xFF) << 16) | 0x80000;
    const double hz = (inte + frac / double(1 << 19)) * 2.0 * 26000000.0 * 0.125;
    const auto truncated = static_cast<uint32_t>(hz);
    return static_cast<uint32_t>(std::round(truncated / 1000.0) * 1000.0);
}

req_set_rf::req_set_rf(unsigned int device_address, unsigned long long hz)
    : kqttc_number_write_request(QStringLiteral("req_set_rf"), device_address, uhf_cmd::rf,
                                 freq_to_si4463(hz), QString(), 8)
{
    if (!fits_synthesiser(hz))
        _reject("INVALID_FREQUENCY");
}

bool req_set_rf::fits_synthesiser(unsigned long long hz)
{
    constexpr unsigned long long step = 6500000; // one integer step of the synthesiser
    return hz >= step && hz / step - 1 <= 0xFF;
}

uint32_t req_set_rf::freq_to_si4463(unsigned long long hz)
{
    const uint64_t inte = (4 * hz) / 26000000 - 1;
    const uint64_t frac = ((hz - inte * 6500000) << 21) / 26000000;
    return static_cast<uint32_t>(((frac & 0xFF) << 24) | (((frac >> 8) & 0xFF) << 16) |
                                 (((frac >> 16) & 0xFF) << 8) | (inte & 0xFF));
}

// Counters, pipe timeout, periods, identity.

KQ_DEFINE_NUMBER_RESPONSE(res_get_uptime, uhf_cmd::uptime, rssi_word8, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_tx_pkts, uhf_cmd::tx_pkts, rssi_word8, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_rx_pkts, uhf_cmd::rx_pkts, rssi_word8, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_rx_crc_pkts, uhf_cmd::rx_crc_pkts, rssi_word8, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_pipe_timeout, uhf_cmd::pipe_timeout, rssi_byte, 1, 2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_text_beacon_period, uhf_cmd::text_beacon_period, rssi_period, 1,
                          2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_audio_beacon_period, uhf_cmd::audio_beacon_period, rssi_period, 1,
                          2)
KQ_DEFINE_NUMBER_RESPONSE(res_get_payload_size, uhf_cmd::payload_size, word4, 0, 1)
KQ_DEFINE_NUMBER_RESPONSE(res_get_secure_access, uhf_cmd::secure_access, word8, 0, 1)
KQ_DEFINE_TEXT_RESPONSE(res_get_dst_call_sign, uhf_cmd::dst_call_sign, padded_call_sign, 1)
KQ_DEFINE_TEXT_RESPONSE(res_get_src_call_sign, uhf_cmd::src_call_sign, padded_call_sign, 1)
KQ_DEFINE_COUNTED_TEXT_RESPONSE(res_get_morse_code_call_sign, uhf_cmd::morse_code_call_sign,
                                morse_answer, 1, 2, 1)
KQ_DEFINE_COUNTED_TEXT_RESPONSE(res_get_audio_beacon_midi, uhf_cmd::audio_beacon_midi, notes_answer,
                                1, 2, 3)
KQ_DEFINE_TEXT_RESPONSE(res_get_version, uhf_cmd::version, version_text, 1)

req_set_audio_beacon_period::req_set_audio_beacon_period(unsigned int device_address,
                                                         unsigned short period)
    : kqttc_number_write_request(QStringLiteral("req_set_audio_beacon_period"), device_address,
                                 uhf_cmd::audio_beacon_period, period, QStringLiteral("0000"), 4)
{
    if (!allowed(period))
        _reject("INVALID_AUDIO_BEACON_PERIOD");
}

void res_get_audio_beacon_period::_take(const QRegularExpressionMatch& m)
{
    kqttc_number_response::_take(m);
    if (!req_set_audio_beacon_period::allowed(_value))
        _reject(m.captured(0));
}

// Call signs, Morse and melody.

req_set_call_sign::req_set_call_sign(const QString& exec_context, unsigned int device_address,
                                     kqttc_command_e command, const QString& call_sign,
                                     const char* length_error, const char* form_error)
    : kqttc_text_write_request(exec_context, device_address, command)
{
    if (call_sign.size() > 6)
        _reject(length_error);
    if (!printable_call_sign().match(call_sign).hasMatch())
        _reject(form_error);
    _field = call_sign.leftJustified(6, QLatin1Char(' '));
}

req_set_dst_call_sign::req_set_dst_call_sign(unsigned int device_address, const QString& call_sign)
    : req_set_call_sign(QStringLiteral("req_set_dst_call_sign"), device_address,
                        uhf_cmd::dst_call_sign, call_sign, "INVALID_DST_CALL_SIGN_LENGTH",
                        "INVALID_DST_CALL_SIGN")
{
}

req_set_src_call_sign::req_set_src_call_sign(unsigned int device_address, QString call_sign)
    : req_set_call_sign(QStringLiteral("req_set_src_call_sign"), device_address,
                        uhf_cmd::src_call_sign, call_sign, "INVALID_SRC_CALL_SIGN_LENGTH",
                        "INVALID_SRC_CALL_SIGN")
{
}

req_set_morse_code_call_sign::req_set_morse_code_call_sign(unsigned int device_address,
                                                           const QString& morse)
    : kqttc_text_write_request(QStringLiteral("req_set_morse_code_call_sign"), device_address,
                               uhf_cmd::morse_code_call_sign)
{
    if (morse.size() > 40)
        _reject("INVALID_MORSE_CODE_LENGTH");
    if (!morse.isEmpty() && !morse_text().match(morse).hasMatch())
        _reject("INVALID_MORSE_CODE");
    _require_plain_text(morse, "INVALID_MORSE_CODE"); // \s also matches CR, LF, tab
    _field = decimal2(morse.size()) + morse;
}

req_set_audio_beacon_midi::req_set_audio_beacon_midi(unsigned int device_address,
                                                     const QString& notes)
    : kqttc_text_write_request(QStringLiteral("req_set_audio_beacon_midi"), device_address,
                               uhf_cmd::audio_beacon_midi)
{
    if (notes.size() > 127)
        _reject("INVALID_NOTES_LENGTH");
    int count = 0;
    for (auto it = note().globalMatch(notes); it.hasNext(); it.next())
        ++count;
    if (3 * count != notes.size())
        _reject("INVALID_NOTES");
    _field = decimal2(count) + notes;
}

// Text beacon.

res_get_text_beacon_message::res_get_text_beacon_message(kqttc_request* request)
    : kqttc_response(QStringLiteral("res_get_text_beacon_message"), uhf_cmd::text_beacon_message, 0,
                     request)
{
}

void res_get_text_beacon_message::parse_response(const QString& line)
{
    const QRegularExpressionMatch m = beacon_frame().match(line);
    if (!m.hasMatch()) {
        // A remote transceiver cannot read its beacon back; asking again will not help.
        _reject(line, line.contains(QLatin1String("+REMOTE")) ? proto_exception::no_retry
                                                              : proto_exception::retry);
    }
    const auto length = static_cast<uint8_t>(hex::parse(m.captured(1)));
    const QString digits = m.captured(2);
    if (digits.size() % 2 != 0)
        _reject(line);
    const QByteArray bits = QByteArray::fromHex(digits.toLatin1());
    if (static_cast<uint8_t>(bits.size()) != length)
        _reject(line);
    QByteArray frame;
    const int n = ax25_decoder::decode(bits, frame);
    if (n <= beacon_info_offset + 2)
        _reject(line);
    const QByteArray info = frame.mid(beacon_info_offset, n - beacon_info_offset - 2);
    const int nul = info.indexOf('\0');
    _message = QString::fromLatin1(nul < 0 ? info : info.left(nul));
}

req_set_text_beacon_message::req_set_text_beacon_message(unsigned int device_address,
                                                         const QString& message)
    : kqttc_text_write_request(QStringLiteral("req_set_text_beacon_message"), device_address,
                               uhf_cmd::text_beacon_message)
{
    if (message.contains(QLatin1Char('\n')))
        _reject("INVALID_TEXT_BEACON_MESSAGE");
    if (message.size() > 128)
        _reject("INVALID_TEXT_BEACON_MESSAGE_LENGTH");
    _require_plain_text(message, "INVALID_TEXT_BEACON_MESSAGE");
    _field = hex::field(static_cast<uint8_t>(message.toUtf8().size()), 2) + message;
}

res_set_text_beacon_message::res_set_text_beacon_message(kqttc_request* request)
    : kqttc_response(QStringLiteral("res_set_text_beacon_message"), uhf_cmd::text_beacon_message, 0,
                     request)
{
}

void res_set_text_beacon_message::parse_response(const QString& line)
{
    if (bare_ok_answer().match(line).hasMatch())
        return;
    _reject(line, line.contains(QLatin1String("+REMOTE")) ? proto_exception::no_retry
                                                          : proto_exception::retry);
}

// FRAM.

req_get_fram_memory::req_get_fram_memory(unsigned int device_address, unsigned int fram_addr)
    : kqttc_read_request(QStringLiteral("req_get_fram_memory"), device_address,
                         uhf_cmd::fram_memory)
    , _fram_addr(fram_addr)
{
}

QString req_get_fram_memory::_arguments() const
{
    return hex::field(_fram_addr, 8);
}

res_get_fram_memory::res_get_fram_memory(kqttc_request* request)
    : kqttc_bytes_response(QStringLiteral("res_get_fram_memory"), uhf_cmd::fram_memory, fram_page(),
                           request)
{
}

req_set_fram_memory::req_set_fram_memory(unsigned int device_address, unsigned int fram_addr,
                                         const QByteArray& data)
    : kqttc_text_write_request(QStringLiteral("req_set_fram_memory"), device_address,
                               uhf_cmd::fram_memory)
{
    if (data.size() != page_size)
        _reject("INVALID_DATA_LENGTH");
    _field = hex::field(fram_addr, 8) + QString::fromLatin1(data.toHex().toUpper());
}

// Radio chip properties.

req_get_radio_transceiver_props::req_get_radio_transceiver_props(unsigned int device_address,
                                                                 unsigned char group,
                                                                 unsigned char offset,
                                                                 unsigned char count)
    : kqttc_read_request(QStringLiteral("req_get_radio_transceiver_props"), device_address,
                         uhf_cmd::radio_transceiver_props)
    , _group(group)
    , _offset(offset)
    , _count(count)
{
}

QString req_get_radio_transceiver_props::_arguments() const
{
    return hex::field(_group, 2) + hex::field(_count, 2) + hex::field(_offset, 2);
}

res_get_radio_transceiver_props::res_get_radio_transceiver_props(kqttc_request* request)
    : kqttc_bytes_response(QStringLiteral("res_get_radio_transceiver_props"),
                           uhf_cmd::radio_transceiver_props, hex_bytes(), request)
{
}

QString res_get_radio_transceiver_props::answer_shape() const
{
    const auto* request = dynamic_cast<const req_get_radio_transceiver_props*>(_request);
    return kqttc_bytes_response::answer_shape() + QLatin1Char('/') +
           QString::number(request ? request->get_count() : 0);
}

void res_get_radio_transceiver_props::_take(const QRegularExpressionMatch& m)
{
    kqttc_bytes_response::_take(m);
    const auto* request = dynamic_cast<const req_get_radio_transceiver_props*>(_request);
    if (request && _bytes.size() != request->get_count())
        _reject(m.captured(0));
}

req_set_radio_transceiver_props::req_set_radio_transceiver_props(unsigned int device_address,
                                                                 unsigned char group,
                                                                 unsigned char offset,
                                                                 const QByteArray& value)
    : kqttc_text_write_request(QStringLiteral("req_set_radio_transceiver_props"), device_address,
                               uhf_cmd::radio_transceiver_props)
{
    if (value.size() > 0xFF)
        _reject("INVALID_DATA_LENGTH");
    _field = hex::field(group, 2) + hex::field(static_cast<uint8_t>(value.size()), 2) +
             hex::field(offset, 2) + QString::fromLatin1(value.toHex());
}

// Free text.

req_send_arbitrary_text::req_send_arbitrary_text(unsigned int device_address, unsigned int sequence,
                                                 const QString& text)
    : kqttc_request(QStringLiteral("req_send_arbitrary_text"), device_address,
                    uhf_cmd::arbitrary_text)
    , _sequence(sequence)
    , _text(text)
{
    if (text.size() > max_length)
        _reject("INVALID_ARBITRARY_TEXT_LEN");
    _require_plain_text(text, "INVALID_ARBITRARY_TEXT");
}

QString req_send_arbitrary_text::create_string_request()
{
    return QLatin1String("KQ+") + hex::field(_sequence, 8) + _text;
}

// Received free text.

res_recv_arbitrary_text::res_recv_arbitrary_text(kqttc_request* request)
    : kqttc_pattern_response(QStringLiteral("res_recv_arbitrary_text"), uhf_cmd::arbitrary_text,
                             free_text(), 0, request)
{
}

void res_recv_arbitrary_text::_take(const QRegularExpressionMatch& m)
{
    _sequence = static_cast<uint32_t>(hex::parse(m.captured(1)));
    _text = m.captured(2);
}

// Beacons.

res_get_ax25_beacon::res_get_ax25_beacon(kqttc_request* request)
    : kqttc_response(QStringLiteral("res_get_ax25_beacon"), uhf_cmd::ax25_beacon, 0, request)
{
    _flow_mode = flow_binary_stream;
}

void res_get_ax25_beacon::parse_response(const QString& line)
{
    _reject(line);
}

bool res_get_ax25_beacon::parse_binary_chunk(const QByteArray& chunk)
{
    _buffer += chunk;
    if (_buffer.size() > max_buffer)
        throw proto_exception(proto_exception::ax25_error, 0, get_exec_context(),
                              QStringLiteral("AX25_PARSE_ERROR"), proto_exception::retry);
    if (_buffer.contains("+KQTTC"))
        throw proto_exception(proto_exception::pipe_error, 0, QStringLiteral("NOT_DEFINED"),
                              QString(), proto_exception::retry);
    if (_buffer.size() < 22)
        return false;
    QByteArray frame;
    if (ax25_decoder::decode(_buffer, frame) == 0)
        return false;
    _beacon = beacon_text(frame);
    return true;
}

QString res_get_ax25_beacon::beacon_text(const QByteArray& frame)
{
    const auto call = [&](int from) {
        QByteArray c;
        for (int i = from; i < from + 6; ++i)
            c.append(char(uint8_t(frame.at(i)) >> 1));
        return c;
    };
    const auto byte = [&](int i) { return hex::field(uint8_t(frame.at(i)), 2).toLatin1(); };
    QByteArray text = call(0) + '[' + byte(6) + ']' + call(7) + '[' + byte(13) + "][" + byte(14) +
                      byte(15) + ']' + frame.mid(16, frame.size() - 18);
    const int nul = text.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? text : text.left(nul));
}

// Firmware lines.

req_uhf_flash_send_line::req_uhf_flash_send_line(int address, const QString& line)
    : kqttc_request(QStringLiteral("req_uhf_flash_send_line"), unsigned(address),
                    uhf_cmd::flash_line)
    , _line(line)
{
}

QString req_uhf_flash_send_line::create_string_request()
{
    return QLatin1String("KQ+D") + hex::field(get_device_address(), 2) + _line;
}

res_uhf_flash_send_line::res_uhf_flash_send_line(bool data_record, kqttc_request* request)
    : kqttc_response(QStringLiteral("res_uhf_flash_send_line"), uhf_cmd::flash_line, 0, request)
    , _data_record(data_record)
{
}

const QStringList& res_uhf_flash_send_line::retry_markers()
{
    static const QStringList markers{QStringLiteral("+CHKSUM"), QStringLiteral("+FW")};
    return markers;
}

void res_uhf_flash_send_line::parse_response(const QString& line)
{
    if (bare_ok_answer().match(line).hasMatch())
        return;
    const bool damaged = std::any_of(retry_markers().begin(), retry_markers().end(),
                                     [&](const QString& m) { return line.contains(m); });
    _reject(line, damaged ? proto_exception::retry : proto_exception::no_retry);
}

void res_uhf_flash_send_line::check_late_answer(const QString& line)
{
    if (!line.startsWith(QLatin1String("OK")))
        _reject(line, proto_exception::no_retry);
}

int res_uhf_flash_send_line::expected_answer_bytes() const
{
    constexpr int refusal_bytes = 24; // "ERR+CHKSUM", the CRC field, CR LF
    return refusal_bytes;
}

unsigned res_uhf_flash_send_line::get_command_retries(const module_config_t& config, kqttc_request*)
{
    return unsigned(_data_record ? config.repeats_s : config.repeats_l);
}

unsigned res_uhf_flash_send_line::get_media_timeout(const module_config_t& config, kqttc_request*)
{
    return unsigned(_data_record ? config.timeout_s : config.timeout_l);
}

} // namespace kq::api::proto::kqttc
