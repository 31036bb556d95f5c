#pragma once

#include "pacer.h"
#include "sim_node.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>
#include <QThread>
#include <mutex>

#include <atomic>
#include <functional>
#include <map>

namespace kq::satsim {

class virtual_serial_pair;

// The serial wire of the simulator: reads command lines from the device side
// of a virtual serial pair, checks their CRC field, hands the payload to the
// module on the wire and sends its answers back, each with its CRC field and
// CR LF. A line with a missing or wrong CRC gets "ERR". A payload followed
// by CR and then " CRC" on a line of its own (the on-board computer's form)
// is joined first.
//
// Faults for tests, as hardware shows them: drop, spoil or cut answers (the
// line breaks off and its end never comes), hold answers back so that they
// come late (holding back the answers after them, as a slow line does; or,
// overtaken, while later answers go out on time, so that a late one comes
// after the answer to a later command), send a noise line or an echo of the
// command before the answer (echoes also follow the transceivers' own echo
// bit), chatter unrelated lines on its own, close the link.
class sim_link : public QThread
{
public:
    sim_link(virtual_serial_pair& pair, sim_node& root, std::mutex& state_lock,
             pacer* pace = nullptr);
    ~sim_link() override;

    void stop();

    void drop_answers(int n) { _drop.store(n); }
    // Each answer is dropped, or its CRC spoilt, with these probabilities;
    // the same seed gives the same faults.
    void set_fault_rates(double drop, double corrupt, uint32_t seed = 1);
    // Each answer is held back, with this probability, and sent between
    // min_ms and max_ms after its command arrived; or cut off halfway.
    void set_late_rate(double rate, int min_ms, int max_ms);
    // Late answers keep their order (the default): an answer due after a
    // held one waits for it, as on a line that is slow. Off, they are
    // overtaken, as on no serial line: a test of the answer shapes.
    void set_late_in_order(bool on) { _late_in_order.store(on); }
    void set_cut_rate(double rate);
    void corrupt_answers(int n) { _corrupt.store(n); }
    void cut_answers(int n) { _cut.store(n); }
    // The next n answers are held back ms after their command.
    void hold_answers(int n, int ms);
    // Every answer waits ms before it is sent (and so does the link).
    void set_delay(int ms) { _delay_ms.store(ms); }
    // An unrelated line ("DBG ...") every period_ms (0: none).
    void chatter(int period_ms) { _chatter_ms.store(period_ms); }
    void noise_before_answers(bool on) { _noise.store(on); }
    void echo_commands(bool on) { _echo.store(on); }
    void close_link() { _close.store(true); }

    // Sees every line received (incoming) and every byte block sent, in the
    // link's thread.
    using trace_t = std::function<void(bool incoming, const QByteArray& bytes)>;
    void set_trace(trace_t trace);

    // An answer line as it goes on the wire: payload, CRC field, CR LF.
    static QByteArray framed_line(const QString& payload);

    // A line that starts with this is a note of a test's, received in turn
    // with the commands and never answered (no device command starts so).
    static constexpr char note_prefix = '#';

    // Every command line received, as it came (under the state lock).
    QStringList received() const;
    int commands_received() const;
    // Answers sent so far, late ones when they went out.
    int answers_sent() const { return _answers_sent.load(); }
    int answers_held() const { return _answers_held.load(); }
    // Forgets the lines received so far (long runs that count memory).
    void forget_received();

protected:
    void run() override;

private:
    bool _take_frame(QByteArray& buffer);
    void _process(const QString& line);
    void _answer(const QString& payload);
    void _send(const QByteArray& bytes);
    void _send_due(int64_t grace_ms);
    int _poll_ms() const;
    QByteArray _framed(const QString& answer, bool spoil) const;

    virtual_serial_pair& _pair;
    sim_node& _root;
    pacer* _pacer;
    std::mutex& _lock;
    std::atomic<bool> _stop{false};
    // Set as run() returns and read after wait(): the hand-over of the
    // thread's last writes, in a form thread checkers see.
    std::atomic<bool> _ended{false};
    std::atomic<bool> _close{false};
    std::atomic<int> _drop{0};
    std::atomic<int> _corrupt{0};
    std::atomic<int> _cut{0};
    std::atomic<int> _hold{0};
    std::atomic<int> _hold_ms{0};
    std::atomic<int> _delay_ms{0};
    std::atomic<int> _chatter_ms{0};
    std::atomic<int> _answers_sent{0};
    std::atomic<int> _answers_held{0};
    std::atomic<bool> _noise{false};
    std::atomic<bool> _echo{false};
    QStringList _received;
    double _drop_rate = 0.0;
    double _corrupt_rate = 0.0;
    double _late_rate = 0.0;
    int _late_min_ms = 0;
    int _late_max_ms = 0;
    std::atomic<bool> _late_in_order{true};
    double _cut_rate = 0.0;
    QElapsedTimer _clock;
    std::multimap<int64_t, QByteArray> _held; // by the time they are due (link thread only)
    int64_t _last_chatter_ms = 0;
    int _chatter_count = 0;
    QRandomGenerator _rng;
    QString _pending; // payload waiting for its CRC line
    std::mutex _trace_lock;
    trace_t _trace;
};

} // namespace kq::satsim
