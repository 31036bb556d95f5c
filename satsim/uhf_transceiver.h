#pragma once

#include "sim_node.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QString>

#include <cstdint>

namespace kq::satsim {

// A simulated UHF transceiver with real state: every command of the UHF set
// reads or changes it, so a test reads back what it wrote.
//
// Behaviour the hardware leaves open, as chosen here:
// - Lines carrying the transceiver's own address are always answered by it,
//   also while its pipe is on; that is how a relay is reconfigured.
// - With the pipe bit set, every other line is passed over the air to the far
//   side and its answers come back. The pipe drops when pipe_timeout seconds
//   pass without traffic (or when a write clears the bit).
// - Without the pipe, a transceiver on the wire whose pipe has been on before
//   answers lines for other addresses with "ERR+KQTTC": it speaks for itself
//   instead of the far end. Before its first pipe, and always over the air,
//   lines for other addresses are ignored.
// - An unknown command gets "ERR". A transceiver over the air cannot read its
//   text beacon back and answers "ERR+REMOTE".
// - Flash lines and free text come with the firmware issue; they get "ERR".
class uhf_transceiver : public sim_node
{
public:
    struct state_t
    {
        uint8_t address = 0x22;
        uint16_t scw = 0x3003;         // 115200 baud, health bits good
        uint32_t rf_word = 0x9DD80942; // 437 MHz
        uint32_t tx_pkts = 0;
        uint32_t rx_pkts = 0;
        uint32_t rx_crc_pkts = 0;
        uint8_t pipe_timeout = 10;
        uint16_t text_beacon_period = 60;
        uint16_t audio_beacon_period = 0;
        QString dst_call_sign = "CQ";
        QString src_call_sign = "KQ0SAT";
        QString morse = "-.- --.-";
        QString midi = "60C62D64E";
        QString version = "KQ-UHF 2.4.1";
        uint16_t payload_size = 0x0080;
        QString text_beacon = "KQ SAT ONLINE";
        uint32_t challenge = 0x5A17C3E9;
        uint32_t secure_key = 0x0BADF00D;
        bool unlocked = false;
        uint8_t rssi = 0xC5;
    };

    explicit uhf_transceiver(uint8_t address, bool on_wire);

    void set_far_side(sim_node* far) { _far = far; }
    state_t& state() { return _s; }
    QByteArray fram(uint32_t address, int size) const;
    bool pipe_on();
    // Traffic answered only after this many milliseconds from now.
    void mute_for(int ms);
    // Ends the pipe at once, as if its timeout had passed.
    void drop_pipe();

    QStringList handle(const QString& payload) override;

private:
    QStringList _own(const QString& payload);
    QStringList _read(int code, const QString& args);
    QStringList _write(int code, const QString& value);
    void _write_scw(uint16_t word);
    QString _ok(const QString& value) const;

    state_t _s;
    bool _on_wire;
    bool _piped_before = false;
    sim_node* _far = nullptr;
    QElapsedTimer _since_traffic;
    QElapsedTimer _uptime;
    QElapsedTimer _muted;
    int _mute_ms = 0;
    QByteArray _fram;
    QMap<int, QByteArray> _props;
};

} // namespace kq::satsim
