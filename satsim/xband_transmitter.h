#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QRandomGenerator>
#include <QThread>
#include <mutex>

#include <atomic>
#include <cstdint>
#include <map>

namespace kq::satsim {

class virtual_serial_pair;

// A simulated X-band transmitter speaking KQUP on a serial line of its own.
//
// It keeps its parameters, answers reports with telemetry that changes over
// time, and keeps a file store with handles. Every command is two exchanges:
// the request phase is answered with type code 5 and an empty payload, the
// answer phase (command 276) with type code 5 and the result: a status byte
// (0 success; 1 unknown file, 2 bad handle, 3 out of range, 0xFF unknown
// command) and the result's record. A directory entry is the name, a zero
// byte and the size as 32 bits little-endian.
//
// Its reports: the state (0 idle, 1 transmitting, 2 loading, 3 sending,
// 4 updating its firmware, 5 off), the transmit power, the uptime and a PA
// current; in the full one also the progress of a send and of an update in
// per cent, eight status bytes, the number of stored files, a status word,
// and the board temperature, supply voltage, PA temperature and frequency.
// Sending a stored file takes a second per 8 KiB (at least two); an update
// takes three seconds, is refused for a missing or empty file, and restarts
// the uptime. Each ends in the idle state.
//
// Faults for tests: spoil the CRC, the magic or the length field of the next
// replies, send replies in pieces or after some garbage, hold replies back
// so that they come late (in order, or overtaken by later replies), or stay
// silent.
class xband_transmitter : public QThread
{
public:
    struct parameters_t
    {
        uint8_t symbol_rate = 3;
        uint8_t tx_power = 20;
        float central_frequency = 8025.5f;
        uint8_t modcod = 11;
        uint8_t roll_off = 1;
        uint8_t pilot_signal = 1;
        uint8_t fec_frame_size = 0;
        uint16_t parameters_word = 0x1234;
    };

    explicit xband_transmitter(virtual_serial_pair& pair, uint16_t address = 0x40);
    ~xband_transmitter() override;
    void stop();

    parameters_t parameters();
    // As if changed by another station.
    void set_parameters(const parameters_t& p);
    QMap<QString, QByteArray> files();
    // As if stored by another station.
    void put_file(const QString& name, const QByteArray& data);
    QByteArray last_request_payload();
    QString mode();

    void corrupt_crc(int n) { _bad_crc.store(n); }
    void corrupt_magic(int n) { _bad_magic.store(n); }
    void oversize(int n) { _oversize.store(n); }
    void split_replies(bool on) { _split.store(on); }
    void stay_silent(int n) { _silent.store(n); }
    void garbage_before_replies(int n) { _garbage.store(n); }
    // A written transmit power is stored one more than written, and the
    // write answered as done.
    void misstore(bool on) { _misstore.store(on); }
    // The largest file the store keeps: a block written beyond it is out of
    // range, as on the computer's store.
    void set_max_file_size(int bytes) { _max_file_size.store(bytes); }
    // The next n replies are sent ms after their request.
    void hold_replies(int n, int ms);
    // Each reply is held back, with this probability, min_ms to max_ms.
    void set_late_rate(double rate, int min_ms, int max_ms, uint32_t seed = 1);
    // Held replies keep their order (the default): the replies after one
    // wait behind it, as on a line that delays but never reorders. Off,
    // later replies overtake it.
    void set_late_in_order(bool on) { _late_in_order.store(on); }

    static QByteArray frame(uint16_t src, uint16_t dst, uint16_t command, uint16_t type,
                            const QByteArray& payload);

protected:
    void run() override;

private:
    QByteArray _result(uint16_t command, uint16_t type, const QByteArray& payload);
    QByteArray _get(uint16_t type);
    QByteArray _report(uint16_t type);
    // Ends a send or an update that has run its time.
    void _advance();
    void _begin(const QString& mode, int64_t duration_ms);
    int _state() const;
    int _percent(const QString& mode) const;
    QByteArray _set(uint16_t type, const QByteArray& value);
    void _reply(uint16_t command, uint16_t type, const QByteArray& payload);
    void _write(const QByteArray& frame);
    void _send_due(int64_t grace_ms);

    virtual_serial_pair& _pair;
    uint16_t _address;
    std::mutex _lock;
    parameters_t _params;
    QMap<QString, QByteArray> _files;
    QMap<uint32_t, QString> _handles;
    QMap<uint32_t, int> _read_pos;
    uint32_t _next_handle = 1;
    QString _mode = QStringLiteral("IDLE");
    QElapsedTimer _mode_clock;
    int64_t _mode_ms = 0;
    QByteArray _pending_command_payload;
    uint16_t _pending_command = 0;
    uint16_t _pending_type = 0;
    QByteArray _last_payload;
    QElapsedTimer _uptime;
    std::atomic<bool> _stop{false};
    // Set as run() returns and read after wait(): the hand-over of the
    // thread's last writes, in a form thread checkers see.
    std::atomic<bool> _ended{false};
    std::atomic<int> _bad_crc{0}, _bad_magic{0}, _oversize{0}, _silent{0}, _garbage{0};
    std::atomic<int> _hold{0}, _hold_ms{0};
    std::atomic<bool> _late_in_order{true};
    std::atomic<bool> _misstore{false};
    std::atomic<int> _max_file_size{16 * 1024 * 1024};
    double _late_rate = 0.0; // under _lock, with the two below and the generator
    int _late_min_ms = 0;
    int _late_max_ms = 0;
    QRandomGenerator _rng;
    QElapsedTimer _clock;
    std::multimap<int64_t, QByteArray> _held; // by the time they are due (own thread only)
    std::atomic<bool> _split{false};
};

} // namespace kq::satsim
