#include "file_contents.h"
#include "firmware_image.h"
#include "random_bytes.h"
#include "sim_process.h"
#include "test_environment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "satcmd/checksum.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using kq::testing::describe;
using kq::testing::program_run;
using kq::testing::read_file;
using kq::testing::run_program;
using kq::testing::sim_process;
using kq::testing::wait_for_output;
using kq::testing::write_file;

using kq::api::proto::checksum;
using kq::testing::random_bytes;

namespace {

const QString satctl = QStringLiteral(SATCTL_PROGRAM);
const QString satsim = QStringLiteral(SATSIM_PROGRAM);
const QString radcfg = QStringLiteral(RADCFG_PROGRAM);

const QStringList& quick = kq::testing::quick_timing();
// What the route's set-up and a transfer's first blocks take at most with
// that timing: ten commands at the longest timeout, each with a repeat.
constexpr int first_commands_ms = 10 * 1500 * 2;

QJsonValue json_of(const program_run& r)
{
    const QJsonDocument d = QJsonDocument::fromJson(r.out);
    if (d.isObject())
        return d.object();
    return d.array();
}

} // namespace

// The simulator and the driver as an engineer's script would run them.
class tst_satctl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void find_walks_up_to_the_transceiver();
    void get_reads_every_parameter();
    void set_writes_and_reads_back();
    void refused_values_send_nothing_data();
    void refused_values_send_nothing();
    void set_needs_its_snapshot();
    void reset_and_flash();
    void obc_file_round_trip();
    void obc_mode_clock_and_flash();
    void get_file_refuses_unsafe_names_data();
    void get_file_refuses_unsafe_names();
    void exit_codes_data();
    void exit_codes();
    void beacons_with_time_stamps();
    void fsps_and_xband();
    void misbehaving_simulator();
    void a_spoilt_answer_names_its_command();
    void answers_owed_at_exit_are_not_the_next_runs_data();
    void answers_owed_at_exit_are_not_the_next_runs();
    void transfer_under_faults();
    void interrupted_transfers_resume();
    void flash_checks_the_whole_file_first_data();
    void flash_checks_the_whole_file_first();
    void transfers_are_verified_data();
    void transfers_are_verified();
    void spoilt_transfers_fail();
    void resume_over_another_file_starts_over();
    void failed_download_keeps_the_local_file_data();
    void failed_download_keeps_the_local_file();
    void refused_obc_names_data();
    void refused_obc_names();
    void simulator_link_folder_data();
    void simulator_link_folder();
    void only_regular_files_are_read_data();
    void only_regular_files_are_read();
    void air_text_is_shown_escaped();
    void exit_codes_of_the_surroundings();
    void readme_matches_the_programs_data();
    void readme_matches_the_programs();
    void simulator_removes_its_link();
    void simulator_restarts_after_a_kill();
    void configuration_round_trip_data();
    void configuration_round_trip();
    void set_and_restore_catch_a_device_that_stores_otherwise();
    void a_stopped_change_says_how_far_it_got_data();
    void a_stopped_change_says_how_far_it_got();
    void configuration_true_under_answers_any_time_late();
    void xband_configuration_round_trip();
    void xband_files_modes_and_update();
    void free_text_both_ways();
    void free_text_between_beacons();
    void monitor_series_data();
    void monitor_series();

private:
    program_run ctl(const QStringList& args, const QString& port = QString(),
                    int timeout_ms = 120000)
    {
        return run_program(
            satctl, QStringList{"--port", port.isEmpty() ? _sim->link() : port} + quick + args,
            timeout_ms);
    }
    void start_sim(const QStringList& args = {})
    {
        _sim = std::make_unique<sim_process>(satsim, args);
        QVERIFY2(_sim->ok(), qPrintable(_sim->error()));
    }

    std::unique_ptr<sim_process> _sim;
    std::unique_ptr<QTemporaryDir> _work;
};

void tst_satctl::init()
{
    _work = std::make_unique<QTemporaryDir>();
    start_sim();
}

void tst_satctl::cleanup()
{
    _sim.reset();
    _work.reset();
}

// The search asks every address from 0 up, each quiet one for its probe's
// time: a transceiver at 0x06 is found after six of them (at the usual
// 0x22 it would take thirty-four).
void tst_satctl::find_walks_up_to_the_transceiver()
{
    start_sim({"--beacon-period", "0", "--local-addr", "0x06"}); // a beacon would answer a probe
    const program_run r = ctl({"--json", "find"});
    QVERIFY2(r.code == 0, qPrintable(describe(r)));
    QCOMPARE(json_of(r).toObject().value("address").toString(), QString("0x06"));
}

void tst_satctl::get_reads_every_parameter()
{
    const program_run r = ctl({"--json", "get"});
    QVERIFY2(r.code == 0, qPrintable(describe(r)));
    const QJsonObject v = json_of(r).toObject();
    QCOMPARE(v.value("version").toString(), QString("KQ-UHF 2.4.1"));
    QCOMPARE(v.value("address").toString(), QString("0x22"));
    QCOMPARE(v.value("uart-baud").toString(), QString("115200"));
    QCOMPARE(v.value("pipe-timeout").toInt(), 10);
    QCOMPARE(v.value("dst-call").toString(), QString("CQ"));
    QCOMPARE(v.value("src-call").toString(), QString("KQ0SAT"));
    QCOMPARE(v.value("morse").toString(), QString("-.- --.-"));
    QCOMPARE(v.value("text-beacon").toString(), QString("KQ SAT ONLINE"));
    QCOMPARE(v.value("fram").toString(), QString("OK"));
    QCOMPARE(v.value("boot").toString(), QString("Application"));
    QCOMPARE(v.value("rssi").toInt(), 0xC5);
    QVERIFY(!v.contains("errors"));

    // Text output: one "name: value" line per parameter.
    const program_run text = ctl({"get", "version", "pipe-timeout"});
    QCOMPARE(text.code, 0);
    QCOMPARE(text.out, QByteArray("version: KQ-UHF 2.4.1\npipe-timeout: 10\n"));

    // The RSSI alone is the addressed transceiver's, measured with its answer.
    const QStringList rssi{"--json", "get", "rssi"};
    QCOMPARE(json_of(ctl(rssi)).toObject().value("rssi").toInt(), 0xC5);
    QCOMPARE(json_of(ctl(QStringList{"--type", "xhf-xhf"} + rssi)).toObject().value("rssi").toInt(),
             0x9A);

    // Over the air the text beacon cannot be read back: reported per
    // parameter and in a note; the run read all it could and succeeds.
    const program_run remote =
        ctl({"--json", "--type", "xhf-xhf", "get", "version", "text-beacon"});
    QCOMPARE(remote.code, 0);
    QVERIFY2(remote.err.contains("not readable over the air: text-beacon"), remote.err.constData());
    const QJsonObject rv = json_of(remote).toObject();
    QCOMPARE(rv.value("version").toString(), QString("KQ-UHF 2.4.1"));
    QCOMPARE(rv.value("errors").toObject().value("text-beacon").toString(),
             QString("value for text beacon is not available from remote device"));
}

void tst_satctl::set_writes_and_reads_back()
{
    const program_run set = ctl({"--json", "set", "freq=437.05", "dst-call=QQ1AB", "beacon=on",
                                 "rf-mode=2GFSK-19200-9600", "text-beacon-period=300",
                                 "audio-beacon-period=30", "pipe-timeout=20"});
    QVERIFY2(set.code == 0, qPrintable(describe(set)));
    QCOMPARE(json_of(set).toObject().value("set").toObject().size(), 7);

    const program_run get = ctl({"--json", "get", "freq", "dst-call", "beacon", "rf-mode",
                                 "text-beacon-period", "audio-beacon-period", "pipe-timeout"});
    QVERIFY2(get.code == 0, qPrintable(describe(get)));
    const QJsonObject v = json_of(get).toObject();
    QVERIFY(qAbs(v.value("freq").toDouble() - 437.05) < 0.0001);
    QCOMPARE(v.value("dst-call").toString(), QString("QQ1AB"));
    QCOMPARE(v.value("beacon").toBool(), true);
    QCOMPARE(v.value("rf-mode").toString(), QString("2GFSK-19200-9600"));
    QCOMPARE(v.value("text-beacon-period").toInt(), 300);
    QCOMPARE(v.value("audio-beacon-period").toInt(), 30);
    QCOMPARE(v.value("pipe-timeout").toInt(), 20);
}

void tst_satctl::refused_values_send_nothing_data()
{
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QString>("message");
    QTest::newRow("7-character call sign") << "dst-call=ABCDEFG"
                                           << "dst-call=ABCDEFG";
    QTest::newRow("audio beacon period 10") << "audio-beacon-period=10"
                                            << "0, or from 30";
    QTest::newRow("morse with a letter") << "morse=-.x"
                                         << "morse=-.x";
    QTest::newRow("pipe timeout 4") << "pipe-timeout=4"
                                    << "from 5 to 60";
    QTest::newRow("frequency 500") << "freq=500"
                                   << "MHz from 400 to 440";
    QTest::newRow("read-only") << "version=1"
                               << "read only";
    QTest::newRow("unknown name") << "colour=red"
                                  << "no parameter";
    QTest::newRow("no value") << "dst-call"
                              << "NAME=VALUE";
    QTest::newRow("frequency not a number") << "freq=nan"
                                            << "MHz from 400 to 440";
    QTest::newRow("fraction of a period") << "text-beacon-period=1.5"
                                          << "from 1 to 65535";
    QTest::newRow("text beacon with CR") << "text-beacon=A\rKQ+W22F5EVIL"
                                         << "text-beacon=A";
}

void tst_satctl::refused_values_send_nothing()
{
    QFETCH(QString, assignment);
    QFETCH(QString, message);
    // A good value first: the bad one must stop the whole command.
    const program_run r = ctl({"--verbose", "set", "src-call=OK1", assignment});
    QCOMPARE(r.code, 2);
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    QVERIFY2(!r.err.contains(">>>"), "something was sent");
    const program_run get = ctl({"get", "src-call"});
    QCOMPARE(get.out, QByteArray("src-call: KQ0SAT\n"));
}

// Without its snapshot a change is not made, unless the user says so.
void tst_satctl::set_needs_its_snapshot()
{
    start_sim({"--drop", "1"});
    const QStringList quick{"--verbose", "--timeout-m", "100", "--repeats-m", "0"};
    const program_run refused = ctl(quick + QStringList{"set", "text-beacon-period=77"});
    QCOMPARE(refused.code, 4);
    QVERIFY2(refused.err.contains("no snapshot before set, so nothing was written: "),
             qPrintable(describe(refused)));
    QVERIFY2(!refused.err.contains(">>> KQ+W"), "written without a snapshot");
    const program_run forced =
        ctl(quick + QStringList{"--no-snapshot", "set", "text-beacon-period=77"});
    QVERIFY2(forced.err.contains("no snapshot before set: "), qPrintable(describe(forced)));
    // The write goes ahead, but only once the line is known clean: a probe
    // (a radio property read) first, and nothing answers here.
    QVERIFY2(!forced.err.contains("nothing was written"), qPrintable(describe(forced)));
    QVERIFY2(forced.err.contains(">>> KQ+R22FE"), qPrintable(describe(forced)));
    QVERIFY2(!forced.err.contains(">>> KQ+W"), "written on a line not known clean");
}

void tst_satctl::reset_and_flash()
{
    const program_run reset = ctl({"--json", "reset"});
    QVERIFY2(reset.code == 0, qPrintable(describe(reset)));
    QCOMPARE(json_of(reset).toObject().value("reset").toBool(), true);

    const auto image = kq::satsim::firmware_image::generate(2048);
    const QString path = _work->filePath("UHF.SCRM");
    QVERIFY(write_file(path, image.file));
    const program_run flash = ctl({"--json", "flash", path});
    QVERIFY2(flash.code == 0, qPrintable(describe(flash)));
    QCOMPARE(json_of(flash).toObject().value("bytes").toInt(), image.file.size());
    // Not a terminal: no progress bar on standard error.
    QVERIFY2(!flash.err.contains('%'), flash.err.constData());
    // The parameters as they were before the flash, kept in the history.
    const program_run history = ctl({"--json", "history"});
    QCOMPARE(json_of(history)
                 .toObject()
                 .value("snapshots")
                 .toArray()
                 .first()
                 .toObject()
                 .value("reason")
                 .toString(),
             QString("before flash"));

    const program_run missing = ctl({"flash", _work->filePath("NONE.SCRM")});
    QCOMPARE(missing.code, 6);
    QVERIFY(missing.err.startsWith("satctl: cannot read " + _work->filePath("NONE.SCRM").toUtf8()));
}

void tst_satctl::obc_file_round_trip()
{
    const QByteArray data = random_bytes(9000, 3);
    const QString local = _work->filePath("data.dat");
    QVERIFY(write_file(local, data));

    const program_run put = ctl({"--json", "put", local, "DATA.DAT"});
    QVERIFY2(put.code == 0, qPrintable(describe(put)));
    QCOMPARE(read_file(QDir(_sim->store()).filePath("DATA.DAT")), data);

    const program_run ls = ctl({"--json", "ls"});
    QVERIFY2(ls.code == 0, qPrintable(describe(ls)));
    QStringList names;
    for (const QJsonValue& e : json_of(ls).toArray())
        names << e.toObject().value("name").toString();
    QVERIFY2(names.contains("DATA.DAT") && names.contains("APP.BIN"), qPrintable(names.join(',')));

    // Into a directory: saved under the OBC's name.
    const program_run get = ctl({"get-file", "DATA.DAT", _work->path()});
    QVERIFY2(get.code == 0, qPrintable(describe(get)));
    QCOMPARE(read_file(_work->filePath("DATA.DAT")), data);

    QCOMPARE(ctl({"checksum", "DATA.DAT", local}).code, 0);
    QVERIFY(write_file(_work->filePath("other"), data.left(100)));
    QCOMPARE(ctl({"checksum", "DATA.DAT", _work->filePath("other")}).code, 7);

    const program_run rm = ctl({"rm", "DATA.DAT"});
    QVERIFY2(rm.code == 0, qPrintable(describe(rm)));
    QVERIFY(!QFile::exists(QDir(_sim->store()).filePath("DATA.DAT")));

    // 8.3 names only.
    const program_run long_name = ctl({"put", local, "LONGNAME1.TXT"});
    QCOMPARE(long_name.code, 2);
    QVERIFY(long_name.err.contains("8.3"));
    QCOMPARE(ctl({"put", local, "DATA.JSON"}).code, 2);
}

void tst_satctl::obc_mode_clock_and_flash()
{
    QCOMPARE(json_of(ctl({"--json", "mode"})).toObject().value("mode").toString(), QString("appl"));
    const program_run boot = ctl({"--json", "mode", "boot"});
    QVERIFY2(boot.code == 0, qPrintable(describe(boot)));
    QCOMPARE(json_of(ctl({"--json", "mode"})).toObject().value("mode").toString(), QString("boot"));

    const program_run time = ctl({"--json", "time", "12:34:56"});
    QVERIFY2(time.code == 0, qPrintable(describe(time)));
    const QString read = json_of(ctl({"--json", "time"})).toObject().value("time").toString();
    QVERIFY2(read.startsWith("12:3"), qPrintable(read));
    const program_run date = ctl({"--json", "date", "2027-01-15"});
    QVERIFY2(date.code == 0, qPrintable(describe(date)));
    QCOMPARE(json_of(ctl({"--json", "date"})).toObject().value("date").toString(),
             QString("2027-01-15"));
    QCOMPARE(ctl({"time", "25:00:00"}).code, 2);

    const program_run flash = ctl({"--json", "obc-flash", "APP.BIN"});
    QVERIFY2(flash.code == 0, qPrintable(describe(flash)));
    QCOMPARE(ctl({"obc-flash", "NOPE.BIN"}).code, 5);
}

void tst_satctl::get_file_refuses_unsafe_names_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "..";
    QTest::newRow("dot") << ".";
    QTest::newRow("climbing") << "../x";
    QTest::newRow("absolute") << "/etc/passwd";
    QTest::newRow("backslash") << "..\\x";
}

void tst_satctl::get_file_refuses_unsafe_names()
{
    QFETCH(QString, name);
    const QDir inner(_work->filePath("inner"));
    QVERIFY(QDir().mkpath(inner.path()));
    const program_run r = ctl({"--verbose", "get-file", name, inner.path()});
    QCOMPARE(r.code, 6);
    QVERIFY2(r.err.contains("refusing to save"), r.err.constData());
    QVERIFY(!r.err.contains(">>>"));
    QCOMPARE(inner.entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 0);
    QCOMPARE(QDir(_work->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"inner"});
}

void tst_satctl::exit_codes_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing port") << QStringList{"--port", "/nonexistent/tty", "get"} << 3
                                  << "No such file or directory";
    QTest::newRow("unknown command") << QStringList{"frobnicate"} << 2 << "unknown command";
    QTest::newRow("bad baud") << QStringList{"--baud", "4800", "get"} << 2 << "--baud";
    QTest::newRow("frequency in the gap") << QStringList{"--freq", "410", "get"} << 2 << "--freq";
    QTest::newRow("type of another command")
        << QStringList{"--type", "obc", "get"} << 2 << "does not work over this --type";
    QTest::newRow("refused by the device") << QStringList{"rm", "NOSUCH.TXT"} << 5 << "ERR";
    QTest::newRow("fraction of a timeout")
        << QStringList{"--timeout-m", "300.5", "get"} << 2 << "--timeout-m";
    QTest::newRow("negative repeats")
        << QStringList{"--repeats-m", "-1", "get"} << 2 << "--repeats-m";
    QTest::newRow("relay frequency not a number")
        << QStringList{"--freq", "nan", "get"} << 2 << "--freq";
    QTest::newRow("X-band power fraction")
        << QStringList{"xband", "set", "tx-power=1.5"} << 2 << "tx-power=1.5";
    QTest::newRow("address with a leading zero")
        << QStringList{"--local-addr", "022", "get"} << 2 << "without a leading zero";
    QTest::newRow("blank around a value")
        << QStringList{"set", "pipe-timeout= 20"} << 2 << "pipe-timeout= 20";
    QTest::newRow("no beacons at all") << QStringList{"beacons", "--count", "0"} << 2 << "--count";
    QTest::newRow("silent device")
        << QStringList{"--obc-addr", "0x44", "checksum", "APP.BIN"} << 4 << "";
    QTest::newRow("local file refused")
        << QStringList{"put", "/dev/zero", "Z.TXT"} << 6 << "cannot read /dev/zero";
    for (const char* destructive : {"rm F.BIN", "rm-all", "update " README_FILE, "shutdown"})
        QTest::newRow(qPrintable(QStringLiteral("xband %1 without --yes").arg(destructive)))
            << (QStringList{"xband"} + QString(destructive).split(' ')) << 2 << "add --yes";
    QTest::newRow("X-band name with a path")
        << QStringList{"xband", "get-file", "../x"} << 2 << "no path, a plain name";
    QTest::newRow("X-band file too large")
        << QStringList{"xband", "put", SATSIM_PROGRAM} << 6 << "at most 65535";
    QTest::newRow("X-band mode") << QStringList{"xband", "mode", "off"} << 2 << "tx or load";
    QTest::newRow("text too long")
        << QStringList{"text", "send", QString(117, 'x')} << 2 << "at most 116";
    QTest::newRow("text with a line end")
        << QStringList{"text", "send", "a\rb"} << 2 << "control character";
    QTest::newRow("monitor of nothing known")
        << QStringList{"monitor", "rssi", "bogus"} << 2 << "'bogus' is not a watched value";
    QTest::newRow("monitor of two devices")
        << QStringList{"monitor", "rssi", "board-temp"} << 2 << "one device at a time";
    QTest::newRow("monitor too fast")
        << QStringList{"--interval", "0.01", "monitor", "rssi"} << 2 << "--interval";
    QTest::newRow("computer at the relay's address")
        << QStringList{"--obc-addr", "0x22", "ls"} << 2 << "the address 0x22 of a transceiver";
    QTest::newRow("a listing pattern with a line end")
        << QStringList{"ls", "*\r.TXT"} << 2 << "only printable ASCII";
    QTest::newRow("a download name with a line end")
        << QStringList{"get-file", "A\nB.TXT"} << 2 << "only printable ASCII";
}

// Every cause gives its exit code and one line naming what failed; with
// --json, standard output is still one document, carrying the error.
void tst_satctl::exit_codes()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    const program_run r = ctl(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.startsWith("satctl: ") && r.err.contains(message.toUtf8()), r.err.constData());
    QCOMPARE(r.err.count('\n'), 1); // one line
    const program_run json = ctl(QStringList{"--json"} + args);
    QCOMPARE(json.code, code);
    const QJsonObject error = QJsonDocument::fromJson(json.out).object().value("error").toObject();
    QCOMPARE(error.value("code").toInt(), code);
    QVERIFY2(error.value("message").toString().contains(message), json.out.constData());
}

// Exit codes whose causes are around the program: a busy port, a full disk.
void tst_satctl::exit_codes_of_the_surroundings()
{
    QProcess holder; // listens on the port, as another program would
    holder.start(satctl, {"--port", _sim->link(), "--verbose", "beacons", "--seconds", "20"});
    QVERIFY(holder.waitForStarted(5000));
    // Its first command shows the port open.
    QVERIFY(wait_for_output(holder, QProcess::StandardError, ">>> ", first_commands_ms));
    const program_run busy = ctl({"get", "version"});
    QCOMPARE(busy.code, 3);
    QVERIFY2(busy.err.contains(_sim->link().toUtf8() + ": busy"), busy.err.constData());
    ::kill(pid_t(holder.processId()), SIGINT);
    QVERIFY(holder.waitForFinished(5000));

    // A size limit of 1 KiB stands in for a full disk.
    const QString target = _work->filePath("tlm.log");
    QProcess limited;
    limited.start("/bin/sh", {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", satctl, "--port",
                              _sim->link(), "get-file", "TLM0001.LOG", target});
    QVERIFY(limited.waitForFinished(60000));
    QCOMPARE(limited.exitCode(), 6);
    const QByteArray err = limited.readAllStandardError();
    QVERIFY2(err.contains("cannot write " + target.toUtf8() + ".part: File too large"),
             err.constData());
    QVERIFY(!QFile::exists(target));
}

void tst_satctl::readme_matches_the_programs_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("section"); // the README's section of the program
    QTest::newRow("satctl") << satctl << "## The command-line driver";
    QTest::newRow("satsim") << satsim << "## The simulated satellite";
    QTest::newRow("radcfg") << radcfg << "## The configurator";
}

// The README's option table lists exactly the options the program takes,
// and satctl's exit-code table exactly the codes its help names. Help and
// version need no display, not even the configurator's.
void tst_satctl::readme_matches_the_programs()
{
    QFETCH(QString, program);
    QFETCH(QString, section);
    const QString readme = QString::fromUtf8(read_file(QStringLiteral(README_FILE)));
    const int from = readme.indexOf(section);
    QVERIFY(from >= 0);
    const QString text = readme.mid(from, readme.indexOf(QStringLiteral("\n## "), from + 1) - from);
    const auto names = [](const QString& in, const QRegularExpression& line) {
        QStringList found;
        static const QRegularExpression option("--[a-z0-9-]+");
        for (auto m = line.globalMatch(in); m.hasNext();) {
            for (auto o = option.globalMatch(m.next().captured(1)); o.hasNext();)
                found << o.next().captured();
        }
        found.removeDuplicates();
        found.sort();
        return found;
    };
    QProcessEnvironment no_display = QProcessEnvironment::systemEnvironment();
    no_display.remove("DISPLAY");
    no_display.remove("WAYLAND_DISPLAY");
    no_display.remove("QT_QPA_PLATFORM");
    const program_run help = run_program(program, {"--help"}, 30000, no_display);
    QCOMPARE(help.code, 0);
    if (program != satsim) {
        const program_run version = run_program(program, {"--version"}, 30000, no_display);
        QVERIFY2(version.code == 0 && version.out.contains("1.0.8"), qPrintable(describe(version)));
    }
    const QString usage = QString::fromLocal8Bit(help.out);
    QCOMPARE(names(text, QRegularExpression("(?m)^\\| ([^|]*--[^|]*) \\|")),
             names(usage.left(usage.indexOf("\nCommands:")),
                   QRegularExpression("(?m)^ +((?:-[a-z], )?--[a-z0-9-]+)")));
    if (program != satctl)
        return;
    QStringList readme_codes;
    for (auto m = QRegularExpression("(?m)^\\| (\\d+) \\|").globalMatch(text); m.hasNext();)
        readme_codes << m.next().captured(1);
    QStringList help_codes;
    for (auto m = QRegularExpression("(\\d+) [a-z]")
                      .globalMatch(usage.mid(usage.indexOf("Exit codes:")));
         m.hasNext();)
        help_codes << m.next().captured(1);
    QCOMPARE(readme_codes, help_codes);
}

void tst_satctl::simulator_link_folder_data()
{
    QTest::addColumn<QString>("folder"); // under the work folder, as TMPDIR
    QTest::addColumn<int>("mode");       // made beforehand with this mode, -1: not made
    QTest::addColumn<int>("owner");      // given to this user, -1: kept
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString own = QStringLiteral("satsim-%1").arg(::getuid());
    QTest::newRow("made private") << own << -1 << -1 << QStringList{} << "";
    QTest::newRow("open to others")
        << own << 0777 << -1 << QStringList{} << "is not a private folder of this user";
    if (::getuid() == 0)
        QTest::newRow("another user's") << own << 0700 << 65534 << QStringList{}
                                        << "is not a private folder of this user (owner 65534";
    QTest::newRow("--link in a missing folder")
        << own << -1 << -1 << QStringList{"--link", "@/none/uhf"} << "does not exist";
    QTest::newRow("--link of a running simulator")
        << own << -1 << -1 << QStringList{"--link", "RUNNING"} << "of a running simulator";
}

// The default link lives in a private folder; --link creates no folder and
// never takes a running simulator's link.
void tst_satctl::simulator_link_folder()
{
    QFETCH(QString, folder);
    QFETCH(int, mode);
    QFETCH(int, owner);
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const QString path = _work->filePath(folder);
    if (mode >= 0) {
        QVERIFY(QDir().mkpath(path));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    }
    if (owner >= 0)
        QVERIFY(::chown(QFile::encodeName(path).constData(), uid_t(owner), gid_t(-1)) == 0);
    for (QString& a : args)
        a = a == "RUNNING" ? _sim->link() : a.replace("@", _work->path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", _work->path());
    QProcess sim;
    sim.setProcessEnvironment(env);
    sim.start(satsim, args);
    QVERIFY(sim.waitForStarted(5000));
    if (!message.isEmpty()) {
        QVERIFY(sim.waitForFinished(10000));
        const QByteArray err = sim.readAllStandardError();
        QVERIFY2(sim.exitCode() == 1 && err.contains(message.toUtf8()), err.constData());
        QVERIFY(!QDir(_work->filePath("none")).exists());
        return;
    }
    QByteArray out;
    QTRY_VERIFY2_WITH_TIMEOUT((out += sim.readAllStandardOutput()).contains("ready"),
                              qPrintable(out + sim.readAllStandardError()), 15000);
    struct stat st = {};
    QVERIFY(::lstat(QFile::encodeName(path).constData(), &st) == 0);
    QCOMPARE(int(st.st_mode & 0777), 0700);
    QVERIFY(QFileInfo(QDir(path).filePath("uhf")).isSymLink());
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitCode(), 0);
}

void tst_satctl::only_regular_files_are_read_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("put a FIFO without a writer")
        << satctl << QStringList{"put", "@fifo", "X.TXT"} << 6 << "a FIFO, not a regular file";
    QTest::newRow("put a device") << satctl << QStringList{"put", "/dev/zero", "X.TXT"} << 6
                                  << "a device, not a regular file";
    QTest::newRow("put a file of /proc")
        << satctl << QStringList{"put", "/proc/self/status", "X.TXT"} << 6 << "/proc";
    QTest::newRow("flash a FIFO") << satctl << QStringList{"flash", "@fifo"} << 6 << "a FIFO";
    QTest::newRow("compare with a FIFO")
        << satctl << QStringList{"checksum", "README.TXT", "@fifo"} << 6 << "a FIFO";
    // A configuration file is read before the port is opened.
    QTest::newRow("diff with a FIFO") << satctl << QStringList{"diff", "@fifo"} << 6 << "a FIFO";
    QTest::newRow("restore a FIFO") << satctl << QStringList{"restore", "@fifo"} << 6 << "a FIFO";
    QTest::newRow("restore a device")
        << satctl << QStringList{"restore", "/dev/zero"} << 6 << "a device";
    QTest::newRow("a store in /proc")
        << satsim << QStringList{"--store", "/proc", "--link", "@link"} << 2
        << "a folder of the kernel's";
}

// Nothing blocks on a file that is not one: refused at once, before the port.
void tst_satctl::only_regular_files_are_read()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString fifo = _work->filePath("fifo");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    for (QString& a : args)
        a = a.startsWith('@') ? _work->filePath(a.mid(1)) : a;
    const QStringList before =
        program == satctl ? QStringList{"--port", "/nonexistent/tty"} : QStringList{};
    QElapsedTimer clock;
    clock.start();
    const program_run r = run_program(program, before + args, 10000);
    QVERIFY2(r.code == code && r.err.contains(message.toUtf8()), qPrintable(describe(r)));
    QVERIFY(clock.elapsed() < 5000);
}

// What comes over the radio cannot steer the terminal: shown escaped, and
// exact in JSON.
void tst_satctl::air_text_is_shown_escaped()
{
    const QString forged = QStringLiteral("HI\x1b]0;owned\x07\x1b[2J\r\nFORGED");
    start_sim({"--beacon-period", "1", "--beacon-text", forged});
    const program_run text = ctl({"beacons", "--count", "1"}, QString(), 30000);
    QVERIFY2(text.code == 0, qPrintable(describe(text)));
    QCOMPARE(text.out.count('\n'), 1);
    QVERIFY2(!text.out.contains('\x1b') && !text.out.contains('\a') && !text.out.contains('\r'),
             text.out.constData());
    QVERIFY2(text.out.contains("HI\\x1b]0;owned\\x07\\x1b[2J\\x0d\\x0aFORGED\n"),
             text.out.constData());
    const program_run json = ctl({"--json", "beacons", "--count", "1"}, QString(), 30000);
    QVERIFY(QJsonDocument::fromJson(json.out).object().value("beacon").toString().endsWith(forged));
}

void tst_satctl::beacons_with_time_stamps()
{
    start_sim({"--beacon-period", "1", "--beacon-text", "HELLO EARTH"});
    const program_run text = ctl({"beacons", "--count", "2"}, QString(), 30000);
    QVERIFY2(text.code == 0, qPrintable(describe(text)));
    const QStringList lines = QString::fromLocal8Bit(text.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QRegularExpression stamp("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  AX25 CQ "
                                   "+\\[E0\\]KQ0SAT.*HELLO EARTH$");
    for (const QString& line : lines)
        QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));

    const program_run json = ctl({"--json", "beacons", "--count", "1"}, QString(), 30000);
    QVERIFY2(json.code == 0, qPrintable(describe(json)));
    const QJsonObject b = QJsonDocument::fromJson(json.out).object();
    QVERIFY(b.value("beacon").toString().endsWith("HELLO EARTH"));
    QVERIFY(QDateTime::fromString(b.value("time").toString(), Qt::ISODateWithMs).isValid());

    // --seconds ends a quiet listen without an error.
    start_sim({"--beacon-period", "0"});
    const program_run quiet = ctl({"beacons", "--seconds", "1"}, QString(), 30000);
    QCOMPARE(quiet.code, 0);
    QVERIFY(quiet.out.isEmpty());
}

void tst_satctl::fsps_and_xband()
{
    QCOMPARE(ctl({"fsps-rf", "437000000"}, _sim->fsps_port()).code, 0);
    QCOMPARE(ctl({"fsps-att", "7"}, _sim->fsps_port()).code, 0);
    const program_run read = ctl({"--json", "fsps", "get"}, _sim->fsps_port());
    QVERIFY2(read.code == 0, qPrintable(describe(read)));
    QCOMPARE(json_of(read).toObject(), (QJsonObject{{"fsps_rf", 9}, {"fsps_att", 7}}));
    for (const char* bad : {"012", "1e9", "12a"}) {
        const program_run refused = ctl({"fsps-rf", bad}, _sim->fsps_port());
        QVERIFY2(refused.code == 2 && refused.err.contains("a whole number"), bad);
    }

    const program_run set =
        ctl({"--json", "xband", "set", "tx-power=12", "modcod=5"}, _sim->xband_port());
    QVERIFY2(set.code == 0, qPrintable(describe(set)));
    const QJsonObject v = json_of(set).toObject();
    QCOMPARE(v.value("tx-power").toInt(), 12);
    QCOMPARE(v.value("modcod").toInt(), 5);
    const program_run report = ctl({"--json", "xband", "report", "--full"}, _sim->xband_port());
    QVERIFY2(report.code == 0, qPrintable(describe(report)));
    const QJsonObject full = json_of(report).toObject();
    QCOMPARE(full.size(), 20);
    QCOMPARE(full.value("tx-power").toInt(), 12);
    QCOMPARE(full.value("supply").toDouble(), double(5.02f));
    const program_run simple = ctl({"xband", "report"}, _sim->xband_port());
    QVERIFY2(simple.out.contains("Transmit power: 12 dBm\n") &&
                 simple.out.contains("State: 0 (idle)"),
             simple.out.constData());
    QVERIFY(!simple.out.contains("Board temperature"));
    QCOMPARE(ctl({"xband", "ls"}, _sim->xband_port()).code, 0);
    QCOMPARE(ctl({"xband", "set", "tx-power=300"}, _sim->xband_port()).code, 2);

    // A device that does not speak the text protocol stays silent.
    const program_run silent = ctl({"--repeats-m", "0", "get"}, _sim->xband_port());
    QCOMPARE(silent.code, 4);
}

// The simulator echoing every line, chattering, answering late now and then
// and with a byte above 0x7F in its version: what the driver prints is the
// device's true value, or it fails with an error.
void tst_satctl::misbehaving_simulator()
{
    start_sim({"--echo", "--chatter", "40", "--high-bytes", "--late", "0.1", "--late-ms", "400-600",
               "--seed", "5", "--beacon-period", "0"});
    int good = 0;
    for (int i = 0; i < 4; ++i) {
        const program_run r = ctl({"--json", "get", "version", "freq", "dst-call", "pipe-timeout"});
        if (r.code != 0) {
            QVERIFY2(r.code == 4 || r.code == 5, qPrintable(describe(r)));
            continue;
        }
        const QJsonObject v = json_of(r).toObject();
        QCOMPARE(v.value("version").toString(), QString::fromLatin1("KQ-UHF 2.4.1 \xb5"
                                                                    "C"));
        QCOMPARE(v.value("freq").toDouble(), 435.0);
        QCOMPARE(v.value("dst-call").toString(), QString("CQ"));
        QCOMPARE(v.value("pipe-timeout").toInt(), 10);
        ++good;
    }
    QVERIFY(good > 0);
}

// Every answer spoilt: the failure names the command and what helps.
void tst_satctl::a_spoilt_answer_names_its_command()
{
    start_sim({"--corrupt", "1", "--beacon-period", "0"});
    const program_run r = ctl({"--no-snapshot", "set", "pipe-timeout=20"});
    QVERIFY2(r.code == 1 && r.err.contains("CRC error, context=res_set_pipe_timeout") &&
                 r.err.contains("the line is noisy"),
             qPrintable(describe(r)));
}

void tst_satctl::answers_owed_at_exit_are_not_the_next_runs_data()
{
    QTest::addColumn<QStringList>("late");
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("next_timeout");
    QTest::newRow("1.5x late, overtaken")
        << QStringList{"--late-ms", "1500", "--late-overtaken"} << "1000"
        << "2500";
    QTest::newRow("5x late") << QStringList{"--late-ms", "2500"} << "500"
                             << "3500";
}

// A run that gave up on an answer makes the line clean before it closes the
// port: the next run does not take it for its own (the pipe timeout's
// answer has the shape of the text beacon period's).
void tst_satctl::answers_owed_at_exit_are_not_the_next_runs()
{
    QFETCH(QStringList, late);
    QFETCH(QString, timeout);
    QFETCH(QString, next_timeout);
    start_sim(QStringList{"--late", "1"} + late);
    const program_run first =
        ctl({"--timeout-m", timeout, "--repeats-m", "0", "get", "pipe-timeout"});
    QCOMPARE(first.code, 4);
    const program_run next =
        ctl({"--json", "--timeout-m", next_timeout, "get", "text-beacon-period"});
    QVERIFY2(next.code == 0, qPrintable(describe(next)));
    QCOMPARE(json_of(next).toObject().value("text-beacon-period").toInt(), 60);
}

void tst_satctl::transfer_under_faults()
{
    start_sim({"--drop", "0.05", "--corrupt", "0.05", "--seed", "11"});
    const QByteArray data = random_bytes(16 * 1024, 5);
    const QString local = _work->filePath("faults.dat");
    QVERIFY(write_file(local, data));
    // Each lost answer costs the attempt the link is given and the wait for
    // its late answer: short class timeouts on the fastest RF mode leave the
    // attempts what that link needs, and no more.
    const QStringList budget{"--rf-mode",    "2GFSK-19200-19200",
                             "--timeout-s",  "100",
                             "--timeout-m",  "100",
                             "--timeout-l",  "150",
                             "--timeout-xl", "300",
                             "--repeats-s",  "12",
                             "--repeats-m",  "12",
                             "--repeats-l",  "12",
                             "--repeats-xl", "12",
                             "--persistent"};
    const program_run put = ctl(budget + QStringList{"put", local, "FAULTS.DAT"});
    QVERIFY2(put.code == 0, qPrintable(describe(put)));
    const program_run get =
        ctl(budget + QStringList{"get-file", "FAULTS.DAT", _work->filePath("back.dat")});
    QVERIFY2(get.code == 0, qPrintable(describe(get)));
    QCOMPARE(read_file(_work->filePath("back.dat")), data);
    QCOMPARE(read_file(QDir(_sim->store()).filePath("FAULTS.DAT")), data);
}

void tst_satctl::interrupted_transfers_resume()
{
    start_sim({"--pacing"}); // at the radio's pace on the fastest RF mode
    const QStringList fast{"--rf-mode", "2GFSK-19200-19200"};
    const QByteArray data = random_bytes(10 * 1024, 9);
    const QString local = _work->filePath("big.dat");
    QVERIFY(write_file(local, data));

    // Interrupt a transfer once a block has gone both ways: the second block
    // command is on its way.
    const auto interrupted = [&](const QStringList& args, const QByteArray& block) {
        QProcess p;
        p.start(satctl, QStringList{"--port", _sim->link(), "--verbose"} + quick + fast + args);
        if (!p.waitForStarted(5000))
            return -1;
        QByteArray seen;
        const bool begun = QTest::qWaitFor(
            [&] {
                seen += p.readAllStandardError();
                return seen.count(">>> KQ+D11" + block) >= 2;
            },
            first_commands_ms);
        if (!begun)
            return -4;
        ::kill(pid_t(p.processId()), SIGINT);
        QElapsedTimer clock;
        clock.start();
        if (!p.waitForFinished(8000))
            return -2;
        if (clock.elapsed() > 4000)
            return -3; // not prompt: the transfer ends at once, the late answers are read away
        return p.exitCode();
    };
    QCOMPARE(interrupted({"put", local, "BIG.DAT"}, "FW"), 130);
    qint64 partial = -1;
    const program_run ls = ctl(fast + QStringList{"--json", "ls"});
    QVERIFY2(ls.code == 0, qPrintable(describe(ls)));
    for (const QJsonValue& e : json_of(ls).toArray()) {
        if (e.toObject().value("name").toString() == QLatin1String("BIG.DAT"))
            partial = e.toObject().value("size").toInt();
    }
    QVERIFY2(partial > 0 && partial < data.size(), qPrintable(QString::number(partial)));
    const program_run put = ctl(fast + QStringList{"--json", "--resume", "put", local, "BIG.DAT"});
    QVERIFY2(put.code == 0, qPrintable(describe(put)));
    QVERIFY(json_of(put).toObject().value("resumed_at").toInt() > 0);
    QCOMPARE(read_file(QDir(_sim->store()).filePath("BIG.DAT")), data);

    // A cut download leaves only its partial file, which a resume completes.
    const QString back = _work->filePath("back.dat");
    QCOMPARE(interrupted({"get-file", "BIG.DAT", back}, "FR"), 130);
    QVERIFY(!QFile::exists(back));
    const qint64 got = QFileInfo(back + ".part").size();
    QVERIFY2(got > 0 && got < data.size(), qPrintable(QString::number(got)));
    const program_run get =
        ctl(fast + QStringList{"--json", "--resume", "get-file", "BIG.DAT", back});
    QVERIFY2(get.code == 0, qPrintable(describe(get)));
    QCOMPARE(json_of(get).toObject().value("resumed_at").toInt(), int(got));
    QCOMPARE(read_file(back), data);
    QVERIFY(!QFile::exists(back + ".part"));
}

void tst_satctl::flash_checks_the_whole_file_first_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message"); // on standard error
    const auto image = kq::satsim::firmware_image::generate(256);
    const QByteArray cut = image.file.left(image.file.lastIndexOf('\n', image.file.size() - 2) + 1);
    QTest::newRow("cut before the end record")
        << cut << QStringList{} << 6
        << QStringLiteral("line %1: FLASH_FILE_NO_END: the last record is not an end record")
               .arg(cut.count('\n'));
    QTest::newRow("cut, flashed as it is") << cut << QStringList{"--allow-no-end"} << 0 << "";
    const QList<QByteArray> lines = image.file.trimmed().split('\n');
    QTest::newRow("header and end only")
        << lines.first() + '\n' + lines.last() + '\n'
        << QStringList{} << 6 << "FLASH_FILE_NO_DATA: 2 lines and no data record";
    for (const char* option : {"--verbose", "--allow-no-end"})
        QTest::addRow("empty, %s", option)
            << QByteArray() << QStringList{option} << 6 << "FLASH_FILE_NO_DATA";
    QTest::newRow("S2/S8 with S5")
        << image.s2_file() << QStringList{} << 6 << "line 2: FLASH_FILE_INVALID_TYPE";
    QTest::newRow("S2/S8 with S5, converted")
        << image.s2_file() << QStringList{"--convert"} << 0 << "rewrote 16 S2 records as S3";
    QTest::newRow("count mismatch, converted") << image.s2_file(15) << QStringList{"--convert"} << 6
                                               << "line 18: FLASH_FILE_COUNT_MISMATCH";
}

// A refused file never opens the port (a port that does not exist would
// give exit 3); an accepted one is flashed and says what was converted.
void tst_satctl::flash_checks_the_whole_file_first()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString path = _work->filePath("UHF.SCRM");
    QVERIFY(write_file(path, file));
    const program_run r =
        ctl(options + QStringList{"flash", path}, code == 0 ? QString() : "/nonexistent/tty");
    QVERIFY2(r.code == code && r.err.contains(message.toUtf8()), qPrintable(describe(r)));
    if (code != 0)
        QVERIFY2(r.err.contains(path.toUtf8() + ": "), r.err.constData());
}

void tst_satctl::transfers_are_verified_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "DATA.DAT";
    QTest::newRow(".BIN behind its header") << "IMG.BIN";
}

// Both directions end with the computer's checksum, printed; a good ".BIN"
// compares "same" although the computer keeps a header in front.
void tst_satctl::transfers_are_verified()
{
    QFETCH(QString, name);
    const QByteArray data = random_bytes(3000, 12);
    const QString local = _work->filePath("img.bin");
    QVERIFY(write_file(local, data));
    const program_run put = ctl({"--json", "put", local, name});
    QVERIFY2(put.code == 0, qPrintable(describe(put)));
    const QByteArray stored = read_file(QDir(_sim->store()).filePath(name));
    const QString crc =
        QStringLiteral("%1").arg(checksum::qcrc32(stored), 8, 16, QLatin1Char('0')).toUpper();
    QCOMPARE(json_of(put).toObject().value("crc32").toString(), crc);
    const program_run same = ctl({"checksum", name, local});
    QVERIFY2(same.code == 0 && same.out.contains("same"), qPrintable(describe(same)));
    const program_run get = ctl({"get-file", name, _work->filePath("back")});
    QVERIFY2(get.code == 0 && get.out.contains("verified, crc32 " + crc.toLatin1()),
             qPrintable(describe(get)));
    QCOMPARE(read_file(_work->filePath("back")), data);
}

// A wrong byte stored by the computer, or sent by it: both CRCs are named,
// exit 7, and the local target is not written.
void tst_satctl::spoilt_transfers_fail()
{
    start_sim({"--spoil-blocks", "1"});
    const QString local = _work->filePath("d.dat");
    QVERIFY(write_file(local, random_bytes(500, 13)));
    const program_run put = ctl({"put", local, "D.DAT"});
    QCOMPARE(put.code, 7);
    QVERIFY2(QRegularExpression("VERIFY_MISMATCH: D.DAT .*CRC-32 [0-9A-F]{8}.*[0-9A-F]{8}")
                 .match(QString::fromLocal8Bit(put.err))
                 .hasMatch(),
             put.err.constData());
    const QString back = _work->filePath("readme");
    const program_run get = ctl({"get-file", "README.TXT", back});
    QCOMPARE(get.code, 7);
    QVERIFY2(get.err.contains("VERIFY_MISMATCH"), get.err.constData());
    QVERIFY(!QFile::exists(back));
    QVERIFY(QFile::exists(back + ".part")); // kept, unverified, for a look
}

// What is there under the same name is not the beginning of the source:
// the transfer starts over, says so, and ends byte-identical.
void tst_satctl::resume_over_another_file_starts_over()
{
    const QByteArray v1 = random_bytes(2000, 14);
    const QByteArray v2 = random_bytes(3000, 15);
    QVERIFY(write_file(_work->filePath("v1.txt"), v1));
    QVERIFY(write_file(_work->filePath("v2.txt"), v2));
    QCOMPARE(ctl({"put", _work->filePath("v1.txt"), "CONF.TXT"}).code, 0);
    const program_run put =
        ctl({"--json", "--resume", "put", _work->filePath("v2.txt"), "CONF.TXT"});
    QVERIFY2(put.code == 0 && json_of(put).toObject().value("started_over").toBool(),
             qPrintable(describe(put)));
    QVERIFY2(put.err.contains("starting over"), put.err.constData());
    QCOMPARE(read_file(QDir(_sim->store()).filePath("CONF.TXT")), v2);

    // A stale partial download of another file, shorter and longer.
    for (const QByteArray& stale : {v1, random_bytes(5000, 16)}) {
        const QString back = _work->filePath("conf.txt");
        QVERIFY(write_file(back + ".part", stale));
        const program_run get = ctl({"--resume", "get-file", "CONF.TXT", back});
        QVERIFY2(get.code == 0 && get.out.contains("started over"), qPrintable(describe(get)));
        QVERIFY2(get.err.contains("starting over"), get.err.constData());
        QCOMPARE(read_file(back), v2);
    }
}

void tst_satctl::failed_download_keeps_the_local_file_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("no port") << QStringList{"--port", "/nonexistent/tty"} << 3;
    QTest::newRow("missing remote file") << QStringList{} << 5;
    QTest::newRow("silent device") << QStringList{"--obc-addr", "0x44"} << 4;
}

// Nothing arrived: the user's file is as it was and nothing is added.
void tst_satctl::failed_download_keeps_the_local_file()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    const QString keep = _work->filePath("keep.txt");
    const QByteArray before = random_bytes(700, 17);
    QVERIFY(write_file(keep, before));
    const QString remote = QTest::currentDataTag() == QByteArray("missing remote file")
                               ? QStringLiteral("NOSUCH.TXT")
                               : QStringLiteral("README.TXT");
    const program_run r = ctl(args + QStringList{"get-file", remote, keep});
    QCOMPARE(r.code, code);
    QCOMPARE(read_file(keep), before);
    QCOMPARE(QDir(_work->path()).entryList(QDir::Files), QStringList{"keep.txt"});
}

void tst_satctl::refused_obc_names_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent folder") << "../X.TXT";
    QTest::newRow("absolute") << "/X.TXT";
    QTest::newRow("wildcard") << "A*.TXT";
    QTest::newRow("blank") << "A B.TXT";
    QTest::newRow("CR inside") << "A\rB.TXT";
}

// Refused before the port is opened (a port that does not exist would
// give exit 3), for every command that names an OBC file.
void tst_satctl::refused_obc_names()
{
    QFETCH(QString, name);
    const QString local = _work->filePath("d.bin");
    QVERIFY(write_file(local, "data"));
    const QString port = QStringLiteral("/nonexistent/tty");
    for (const QStringList& args :
         {QStringList{"put", local, name}, QStringList{"rm", name},
          QStringList{"checksum", name, local}, QStringList{"obc-flash", name}}) {
        const program_run r = ctl(args, port);
        QVERIFY2(r.code == 2 && r.err.contains("cannot name a file on the OBC"),
                 qPrintable(args.first() + ": " + describe(r)));
    }
}

void tst_satctl::simulator_removes_its_link()
{
    const QString link = _sim->link();
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo(_sim->fsps_port()).isSymLink());
    QVERIFY(_sim->interrupt());
    QCOMPARE(_sim->process().exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(!QFileInfo(_sim->xband_port()).isSymLink());

    const program_run bad = run_program(satsim, {"--drop", "1.5"});
    QCOMPARE(bad.code, 2);
    QVERIFY(bad.err.contains("--drop '1.5'"));
}

// A killed simulator leaves its links; the next one replaces them and
// answers through them, whether its own terminals took the old numbers or
// another program did.
void tst_satctl::simulator_restarts_after_a_kill()
{
    const QString link = _work->filePath("sat");
    std::vector<int> taken;
    for (int run = 0; run < 3; ++run) {
        QProcess sim;
        sim.start(satsim, {"--link", link});
        QVERIFY(sim.waitForStarted(5000));
        QByteArray out;
        QVERIFY2(QTest::qWaitFor(
                     [&] { return (out += sim.readAllStandardOutput()).contains("ready"); }, 15000),
                 qPrintable(out + sim.readAllStandardError()));
        QVERIFY(QFileInfo(link).isSymLink());
        const program_run r = ctl({"get", "uptime"}, link);
        QVERIFY2(r.code == 0, qPrintable(describe(r)));
        ::kill(pid_t(sim.processId()), SIGKILL);
        QVERIFY(sim.waitForFinished(5000));
        QVERIFY(QFileInfo(link).isSymLink()); // left behind
        // Another program takes the freed terminal numbers first.
        taken.push_back(::posix_openpt(O_RDWR | O_NOCTTY));
        QVERIFY(taken.back() >= 0 && ::grantpt(taken.back()) == 0 && ::unlockpt(taken.back()) == 0);
    }
    for (const int fd : taken)
        ::close(fd);
}

void tst_satctl::configuration_round_trip_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("address"); // of the transceiver configured
    QTest::newRow("direct") << "xhf"
                            << "22";
    QTest::newRow("through the relay") << "xhf-xhf"
                                       << "23";
}

// Backup, a change on the device, the difference found, a dry run that
// sends nothing, a restore that writes exactly the differences and reads
// them back, and the snapshots taken before each change.
void tst_satctl::configuration_round_trip()
{
    QFETCH(QString, type);
    QFETCH(QString, address);
    const QString file = QDir(_work->path()).filePath("unit.json");
    const QStringList over{"--type", type};
    const program_run backup = ctl(over + QStringList{"backup", file});
    QVERIFY2(backup.code == 0, qPrintable(describe(backup)));
    QVERIFY(ctl(over + QStringList{"set", "freq=437.05", "beacon=on", "dst-call=QQ1AB"}).code == 0);

    const program_run diff = ctl(over + QStringList{"--json", "diff", file});
    QCOMPARE(diff.code, 7);
    QStringList names;
    for (const QJsonValue d : json_of(diff).toObject().value("differences").toArray())
        names << d.toObject().value("name").toString();
    QCOMPARE(names, (QStringList{"beacon", "freq", "dst-call"}));

    // The writes to the configured transceiver, as the wire saw them.
    const auto writes = [&address](const program_run& r) {
        QStringList codes;
        for (const QByteArray& line : r.err.split('\n')) {
            const int at = line.indexOf(">>> KQ+W" + address.toLatin1());
            if (at >= 0)
                codes << QString::fromLatin1(line.mid(at + 10, 2));
        }
        return codes;
    };
    const program_run dry = ctl(over + QStringList{"--verbose", "restore", "--dry-run", file});
    QVERIFY2(dry.code == 0, qPrintable(describe(dry)));
    QVERIFY2(dry.out.contains("would write"), dry.out.constData());
    QCOMPARE(writes(dry), QStringList());

    const program_run restore = ctl(over + QStringList{"--verbose", "restore", file});
    QVERIFY2(restore.code == 0, qPrintable(describe(restore)));
    // The frequency, the call sign, then the status word once for the beacon.
    QCOMPARE(writes(restore), (QStringList{"01", "F5", "00"}));
    QVERIFY(restore.out.contains("written and read back: 3 values"));

    const program_run same = ctl(over + QStringList{"diff", file});
    QCOMPARE(same.code, 0);
    QVERIFY(same.out.endsWith("same\n"));

    const program_run history = ctl(over + QStringList{"--json", "history"});
    QCOMPARE(history.code, 0);
    QStringList reasons;
    for (const QJsonValue s : json_of(history).toObject().value("snapshots").toArray())
        reasons << s.toObject().value("reason").toString();
    // Newest first; earlier runs of this test program may have left older ones.
    QCOMPARE(reasons.mid(0, 2), (QStringList{"before restore", "before set"}));
    // The state before the set, restored from its snapshot.
    QVERIFY(ctl(over + QStringList{"set", "morse=..."}).code == 0);
    QVERIFY(ctl(over + QStringList{"history", "--restore", "1"}).code == 0);
    QCOMPARE(ctl(over + QStringList{"get", "morse"}).out, QByteArray("morse: -.- --.-\n"));
}

// A device that answers OK and keeps another value is caught by the
// read-back, and the run fails.
void tst_satctl::set_and_restore_catch_a_device_that_stores_otherwise()
{
    start_sim({"--misstore"});
    const QString file = QDir(_work->path()).filePath("unit.json");
    QVERIFY(ctl({"backup", file}).code == 0);
    const program_run set = ctl({"set", "text-beacon-period=300"});
    QCOMPARE(set.code, 7);
    QVERIFY2(set.out.contains("text-beacon-period: wrote 300, the device holds 301"),
             qPrintable(describe(set)));
    const program_run r = ctl({"restore", file});
    QCOMPARE(r.code, 7);
    QVERIFY2(r.out.contains("text-beacon-period: wrote 60, the device holds 61"),
             qPrintable(describe(r)));
    const program_run xband = ctl({"xband", "set", "tx-power=12"}, _sim->xband_port());
    QCOMPARE(xband.code, 7);
    QVERIFY2(xband.out.contains("tx-power: wrote 12, the device holds 13"),
             qPrintable(describe(xband)));
}

void tst_satctl::a_stopped_change_says_how_far_it_got_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("simulator"); // slow enough to stop in the middle
    QTest::addColumn<QString>("said");          // a pattern
    QTest::newRow("restore") << "restore" << QStringList{"--late", "1", "--late-ms", "150-150"}
                             << "restore ended after [0-4] of 4 values written[^;]*; \"history "
                                "--restore 1\" puts back";
    QTest::newRow("flash") << "flash" << QStringList{"--pacing"}
                           << "flash ended after [0-9]+ of [0-9]+ records; the transceiver may be "
                              "left without working firmware";
}

// Stopped once its writes are on the line, a restore or a flash says how
// far the device got, and what to do.
void tst_satctl::a_stopped_change_says_how_far_it_got()
{
    QFETCH(QString, command);
    QFETCH(QStringList, simulator);
    QFETCH(QString, said);
    start_sim(simulator);
    QString file = _work->filePath("unit.json");
    if (command == QLatin1String("restore")) {
        QVERIFY(ctl({"set", "text-beacon-period=100", "audio-beacon-period=40", "pipe-timeout=15",
                     "dst-call=ABC"})
                    .code == 0);
        QVERIFY(ctl({"backup", file}).code == 0);
        QVERIFY(ctl({"set", "text-beacon-period=200", "audio-beacon-period=50", "pipe-timeout=25",
                     "dst-call=XYZ"})
                    .code == 0);
    } else {
        file = _work->filePath("UHF.SCRM");
        QVERIFY(write_file(file, kq::satsim::firmware_image::generate(256).file));
    }
    QProcess p;
    p.start(satctl,
            QStringList{"--port", _sim->link(), "--verbose"} + quick + QStringList{command, file});
    QVERIFY(p.waitForStarted(5000));
    QByteArray err;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     err += p.readAllStandardError();
                     // a write of the restore; the flash's second record
                     return err.contains(command == QLatin1String("flash") ? ">>> KQ+D22S1"
                                                                           : ">>> KQ+W22");
                 },
                 first_commands_ms),
             err.constData());
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(5000));
    err += p.readAllStandardError();
    QCOMPARE(p.exitCode(), 130);
    QVERIFY2(QRegularExpression(said).match(QString::fromLocal8Bit(err)).hasMatch(),
             err.right(600).constData());
}

// A fifth of the answers three to ten timeouts late: a backup that exits 0
// holds the device's values, a diff against them finds none that differ,
// and a restore of a changed value writes it and reads it back.
void tst_satctl::configuration_true_under_answers_any_time_late()
{
    const QString clean = _work->filePath("clean.json");
    start_sim({"--beacon-period", "0"});
    QVERIFY(ctl({"backup", clean}).code == 0);
    const auto parameters = [](const QString& path) {
        return QJsonDocument::fromJson(read_file(path)).object().value("parameters").toObject();
    };
    // The answers 900 to 3000 ms late, at the 300 ms attempts of these runs.
    start_sim({"--late", "0.2", "--late-ms", "900-3000", "--seed", "7", "--beacon-period", "0"});
    const QString late = _work->filePath("late.json");
    const program_run backup = ctl({"backup", late});
    if (backup.code == 0)
        QCOMPARE(parameters(late), parameters(clean));
    else
        QVERIFY2(backup.code == 4, qPrintable(describe(backup)));
    const program_run diff = ctl({"diff", clean});
    QVERIFY2(diff.code == 0 || diff.code == 4, qPrintable(describe(diff)));

    QJsonObject changed = QJsonDocument::fromJson(read_file(clean)).object();
    QJsonObject values = changed.value("parameters").toObject();
    values.insert("text-beacon-period", 10);
    changed.insert("parameters", values);
    const QString wanted = _work->filePath("wanted.json");
    QVERIFY(write_file(wanted, QJsonDocument(changed).toJson()));
    const program_run restore = ctl({"--no-snapshot", "restore", wanted});
    QVERIFY2(restore.code == 0 || restore.code == 4, qPrintable(describe(restore)));
    // Read with attempts that outlast the lateness: what the device holds.
    const program_run held = ctl({"--json", "--timeout-s", "4000", "--timeout-m", "4000",
                                  "--timeout-l", "4000", "get", "text-beacon-period"});
    QVERIFY2(held.code == 0, qPrintable(describe(held)));
    if (restore.code == 0)
        QCOMPARE(json_of(held).toObject().value("text-beacon-period").toInt(), 10);
}

// The X-band transmitter's configuration the same way, over its own port;
// its frequency is a float on the device and compares as one.
void tst_satctl::xband_configuration_round_trip()
{
    const QString port = _sim->xband_port();
    const QString file = QDir(_work->path()).filePath("xband.json");
    const program_run backup = ctl({"xband", "backup", file}, port);
    QVERIFY2(backup.code == 0, qPrintable(describe(backup)));
    QVERIFY(ctl({"xband", "set", "tx-power=12", "freq=8100.3"}, port).code == 0);
    const program_run diff = ctl({"--json", "xband", "diff", file}, port);
    QCOMPARE(diff.code, 7);
    QStringList names;
    for (const QJsonValue d : json_of(diff).toObject().value("differences").toArray())
        names << d.toObject().value("name").toString();
    QCOMPARE(names, (QStringList{"tx-power", "freq"}));
    const program_run restore = ctl({"xband", "restore", file}, port);
    QVERIFY2(restore.code == 0 && restore.out.contains("written and read back: 2 values"),
             qPrintable(describe(restore)));
    QCOMPARE(ctl({"xband", "diff", file}, port).code, 0);
    // A file for the transceiver is not one for the transmitter.
    const QString uhf = QDir(_work->path()).filePath("uhf.json");
    QVERIFY(ctl({"backup", uhf}).code == 0);
    const program_run foreign = ctl({"xband", "restore", uhf}, port);
    QCOMPARE(foreign.code, 6);
    QVERIFY2(foreign.err.contains("\"module\": the file is for \"uhf\", not \"xband\""),
             foreign.err.constData());
}

// Files of the X-band transmitter through the driver: a file goes up read
// back and verified, comes down byte-identical also when replies come late
// and answers get lost, is sent and deleted; the firmware update and the
// shutdown run to their end.
void tst_satctl::xband_files_modes_and_update()
{
    // Replies held past the port's 2 s wait: lost answers, then stale ones.
    start_sim({"--xband-late", "0.05", "--late-ms", "2500-2600", "--seed", "3"});
    const QString port = _sim->xband_port();
    const QByteArray data = random_bytes(6000, 9);
    const QString local = _work->filePath("image.bin");
    QVERIFY(write_file(local, data));
    const program_run put = ctl({"xband", "put", local, "IMG"}, port);
    QVERIFY2(put.code == 0 && put.out.contains("verified"), qPrintable(describe(put)));
    const program_run ls = ctl({"--json", "xband", "ls"}, port);
    QCOMPARE(json_of(ls).toArray(), (QJsonArray{QJsonObject{{"name", "IMG"}, {"size", 6000}}}));
    const QString back = _work->filePath("back.bin");
    const program_run get = ctl({"xband", "get-file", "IMG", back}, port);
    QVERIFY2(get.code == 0, qPrintable(describe(get)));
    QCOMPARE(read_file(back), data);
    const program_run none = ctl({"xband", "get-file", "NONE", back}, port);
    QVERIFY2(none.code == 5 &&
                 none.err.contains("xband get-file NONE: the transmitter refused to read it") &&
                 none.err.contains("xband ls"),
             qPrintable(describe(none)));
    QCOMPARE(read_file(back), data); // a refused download leaves the file alone

    start_sim();
    QCOMPARE(ctl({"xband", "put", local, "IMG"}, _sim->xband_port()).code, 0);
    const program_run send = ctl({"--json", "xband", "send", "IMG"}, _sim->xband_port());
    QVERIFY2(send.code == 0, qPrintable(describe(send)));
    QCOMPARE(json_of(send).toObject().value("mode").toString(), QString("idle"));
    QCOMPARE(ctl({"xband", "mode", "tx"}, _sim->xband_port()).out,
             QByteArray("mode: transmitting\n"));
    const program_run update =
        ctl({"--json", "xband", "update", local, "--yes"}, _sim->xband_port());
    QVERIFY2(update.code == 0, qPrintable(describe(update)));
    QVERIFY(json_of(update).toObject().value("uptime").toInt() < 3);
    QCOMPARE(ctl({"xband", "rm", "IMG", "--yes"}, _sim->xband_port()).code, 0);
    QCOMPARE(ctl({"xband", "rm-all", "--yes"}, _sim->xband_port()).code, 0);
    QCOMPARE(json_of(ctl({"--json", "xband", "ls"}, _sim->xband_port())).toArray().size(), 0);
    QCOMPARE(ctl({"xband", "shutdown", "--yes"}, _sim->xband_port()).code, 0);
    QCOMPARE(ctl({"xband", "mode"}, _sim->xband_port()).out, QByteArray("mode: off\n"));
}

// A line sent reaches the far station, whose answer is heard; lines the far
// station sends on its own are heard by a listener.
void tst_satctl::free_text_both_ways()
{
    start_sim({"--text-reply", "--text-period", "1", "--beacon-period", "0"});
    const program_run send =
        ctl({"--json", "text", "send", "hello there", "--seconds", "3", "--count", "1"});
    QVERIFY2(send.code == 0, qPrintable(describe(send)));
    const QList<QByteArray> lines = send.out.trimmed().split('\n');
    QCOMPARE(QJsonDocument::fromJson(lines.first()).object().value("sent").toString(),
             QString("hello there"));
    bool answered = false;
    for (const QByteArray& line : lines)
        answered |= QJsonDocument::fromJson(line).object().value("text") == "ROGER hello there";
    QVERIFY2(answered, send.out.constData());
    const program_run listen = ctl({"text", "listen", "--count", "2", "--seconds", "20"});
    QVERIFY2(listen.code == 0, qPrintable(describe(listen)));
    QCOMPARE(listen.out.count("KQ SAT TEXT"), 2);
}

// Beacons and the far station's lines each every second: no line is lost
// to a beacon heard just before it.
void tst_satctl::free_text_between_beacons()
{
    start_sim({"--text-period", "1", "--beacon-period", "1"});
    const program_run listen = ctl({"--json", "text", "listen", "--count", "6", "--seconds", "30"});
    QVERIFY2(listen.code == 0, qPrintable(describe(listen)));
    QList<qint64> sequences;
    for (const QByteArray& line : listen.out.trimmed().split('\n'))
        sequences << qint64(QJsonDocument::fromJson(line).object().value("sequence").toDouble());
    QCOMPARE(sequences.size(), 6);
    for (int i = 1; i < sequences.size(); ++i)
        QCOMPARE(sequences.at(i), sequences.at(i - 1) + 1); // none missed
}

void tst_satctl::monitor_series_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("xband");
    QTest::newRow("transceiver") << QStringList{"rssi", "rx-packets", "uptime"} << false;
    QTest::newRow("RSSI alone") << QStringList{"rssi"} << false;
    QTest::newRow("X-band") << QStringList{"board-temp", "pa-temp", "supply", "state"} << true;
}

// The CSV has the time first, a column per value, a row per sample, and
// every value there.
void tst_satctl::monitor_series()
{
    QFETCH(QStringList, names);
    QFETCH(bool, xband);
    const QString csv = _work->filePath("series.csv");
    const program_run r = ctl(QStringList{"monitor"} + names +
                                  QStringList{"--interval", "0.3", "--count", "3", "--csv", csv},
                              xband ? _sim->xband_port() : QString());
    QVERIFY2(r.code == 0, qPrintable(describe(r)));
    const QStringList rows = QString::fromUtf8(read_file(csv)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.first(), (QStringList{"time"} + names).join(','));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(QString::fromLocal8Bit(r.out).trimmed(), rows.join('\n')); // the same rows printed
    QDateTime last;
    for (const QString& row : rows.mid(1)) {
        const QStringList cells = row.split(',');
        QCOMPARE(cells.size(), names.size() + 1);
        const QDateTime time = QDateTime::fromString(cells.first(), Qt::ISODateWithMs);
        QVERIFY(time.isValid() && time.timeSpec() == Qt::UTC && time > last);
        last = time;
        for (const QString& cell : cells.mid(1)) {
            bool ok = false;
            cell.toDouble(&ok);
            QVERIFY2(ok, qPrintable(row));
        }
    }
    if (names.first() == QLatin1String("rssi"))
        QCOMPARE(rows.at(1).split(',').at(1), QString("197"));   // the answer's, not the start's
    if (const int supply = names.indexOf("supply"); supply >= 0) // a float at its own precision
        QCOMPARE(rows.at(1).split(',').at(supply + 1), QString("5.02"));
}

KQ_TEST_MAIN(tst_satctl)
#include "tst_satctl.moc"
