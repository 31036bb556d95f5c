#include "capture.h"
#include "random_bytes.h"
#include "satcmd/checksum.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "serline/media_exception.h"
#include "signal_recorder.h"
#include "sim_session.h"
#include "test_environment.h"

#include <QBuffer>
#include <QRandomGenerator>

#include <memory>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::obc_computer;
using kq::testing::capture;
using kq::testing::random_bytes;
using kq::testing::sim_session;

namespace {

QByteArray le32(uint32_t v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

} // namespace

// The on-board computer module through two relays against the simulator.
class tst_obc_module : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void transfers_are_byte_identical_data();
    void transfers_are_byte_identical();
    void progress_in_blocks_of_128();
    void cut_link_then_resume_data();
    void cut_link_then_resume();
    void survives_corrupted_answers();
    void listing();
    void size_delete_and_missing_files();
    void date_and_time();
    void mode_change_outlasting_the_pipe();
    void mode_switch_through_a_silent_restart_data();
    void mode_switch_through_a_silent_restart();
    void flash_steps_data();
    void flash_steps();
    void flash_refusals();
    void pacing_holds_the_link();
    void transfers_are_verified_data();
    void transfers_are_verified();
    void bin_header_is_checked_on_download();
    void flash_waits_for_the_restart_and_any_chunking_data();
    void flash_waits_for_the_restart_and_any_chunking();

private:
    kqttc_obc_module& obc() { return _s->module<kqttc_obc_module>(); }
    QByteArray stored(const QString& name)
    {
        return _s->sat().with_obc([&](obc_computer& o) { return o.files().value(name); });
    }
    std::unique_ptr<sim_session> _s;
};

void tst_obc_module::init()
{
    _s = std::make_unique<sim_session>(module_type_obc, sim_session::obc_two_relays());
    obc().connect();
}

void tst_obc_module::cleanup()
{
    _s.reset();
}

void tst_obc_module::transfers_are_byte_identical_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("name");
    for (const int size : {0, 1, 127, 128, 129, 300, 65536}) {
        QTest::addRow("%d bytes", size) << size << "DATA.DAT";
        QTest::addRow("%d bytes, .bin", size) << size << "fw.bin";
    }
}

void tst_obc_module::transfers_are_byte_identical()
{
    QFETCH(int, size);
    QFETCH(QString, name);
    QByteArray data = random_bytes(size, uint32_t(size) + 7);
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    obc().put(name, &source, 0);

    const bool bin = name.endsWith(".bin");
    const uint32_t crc = checksum::qcrc32(data);
    const QByteArray expected = bin ? le32(crc) + data : data;
    QCOMPARE(stored(name.toUpper()), expected);

    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    obc().get(name, &target, 0);
    QCOMPARE(back, data);

    unsigned int sum = 0, length = 0;
    obc().checksum(name, sum, length);
    QCOMPARE(length, uint(expected.size()));
    QCOMPARE(sum, checksum::qcrc32(expected));
    if (!bin)
        QCOMPARE(sum, crc);
    QCOMPARE(obc().get_file_size(name), uint32_t(expected.size()));
}

void tst_obc_module::progress_in_blocks_of_128()
{
    QByteArray data = random_bytes(300, 1);
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    QList<uint32_t> up, down;
    QObject receiver;
    connect(&obc(), &obc_module::on_put_file_progress, &receiver,
            [&](const QString& n, uint32_t pos, uint32_t len) {
                QCOMPARE(n, QString("P.TXT"));
                QCOMPARE(len, 300u);
                up << pos;
            });
    connect(&obc(), &obc_module::on_get_file_progress, &receiver,
            [&](const QString&, uint32_t pos, uint32_t len) {
                QCOMPARE(len, 300u);
                down << pos;
            });
    obc().put("P.TXT", &source, 0);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    obc().get("P.TXT", &target, 0);
    QCOMPARE(up, QList<uint32_t>({128, 256, 300}));
    QCOMPARE(down, QList<uint32_t>({128, 256, 300}));
}

void tst_obc_module::cut_link_then_resume_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain file") << "LOG.TXT";
    QTest::newRow("firmware image") << "APP.BIN";
}

void tst_obc_module::cut_link_then_resume()
{
    QFETCH(QString, name);
    const QByteArray data = random_bytes(5000, 99);
    const bool bin = name.endsWith(".BIN");

    // Upload, cut after a few blocks, resume at the local offset reached.
    QByteArray copy = data;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    uint32_t reached = 0;
    QObject receiver;
    auto cut_at = [&](uint32_t pos) {
        reached = pos;
        if (pos == 1280)
            _s->sat().link().drop_answers(1000000);
    };
    auto up = connect(&obc(), &obc_module::on_put_file_progress, &receiver,
                      [&](const QString&, uint32_t pos, uint32_t) { cut_at(pos); });
    const auto e = capture<media_exception>([&] { obc().put(name, &source, 0); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), media_exception::timeout);
    QCOMPARE(reached, 1280u);
    disconnect(up);
    _s->sat().link().drop_answers(0);
    obc().put(name, &source, reached);
    const QByteArray expected = bin ? le32(checksum::qcrc32(data)) + data : data;
    QCOMPARE(stored(name), expected);

    // Download, cut, resume at the size of the local part.
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    auto down = connect(&obc(), &obc_module::on_get_file_progress, &receiver,
                        [&](const QString&, uint32_t pos, uint32_t) {
                            if (pos >= 2000 && pos < 2000 + 128)
                                _s->sat().link().drop_answers(1000000);
                        });
    QVERIFY(capture<media_exception>([&] { obc().get(name, &target, 0); }));
    disconnect(down);
    _s->sat().link().drop_answers(0);
    const auto local = uint32_t(back.size());
    QVERIFY(local > 0 && local < uint32_t(data.size()));
    obc().get(name, &target, local);
    QCOMPARE(back, data);
    if (bin)
        QCOMPARE(stored(name).left(4), le32(checksum::qcrc32(back)));
}

void tst_obc_module::survives_corrupted_answers()
{
    module_config_t c = sim_session::quick_config();
    c.repeats_l = 8;
    c.repeats_m = 8;
    _s->configure(c);
    _s->sat().link().set_fault_rates(0.0, 0.05, 20261208);
    const QByteArray data = random_bytes(65536, 5);
    QByteArray copy = data;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    obc().put("BIG.DAT", &source, 0);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    obc().get("BIG.DAT", &target, 0);
    _s->sat().link().set_fault_rates(0.0, 0.0);
    QCOMPARE(stored("BIG.DAT"), data);
    QCOMPARE(back, data);
}

void tst_obc_module::listing()
{
    _s->sat().with_obc([](obc_computer& o) {
        o.files()["LOG1.TXT"] = QByteArray(3000, 'x');
        o.files()["A.BIN"] = QByteArray(12 * 1024, 'y');
        o.files()["S.TXT"] = QByteArray(12, 'z');
        return 0;
    });
    const QList<file_info_t> files = obc().dir("/");
    QCOMPARE(files.size(), 3);
    QCOMPARE(files.at(0).name, QString("A.BIN"));
    QCOMPARE(files.at(0).size, 12288u);
    QCOMPARE(files.at(0).size_text, QString("12 KB"));
    QCOMPARE(files.at(1).name, QString("LOG1.TXT"));
    QCOMPARE(files.at(1).size, 3072u); // listed rounded as "~3 KB"
    QCOMPARE(files.at(1).size_text, QString("3 KB"));
    QCOMPARE(files.at(2).size, 12u);
}

void tst_obc_module::size_delete_and_missing_files()
{
    _s->sat().with_obc([](obc_computer& o) {
        o.files()["X.TXT"] = "hello";
        return 0;
    });
    QCOMPARE(obc().get_file_size("x.txt"), 5u);
    obc().del("X.TXT");
    QVERIFY(!_s->sat().with_obc([](obc_computer& o) { return o.files().contains("X.TXT"); }));
    const auto e = capture<proto_exception>([&] { obc().get_file_size("X.TXT"); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::command_response_error);
    QCOMPARE(QString(e->what()), QString("ERR+NOFILE"));
}

void tst_obc_module::date_and_time()
{
    kq::testing::signal_recorder recorder(&obc(), obc_module::staticMetaObject);
    obc().set_date(QDate(2024, 3, 7));
    obc().set_time(QTime(13, 5, 9));
    QCOMPARE(obc().get_date(), QDate(2024, 3, 7));
    const QTime t = obc().get_time();
    QVERIFY(QTime(13, 5, 9).secsTo(t) >= 0 && QTime(13, 5, 9).secsTo(t) < 5);
    QCOMPARE(recorder.names(),
             QStringList({"on_get_date", "on_get_time", "on_get_date", "on_get_time"}));
}

void tst_obc_module::mode_change_outlasting_the_pipe()
{
    module_config_t c = sim_session::quick_config();
    c.timeout_pipe = 1000;
    _s->configure(c);
    obc().connect();
    _s->sat().with_obc([](obc_computer& o) {
        o.restart_ms = 1800;
        return 0;
    });
    kq::testing::signal_recorder recorder(&obc(), obc_module::staticMetaObject);
    QCOMPARE(obc().get_obc_mode(), obc_mode_appl);
    obc().set_obc_mode(obc_mode_boot);
    // While the computer restarts, the relays' pipes lapse.
    const auto piped = [this] {
        return _s->sat().with_local([](kq::satsim::uhf_transceiver& t) { return t.pipe_on(); }) ||
               _s->sat().with_remote([](kq::satsim::uhf_transceiver& t) { return t.pipe_on(); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(!piped(), 3 * c.timeout_pipe);
    const auto e = capture<proto_exception>([&] { obc().get_obc_mode(); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::pipe_error);
    obc().ensure_restore_pipe();
    QCOMPARE(obc().get_obc_mode(), obc_mode_boot);
    // The switch is reported once the computer is back in the new mode.
    const QStringList names = recorder.names();
    QCOMPARE(names.count("on_set_obc_mode"), 1);
    QCOMPARE(names.at(names.indexOf("on_set_obc_mode") - 1), QString("on_get_obc_mode"));
    QCOMPARE(names.last(), QString("on_get_obc_mode"));
}

void tst_obc_module::mode_switch_through_a_silent_restart_data()
{
    QTest::addColumn<int>("restart_ms");
    QTest::newRow("4 s") << 4000;
    QTest::newRow("10 s") << 10000;
}

// The computer restarts without a word: the switch is sent once, and its
// success is the mode the computer comes back in.
void tst_obc_module::mode_switch_through_a_silent_restart()
{
    QFETCH(int, restart_ms);
    _s->sat().with_obc([&](obc_computer& o) {
        o.restart_ms = restart_ms;
        o.silent_restart = true;
        return 0;
    });
    obc().set_obc_mode(obc_mode_boot);
    QCOMPARE(_s->sat().with_obc([](obc_computer& o) { return o.mode(); }), QString("BOOT"));
    QCOMPARE(obc().get_obc_mode(), obc_mode_boot);
    QCOMPARE(_s->sat().link().received().filter("KQ+W117F").size(), 1);
}

void tst_obc_module::flash_steps_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("mode_step");
    QTest::newRow("already in boot loader") << "BOOT"
                                            << "BOOTLOADER_MODE_OK";
    QTest::newRow("switched") << "APPL"
                              << "SET_BOOTLOADER_MODE";
}

void tst_obc_module::flash_steps()
{
    QFETCH(QString, mode);
    QFETCH(QString, mode_step);
    _s->sat().with_obc([&](obc_computer& o) {
        o.set_mode(mode);
        o.restart_ms = 100;
        o.files()["APP.BIN"] = QByteArray(64, 'f');
        return 0;
    });
    QStringList steps;
    QList<uint32_t> positions;
    QObject receiver;
    connect(&obc(), &kq_module::on_flash_progress, &receiver,
            [&](const QString& step, uint32_t pos, uint32_t) {
                if (steps.isEmpty() || steps.last() != step)
                    steps << step;
                positions << pos;
            });
    obc().flash("app.bin");
    QCOMPARE(steps.first(), QString("FLASH_BEGIN"));
    QCOMPARE(steps.at(1), mode_step);
    QCOMPARE(steps.at(2), QString("FLASH"));
    QVERIFY(steps.contains("Flashing (Begin)"));
    QVERIFY(steps.contains("Flashing (Writing FLASH)"));
    QCOMPARE(steps.mid(steps.size() - 3),
             QStringList({"Flashing completed successfully", "BOOT", "FLASH_END"}));
    QCOMPARE(positions.last(), 100u);
    QCOMPARE(_s->sat().with_obc([](obc_computer& o) { return o.flashed; }), QStringList{"APP.BIN"});
}

void tst_obc_module::flash_refusals()
{
    const int before = _s->sat().link().commands_received();
    QStringList steps;
    QObject receiver;
    connect(&obc(), &kq_module::on_flash_progress, &receiver,
            [&](const QString& step, uint32_t, uint32_t) { steps << step; });
    const auto refused = capture<proto_exception>([&] { obc().flash("DATA.TXT"); });
    QVERIFY(refused);
    QCOMPARE(refused->get_type(), proto_exception::parameter_error);
    QCOMPARE(_s->sat().link().commands_received(), before);
    QVERIFY(steps.isEmpty());

    _s->sat().with_obc([](obc_computer& o) {
        o.set_mode("BOOT");
        o.fail_flash = true;
        o.files()["APP.BIN"] = "x";
        return 0;
    });
    const auto failed = capture<proto_exception>([&] { obc().flash("APP.BIN"); });
    QVERIFY(failed);
    QCOMPARE(failed->get_type(), proto_exception::command_response_error);
    QVERIFY(QString(failed->what()).contains("ERR+"));
    QVERIFY(!steps.contains("FLASH_END"));
}

void tst_obc_module::pacing_holds_the_link()
{
    _s->sat().set_pacing(true, 9600);
    const int64_t before = _s->sat().paced_us();
    QElapsedTimer t;
    t.start();
    QCOMPARE(obc().get_obc_mode(), obc_mode_appl);
    const qint64 took_us = t.nsecsElapsed() / 1000;
    const int64_t paced = _s->sat().paced_us() - before;
    _s->sat().set_pacing(false);
    // Serial bytes at 9600 baud both ways plus the radio hop at the relay's
    // "2GFSK-9600-2400" (9600 bit/s): about 8 + 20 ms for this exchange.
    QVERIFY2(paced > 20000, qPrintable(QString::number(paced)));
    QVERIFY(took_us >= paced);
}

void tst_obc_module::transfers_are_verified_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QString>("fault");
    QTest::newRow("upload") << "DATA.TXT" << true << "VERIFY_MISMATCH: DATA.TXT";
    QTest::newRow("upload .BIN") << "APP.BIN" << true << "VERIFY_MISMATCH: APP.BIN";
    QTest::newRow("download") << "DATA.TXT" << false << "VERIFY_MISMATCH: DATA.TXT";
    // The image no longer fits its header, which is checked first.
    QTest::newRow("download .BIN") << "APP.BIN" << false << "BIN_HEADER_MISMATCH";
}

// Done means the computer's checksum of the file matches the local bytes:
// a good transfer reports that CRC, one byte stored or sent wrong (the
// block's own sum fitting it) fails naming both CRCs.
void tst_obc_module::transfers_are_verified()
{
    QFETCH(QString, name);
    QFETCH(bool, upload);
    QFETCH(QString, fault);
    QByteArray data = random_bytes(1000, 21);
    QBuffer local(&data);
    local.open(QIODevice::ReadWrite);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    const auto run = [&] {
        if (upload)
            obc().put(name, &local, 0);
        else
            obc().get(name, &target, 0);
    };
    QList<uint32_t> verified;
    QObject receiver;
    connect(&obc(), &obc_module::on_file_verified, &receiver,
            [&](const QString&, uint32_t crc, uint32_t) { verified << crc; });
    if (!upload)
        obc().put(name, &local, 0); // what the download fetches
    verified.clear();
    run();
    uint32_t crc = 0, size = 0;
    obc_module::expected_on_obc(name, &local, crc, size);
    QCOMPARE(verified, QList<uint32_t>{crc});

    _s->sat().with_obc([&](obc_computer& o) {
        (upload ? o.spoil_stored : o.spoil_sent) = 1;
        return 0;
    });
    back.clear();
    target.seek(0);
    const auto e = capture<proto_exception>(run);
    QVERIFY(e);
    QCOMPARE(e->get_exec_context(), QString("verify_file"));
    const QString message = QString::fromUtf8(e->what());
    QVERIFY2(message.startsWith(fault), qPrintable(message));
    if (fault.startsWith("VERIFY")) // both CRCs named, the right one among them
        QVERIFY2(message.contains(QString("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper()),
                 qPrintable(message));
}

// A ".BIN" file's header is the CRC-32 of its image: a download from the
// start checks it.
void tst_obc_module::bin_header_is_checked_on_download()
{
    const QByteArray image = random_bytes(500, 4);
    _s->sat().with_obc([&](obc_computer& o) {
        return o.files()["APP.BIN"] = le32(checksum::qcrc32(image) ^ 1) + image;
    });
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    const auto e = capture<proto_exception>([&] { obc().get("APP.BIN", &target, 0); });
    QVERIFY(e);
    QVERIFY2(QString(e->what()).startsWith("BIN_HEADER_MISMATCH"), e->what());
}

void tst_obc_module::flash_waits_for_the_restart_and_any_chunking_data()
{
    QTest::addColumn<int>("restart_ms");
    QTest::addColumn<bool>("stars_together");
    QTest::newRow("silent restart of 2.5 s") << 2500 << false;
    QTest::newRow("stars and the end in one piece") << 100 << true;
}

void tst_obc_module::flash_waits_for_the_restart_and_any_chunking()
{
    QFETCH(int, restart_ms);
    QFETCH(bool, stars_together);
    _s->sat().with_obc([&](obc_computer& o) {
        o.restart_ms = restart_ms;
        o.stars_together = stars_together;
        o.files()["APP.BIN"] = QByteArray(64, 'f');
        return 0;
    });
    QStringList steps;
    QObject receiver;
    connect(&obc(), &kq_module::on_flash_progress, &receiver,
            [&](const QString& step, uint32_t, uint32_t) { steps << step; });
    obc().flash("APP.BIN");
    QVERIFY(steps.contains("Flashing completed successfully"));
    QCOMPARE(steps.last(), QString("FLASH_END"));
    QCOMPARE(_s->sat().with_obc([](obc_computer& o) { return o.flashed; }), QStringList{"APP.BIN"});
}

KQ_TEST_MAIN(tst_obc_module)
#include "tst_obc_module.moc"
