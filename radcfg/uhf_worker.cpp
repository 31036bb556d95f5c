#include "uhf_worker.h"

#include "satcmd/scw_properties.h"
#include "satcmd/uhf_module.h"

namespace radcfg {

using namespace kq::api::proto;

namespace {

bool is_scw_field(uint32_t id)
{
    return id == uhf_worker::uart_baud_rate || id == uhf_worker::rf_mode ||
           id == uhf_worker::beacon_enabled;
}

} // namespace

QString uhf_worker::parameter_name(uint32_t id)
{
    static const QMap<uint32_t, QString> names{{scw, "status control word"},
                                               {radio_frequency, "radio frequency"},
                                               {version, "version"},
                                               {uptime, "uptime"},
                                               {device_address, "device address"},
                                               {rx_crc_errors, "RX packets with CRC errors"},
                                               {rx_packets, "RX packets"},
                                               {tx_packets, "TX packets"},
                                               {audio_beacon, "audio beacon"},
                                               {audio_beacon_period, "audio beacon period"},
                                               {dst_call_sign, "destination call sign"},
                                               {src_call_sign, "source call sign"},
                                               {morse_code, "morse code"},
                                               {payload_size, "payload size"},
                                               {text_beacon, "text beacon"},
                                               {text_beacon_period, "text beacon period"},
                                               {pipe_timeout, "pipe timeout"},
                                               {uart_baud_rate, "UART baud rate"},
                                               {rf_mode, "RF mode"},
                                               {reset_parameter, "reset"},
                                               {flash_parameter, "flash"},
                                               {beacon_enabled, "beacon enabled"},
                                               {boot, "boot"},
                                               {fram, "FRAM"},
                                               {rfts, "RFTS"},
                                               {boot_mode, "boot mode"},
                                               {rssi, "RSSI"}};
    return names.value(id, QStringLiteral("parameter %1").arg(id));
}

uhf_worker::uhf_worker(QObject* parent, uhf_module* module)
    : cp_worker(parent, module)
{
    connect(this, &uhf_worker::reset, this, &uhf_worker::_reset);
    connect(this, &uhf_worker::flash, this, &uhf_worker::_flash);
}

uhf_module& uhf_worker::_uhf() const
{
    return static_cast<uhf_module&>(*_module);
}

void uhf_worker::_get_param(uint32_t id)
{
    uhf_module& u = _uhf();
    QVariant value;
    switch (id) {
    case scw:
        value = uint(uint16_t(u.get_scw().get_value()));
        break;
    case radio_frequency:
        value = qulonglong(u.get_rf());
        break;
    case version:
        value = u.get_version();
        break;
    case uptime:
        value = uint(u.get_uptime());
        break;
    case device_address:
        value = uint(u.get_dev_addr());
        break;
    case rx_crc_errors:
        value = uint(u.get_rx_crc_pkts());
        break;
    case rx_packets:
        value = uint(u.get_rx_pkts());
        break;
    case tx_packets:
        value = uint(u.get_tx_pkts());
        break;
    case audio_beacon:
        value = u.get_audio_beacon_midi();
        break;
    case audio_beacon_period:
        value = uint(u.get_audio_beacon_period());
        break;
    case dst_call_sign:
        value = u.get_dst_call_sign();
        break;
    case src_call_sign:
        value = u.get_src_call_sign();
        break;
    case morse_code:
        value = u.get_morse_code_call_sign();
        break;
    case payload_size:
        value = uint(u.get_payload_size());
        break;
    case text_beacon:
        value = u.get_text_beacon_message();
        break;
    case text_beacon_period:
        value = uint(u.get_text_beacon_period());
        break;
    case pipe_timeout:
        value = uint(u.get_pipe_timeout());
        break;
    case uart_baud_rate:
        value = int(u.get_scw().get_uart_baud());
        break;
    case rf_mode:
        value = int(u.get_scw().get_rf_mode());
        break;
    default:
        return;
    }
    if (!value.isNull())
        _cache_parameter_and_emit_signal(id, value);
}

void uhf_worker::_set_param(uint32_t id, const QVariant& value)
{
    uhf_module& u = _uhf();
    switch (id) {
    case radio_frequency:
        u.set_rf(static_cast<unsigned int>(value.toULongLong()));
        break;
    case device_address:
        u.set_dev_addr(value.toUInt() & 0xFF);
        break;
    case audio_beacon:
        u.set_audio_beacon_midi(value.toString());
        break;
    case audio_beacon_period:
        u.set_audio_beacon_period(static_cast<unsigned short>(value.toUInt()));
        break;
    case dst_call_sign:
        u.set_dst_call_sign(value.toString());
        break;
    case src_call_sign:
        u.set_src_call_sign(value.toString());
        break;
    case morse_code:
        u.set_morse_code_call_sign(value.toString());
        break;
    case text_beacon:
        u.set_text_beacon_message(value.toString());
        break;
    case text_beacon_period:
        u.set_text_beacon_period(static_cast<unsigned short>(value.toUInt()));
        break;
    case pipe_timeout:
        u.set_pipe_timeout(static_cast<unsigned char>(value.toUInt() & 0xFF));
        break;
    default:
        return; // the status-word fields go together, the rest is read only
    }
    emit on_set_param(id, value);
}

void uhf_worker::_set_params(const param_pairs_t& params)
{
    _connect_exec_disconnect(WRITE, [this, params] {
        for (const auto& p : params) {
            if (!is_running())
                return;
            if (!is_scw_field(p.first))
                _try_set_param(p.first, p.second);
        }
        if (is_running())
            _try_set_scw_params(params);
    });
}

void uhf_worker::_try_set_scw_params(const param_pairs_t& params)
{
    error_descriptor failure;
    if (_guarded([&] { _set_scw_params(params); }, failure))
        return;
    for (const auto& p : params) {
        if (is_scw_field(p.first))
            emit on_set_param_request_error(p.first, failure);
    }
}

// The fields the user changed, composed onto the word read from the device,
// in one write; reported as RF mode, beacon and UART speed.
void uhf_worker::_set_scw_params(const param_pairs_t& params)
{
    bool any = false;
    for (const auto& p : params)
        any = any || is_scw_field(p.first);
    if (!any)
        return;
    uhf_module& u = _uhf();
    scw_properties word = u.get_scw();
    for (const auto& p : params) {
        if (p.first == uart_baud_rate)
            word.set_uart_baud(uart_baud_e(p.second.toInt()));
        else if (p.first == rf_mode)
            word.set_rf_mode(rf_mode_e(p.second.toInt()));
        else if (p.first == beacon_enabled)
            word.set_bcn(p.second.toBool());
    }
    u.set_scw(word);
    emit on_set_param(rf_mode, int(word.get_rf_mode()));
    emit on_set_param(beacon_enabled, word.get_bcn());
    emit on_set_param(uart_baud_rate, int(word.get_uart_baud()));
}

void uhf_worker::_reset()
{
    _connect_exec_disconnect(RESET, [this] {
        uhf_module& u = _uhf();
        scw_properties word = u.get_scw();
        word.set_reset(true);
        u.set_scw(word);
        emit on_set_param(reset_parameter, true);
    });
}

void uhf_worker::_flash(const QByteArray& data)
{
    _connect_exec_disconnect(FLASH, [this, data] {
        QByteArray image = data;
        error_descriptor failure;
        if (_guarded([&] { _uhf().flash(image); }, failure))
            emit on_set_param(flash_parameter, image.size());
        else
            emit on_set_param_request_error(flash_parameter, failure);
    });
}

} // namespace radcfg
