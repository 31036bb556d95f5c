#pragma once

#include "pacer.h"
#include "sim_node.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QPair>
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
// - Flash lines ("KQ+D") are taken only after the secure-access unlock
//   (the challenge XORed with the key); a locked transceiver answers
//   "ERR+LOCKED", a record with a bad count or checksum "ERR+CHKSUM". The
//   data of accepted records is written at their addresses: the image.
// - Free text ("KQ+" sequence text) goes over the air to the far side, which
//   keeps it; it is never answered. Text heard over the air, and beacons,
//   are sent to the wire on their own.
// - When its pipe lapses, a transceiver on the wire says "+KQTTC" on its own:
//   it is back in command mode.
// - Call signs are answered in their six-character field, padded with
//   blanks, as they were written.
// - With the echo bit (0x80) of its status word set, a transceiver sends
//   every line it receives back as it came, before answering; one over the
//   air echoes the lines meant for it, over the air.
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
        uint32_t secure_key = 0x5A3C96E1;
        bool unlocked = false;
        uint8_t rssi = 0xC5;
        uint32_t resets = 0; // writes of the status word with the reset bit
        // A failing memory: a written beacon period is stored one more and
        // the write answered OK all the same.
        bool misstores_periods = false;
    };

    explicit uhf_transceiver(uint8_t address, bool on_wire);

    void set_far_side(sim_node* far) { _far = far; }
    // Radio hops are paced at this transceiver's RF mode.
    void set_pacer(pacer* p) { _pacer = p; }
    state_t& state() { return _s; }
    QByteArray fram(uint32_t address, int size) const;
    bool pipe_on();
    // Traffic answered only after this many milliseconds from now.
    void mute_for(int ms);
    // Ends the pipe at once, as if its timeout had passed.
    void drop_pipe();

    QStringList handle(const QString& payload) override;
    bool echoes(const QString& line) override;
    QByteArray unsolicited() override;
    void hear_text(uint32_t sequence, const QString& text) override;

    // Firmware received so far (the data records' bytes in address order; a
    // record received twice writes the same place twice), and a way to
    // refuse the next lines once.
    QByteArray image() const;
    int flash_lines() const { return _flash_lines; }
    void refuse_flash_lines(int n, const QString& answer = QStringLiteral("ERR+CHKSUM"))
    {
        _refuse_flash = n;
        _refusal = answer;
    }

    // Reads of one command code answered with a malformed value from now on
    // (-1: none), as a transceiver whose counter is broken.
    void garble_reads_of(int code) { _garbled_read = code; }

    // Beacons heard over the air, sent every period_ms (0: never).
    void set_beacon(int period_ms, const QString& dst, const QString& src, const QByteArray& info);
    // The far station's free text as this transceiver hears it: "ROGER "
    // and each text sent to it, when `replies`; "KQ SAT TEXT n" every
    // period_ms when above 0.
    void set_far_station_text(bool replies, int period_ms);
    // Raw bytes or a text line to send to the wire once, as if heard.
    void queue_raw(const QByteArray& bytes);
    void inject_text(uint32_t sequence, const QString& text);
    const QList<QPair<uint32_t, QString>>& texts_heard() const { return _texts; }

private:
    QStringList _own(const QString& payload);
    QStringList _read(int code, const QString& args);
    QStringList _write(int code, const QString& value);
    void _write_scw(uint16_t word);
    QString _ok(const QString& value) const;
    QStringList _flash(const QString& record);

    state_t _s;
    bool _on_wire;
    bool _piped_before = false;
    sim_node* _far = nullptr;
    pacer* _pacer = nullptr;
    QElapsedTimer _since_traffic;
    QElapsedTimer _uptime;
    QElapsedTimer _muted;
    int _mute_ms = 0;
    QByteArray _fram;
    QMap<int, QByteArray> _props;
    QMap<uint32_t, QByteArray> _image; // by record address
    int _flash_lines = 0;
    int _garbled_read = -1;
    int _refuse_flash = 0;
    QString _refusal;
    int _beacon_ms = 0;
    QByteArray _beacon_bits;
    QElapsedTimer _beacon_timer;
    bool _text_replies = false;
    int _text_ms = 0;
    uint32_t _texts_sent = 0;
    QElapsedTimer _text_timer;
    QByteArray _outgoing;
    QList<QPair<uint32_t, QString>> _texts;
};

} // namespace kq::satsim
