#include "ax25_encoder.h"
#include "capture.h"
#include "firmware_image.h"
#include "lock_limit.h"
#include "loop_runner.h"
#include "satcmd/kqttc/firmware_file.h"
#include "satcmd/kqttc/kqttc_fsps_module.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "signal_recorder.h"
#include "sim_session.h"
#include "test_environment.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThread>

#include <functional>
#include <memory>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::firmware_image;
using kq::satsim::uhf_transceiver;
using kq::testing::capture;
using kq::testing::loop_runner;
using kq::testing::signal_recorder;
using kq::testing::sim_session;

using uhf_action = std::function<void(kqttc_uhf_module&)>;
Q_DECLARE_METATYPE(uhf_action)

// The UHF module through the whole stack against the simulated transceivers.
class tst_uhf_module : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void operations_round_trip_data();
    void operations_round_trip();
    void rejected_value_sends_and_emits_nothing();
    void set_dev_addr_moves_the_module();
    void set_tx_power_wire_form();
    void find_module_at_low_address();
    void stop_ends_fruitless_search();

    void flash_reports_progress_and_image();
    void flash_refuses_bad_files_data();
    void flash_refuses_bad_files();
    void flash_takes_whole_files_data();
    void flash_takes_whole_files();
    void flash_empty_file_still_unlocks();
    void flash_retries_only_damaged_lines();
    void flash_is_busy_while_locked_elsewhere();

    void beacon_loop_reports_exact_text();
    void beacon_loop_skips_bad_frame();
    void beacon_loop_ends_on_noise();
    void beacon_loop_rebuilds_pipe();
    void free_text_both_ways();
    void wait_for_pipe_timeout_returns_to_target();

    void fsps_wire_forms();

private:
    kqttc_uhf_module& uhf() { return _s->module<kqttc_uhf_module>(); }
    void open(const route_t& route, uint8_t local = 0x22);
    int sent() { return _s->sat().link().commands_received(); }
    QStringList sent_since(int n) { return _s->sat().link().received().mid(n); }

    std::unique_ptr<sim_session> _s;
};

void tst_uhf_module::init()
{
}

void tst_uhf_module::cleanup()
{
    _s.reset();
}

void tst_uhf_module::open(const route_t& route, uint8_t local)
{
    _s = std::make_unique<sim_session>(module_type_uhf, route, false, local);
    uhf().connect();
}

void tst_uhf_module::operations_round_trip_data()
{
    QTest::addColumn<uhf_action>("act");
    QTest::addColumn<QStringList>("signals_");

    const auto row = [](const char* name, uhf_action a, QStringList s) {
        QTest::newRow(name) << a << s;
    };
    row("scw",
        [](kqttc_uhf_module& m) {
            scw_properties scw = m.get_scw();
            scw.set_bcn(true);
            m.set_scw(scw);
            QVERIFY(m.get_scw().get_bcn());
        },
        {"on_rssi", "on_get_scw", "on_set_scw", "on_rssi", "on_get_scw"});
    row("rf",
        [](kqttc_uhf_module& m) {
            m.set_rf(437050000);
            QCOMPARE(m.get_rf(), 437050000ull);
        },
        {"on_set_rf", "on_get_rf"});
    row("pipe timeout",
        [](kqttc_uhf_module& m) {
            m.set_pipe_timeout(12);
            QCOMPARE(int(m.get_pipe_timeout()), 12);
        },
        {"on_set_pipe_timeout", "on_rssi", "on_get_pipe_timeout"});
    row("text beacon period",
        [](kqttc_uhf_module& m) {
            m.set_text_beacon_period(300);
            QCOMPARE(int(m.get_text_beacon_period()), 300);
        },
        {"on_set_text_beacon_period", "on_rssi", "on_get_text_beacon_period"});
    row("audio beacon period",
        [](kqttc_uhf_module& m) {
            m.set_audio_beacon_period(45);
            QCOMPARE(int(m.get_audio_beacon_period()), 45);
        },
        {"on_set_audio_beacon_period", "on_rssi", "on_get_audio_beacon_period"});
    row("text beacon",
        [](kqttc_uhf_module& m) {
            m.set_text_beacon_message("KQ SAT TEST 42");
            QCOMPARE(m.get_text_beacon_message(), QString("KQ SAT TEST 42"));
        },
        {"on_set_text_beacon_message", "on_rssi", "on_get_text_beacon_message"});
    row("dst call sign",
        [](kqttc_uhf_module& m) {
            m.set_dst_call_sign("APRS");
            QCOMPARE(m.get_dst_call_sign(), QString("APRS"));
        },
        {"on_set_dst_call_sign", "on_rssi", "on_get_dst_call_sign"});
    row("src call sign",
        [](kqttc_uhf_module& m) {
            m.set_src_call_sign("KQ1AB");
            QCOMPARE(m.get_src_call_sign(), QString("KQ1AB"));
        },
        {"on_set_src_call_sign", "on_rssi", "on_get_src_call_sign"});
    row("morse",
        [](kqttc_uhf_module& m) {
            m.set_morse_code_call_sign("-.- --.-");
            QCOMPARE(m.get_morse_code_call_sign(), QString("-.- --.-"));
        },
        {"on_set_morse_code_call_sign", "on_rssi", "on_get_morse_code_call_sign"});
    row("melody",
        [](kqttc_uhf_module& m) {
            m.set_audio_beacon_midi("60C64E67G");
            QCOMPARE(m.get_audio_beacon_midi(), QString("60C64E67G"));
        },
        {"on_set_audio_beacon_midi", "on_get_audio_beacon_midi"});
    row("radio props",
        [](kqttc_uhf_module& m) {
            m.set_radio_transceiver_props(0x10, 0x02, QByteArray("\x0a\x0b", 2));
            QCOMPARE(m.get_radio_transceiver_props(0x10, 0x02, 2), QByteArray("\x0a\x0b", 2));
        },
        {"on_set_radio_transceiver_props", "on_get_radio_transceiver_props"});
    row("fram",
        [](kqttc_uhf_module& m) {
            const QByteArray page(16, '\x5a');
            m.set_fram_memory(0x100, page);
            QCOMPARE(m.get_fram_memory(0x100), page);
        },
        {"on_set_fram_memory", "on_get_fram_memory"});
    row("identity and counters",
        [](kqttc_uhf_module& m) {
            QCOMPARE(m.get_version(), QString("KQ-UHF 2.4.1"));
            QCOMPARE(int(m.get_payload_size()), 0x80);
            m.get_uptime();
            QVERIFY(m.get_tx_pkts() > 0);
            QVERIFY(m.get_rx_pkts() > 0);
            QCOMPARE(m.get_rx_crc_pkts(), 0u);
            QCOMPARE(int(m.get_rssi()), 0xC5);
        },
        {"on_rssi", "on_get_version", "on_rssi", "on_get_payload_size", "on_rssi", "on_get_uptime",
         "on_rssi", "on_get_tx_pkts", "on_rssi", "on_get_rx_pkts", "on_rssi",
         "on_get_rx_crc_pkts"});
    row("keep alive reads the word", [](kqttc_uhf_module& m) { m.keep_alive(); },
        {"on_rssi", "on_get_scw"});
    row("secure mode writes no signal", [](kqttc_uhf_module& m) { m.set_secure_mode(); }, {});
}

void tst_uhf_module::operations_round_trip()
{
    QFETCH(uhf_action, act);
    QFETCH(QStringList, signals_);
    open(sim_session::uhf_direct());
    signal_recorder recorder(&uhf(), uhf_module::staticMetaObject);
    act(uhf());
    QCOMPARE(recorder.names(), signals_);
}

void tst_uhf_module::rejected_value_sends_and_emits_nothing()
{
    open(sim_session::uhf_direct());
    signal_recorder recorder(&uhf(), uhf_module::staticMetaObject);
    const int before = sent();
    QVERIFY(capture<proto_exception>([&] { uhf().set_dst_call_sign("TOOLONG"); }));
    QVERIFY(capture<proto_exception>([&] { uhf().set_audio_beacon_period(10); }));
    QVERIFY(capture<proto_exception>([&] { uhf().send_arbitrary_text(1, QString(117, 'x')); }));
    QCOMPARE(_s->lines_before_marker(), before);
    QVERIFY(recorder.names().isEmpty());
    // A refused answer emits nothing either.
    _s->sat().link().drop_answers(100);
    QVERIFY(capture<media_exception>([&] { uhf().get_version(); }));
    QVERIFY(recorder.names().isEmpty());
}

void tst_uhf_module::set_dev_addr_moves_the_module()
{
    open(sim_session::uhf_direct());
    uhf().set_dev_addr(0x23);
    QCOMPARE(uhf().get_dev_addr(), 0x23u);
    QCOMPARE(uhf().get_connect_props().route.last().dev_addr, 0x23u);
    const int before = sent();
    QCOMPARE(uhf().get_scw().get_value(), short(0x3003));
    QVERIFY(sent_since(before).first().startsWith("KQ+R2300"));
    // The stored properties survive a reconnect.
    uhf().connect();
    QCOMPARE(uhf().get_dev_addr(), 0x23u);
}

void tst_uhf_module::set_tx_power_wire_form()
{
    open(sim_session::uhf_direct());
    signal_recorder recorder(&uhf(), uhf_module::staticMetaObject);
    const int before = sent();
    uhf().set_tx_power(tx_power_e(5));
    QVERIFY(sent_since(before).first().startsWith("KQ+W22FE22010105 "));
    QCOMPARE(recorder.names(), QStringList{"on_set_radio_transceiver_props"});
    QCOMPARE(uhf().get_radio_transceiver_props(0x22, 0x01, 1), QByteArray("\x05"));
}

void tst_uhf_module::find_module_at_low_address()
{
    open({}, 0x04);
    signal_recorder recorder(&uhf(), uhf_module::staticMetaObject);
    const int before = sent();
    QCOMPARE(uhf().find_module(), 4u);
    QCOMPARE(uhf().get_dev_addr(), 4u);
    QCOMPARE(sent() - before, 5); // one attempt per address
    QCOMPARE(recorder.names(), QStringList({"on_rssi", "on_get_scw"}));
    QCOMPARE(uhf().get_module_config_sat().timeout_m, sim_session::quick_config().timeout_m);
    QCOMPARE(uhf().get_scw().get_value(), short(0x3003));
}

void tst_uhf_module::stop_ends_fruitless_search()
{
    open({});
    _s->sat().link().drop_answers(1000000);
    const int before = sent();
    loop_runner search([this](std::atomic<bool>&) { uhf().find_module(); });
    // Under way: a few addresses asked.
    QTRY_VERIFY_WITH_TIMEOUT(sent() >= before + 3, 10 * kqttc_uhf_module::find_timeout_ms);
    uhf().stop_request();
    QVERIFY(search.wait(3000));
    QCOMPARE(search.media_error, int(media_exception::stopped));
}

void tst_uhf_module::flash_reports_progress_and_image()
{
    open(sim_session::uhf_direct());
    const firmware_image image = firmware_image::generate(98 * 16);
    QCOMPARE(image.lines, 100);
    QList<QPair<uint32_t, uint32_t>> progress;
    bool line_was_in = true;
    connect(&uhf(), &kq_module::on_flash_progress, this,
            [&](const QString& step, uint32_t pos, uint32_t length) {
                QCOMPARE(step, QString("FLASH"));
                progress.append({pos, length});
                line_was_in &= _s->sat().with_local(
                                   [](uhf_transceiver& t) { return t.flash_lines(); }) == int(pos);
            });
    QByteArray file = image.file;
    uhf().flash(file);
    QCOMPARE(progress.size(), 100);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(progress.at(i), (QPair<uint32_t, uint32_t>(i + 1, 100)));
    QVERIFY(line_was_in);
    QCOMPARE(_s->sat().with_local([](uhf_transceiver& t) { return t.image(); }), image.data);
}

void tst_uhf_module::flash_refuses_bad_files_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("convert");
    QTest::addColumn<QString>("error"); // the message's start, with the line

    const firmware_image image = firmware_image::generate(64);
    const QList<QByteArray> lines = image.file.split('\n');
    const auto with_third = [&](const QByteArray& third) {
        QList<QByteArray> l = lines;
        l[2] = third;
        return l.join('\n');
    };
    QByteArray bad_sum = lines.at(2);
    bad_sum[bad_sum.size() - 1] = bad_sum.endsWith('0') ? '1' : '0';
    const QString third = QStringLiteral("line 3: ");
    QTest::newRow("wrong checksum on line 3")
        << with_third(bad_sum) << false << third + "FLASH_FILE_INVALID_CHECKSUM";
    QTest::newRow("S2 record") << with_third("S2" + lines.at(2).mid(2)) << false
                               << third + "FLASH_FILE_INVALID_TYPE";
    QTest::newRow("S5 record") << with_third("S5030000FC") << false
                               << third + "FLASH_FILE_INVALID_TYPE";
    QTest::newRow("S4 record, converted")
        << with_third("S4030000FC") << true << third + "FLASH_FILE_INVALID_TYPE";
    QTest::newRow("count does not match")
        << with_third("S1050000AAFC") << false << third + "FLASH_FILE_INVALID_LENGTH";
    QTest::newRow("not hex") << with_third("S1030000ZZ") << false
                             << third + "FLASH_FILE_INVALID_LENGTH";
    QTest::newRow("odd digits") << with_third("S1030000F") << false
                                << third + "FLASH_FILE_INVALID_LENGTH";
    QTest::newRow("bare type") << with_third("S1") << false << third + "FLASH_FILE_INVALID_LENGTH";
    QTest::newRow("no S") << with_third("X1030000FC") << false
                          << third + "FLASH_FILE_INVALID_START_LINE";
    QTest::newRow("empty line inside")
        << with_third("") << false << third + "FLASH_FILE_EMPTY_LINE";
    const QString after = QStringLiteral("line %1: ").arg(image.lines + 1);
    QTest::newRow("blank last line") << image.file + "\n"
                                     << false << after + "FLASH_FILE_EMPTY_LINE";
    QTest::newRow("two end records") << image.file + lines.at(image.lines - 1) + "\n"
                                     << false << after + "FLASH_FILE_AFTER_END";
    QTest::newRow("data after the end") << image.file + lines.at(1) + "\r\n"
                                        << false << after + "FLASH_FILE_AFTER_END";
    QTest::newRow("S2/S8 with S5, as it stands")
        << image.s2_file() << false
        << "line 2: FLASH_FILE_INVALID_TYPE: the transceiver takes "
           "S0, S1, S3, S7 and S9 records, not S2: flash with "
           "--convert";
    QTest::newRow("count mismatch, converted")
        << image.s2_file(5) << true << "line 6: FLASH_FILE_COUNT_MISMATCH: the count record says 5";
    QByteArray short_s2 = image.s2_file();
    short_s2.replace(lines.at(0).size() + 1, 0, "S20300FFFD\n");
    QTest::newRow("S2 shorter than its address, converted")
        << short_s2 << true << "line 2: FLASH_FILE_INVALID_LENGTH";
    QByteArray garbage(4000, '\0');
    QRandomGenerator rng(3);
    for (char& c : garbage)
        c = char(rng.bounded(256));
    QTest::newRow("binary garbage") << garbage << false << "line 1: FLASH_FILE_";
    QByteArray huge = firmware_image::generate(4 * 1024 * 1024).file; // about 10 MB of text
    huge += "S9030000FD\n";
    QTest::newRow("10 MB, bad last line")
        << huge << false
        << QStringLiteral("line %1: FLASH_FILE_INVALID_CHECKSUM").arg(huge.count('\n'));
}

// Refused as a whole, naming the line, before even the unlock is sent.
void tst_uhf_module::flash_refuses_bad_files()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, convert);
    QFETCH(QString, error);
    open(sim_session::uhf_direct());
    const int before = sent();
    int progress = 0;
    connect(&uhf(), &kq_module::on_flash_progress, this, [&] { ++progress; });
    const auto e = capture<proto_exception>([&] {
        QByteArray bytes = convert ? firmware_file(file, true).text() : file;
        uhf().flash(bytes);
    });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::parameter_error);
    QCOMPARE(int(e->get_code()), 0xB0);
    QCOMPARE(e->get_exec_context(), QString("flash_check_line"));
    QVERIFY2(QString(e->what()).startsWith(error), e->what());
    QCOMPARE(sent(), before); // not even the unlock
    QCOMPARE(progress, 0);
}

void tst_uhf_module::flash_takes_whole_files_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("convert");
    QTest::addColumn<bool>("has_end");
    QTest::addColumn<int>("records"); // as sent
    QTest::addColumn<QByteArray>("data");

    const firmware_image image = firmware_image::generate(200);
    QTest::newRow("LF") << image.file << false << true << image.lines << image.data;
    QTest::newRow("CR LF") << QByteArray(image.file).replace("\n", "\r\n") << false << true
                           << image.lines << image.data;
    QTest::newRow("no line end after the last")
        << image.file.left(image.file.size() - 1) << false << true << image.lines << image.data;
    const int end = image.file.lastIndexOf('\n', image.file.size() - 2) + 1;
    QTest::newRow("cut before the end record")
        << image.file.left(end) << false << false << image.lines - 1 << image.data;
    const int data_records = (image.data.size() + 15) / 16;
    QTest::newRow("S2/S8 with S5, converted")
        << image.s2_file() << true << true << data_records + 2 << image.data;
    QTest::newRow("S6 count, converted")
        << image.s2_file(-1, true) << true << true << data_records + 2 << image.data;
}

// Accepted files reach the transceiver as records of the types it takes:
// converted ones at the same addresses with the same data.
void tst_uhf_module::flash_takes_whole_files()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, convert);
    QFETCH(bool, has_end);
    QFETCH(int, records);
    QFETCH(QByteArray, data);
    open(sim_session::uhf_direct());
    const firmware_file checked(file, convert);
    QCOMPARE(checked.has_end(), has_end);
    QCOMPARE(checked.changes().isEmpty(), !convert);
    QByteArray bytes = checked.text();
    uhf().flash(bytes);
    QCOMPARE(_s->sat().with_local([](uhf_transceiver& t) { return t.flash_lines(); }), records);
    QCOMPARE(_s->sat().with_local([](uhf_transceiver& t) { return t.image(); }), data);
}

void tst_uhf_module::flash_empty_file_still_unlocks()
{
    open(sim_session::uhf_direct());
    const int before = sent();
    QByteArray empty;
    uhf().flash(empty);
    const QStringList lines = sent_since(before);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).startsWith("KQ+R22FF"));
    QVERIFY(lines.at(1).startsWith("KQ+W22FF"));
    QVERIFY(_s->sat().with_local([](uhf_transceiver& t) { return t.state().unlocked; }));
}

void tst_uhf_module::flash_retries_only_damaged_lines()
{
    open(sim_session::uhf_direct());
    const firmware_image image = firmware_image::generate(64);
    _s->sat().with_local([](uhf_transceiver& t) {
        t.refuse_flash_lines(1);
        return 0;
    });
    QByteArray file = image.file;
    const int first = sent();
    uhf().flash(file);
    QCOMPARE(sent() - first, 2 + image.lines + 1); // unlock, every line, one repeat
    QCOMPARE(_s->sat().with_local([](uhf_transceiver& t) { return t.image(); }), image.data);

    _s->sat().with_local([](uhf_transceiver& t) {
        t.refuse_flash_lines(1, "ERR");
        return 0;
    });
    int progress = 0;
    connect(&uhf(), &kq_module::on_flash_progress, this, [&] { ++progress; });
    const int before = sent();
    const auto e = capture<proto_exception>([&] { uhf().flash(file); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::command_response_error);
    QCOMPARE(e->get_retry_behaviour(), proto_exception::no_retry);
    QCOMPARE(sent() - before, 3); // unlock (two commands), one line, no repeat
    QCOMPARE(progress, 0);
}

void tst_uhf_module::flash_is_busy_while_locked_elsewhere()
{
    // A hook that takes its time keeps connect() holding the module's lock,
    // until the flash has given up.
    const kq::testing::lock_limit limit;
    module_connect_props_t slow = sim_session::hop(0x22, role_target);
    QSemaphore inside, given_up;
    slow.on_configure = [&](const module_connect_props_t&, bool, bool) {
        inside.release();
        given_up.tryAcquire(1, limit.hold_ms());
    };
    _s = std::make_unique<sim_session>(module_type_uhf, route_t{slow});
    loop_runner connector([&](std::atomic<bool>&) { uhf().connect(); });
    inside.acquire();
    const int before = sent();
    QByteArray file = firmware_image::generate(16).file;
    const auto e = capture<proto_exception>([&] { uhf().flash(file); });
    given_up.release();
    QVERIFY(connector.wait(-1));
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::busy);
    QCOMPARE(sent(), before);
}

void tst_uhf_module::beacon_loop_reports_exact_text()
{
    open(sim_session::uhf_direct());
    _s->sat().with_local([](uhf_transceiver& t) {
        t.set_beacon(150, "CQ", "QQ9ZZZ", "HELLO");
        return 0;
    });
    QStringList beacons;
    QObject receiver; // goes before the list: late queued beacons are dropped
    connect(
        &uhf(), &uhf_module::on_ax25_beacon, &receiver, [&](const QString& b) { beacons << b; },
        Qt::QueuedConnection);
    loop_runner loop([this](std::atomic<bool>& r) { uhf().ax25_beacon_loop(r); });
    QTRY_VERIFY_WITH_TIMEOUT(beacons.size() >= 2, 5000);
    QCOMPARE(beacons.first(), QString("CQ    [E0]QQ9ZZZ[E1][03F0]HELLO"));
    QElapsedTimer t;
    t.start();
    QVERIFY(loop.stop_and_wait(3000));
    QVERIFY(t.elapsed() < 1500);
    QCOMPARE(loop.proto_error, -1);
}

void tst_uhf_module::beacon_loop_skips_bad_frame()
{
    open(sim_session::uhf_direct());
    QByteArray bad = kq::satsim::ax25_encoder::frame("CQ", "QQ9ZZZ", "BROKEN");
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x01);
    QStringList beacons;
    QObject receiver; // goes before the list: late queued beacons are dropped
    connect(
        &uhf(), &uhf_module::on_ax25_beacon, &receiver, [&](const QString& b) { beacons << b; },
        Qt::QueuedConnection);
    // A listening loop keeps what came before its first round: the spoilt
    // frame goes first, the good beacons follow it on the line.
    loop_runner loop([this](std::atomic<bool>& r) { uhf().ax25_beacon_loop(r); });
    _s->sat().with_local([&](uhf_transceiver& t) {
        t.queue_raw(kq::satsim::ax25_encoder::line_bits(bad));
        t.set_beacon(100, "CQ", "QQ9ZZZ", "GOOD");
        return 0;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!beacons.isEmpty(), 5000);
    QVERIFY(beacons.first().endsWith("GOOD"));
    for (const QString& b : beacons)
        QVERIFY(!b.contains("BROKEN"));
}

void tst_uhf_module::beacon_loop_ends_on_noise()
{
    open(sim_session::uhf_direct());
    loop_runner loop([this](std::atomic<bool>& r) { uhf().ax25_beacon_loop(r); });
    QByteArray noise(300, '\0');
    QRandomGenerator rng(11);
    for (char& c : noise)
        c = char(rng.bounded(1, 256));
    noise.replace("+KQTTC", "-KQTTC");
    _s->sat().with_local([&](uhf_transceiver& t) {
        t.queue_raw(noise);
        return 0;
    });
    QVERIFY(loop.wait(5000));
    QCOMPARE(loop.proto_error, int(proto_exception::ax25_error));
    QCOMPARE(loop.message, QString("AX25_PARSE_ERROR"));
}

void tst_uhf_module::beacon_loop_rebuilds_pipe()
{
    open(sim_session::uhf_relayed());
    QVERIFY(_s->sat().with_local([](uhf_transceiver& t) { return t.pipe_on(); }));
    QStringList beacons;
    QObject receiver; // goes before the list: late queued beacons are dropped
    connect(
        &uhf(), &uhf_module::on_ax25_beacon, &receiver, [&](const QString& b) { beacons << b; },
        Qt::QueuedConnection);
    loop_runner loop([this](std::atomic<bool>& r) { uhf().ax25_beacon_loop(r); });
    _s->sat().with_local([](uhf_transceiver& t) {
        t.drop_pipe();
        t.queue_raw("ERR+KQTTC\r\n");
        return 0;
    });
    QTRY_VERIFY_WITH_TIMEOUT(_s->sat().with_local([](uhf_transceiver& t) { return t.pipe_on(); }),
                             5000);
    _s->sat().with_local([](uhf_transceiver& t) {
        t.set_beacon(100, "CQ", "QQ9ZZZ", "AFTER");
        return 0;
    });
    QTRY_VERIFY_WITH_TIMEOUT(!beacons.isEmpty(), 5000);
    QCOMPARE(loop.proto_error, -1);
}

void tst_uhf_module::free_text_both_ways()
{
    open(sim_session::uhf_direct());
    signal_recorder recorder(&uhf(), uhf_module::staticMetaObject);
    uhf().send_arbitrary_text(42, "Hello");
    uhf().send_arbitrary_text(43, QString(116, 'x'));
    QTRY_COMPARE(_s->sat().with_remote([](uhf_transceiver& t) { return t.texts_heard().size(); }),
                 2);
    QCOMPARE(_s->sat().with_remote([](uhf_transceiver& t) { return t.texts_heard().first(); }),
             (QPair<uint32_t, QString>(42, "Hello")));
    QCOMPARE(recorder.names(), QStringList({"on_send_arbitrary_text", "on_send_arbitrary_text"}));

    QList<QPair<uint32_t, QString>> heard;
    QObject receiver;
    connect(
        &uhf(), &uhf_module::on_receive_arbitrary_text, &receiver,
        [&](uint32_t seq, const QString& text) {
            heard.append({seq, text});
        },
        Qt::QueuedConnection);
    loop_runner loop([this](std::atomic<bool>& r) { uhf().recv_arbitrary_text_loop(r); });
    _s->sat().with_local([](uhf_transceiver& t) {
        t.queue_raw("OK+NOT TEXT\r\n"); // not free text: skipped
        t.inject_text(0x2A, "Hello");
        return 0;
    });
    QTRY_COMPARE(heard.size(), 1);
    QCOMPARE(heard.first(), (QPair<uint32_t, QString>(42, "Hello")));
    QVERIFY(loop.stop_and_wait(3000));
    QCOMPARE(loop.proto_error, -1);
}

void tst_uhf_module::wait_for_pipe_timeout_returns_to_target()
{
    _s = std::make_unique<sim_session>(module_type_uhf, sim_session::uhf_relayed());
    module_config_t c = sim_session::quick_config();
    c.timeout_pipe = 1000;
    _s->configure(c);
    uhf().connect();
    uhf().set_dev_addr(0x23); // works through the pipe
    QElapsedTimer t;
    t.start();
    loop_runner loop([this](std::atomic<bool>& r) { uhf().wait_for_pipe_timeout(r); });
    QVERIFY(loop.wait(5000));
    QVERIFY(t.elapsed() >= 800);
    QCOMPARE(loop.proto_error, -1);
    QCOMPARE(uhf().get_dev_addr(), 0x23u);
    QVERIFY(!_s->sat().with_local([](uhf_transceiver& x) { return x.pipe_on(); }));
}

void tst_uhf_module::fsps_wire_forms()
{
    sim_session s(module_type_fsps, {sim_session::hop(0x31, role_target, module_type_fsps)}, true);
    auto& fsps = s.module<kqttc_fsps_module>();
    fsps.connect();
    fsps.set_rf(0);
    fsps.set_rf(5);
    fsps.set_attenuation(63);
    fsps.set_attenuation(-7);
    const auto e = capture<proto_exception>([&] { fsps.set_attenuation(64); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("INVALID_ATTENUATION_VALUE"));
    QCOMPARE(e->get_exec_context(), QString("req_set_fsps_attenuation"));
    QCOMPARE(s.sat().with_fsps([](kq::satsim::fsps_unit& u) { return u.writes(); }),
             QStringList({"KQ+W3100", "KQ+W31015", "KQ+W310263", "KQ+W3102-7"}));
    QCOMPARE(s.sat().with_fsps([](kq::satsim::fsps_unit& u) { return u.attenuation(); }),
             int64_t(-7));
    QCOMPARE(s.sat().with_fsps([](kq::satsim::fsps_unit& u) { return u.rf(); }), uint64_t(5));
}

KQ_TEST_MAIN(tst_uhf_module)
#include "tst_uhf_module.moc"
