#include "capture.h"
#include "firmware_image.h"
#include "loop_runner.h"
#include "random_bytes.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "serline/media.h"
#include "sim_session.h"
#include "test_environment.h"

#include <QBuffer>
#include <QElapsedTimer>

#include <functional>
#include <memory>

// Routes are QLinkedLists.
QT_WARNING_DISABLE_DEPRECATED

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::firmware_image;
using kq::satsim::obc_computer;
using kq::satsim::sim_link;
using kq::satsim::uhf_transceiver;
using kq::testing::capture;
using kq::testing::loop_runner;
using kq::testing::random_bytes;
using kq::testing::sim_session;

namespace {

constexpr int attempt_ms = 300; // the quick timings' class timeout, above every link time here

module_config_t config(int repeats)
{
    module_config_t c = sim_session::quick_config();
    c.repeats_m = c.repeats_l = c.repeats_s = c.repeats_xl = repeats;
    return c;
}

} // namespace

Q_DECLARE_METATYPE(route_t)
Q_DECLARE_METATYPE(std::function<void(kq_module&)>)

// Exchanges with devices that answer late, echo, chatter, cut their lines
// and send bytes above 0x7F: an answer is only ever taken for the command it
// answers, and a stop or a silent device never holds the caller long.
class tst_link_faults : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void late_answer_is_never_the_next_commands_data();
    void late_answer_is_never_the_next_commands();
    void answers_in_order_any_time_late_data();
    void answers_in_order_any_time_late();
    void download_with_a_late_block_is_byte_identical_data();
    void download_with_a_late_block_is_byte_identical();
    void echoing_transceivers_data();
    void echoing_transceivers();
    void chatter_without_answers_fails_in_time();
    void answer_with_high_bytes_data();
    void answer_with_high_bytes();
    void flash_under_late_answers();
    void flash_fails_naming_a_refused_record_data();
    void flash_fails_naming_a_refused_record();
    void stop_ends_persistent_wait_at_once();
    void refused_before_the_wire_data();
    void refused_before_the_wire();

private:
    void _open(module_type_e type, const route_t& route, const module_config_t& c);
    sim_link& link() { return _s->sat().link(); }
    kqttc_uhf_module& uhf() { return _s->module<kqttc_uhf_module>(); }
    kqttc_obc_module& obc() { return _s->module<kqttc_obc_module>(); }

    std::unique_ptr<sim_session> _s;
};

void tst_link_faults::cleanup()
{
    _s.reset();
}

void tst_link_faults::_open(module_type_e type, const route_t& route, const module_config_t& c)
{
    _s = std::make_unique<sim_session>(type, route);
    _s->configure(c);
    _s->base().connect();
}

void tst_link_faults::late_answer_is_never_the_next_commands_data()
{
    QTest::addColumn<route_t>("route");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<double>("lateness");

    for (const double late : {1.2, 2.0}) {
        for (const int repeats : {0, 2}) {
            const QByteArray tail =
                QByteArray::number(late) + "x, " + QByteArray::number(repeats) + " repeats";
            QTest::newRow("direct, " + tail) << sim_session::uhf_direct() << repeats << late;
            QTest::newRow("relayed, " + tail) << sim_session::uhf_relayed() << repeats << late;
        }
    }
}

// The status word's answer comes late; the frequency read that follows has
// an answer of the same shape and must still read the frequency.
void tst_link_faults::late_answer_is_never_the_next_commands()
{
    QFETCH(route_t, route);
    QFETCH(int, repeats);
    QFETCH(double, lateness);
    _open(module_type_uhf, route, config(repeats));

    link().hold_answers(1, int(lateness * attempt_ms));
    const auto e = capture<media_exception>(
        [&] { QCOMPARE(uint16_t(uhf().get_scw().get_value()) & 0xFF00, 0x3000); });
    QCOMPARE(bool(e), repeats == 0); // without a repeat the late answer is lost to it
    // Reads go on while the late answer arrives, and after.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3 * attempt_ms) {
        QCOMPARE(uhf().get_rf(), 437000000ull);
        QCOMPARE(uhf().get_pipe_timeout(), uint8_t(10));
    }
    QVERIFY(link().answers_held() >= 1); // the answers behind the late one wait for it
}

void tst_link_faults::answers_in_order_any_time_late_data()
{
    QTest::addColumn<route_t>("route");
    QTest::addColumn<double>("lateness");
    QTest::addColumn<bool>("reopen");
    for (const double late : {3.0, 6.0, 10.0}) {
        const QByteArray tail = QByteArray::number(late) + "x";
        QTest::newRow("direct, " + tail) << sim_session::uhf_direct() << late << false;
        QTest::newRow("relayed, " + tail) << sim_session::uhf_relayed() << late << false;
        QTest::newRow("relayed, port reopened, " + tail)
            << sim_session::uhf_relayed() << late << true;
    }
}

// A link that is slow keeps the order: the status word's answer comes up to
// ten timeouts late and every answer after it waits behind it. No read takes
// another's answer, in the same connection or the next one; once the late
// answer has come, reads go on.
void tst_link_faults::answers_in_order_any_time_late()
{
    QFETCH(route_t, route);
    QFETCH(double, lateness);
    QFETCH(bool, reopen);
    _open(module_type_uhf, route, config(0));
    link().set_late_in_order(true);
    link().hold_answers(1, int(lateness * attempt_ms));
    QVERIFY(capture<media_exception>([&] { uhf().get_scw(); }));
    if (reopen) {
        _s->base().disconnect();
        _s->base().connect();
    }
    int read = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < (lateness + 3) * attempt_ms) {
        try {
            QCOMPARE(uhf().get_rf(), 437000000ull);
            QCOMPARE(uhf().get_pipe_timeout(), uint8_t(10));
            ++read;
        } catch (const media_exception&) {
            // not answered, or the line not yet known clean: an error, never a value
        }
    }
    QVERIFY(read > 0);
}

void tst_link_faults::download_with_a_late_block_is_byte_identical_data()
{
    QTest::addColumn<double>("lateness");
    QTest::newRow("1.05x, the hardware case") << 1.05;
    QTest::newRow("1.5x") << 1.5;
    QTest::newRow("2x") << 2.0;
    QTest::newRow("5x") << 5.0;
    QTest::newRow("10x") << 10.0;
}

// One block answer held past its attempt, holding back those after it; a
// repeat takes it or its own, and no later block lands on another's place.
// The repeats outlast the lateness.
void tst_link_faults::download_with_a_late_block_is_byte_identical()
{
    QFETCH(double, lateness);
    _open(module_type_obc, sim_session::obc_two_relays(), config(int(lateness) + 2));
    const QByteArray data = random_bytes(3000, 11);
    _s->sat().with_obc([&](obc_computer& o) { return o.files()["LATE.DAT"] = data; });

    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    QObject receiver;
    bool held = false;
    connect(&obc(), &obc_module::on_get_file_progress, &receiver,
            [&](const QString&, uint32_t pos) {
                if (!held && pos >= 1024) {
                    held = true;
                    link().hold_answers(1, int(lateness * attempt_ms));
                }
            });
    obc().get(QStringLiteral("LATE.DAT"), &target, 0);
    QVERIFY(held);
    QCOMPARE(back.size(), data.size());
    QVERIFY(back == data);
}

void tst_link_faults::echoing_transceivers_data()
{
    QTest::addColumn<route_t>("route");
    QTest::addColumn<bool>("local_echo");
    QTest::addColumn<bool>("remote_echo");
    QTest::newRow("direct") << sim_session::uhf_direct() << true << false;
    QTest::newRow("relay echoes") << sim_session::uhf_relayed() << true << false;
    QTest::newRow("both echo") << sim_session::uhf_relayed() << true << true;
}

// A transceiver whose echo bit is on sends every line back before it
// answers; every parameter still reads and writes, relays included.
void tst_link_faults::echoing_transceivers()
{
    QFETCH(route_t, route);
    QFETCH(bool, local_echo);
    QFETCH(bool, remote_echo);
    _s = std::make_unique<sim_session>(module_type_uhf, route);
    _s->configure(config(0));
    _s->sat().with_local(
        [&](uhf_transceiver& t) { return t.state().scw |= local_echo ? 0x80 : 0; });
    _s->sat().with_remote(
        [&](uhf_transceiver& t) { return t.state().scw |= remote_echo ? 0x80 : 0; });
    _s->base().connect();

    kqttc_uhf_module& m = uhf();
    QCOMPARE(m.get_version(), QStringLiteral("KQ-UHF 2.4.1"));
    m.set_dst_call_sign(QStringLiteral("QQ1AB"));
    QCOMPARE(m.get_dst_call_sign(), QStringLiteral("QQ1AB"));
    m.set_text_beacon_period(120);
    QCOMPARE(int(m.get_text_beacon_period()), 120);
    m.set_rf(436500000);
    QCOMPARE(m.get_rf(), 436500000ull);
    m.set_fram_memory(0x40, QByteArray(16, 'k'));
    QCOMPARE(m.get_fram_memory(0x40), QByteArray(16, 'k'));
    QCOMPARE(m.get_scw().get_echo(), route.size() == 1 ? local_echo : remote_echo);
}

// A device that prints its own lines and never answers: the command gives
// up within its attempts' time and one more timeout, not never.
void tst_link_faults::chatter_without_answers_fails_in_time()
{
    _open(module_type_uhf, sim_session::uhf_direct(), config(2));
    link().chatter(20);
    link().drop_answers(1000000);
    QElapsedTimer clock;
    clock.start();
    const auto e = capture<media_exception>([&] { uhf().get_version(); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), media_exception::timeout);
    const qint64 took = clock.elapsed();
    qInfo("three attempts under chatter failed after %lld ms", took);
    QVERIFY2(took < 4 * attempt_ms + 200, qPrintable(QString::number(took)));
}

void tst_link_faults::answer_with_high_bytes_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("version");
    QTest::newRow("Latin-1 byte") << QByteArray("KQ-UHF \xb5"
                                                "C 3.0")
                                  << QString::fromLatin1("KQ-UHF \xb5"
                                                         "C 3.0");
    QTest::newRow("UTF-8 text") << QByteArray("KQ-UHF \xc2\xb5"
                                              "C 3.0")
                                << QString::fromUtf8("KQ-UHF \xc2\xb5"
                                                     "C 3.0");
}

// An answer with bytes above 0x7F and a CRC over the bytes as sent reads.
void tst_link_faults::answer_with_high_bytes()
{
    QFETCH(QByteArray, sent);
    QFETCH(QString, version);
    _open(module_type_uhf, sim_session::uhf_direct(), config(0));
    // The simulator sends its texts' Latin-1 bytes, with their CRC.
    _s->sat().with_local(
        [&](uhf_transceiver& t) { return t.state().version = QString::fromLatin1(sent); });
    QCOMPARE(uhf().get_version(), version);
}

void tst_link_faults::flash_under_late_answers()
{
    _open(module_type_uhf, sim_session::uhf_relayed(), config(2));
    const firmware_image image = firmware_image::generate(2048, 32);
    link().set_late_rate(0.1, int(1.2 * attempt_ms), 2 * attempt_ms);
    QByteArray file = image.file;
    uhf().flash(file);
    link().set_late_rate(0, 0, 0);
    QVERIFY(link().answers_held() > 0);
    QCOMPARE(_s->sat().with_remote([](uhf_transceiver& t) { return t.image(); }), image.data);
}

void tst_link_faults::flash_fails_naming_a_refused_record_data()
{
    QTest::addColumn<int>("held_ms");
    QTest::newRow("refusal on time") << 0;
    QTest::newRow("refusal late") << int(1.5 * attempt_ms);
}

// The device refuses the fifth record, on time or after its repeat was
// accepted: the flash fails and names the record's line.
void tst_link_faults::flash_fails_naming_a_refused_record()
{
    QFETCH(int, held_ms);
    _open(module_type_uhf, sim_session::uhf_direct(), config(2));
    const firmware_image image = firmware_image::generate(512, 32);
    QByteArray file = image.file;
    QObject receiver;
    connect(&uhf(), &kq_module::on_flash_progress, &receiver, [&](const QString&, uint32_t pos) {
        if (pos != 4)
            return;
        _s->sat().with_local([](uhf_transceiver& t) {
            t.refuse_flash_lines(1, QStringLiteral("ERR+VERIFY"));
            return 0;
        });
        if (held_ms > 0)
            link().hold_answers(1, held_ms);
    });
    const auto e = capture<proto_exception>([&] { uhf().flash(file); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::command_response_error);
    QCOMPARE(QString::fromUtf8(e->what()), QStringLiteral("line 5: ERR+VERIFY"));
}

// A persistent connection waits between attempts at a silent hop; a stop
// ends that wait at once, not after the pause.
void tst_link_faults::stop_ends_persistent_wait_at_once()
{
    route_t silent = sim_session::uhf_relayed();
    silent.back().dev_addr = 0x77;
    _s = std::make_unique<sim_session>(module_type_uhf, silent);
    module_config_t c = config(0);
    c.persistent_time = 9500;
    _s->configure(c);
    kq_module& m = _s->base();
    m.set_persistent(true);
    // The engine says when an attempt has gone unanswered and it pauses.
    std::atomic<bool> pausing{false};
    QObject watch;
    connect(
        &m, &kq_module::on_waiting, &watch, [&](int, qint64) { pausing.store(true); },
        Qt::DirectConnection);
    loop_runner runner([&](std::atomic<bool>&) { m.connect(); });
    QVERIFY(QTest::qWaitFor([&] { return pausing.load(); }, 10 * attempt_ms));
    QVERIFY(!runner.finished());
    QElapsedTimer since_stop;
    since_stop.start();
    m.stop_request();
    QVERIFY(runner.wait(5000));
    const qint64 took = since_stop.elapsed();
    qInfo("ended %lld ms after the stop", took);
    QVERIFY2(took < 100, qPrintable(QString::number(took)));
    QCOMPARE(runner.media_error, int(media_exception::stopped));
}

using module_action = std::function<void(kq_module&)>;

void tst_link_faults::refused_before_the_wire_data()
{
    QTest::addColumn<module_type_e>("type");
    QTest::addColumn<module_action>("act");
    QTest::addColumn<QString>("error");

    const auto uhf_row = [](const char* name, std::function<void(kqttc_uhf_module&)> act,
                            const char* error) {
        QTest::newRow(name) << module_type_uhf << module_action([act](kq_module& m) {
            act(dynamic_cast<kqttc_uhf_module&>(m));
        }) << QString(error);
    };
    const auto obc_row = [](const char* name, std::function<void(kqttc_obc_module&)> act,
                            const char* error) {
        QTest::newRow(name) << module_type_obc << module_action([act](kq_module& m) {
            act(dynamic_cast<kqttc_obc_module&>(m));
        }) << QString(error);
    };
    // A carriage return would end the line early: the device would run what
    // follows as a command of its own (here, a new destination call sign).
    uhf_row(
        "text beacon with CR",
        [](auto& m) { m.set_text_beacon_message("HELLO\rKQ+W23F5EVIL   1C1D0E6B"); },
        "INVALID_TEXT_BEACON_MESSAGE");
    uhf_row(
        "text beacon with a tab", [](auto& m) { m.set_text_beacon_message("A\tB"); },
        "INVALID_TEXT_BEACON_MESSAGE");
    uhf_row(
        "Morse with CR", [](auto& m) { m.set_morse_code_call_sign("-.-\r"); },
        "INVALID_MORSE_CODE");
    uhf_row(
        "call sign with LF", [](auto& m) { m.set_dst_call_sign("AB\nC"); },
        "INVALID_DST_CALL_SIGN");
    uhf_row(
        "free text with LF", [](auto& m) { m.send_arbitrary_text(1, "hi\nKQ+W23FC01"); },
        "INVALID_ARBITRARY_TEXT");
    uhf_row(
        "256 property bytes",
        [](auto& m) { m.set_radio_transceiver_props(0x10, 0, QByteArray(256, 'p')); },
        "INVALID_DATA_LENGTH");
    uhf_row(
        "address above 0xFF", [](auto& m) { m.set_dev_addr(0x123); }, "VALUE_OUT_OF_RANGE");
    uhf_row(
        "no frequency", [](auto& m) { m.set_rf(0); }, "INVALID_FREQUENCY");
    uhf_row(
        "2 GHz", [](auto& m) { m.set_rf(2000000000u); }, "INVALID_FREQUENCY");
    obc_row(
        "file name with CR, a checksum and a delete",
        [](auto& m) {
            unsigned sum = 0, size = 0;
            m.checksum("A.TXT\rKQ+D11FDB.TXT", sum, size);
        },
        "INVALID_FILE_NAME");
    obc_row(
        "file name with NUL", [](auto& m) { m.del(QString("A.TXT") + QChar(0)); },
        "INVALID_FILE_NAME");
    obc_row(
        "listing path with LF", [](auto& m) { m.dir("*\nFD"); }, "INVALID_FILE_NAME");
    obc_row(
        "pipe timeout of 300 s",
        [](auto& m) {
            module_config_t c = sim_session::quick_config();
            c.timeout_pipe = 300000;
            m.set_module_config(c);
            m.connect();
        },
        "INVALID_PIPE_TIMEOUT");
}

// Texts that would split the line and numbers that do not fit their field
// are refused before anything is sent: the simulator receives nothing.
void tst_link_faults::refused_before_the_wire()
{
    QFETCH(module_type_e, type);
    QFETCH(module_action, act);
    QFETCH(QString, error);
    _open(type, type == module_type_uhf ? sim_session::uhf_direct() : sim_session::obc_two_relays(),
          config(0));
    const int before = link().commands_received();
    const auto e = capture<proto_exception>([&] { act(_s->base()); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::parameter_error);
    QCOMPARE(QString::fromUtf8(e->what()), error);
    QCOMPARE(_s->lines_before_marker(), before);
}

KQ_TEST_MAIN(tst_link_faults)
#include "tst_link_faults.moc"
