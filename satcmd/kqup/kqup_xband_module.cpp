#include "satcmd/kqup/kqup_xband_module.h"

#include "satcmd/kqup/xband_data.h"
#include "satcmd/proto_exception.h"

#include <QtEndian>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqup {

namespace {

[[noreturn]] void status_error(uint16_t command, const char* context, uint8_t status)
{
    throw proto_exception(proto_exception::command_response_error, command, QLatin1String(context),
                          QString::number(status), proto_exception::retry);
}

QByteArray le_float(float value)
{
    char raw[4];
    qToLittleEndian<float>(value, raw);
    return QByteArray(raw, 4);
}

} // namespace

kqup_xband_module::kqup_xband_module(media* m, const connect_props_t& props)
    : xband_module(m, props)
    , _engine(std::make_unique<kqup_proto>(m, props, module_mutex()))
{
    set_before_close([this] { _engine->settle_line(); });
}

kqup_xband_module::~kqup_xband_module() = default;

kqup_packet_data_t kqup_xband_module::_packet(uint16_t command, uint16_t type_code,
                                              const QByteArray& payload) const
{
    const connect_props_t props = get_connect_props();
    const uint16_t address = props.route.isEmpty() ? 0 : uint16_t(props.route.first().dev_addr);
    return {address, address, command, type_code, payload};
}

QByteArray kqup_xband_module::_exchange(uint16_t command, uint16_t type_code,
                                        const QByteArray& payload,
                                        const kqup_proto::answer_check& check)
{
    kqup_packet_data_t reply;
    _engine->exec_command(_packet(command, type_code, payload), reply, check);
    return reply.payload;
}

QByteArray kqup_xband_module::exec_command(uint16_t command, uint16_t type_code,
                                           const QByteArray& payload)
{
    // Every reply starts with its status.
    const QByteArray reply = _exchange(command, type_code, payload,
                                       [](const QByteArray& answer) { return !answer.isEmpty(); });
    xband_cmd_set_result_t result;
    xband_data::parse_cmd_set_result(reply, &result);
    if (result.status != 0)
        status_error(command, "exec_command", result.status);
    return reply;
}

// A reply of the value's size + 1, or a bare status other than 0: the
// transmitter's refusal. A bare 0 carries no value (it is a write's reply,
// come late): it is skipped as another command's, and never read as a value.
QByteArray kqup_xband_module::_get_value(uint16_t type_code, int value_size)
{
    const auto own = [value_size](const QByteArray& answer) {
        const bool refusal = answer.size() == 1 && answer.at(0) != 0;
        return answer.size() == value_size + 1 || refusal;
    };
    // The engine takes no answer that `own` refuses.
    const QByteArray reply = _exchange(kqup_cmd::get_parameter, type_code, QByteArray(), own);
    if (reply.at(0) != 0)
        status_error(kqup_cmd::get_parameter, "_command_get_value", uint8_t(reply.at(0)));
    return reply.mid(1);
}

uint8_t kqup_xband_module::_get_byte(uint16_t type_code)
{
    return uint8_t(_get_value(type_code, 1).at(0));
}

void kqup_xband_module::_set_value(uint16_t type_code, const QByteArray& value)
{
    const QByteArray reply =
        _exchange(kqup_cmd::set_parameter, type_code, value,
                  [](const QByteArray& answer) { return answer.size() == 1; }); // a bare status
    xband_cmd_set_result_t result;
    xband_data::parse_cmd_set_result(reply, &result);
    if (result.status != 0)
        status_error(kqup_cmd::set_parameter, "_command_set_value", result.status);
}

void kqup_xband_module::_set_byte(uint16_t type_code, unsigned value)
{
    _set_value(type_code, QByteArray(1, char(uint8_t(value))));
}

QByteArray kqup_xband_module::_name(const QString& name)
{
    return name.toUtf8() + '\0';
}

uint8_t kqup_xband_module::get_symbol_rate()
{
    return _get_byte(kqup_type::symbol_rate);
}

uint8_t kqup_xband_module::get_tx_power()
{
    return _get_byte(kqup_type::tx_power);
}

float kqup_xband_module::get_central_frequency()
{
    return qFromLittleEndian<float>(_get_value(kqup_type::central_frequency, 4).constData());
}

uint8_t kqup_xband_module::get_modcod()
{
    return _get_byte(kqup_type::modcod);
}

xband_roll_off_e kqup_xband_module::get_roll_off()
{
    return xband_roll_off_e(_get_byte(kqup_type::roll_off));
}

xband_pilot_signal_status_e kqup_xband_module::get_pilot_signal()
{
    return xband_pilot_signal_status_e(_get_byte(kqup_type::pilot_signal));
}

xband_fec_frame_size_e kqup_xband_module::get_fec_frame_size()
{
    return xband_fec_frame_size_e(_get_byte(kqup_type::fec_frame_size));
}

xband_all_parameters_t kqup_xband_module::get_all_parameters()
{
    return xband_data::convert_all_parameters_from_packed(xband_data::unpack_all_parameters(
        _get_value(kqup_type::all_parameters, xband_all_parameters_packed_t::size)));
}

xband_simple_report_t kqup_xband_module::get_simple_report()
{
    return xband_data::convert_simple_report_from_packed(xband_data::unpack_simple_report(
        _get_value(kqup_type::simple_report, xband_simple_report_packed_t::size)));
}

xband_full_report_t kqup_xband_module::get_full_report()
{
    return xband_data::convert_full_report_from_packed(xband_data::unpack_full_report(
        _get_value(kqup_type::full_report, xband_full_report_packed_t::size)));
}

void kqup_xband_module::set_symbol_rate(unsigned char value)
{
    _set_byte(kqup_type::symbol_rate, value);
}

void kqup_xband_module::set_tx_power(unsigned char value)
{
    _set_byte(kqup_type::tx_power, value);
}

void kqup_xband_module::set_central_frequency(float value)
{
    _set_value(kqup_type::central_frequency, le_float(value));
}

void kqup_xband_module::set_modcod(unsigned char value)
{
    _set_byte(kqup_type::modcod, value);
}

void kqup_xband_module::set_roll_off(xband_roll_off_e value)
{
    _set_byte(kqup_type::roll_off, unsigned(value));
}

void kqup_xband_module::set_pilot_signal(xband_pilot_signal_status_e value)
{
    _set_byte(kqup_type::pilot_signal, unsigned(value));
}

void kqup_xband_module::set_fec_frame_size(xband_fec_frame_size_e value)
{
    _set_byte(kqup_type::fec_frame_size, unsigned(value));
}

void kqup_xband_module::set_all_parameters(const xband_all_parameters_t& value)
{
    _set_value(kqup_type::all_parameters,
               xband_data::pack(xband_data::convert_all_parameters_to_packed(value)));
}

void kqup_xband_module::dir(QVector<xband_file_entry_t>& entries)
{
    xband_data::parse_cmd_dir_result(exec_command(kqup_cmd::dir, kqup_type::none, {}), entries);
}

void kqup_xband_module::delete_file(const QString& name)
{
    exec_command(kqup_cmd::delete_file, kqup_type::none, _name(name));
}

void kqup_xband_module::delete_all_files()
{
    exec_command(kqup_cmd::delete_all_files, kqup_type::none, {});
}

void kqup_xband_module::create_file(const QString& name, unsigned int size, unsigned int& handle)
{
    QByteArray payload = _name(name);
    payload.append(char(size & 0xFF));
    payload.append(char((size >> 8) & 0xFF));
    xband_data::parse_cmd_create_file_result(
        exec_command(kqup_cmd::create_file, kqup_type::none, payload), handle);
}

void kqup_xband_module::open_file(const QString& name, unsigned int& a, unsigned int& b)
{
    xband_data::parse_cmd_open_file_result(
        exec_command(kqup_cmd::open_file, kqup_type::none, _name(name)), a, b);
}

void kqup_xband_module::write_file(unsigned int handle, unsigned int offset, const QByteArray& data)
{
    QByteArray payload;
    xband_data::create_cmd_write_file_payload(handle, offset, data, payload);
    exec_command(kqup_cmd::write_file, kqup_type::none, payload);
}

void kqup_xband_module::read_file(unsigned int handle, unsigned int& value, QByteArray& data)
{
    QByteArray payload;
    xband_data::create_cmd_read_file_payload(handle, payload);
    xband_data::parse_cmd_read_file_result(
        exec_command(kqup_cmd::read_file, kqup_type::none, payload), value, data);
}

void kqup_xband_module::update_fw(const QString& name)
{
    exec_command(kqup_cmd::update_fw, kqup_type::none, _name(name));
}

void kqup_xband_module::shutdown()
{
    exec_command(kqup_cmd::shutdown, kqup_type::none, {});
}

void kqup_xband_module::tx_mode()
{
    exec_command(kqup_cmd::tx_mode, kqup_type::none, {});
}

void kqup_xband_module::load_mode()
{
    exec_command(kqup_cmd::load_mode, kqup_type::none, {});
}

void kqup_xband_module::send_files(xband_file_status_e status, const QString& name)
{
    QByteArray payload;
    xband_data::create_cmd_send_files_payload(status, name, payload);
    exec_command(kqup_cmd::send_files, kqup_type::none, payload);
}

} // namespace kq::api::proto::kqup

QT_WARNING_POP
