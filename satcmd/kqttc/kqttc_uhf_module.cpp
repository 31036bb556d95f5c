#include "satcmd/kqttc/kqttc_uhf_module.h"

#include "satcmd/kqttc/firmware_file.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/module_lock.h"
#include "serline/media.h"

#include <QLoggingCategory>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

namespace {

Q_LOGGING_CATEGORY(lc_uhf, "kq.uhf")

constexpr unsigned char tx_power_group = 0x22;
constexpr unsigned char tx_power_offset = 0x01;

bool is_media_timeout(const media_exception& e)
{
    return e.get_type() == media_exception::timeout;
}

} // namespace

template<typename Res, typename OnAnswer, typename OnPipe>
void kqttc_uhf_module::_listen(std::atomic<bool>& running, bool skip_refusals, OnAnswer on_answer,
                               OnPipe on_pipe)
{
    while (running.load()) {
        Res answer;
        try {
            exec_command(nullptr, &answer);
        } catch (const media_exception& e) {
            if (is_media_timeout(e))
                continue;
            throw;
        } catch (const proto_exception& e) {
            if (skip_refusals && e.get_type() == proto_exception::command_response_error)
                continue;
            if (e.get_type() != proto_exception::pipe_error)
                throw;
            if (!on_pipe())
                return;
            continue;
        }
        on_answer(answer);
    }
}

kqttc_uhf_module::kqttc_uhf_module(media* m, const connect_props_t& props)
    : uhf_module(m, props)
    , kqttc_proto(*this, m, props, module_mutex())
{
    if (!props.route.isEmpty())
        _device_address = props.route.last().dev_addr;
}

kqttc_uhf_module::~kqttc_uhf_module() = default;

void kqttc_uhf_module::set_module_config(const module_config_t& config)
{
    kq_module::set_module_config(config);
    set_module_config_sat(config);
}

void kqttc_uhf_module::configure_intermediate_module(const module_connect_props_t& hop,
                                                     bool persistent, bool probe, bool call_hooks)
{
    kqttc_proto::configure_intermediate_module(hop, persistent, probe, call_hooks);
}

void kqttc_uhf_module::_report_rssi(int rssi)
{
    if (rssi >= 0)
        _remember_rssi(rssi);
    emit on_rssi(kqttc_proto::get_rssi());
}

unsigned int kqttc_uhf_module::find_module()
{
    const int64_t saved_timeout = get_media()->get_timeout();
    const module_config_t saved = get_module_config_sat();
    // One attempt of find_timeout_ms per address: the command class would
    // otherwise wait and repeat as for a known module.
    module_config_t quick = saved;
    quick.timeout_m = find_timeout_ms;
    quick.repeats_m = 0;
    set_module_config_sat(quick);
    get_media()->set_timeout(find_timeout_ms);
    const auto searching = _searching_route();
    for (unsigned int n = 0;; ++n) {
        _device_address = n % 256;
        try {
            get_scw();
            set_module_config_sat(saved);
            get_media()->set_timeout(saved_timeout);
            return n;
        } catch (const media_exception& e) {
            if (is_media_timeout(e))
                continue;
            set_module_config_sat(saved);
            throw;
        } catch (...) {
            set_module_config_sat(saved);
            throw;
        }
    }
}

scw_properties& kqttc_uhf_module::get_scw()
{
    scw_properties& scw = kqttc_proto::get_scw();
    _report_rssi();
    emit on_get_scw(scw);
    return scw;
}

void kqttc_uhf_module::set_scw(scw_properties& scw)
{
    kqttc_proto::set_scw(scw);
    emit on_set_scw(scw);
}

void kqttc_uhf_module::set_rf(unsigned int hz)
{
    sat_set_rf(hz);
    emit on_set_rf(uint64_t(hz));
}

unsigned long long kqttc_uhf_module::get_rf()
{
    const unsigned long long hz = sat_get_rf();
    emit on_get_rf(uint64_t(hz));
    return hz;
}

unsigned int kqttc_uhf_module::get_dev_addr()
{
    return _device_address;
}

unsigned int kqttc_uhf_module::_target_address() const
{
    const connect_props_t props = get_connect_props();
    return props.route.isEmpty() ? _device_address : props.route.last().dev_addr;
}

// The hops known under the old address now answer to the new one, in the
// module's connection properties and in the engine's route alike.
void kqttc_uhf_module::_readdress_target(unsigned int from, unsigned int to)
{
    connect_props_t props = get_connect_props();
    props.route.detach();
    for (module_connect_props_t& hop : props.route) {
        if (hop.dev_addr == from)
            hop.dev_addr = to;
    }
    set_connect_props(props);
    _set_route(props.route);
}

void kqttc_uhf_module::set_dev_addr(unsigned int address)
{
    const unsigned int old = _device_address;
    _run<req_set_dev_addr, res_set_dev_addr>(address);
    _device_address = address;
    _readdress_target(old, address);
}

unsigned char kqttc_uhf_module::get_pipe_timeout()
{
    const unsigned char seconds = kqttc_proto::get_pipe_timeout();
    _report_rssi();
    emit on_get_pipe_timeout(seconds);
    return seconds;
}

void kqttc_uhf_module::set_pipe_timeout(unsigned char seconds)
{
    kqttc_proto::set_pipe_timeout(seconds);
    emit on_set_pipe_timeout(seconds);
}

unsigned short kqttc_uhf_module::get_text_beacon_period()
{
    return _read<req_get_text_beacon_period, res_get_text_beacon_period>(
        &res_get_text_beacon_period::get_text_beacon_period, &uhf_module::on_get_text_beacon_period,
        rssi_of_answer);
}

void kqttc_uhf_module::set_text_beacon_period(const unsigned short& period)
{
    _write<req_set_text_beacon_period, res_set_text_beacon_period>(
        &uhf_module::on_set_text_beacon_period, period);
}

QString kqttc_uhf_module::get_text_beacon_message()
{
    return _read<req_get_text_beacon_message, res_get_text_beacon_message>(
        &res_get_text_beacon_message::get_text_beacon_message,
        &uhf_module::on_get_text_beacon_message, rssi_last_known);
}

void kqttc_uhf_module::set_text_beacon_message(const QString& message)
{
    _write<req_set_text_beacon_message, res_set_text_beacon_message>(
        &uhf_module::on_set_text_beacon_message, message);
}

QString kqttc_uhf_module::get_dst_call_sign()
{
    return _read<req_get_dst_call_sign, res_get_dst_call_sign>(
        &res_get_dst_call_sign::get_dst_call_sign, &uhf_module::on_get_dst_call_sign,
        rssi_last_known);
}

void kqttc_uhf_module::set_dst_call_sign(const QString& call_sign)
{
    _write<req_set_dst_call_sign, res_set_dst_call_sign>(&uhf_module::on_set_dst_call_sign,
                                                         call_sign);
}

QString kqttc_uhf_module::get_src_call_sign()
{
    return _read<req_get_src_call_sign, res_get_src_call_sign>(
        &res_get_src_call_sign::get_src_call_sign, &uhf_module::on_get_src_call_sign,
        rssi_last_known);
}

void kqttc_uhf_module::set_src_call_sign(const QString& call_sign)
{
    _write<req_set_src_call_sign, res_set_src_call_sign>(&uhf_module::on_set_src_call_sign,
                                                         call_sign);
}

unsigned short kqttc_uhf_module::get_audio_beacon_period()
{
    return _read<req_get_audio_beacon_period, res_get_audio_beacon_period>(
        &res_get_audio_beacon_period::get_audio_beacon_period,
        &uhf_module::on_get_audio_beacon_period, rssi_of_answer);
}

void kqttc_uhf_module::set_audio_beacon_period(const unsigned short& period)
{
    _write<req_set_audio_beacon_period, res_set_audio_beacon_period>(
        &uhf_module::on_set_audio_beacon_period, period);
}

QString kqttc_uhf_module::get_audio_beacon_midi()
{
    return _read<req_get_audio_beacon_midi, res_get_audio_beacon_midi>(
        &res_get_audio_beacon_midi::get_audio_beacon_midi, &uhf_module::on_get_audio_beacon_midi,
        rssi_none);
}

void kqttc_uhf_module::set_audio_beacon_midi(const QString& notes)
{
    _write<req_set_audio_beacon_midi, res_set_audio_beacon_midi>(
        &uhf_module::on_set_audio_beacon_midi, notes);
}

QString kqttc_uhf_module::get_morse_code_call_sign()
{
    return _read<req_get_morse_code_call_sign, res_get_morse_code_call_sign>(
        &res_get_morse_code_call_sign::get_morse_code_call_sign,
        &uhf_module::on_get_morse_code_call_sign, rssi_last_known);
}

void kqttc_uhf_module::set_morse_code_call_sign(const QString& morse)
{
    _write<req_set_morse_code_call_sign, res_set_morse_code_call_sign>(
        &uhf_module::on_set_morse_code_call_sign, morse);
}

QByteArray kqttc_uhf_module::get_radio_transceiver_props(unsigned char group, unsigned char offset,
                                                         unsigned char count)
{
    const auto res = _run<req_get_radio_transceiver_props, res_get_radio_transceiver_props>(
        group, offset, count);
    emit on_get_radio_transceiver_props(group, offset, res.get_radio_transceiver_props());
    return res.get_radio_transceiver_props();
}

void kqttc_uhf_module::set_radio_transceiver_props(unsigned char group, unsigned char offset,
                                                   const QByteArray& value)
{
    _write<req_set_radio_transceiver_props, res_set_radio_transceiver_props>(
        &uhf_module::on_set_radio_transceiver_props, group, offset, value);
}

QByteArray kqttc_uhf_module::get_fram_memory(unsigned int address)
{
    const auto res = _run<req_get_fram_memory, res_get_fram_memory>(address);
    emit on_get_fram_memory(address, res.get_fram_memory());
    return res.get_fram_memory();
}

void kqttc_uhf_module::set_fram_memory(unsigned int address, const QByteArray& value)
{
    _write<req_set_fram_memory, res_set_fram_memory>(&uhf_module::on_set_fram_memory, address,
                                                     value);
}

QString kqttc_uhf_module::get_version()
{
    return _read<req_get_version, res_get_version>(&res_get_version::get_version,
                                                   &uhf_module::on_get_version, rssi_last_known);
}

unsigned short kqttc_uhf_module::get_payload_size()
{
    return _read<req_get_payload_size, res_get_payload_size>(
        &res_get_payload_size::get_payload_size, &uhf_module::on_get_payload_size, rssi_last_known);
}

unsigned int kqttc_uhf_module::get_uptime()
{
    return _read<req_get_uptime, res_get_uptime>(&res_get_uptime::get_uptime,
                                                 &uhf_module::on_get_uptime, rssi_of_answer);
}

unsigned int kqttc_uhf_module::get_tx_pkts()
{
    return _read<req_get_tx_pkts, res_get_tx_pkts>(&res_get_tx_pkts::get_tx_pkts,
                                                   &uhf_module::on_get_tx_pkts, rssi_of_answer);
}

unsigned int kqttc_uhf_module::get_rx_pkts()
{
    return _read<req_get_rx_pkts, res_get_rx_pkts>(&res_get_rx_pkts::get_rx_pkts,
                                                   &uhf_module::on_get_rx_pkts, rssi_of_answer);
}

unsigned int kqttc_uhf_module::get_rx_crc_pkts()
{
    return _read<req_get_rx_crc_pkts, res_get_rx_crc_pkts>(
        &res_get_rx_crc_pkts::get_rx_crc_pkts, &uhf_module::on_get_rx_crc_pkts, rssi_of_answer);
}

unsigned char kqttc_uhf_module::get_rssi()
{
    return kqttc_proto::get_rssi();
}

const media::settings_t& kqttc_uhf_module::get_media_settings() const
{
    return get_media()->get_settings();
}

void kqttc_uhf_module::set_media_settings(const media::settings_t& settings)
{
    get_media()->set_settings(settings);
}

void kqttc_uhf_module::set_tx_power(tx_power_e power)
{
    set_radio_transceiver_props(tx_power_group, tx_power_offset,
                                QByteArray(1, char(uint8_t(power))));
}

void kqttc_uhf_module::sat_set_tx_power(tx_power_e power)
{
    set_tx_power(power);
}

void kqttc_uhf_module::keep_alive()
{
    get_scw();
}

unsigned int kqttc_uhf_module::get_secure_access()
{
    return _run<req_get_secure_access, res_get_secure_access>().get_challenge();
}

void kqttc_uhf_module::set_secure_access(unsigned int answer)
{
    _run<req_set_secure_access, res_set_secure_access>(answer);
}

void kqttc_uhf_module::set_secure_mode()
{
    set_secure_access(get_secure_access() ^ secure_key);
}

// Firmware.

void kqttc_uhf_module::flash_check_line(const QString& line)
{
    firmware_file::check_record(line);
}

void kqttc_uhf_module::send_flash_line(const QString& line)
{
    req_uhf_flash_send_line request(int(_device_address), line);
    res_uhf_flash_send_line response(firmware_file::is_data_record(line), &request);
    exec_command(&request, &response);
}

void kqttc_uhf_module::flash(QByteArray& data)
{
    const module_lock lock(module_mutex());
    // The whole file is checked before the unlock; whether one without an
    // end record may go was the front end's question.
    const QStringList lines = firmware_file(data).records();
    set_secure_mode();
    const auto total = uint32_t(lines.size());
    for (uint32_t i = 0; i < total; ++i) {
        _send_record(lines.at(int(i)), i + 1);
        emit on_flash_progress(QStringLiteral("FLASH"), i + 1, total);
    }
}

// A record that fails ends the flash with the file's line number, so that
// the user knows how far the device got.
void kqttc_uhf_module::_send_record(const QString& line, uint32_t number)
{
    const QString where = QStringLiteral("line %1: ").arg(number);
    try {
        send_flash_line(line);
    } catch (const proto_exception& e) {
        throw proto_exception(e.get_type(), e.get_code(), e.get_exec_context(),
                              where + QString::fromUtf8(e.what()), e.get_retry_behaviour());
    } catch (const media_exception& e) {
        if (!is_media_timeout(e))
            throw;
        throw proto_exception(proto_exception::no_answer, uhf_cmd::flash_line,
                              QStringLiteral("send_flash_line"),
                              where + QStringLiteral("no answer"), proto_exception::retry);
    }
}

// Receive loops.

void kqttc_uhf_module::ax25_beacon_loop(std::atomic<bool>& running)
{
    _listen<res_get_ax25_beacon>(
        running, false,
        [this](const res_get_ax25_beacon& beacon) {
            emit on_ax25_beacon(beacon.get_ax25_beacon());
        },
        [this] {
            connect_pipe_only();
            return true;
        });
}

void kqttc_uhf_module::send_arbitrary_text(unsigned int sequence, const QString& text)
{
    req_send_arbitrary_text request(_device_address, sequence, text);
    exec_command(&request, nullptr);
    emit on_send_arbitrary_text(sequence, text);
}

void kqttc_uhf_module::recv_arbitrary_text_loop(std::atomic<bool>& running)
{
    _listen<res_recv_arbitrary_text>(
        running, true,
        [this](const res_recv_arbitrary_text& text) {
            emit on_receive_arbitrary_text(text.get_sequence(), text.get_arbitrary_text());
        },
        [this] {
            connect_pipe_only();
            return true;
        });
}

void kqttc_uhf_module::wait_for_pipe_timeout(std::atomic<bool>& running)
{
    qCDebug(lc_uhf, "wait_for_pipe_timeout");
    _listen<res_recv_arbitrary_text>(
        running, false,
        [this](const res_recv_arbitrary_text& text) {
            emit on_receive_arbitrary_text(text.get_sequence(), text.get_arbitrary_text());
            qCDebug(lc_uhf, "wait_for_pipe_timeout: %s", qPrintable(text.get_arbitrary_text()));
        },
        [this] {
            // The local transceiver speaks again: its pipe has closed.
            _device_address = _target_address();
            return false;
        });
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
