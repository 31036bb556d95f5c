#include "capture.h"
#include "lock_limit.h"
#include "loop_runner.h"
#include "satcmd/factory.h"
#include "satcmd/kq_module.h"
#include "satcmd/kqttc/kqttc_fsps_module.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/kqttc_proto.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/module_factory.h"
#include "satellite.h"
#include "serline/serial_port.h"
#include "test_environment.h"
#include "virtual_serial_pair.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThread>

#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::satellite;
using kq::satsim::uhf_transceiver;
using kq::testing::capture;
using kq::testing::loop_runner;

namespace {

// A transceiver module made of the base parts alone, as the real modules are.
class engine_module : public kq_module, public kqttc_proto
{
public:
    engine_module(media* m, const connect_props_t& props)
        : kq_module(m, props)
        , kqttc_proto(*this, m, props, module_mutex())
    {
    }
    void configure_intermediate_module(const module_connect_props_t& hop, bool persistent,
                                       bool probe, bool call_hooks) override
    {
        kqttc_proto::configure_intermediate_module(hop, persistent, probe, call_hooks);
    }
    void set_module_config(const module_config_t& config) override
    {
        kq_module::set_module_config(config);
        set_module_config_sat(config);
    }
    void keep_alive() override { get_scw(); }
    void stop_request() override { kq_module::stop_request(); }
    QRecursiveMutex& mutex() { return module_mutex(); }
    template<typename Req, typename Res, typename... Args>
    Res run(Args&&... args)
    {
        return _run<Req, Res>(std::forward<Args>(args)...);
    }
    void address(unsigned a) { _device_address = a; }

protected:
    bool _has_keep_alive() const override { return true; }
};

module_connect_props_t hop(unsigned addr, int role, uint64_t hz = 437050000,
                           rf_mode_e mode = rf_mode_9600_2400)
{
    module_connect_props_t h;
    h.dev_addr = addr;
    h.role = role;
    h.module_type = module_type_uhf;
    h.frequency = hz;
    h.rf_mode = mode;
    return h;
}

module_config_t fast_config()
{
    module_config_t c;
    c.timeout_m = 300;
    c.timeout_l = 300;
    c.persistent_time = 150;
    return c;
}

} // namespace

// The command engine and the module base against the simulated transceivers.
class tst_kqttc_proto : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void retries_then_timeout();
    void crc_error_then_good_answer();
    void noise_and_echo_are_skipped();
    void pipe_error_is_not_retried();
    void null_response_sends_only();
    void busy_while_another_holds_the_lock();
    void is_alive_on_silent_hop();
    void direct_route_reads_the_transceiver();
    void every_command_reads_back_what_it_wrote();
    void connect_pipe_only_skips_hooks();
    void local_relay_route();
    void ensure_restore_pipe_after_timeout();
    void persistent_waits_for_late_target();
    void stop_ends_persistent_wait();
    void hook_command_takes_lock_again();
    void empty_route_connects();
    void garbage_answers_never_crash();
    void flood_of_empty_lines_ends_at_the_deadline();

    void factory_errors();
    void factory_replaces_registered();

private:
    std::unique_ptr<engine_module> module(const route_t& route, bool persistent = false);

    std::unique_ptr<satellite> _sat;
    std::unique_ptr<serial_port> _port;
};

void tst_kqttc_proto::init()
{
    _sat = std::make_unique<satellite>();
    media::settings_t s;
    s.port_name = _sat->port_name();
    _port = std::make_unique<serial_port>(s);
}

void tst_kqttc_proto::cleanup()
{
    _port.reset();
    _sat.reset();
}

std::unique_ptr<engine_module> tst_kqttc_proto::module(const route_t& route, bool persistent)
{
    connect_props_t props;
    props.route = route;
    props.persistent = persistent;
    auto m = std::make_unique<engine_module>(_port.get(), props);
    m->set_module_config(fast_config());
    return m;
}

void tst_kqttc_proto::retries_then_timeout()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    _sat->link().drop_answers(100);
    const int before = _sat->link().commands_received();
    const auto e = capture<media_exception>([&] { m->get_scw(); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), media_exception::timeout);
    QCOMPARE(_sat->link().commands_received() - before, 3); // repeats_m 2
}

void tst_kqttc_proto::crc_error_then_good_answer()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    _sat->link().corrupt_answers(1);
    const int before = _sat->link().commands_received();
    QCOMPARE(uint16_t(m->get_scw().get_value()), uint16_t(0x3003));
    QCOMPARE(_sat->link().commands_received() - before, 2);
    QCOMPARE(int(m->get_rssi()), 0xC5);
}

void tst_kqttc_proto::noise_and_echo_are_skipped()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    _sat->link().noise_before_answers(true);
    QCOMPARE(int(m->get_pipe_timeout()), 10);
    m->set_pipe_timeout(42);
    QCOMPARE(int(m->get_pipe_timeout()), 42);

    // An echoed command begins "KQ+" like an answer does; it is the command
    // itself, not an answer, and the real answer follows it.
    _sat->link().noise_before_answers(false);
    _sat->link().echo_commands(true);
    module_config_t once = fast_config();
    once.repeats_m = 0;
    m->set_module_config(once);
    QCOMPARE(int(m->get_pipe_timeout()), 42);
    m->set_pipe_timeout(10);
    QCOMPARE(int(m->get_pipe_timeout()), 10);
    _sat->link().echo_commands(false);
    QCOMPARE(uint16_t(m->get_scw().get_value()), uint16_t(0x3003));
}

void tst_kqttc_proto::pipe_error_is_not_retried()
{
    auto m = module({hop(0x22, role_local_relay), hop(0x23, role_target)});
    m->connect();
    _sat->with_local([](uhf_transceiver& t) { t.drop_pipe(); });
    const int before = _sat->link().commands_received();
    const auto e = capture<proto_exception>([&] { m->get_scw(); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::pipe_error);
    QCOMPARE(e->get_exec_context(), QString("res_get_scw"));
    QCOMPARE(_sat->link().commands_received() - before, 1);
}

void tst_kqttc_proto::null_response_sends_only()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    const int before = _sat->link().commands_received();
    req_set_pipe_timeout request(0x22, 33);
    QElapsedTimer t;
    t.start();
    m->exec_command(&request, nullptr);
    QVERIFY(t.elapsed() < 250); // did not wait for the answer
    QTRY_COMPARE(_sat->with_local([](uhf_transceiver& x) { return int(x.state().pipe_timeout); }),
                 33);
    QCOMPARE(_sat->link().commands_received() - before, 1);
}

void tst_kqttc_proto::busy_while_another_holds_the_lock()
{
    const kq::testing::lock_limit limit;
    auto m = module({hop(0x22, role_target)});
    m->connect();
    QSemaphore locked, given_up;
    loop_runner holder([&](std::atomic<bool>&) {
        m->mutex().lock();
        locked.release();
        given_up.tryAcquire(1, limit.hold_ms()); // held until the command has given up
        m->mutex().unlock();
    });
    locked.acquire();
    QElapsedTimer waited;
    waited.start();
    const auto e = capture<proto_exception>([&] { m->get_scw(); });
    const qint64 took = waited.elapsed();
    given_up.release();
    QVERIFY(holder.wait(-1));
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::busy);
    QVERIFY2(took >= limit.ms() * 9 / 10, qPrintable(QString::number(took))); // waited its limit
    QCOMPARE(e->get_exec_context(), QString("NOT_DEFINED"));
    QCOMPARE(QString(e->what()), QString());
    m->get_scw(); // free again
}

void tst_kqttc_proto::is_alive_on_silent_hop()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    QVERIFY(m->is_alive(hop(0x22, role_target)));
    _sat->link().drop_answers(1);
    const int before = _sat->link().commands_received();
    QVERIFY(!m->is_alive(hop(0x22, role_target)));
    QCOMPARE(_sat->link().commands_received() - before, 1); // one attempt only
    const module_config_t c = m->get_module_config_sat();
    const module_config_t f = fast_config();
    QCOMPARE(c.repeats_s, f.repeats_s);
    QCOMPARE(c.repeats_m, f.repeats_m);
    QCOMPARE(c.repeats_l, f.repeats_l);
    QCOMPARE(c.timeout_m, f.timeout_m);
}

void tst_kqttc_proto::direct_route_reads_the_transceiver()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    QVERIFY(m->is_connected());
    QCOMPARE(m->sat_get_rf(), 437000000u);
    m->sat_set_rf(437050000);
    QCOMPARE(m->sat_get_rf(), 437050000u);
    QCOMPARE(int(m->get_payload_size()), 0x80);
    scw_properties& scw = m->get_scw();
    scw.set_bcn(true);
    m->set_scw(scw);
    QVERIFY(m->get_scw().get_bcn());
}

void tst_kqttc_proto::every_command_reads_back_what_it_wrote()
{
    auto m = module({hop(0x22, role_target)});
    m->connect();
    using M = engine_module;
    M& e = *m;

    e.run<req_set_dst_call_sign, res_set_dst_call_sign>(QString("AB"));
    QCOMPARE((e.run<req_get_dst_call_sign, res_get_dst_call_sign>().get_dst_call_sign()),
             QString("AB"));
    e.run<req_set_src_call_sign, res_set_src_call_sign>(QString("KQ9XYZ"));
    QCOMPARE((e.run<req_get_src_call_sign, res_get_src_call_sign>().get_src_call_sign()),
             QString("KQ9XYZ"));
    e.run<req_set_morse_code_call_sign, res_set_morse_code_call_sign>(QString("... ---"));
    QCOMPARE((e.run<req_get_morse_code_call_sign, res_get_morse_code_call_sign>()
                  .get_morse_code_call_sign()),
             QString("... ---"));
    e.run<req_set_audio_beacon_midi, res_set_audio_beacon_midi>(QString("12C34D"));
    QCOMPARE(
        (e.run<req_get_audio_beacon_midi, res_get_audio_beacon_midi>().get_audio_beacon_midi()),
        QString("12C34D"));
    e.run<req_set_text_beacon_period, res_set_text_beacon_period>((unsigned short)90);
    QCOMPARE(int(e.run<req_get_text_beacon_period, res_get_text_beacon_period>()
                     .get_text_beacon_period()),
             90);
    e.run<req_set_audio_beacon_period, res_set_audio_beacon_period>((unsigned short)30);
    QCOMPARE(int(e.run<req_get_audio_beacon_period, res_get_audio_beacon_period>()
                     .get_audio_beacon_period()),
             30);

    // The beacon comes back as it would go on the air and is decoded.
    e.run<req_set_text_beacon_message, res_set_text_beacon_message>(QString("HELLO FROM ORBIT"));
    QCOMPARE((e.run<req_get_text_beacon_message, res_get_text_beacon_message>()
                  .get_text_beacon_message()),
             QString("HELLO FROM ORBIT"));

    const QByteArray page = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    e.run<req_set_fram_memory, res_set_fram_memory>(0x40u, page);
    QCOMPARE((e.run<req_get_fram_memory, res_get_fram_memory>(0x40u).get_fram_memory()), page);
    e.run<req_set_radio_transceiver_props, res_set_radio_transceiver_props>(
        (unsigned char)0x20, (unsigned char)0x04, QByteArray("\x01\xfe\x7f", 3));
    QCOMPARE((e.run<req_get_radio_transceiver_props, res_get_radio_transceiver_props>(
                   (unsigned char)0x20, (unsigned char)0x04, (unsigned char)3)
                  .get_radio_transceiver_props()),
             QByteArray("\x01\xfe\x7f", 3));

    const uint32_t challenge =
        e.run<req_get_secure_access, res_get_secure_access>().get_challenge();
    const auto refused = capture<proto_exception>(
        [&] { e.run<req_set_secure_access, res_set_secure_access>(challenge); });
    QVERIFY(refused);
    QCOMPARE(refused->get_type(), proto_exception::command_response_error);
    e.run<req_set_secure_access, res_set_secure_access>(challenge ^ 0x5A3C96E1u);
    QVERIFY(_sat->with_local([](uhf_transceiver& t) { return t.state().unlocked; }));

    QCOMPARE((e.run<req_get_version, res_get_version>().get_version()), QString("KQ-UHF 2.4.1"));
    const uint32_t tx = e.run<req_get_tx_pkts, res_get_tx_pkts>().get_tx_pkts();
    QVERIFY(tx > 10);
    QCOMPARE((e.run<req_get_tx_pkts, res_get_tx_pkts>().get_tx_pkts()), tx + 1);
    e.run<req_get_uptime, res_get_uptime>();
    e.run<req_get_rx_pkts, res_get_rx_pkts>();
    e.run<req_get_rx_crc_pkts, res_get_rx_crc_pkts>();

    e.run<req_set_dev_addr, res_set_dev_addr>(0x30u);
    e.address(0x30);
    QCOMPARE((e.run<req_get_scw, res_get_scw>().get_dev_addr()), 0x30u);
}

void tst_kqttc_proto::connect_pipe_only_skips_hooks()
{
    module_connect_props_t first = hop(0x22, role_local_relay);
    int hooks = 0;
    first.on_configure = [&](const module_connect_props_t&, bool, bool) { ++hooks; };
    auto m = module({first, hop(0x23, role_target)});
    m->connect();
    QCOMPARE(hooks, 1);
    _sat->with_local([](uhf_transceiver& t) { t.drop_pipe(); });
    m->connect_pipe_only();
    QCOMPARE(hooks, 1);
    QVERIFY(_sat->with_local([](uhf_transceiver& t) { return t.pipe_on(); }));
    QCOMPARE(int(m->get_scw().get_rf_mode()), 0); // the far transceiver answers
    QCOMPARE(int(m->get_rssi()), 0x9A);
}

void tst_kqttc_proto::local_relay_route()
{
    auto m = module({hop(0x22, role_local_relay), hop(0x23, role_target)});
    m->connect();
    _sat->with_local([](uhf_transceiver& t) {
        const scw_properties scw(short(t.state().scw));
        QCOMPARE(t.state().rf_word, req_set_rf::freq_to_si4463(437050000));
        QCOMPARE(int(scw.get_rf_mode()), int(rf_mode_9600_2400));
        QCOMPARE(int(t.state().pipe_timeout), 10);
        QVERIFY(!scw.get_echo());
        QVERIFY(scw.get_pipe());
        QVERIFY(scw.get_fram() && scw.get_rfts());
    });
    // Commands now go to the far transceiver.
    const scw_properties far = m->get_scw();
    QCOMPARE(int(m->get_rssi()), 0x9A);
    QVERIFY(!far.get_pipe());
    m->set_pipe_timeout(7);
    QCOMPARE(_sat->with_remote([](uhf_transceiver& t) { return int(t.state().pipe_timeout); }), 7);
    QCOMPARE(_sat->with_local([](uhf_transceiver& t) { return int(t.state().pipe_timeout); }), 10);
}

void tst_kqttc_proto::ensure_restore_pipe_after_timeout()
{
    auto m = module({hop(0x22, role_local_relay), hop(0x23, role_target)});
    module_config_t c = fast_config();
    c.timeout_pipe = 1000; // relays drop their pipe after one quiet second
    m->set_module_config(c);
    m->connect();
    QTRY_VERIFY_WITH_TIMEOUT(!_sat->with_local([](uhf_transceiver& t) { return t.pipe_on(); }),
                             3 * c.timeout_pipe);
    const auto e = capture<proto_exception>([&] { m->get_scw(); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::pipe_error);

    m->ensure_restore_pipe();
    QVERIFY(_sat->with_local([](uhf_transceiver& t) { return t.pipe_on(); }));
    m->address(0x23);
    m->get_scw();
    QCOMPARE(int(m->get_rssi()), 0x9A);
}

void tst_kqttc_proto::persistent_waits_for_late_target()
{
    _sat->with_remote([](uhf_transceiver& t) { t.mute_for(1200); });
    auto m = module({hop(0x22, role_local_relay), hop(0x23, role_target)}, true);
    QElapsedTimer t;
    t.start();
    m->connect();
    QVERIFY(t.elapsed() >= 1000);
    QVERIFY(m->is_connected());

    // Without persistence the same silence fails the connection.
    _sat->with_remote([](uhf_transceiver& x) { x.mute_for(1200); });
    connect_props_t once = m->get_connect_props();
    once.persistent = false;
    once.probe = true;
    auto e = capture<media_exception>([&] { m->connect(once); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), media_exception::timeout);
}

void tst_kqttc_proto::stop_ends_persistent_wait()
{
    _sat->with_remote([](uhf_transceiver& t) { t.mute_for(60000); });
    auto m = module({hop(0x22, role_local_relay), hop(0x23, role_target)}, true);
    // Stopped once the engine has said it pauses between attempts.
    std::atomic<bool> pausing{false};
    QObject watch;
    connect(
        m.get(), &kq_module::on_waiting, &watch, [&](int, qint64) { pausing.store(true); },
        Qt::DirectConnection);
    loop_runner worker([&](std::atomic<bool>&) { m->connect(); });
    QVERIFY(QTest::qWaitFor([&] { return pausing.load(); }, 20 * fast_config().timeout_m));
    QElapsedTimer t;
    t.start();
    m->stop_request();
    QVERIFY(worker.wait(5000));
    QCOMPARE(worker.media_error, int(media_exception::stopped));
    QVERIFY(!m->is_connected());
}

void tst_kqttc_proto::hook_command_takes_lock_again()
{
    module_connect_props_t first = hop(0x22, role_local_relay);
    int seen_rf_mode = -1;
    engine_module* self = nullptr;
    first.on_configure_rf = [&](const module_connect_props_t&, bool, bool) {
        seen_rf_mode = self->get_scw().get_rf_mode(); // same thread, lock held by connect()
    };
    auto m = module({first, hop(0x23, role_target)});
    self = m.get();
    m->connect();
    QCOMPARE(seen_rf_mode, int(rf_mode_9600_2400));
}

void tst_kqttc_proto::empty_route_connects()
{
    auto m = module({});
    QVERIFY(!_port->is_open());
    m->connect();
    QVERIFY(_port->is_open());
    QVERIFY(m->is_connected());
    m->disconnect();
    QVERIFY(!_port->is_open());
    QVERIFY(!m->is_connected());
}

void tst_kqttc_proto::garbage_answers_never_crash()
{
    kq::satsim::virtual_serial_pair pair;
    media::settings_t s;
    s.port_name = pair.port_name();
    serial_port port(s);
    connect_props_t props;
    engine_module m(&port, props);
    module_config_t c = fast_config();
    c.timeout_m = 40;
    c.repeats_m = 0;
    m.set_module_config(c);
    m.connect();
    m.address(0x22);
    QRandomGenerator rng(20261208);
    const QStringList prefixes = kqttc_response::rws_strict_kqttc_strings();
    for (int i = 0; i < 150; ++i) {
        QByteArray junk(int(rng.bounded(0, 3000)), '\0');
        for (char& ch : junk)
            ch = char(rng.bounded(256));
        if (i % 3 == 0)
            junk.prepend(prefixes.at(i % prefixes.size()).toLatin1());
        if (i % 5 == 0)
            junk.truncate(int(rng.bounded(0, 12)));
        pair.write(junk + "\r");
        try {
            m.get_scw();
        } catch (const proto_exception&) {
        } catch (const media_exception&) {
        }
        pair.read_available();
    }
}

// A device floods the line with empty lines (10 MiB of CR LF, as fast as
// the pseudo-terminal takes them): the read ends at its attempt's deadline
// and the buffers stay bounded.
void tst_kqttc_proto::flood_of_empty_lines_ends_at_the_deadline()
{
    constexpr int attempt_ms = 200;
    constexpr qint64 flood_bytes = 10 << 20;
    kq::satsim::virtual_serial_pair pair;
    media::settings_t s;
    s.port_name = pair.port_name();
    serial_port port(s);
    engine_module m(&port, connect_props_t());
    module_config_t c = fast_config();
    c.timeout_xs = c.timeout_s = c.timeout_m = c.timeout_l = attempt_ms;
    c.repeats_xs = c.repeats_s = c.repeats_m = c.repeats_l = 0;
    m.set_module_config(c);
    m.connect();
    m.address(0x22);
    const qint64 memory_before = kq::testing::resident_bytes();
    std::atomic<qint64> written{0};
    // Never blocked in a write: the flood stops once the test is done.
    const int flags = ::fcntl(pair.master_fd(), F_GETFL);
    QVERIFY(::fcntl(pair.master_fd(), F_SETFL, flags | O_NONBLOCK) == 0);
    const auto restore = qScopeGuard([&] { ::fcntl(pair.master_fd(), F_SETFL, flags); });
    loop_runner flood([&](std::atomic<bool>& running) {
        QByteArray lines;
        for (int i = 0; i < 32 * 1024; ++i)
            lines += "\r\n";
        while (running.load() && written.load() < flood_bytes) {
            pollfd p{pair.master_fd(), POLLOUT, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::write(pair.master_fd(), lines.constData(), size_t(lines.size()));
            if (n > 0)
                written += n;
            else if (errno != EAGAIN && errno != EINTR)
                return;
        }
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(capture<media_exception>([&] { m.get_scw(); }));
    const qint64 took = clock.elapsed();
    QVERIFY(flood.stop_and_wait(10000));
    QVERIFY2(written.load() > 64 * 1024, qPrintable(QString::number(written.load())));
    // The attempt's deadline, the line let fall quiet, and the slack of a
    // shared machine.
    QVERIFY2(took < 10 * attempt_ms, qPrintable(QStringLiteral("%1 ms").arg(took)));
    const qint64 growth = kq::testing::resident_bytes() - memory_before;
    QVERIFY2(growth < 64 << 20, qPrintable(QStringLiteral("%1 KiB").arg(growth / 1024)));
}

void tst_kqttc_proto::factory_errors()
{
    factory f;
    media::settings_t s;
    const auto message = [](auto fn) {
        const auto e = capture<std::runtime_error>(fn);
        return e ? QString(e->what()) : QString("no error");
    };
    QCOMPARE(message([&] { f.create_media(factory::media_e(1), s); }), QString("Unknown media_e"));
    QCOMPARE(
        message([&] { f.create_module(module_type_xband, factory::proto_kqttc, nullptr, {}); }),
        QString("kqttc_module_factory::create_module: unsupported module_type_e"));
    QCOMPARE(message([&] { f.create_module(module_type_uhf, factory::proto_kqup, nullptr, {}); }),
             QString("kqup_module_factory::create_module: unsupported module_type_e"));
    QCOMPARE(message([&] { f.create_module(module_type_uhf, factory::proto_e(7), nullptr, {}); }),
             QString("factory::create_module: unsupported proto_e"));
    QCOMPARE(message([&] { module_factory().create_module(module_type_uhf, nullptr, {}); }),
             QString("module_factory::create_module: not implemented"));
    std::unique_ptr<media> port(f.create_media(factory::media_serial_port, s));
    QVERIFY(dynamic_cast<serial_port*>(port.get()));
    QVERIFY(!port->is_open());
    std::unique_ptr<kq_module> uhf(
        f.create_module(module_type_uhf, factory::proto_kqttc, port.get(), {}));
    QVERIFY(dynamic_cast<kqttc_uhf_module*>(uhf.get()));
    QVERIFY(dynamic_cast<uhf_module*>(uhf.get()));
    std::unique_ptr<kq_module> fsps(
        f.create_module(module_type_fsps, factory::proto_kqttc, port.get(), {}));
    QVERIFY(dynamic_cast<kqttc_fsps_module*>(fsps.get()));
    std::unique_ptr<kq_module> obc(
        f.create_module(module_type_obc, factory::proto_kqttc, port.get(), {}));
    QVERIFY(dynamic_cast<obc_module*>(obc.get()));
}

void tst_kqttc_proto::factory_replaces_registered()
{
    struct counted : module_factory
    {
        explicit counted(int& deaths)
            : _deaths(deaths)
        {
        }
        ~counted() override { ++_deaths; }
        int& _deaths;
    };
    int first = 0, second = 0;
    {
        factory f;
        f.register_module_factory(factory::proto_kqttc, new counted(first));
        f.register_module_factory(factory::proto_kqttc, new counted(second));
        QCOMPARE(first, 1);
        QCOMPARE(second, 0);
    }
    QCOMPARE(second, 1);
}

KQ_TEST_MAIN(tst_kqttc_proto)
#include "tst_kqttc_proto.moc"

QT_WARNING_POP
