#include "file_contents.h"
#include "sim_process.h"
#include "test_environment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using kq::testing::describe;
using kq::testing::program_run;
using kq::testing::read_file;
using kq::testing::run_program;
using kq::testing::sim_process;
using kq::testing::write_file;

namespace {

const QString satctl = QStringLiteral(SATCTL_PROGRAM);
const QString satsim = QStringLiteral(SATSIM_PROGRAM);

const QStringList& quick = kq::testing::quick_timing();

// What a path is without following it: its type bits, 0 when absent.
mode_t kind_of(const QString& path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

bool make_socket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || name.size() >= int(sizeof address.sun_path))
        return false;
    std::copy(name.begin(), name.end(), address.sun_path);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd); // the node stays
    return bound;
}

QString history_folder()
{
    return QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) +
           QStringLiteral("/Quorvane/kqconf/history/uhf-0x22");
}

QString settings_file()
{
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) +
           QStringLiteral("/Quorvane/kqconf.conf");
}

} // namespace

// Every file the driver writes is a regular file of the user's, or a new
// one: nothing is written through a device, a FIFO, a socket, a link or
// another name of a file, and what could be written is kept when a write
// fails.
class tst_output_targets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void unsafe_targets_are_refused_data();
    void unsafe_targets_are_refused();
    void a_size_limit_keeps_what_was_written_data();
    void a_size_limit_keeps_what_was_written();
    void the_csv_keeps_its_rows_when_the_run_ends_data();
    void the_csv_keeps_its_rows_when_the_run_ends();
    void history_keep_is_validated_data();
    void history_keep_is_validated();
    void history_lists_only_its_snapshots();
    void text_sequence_setting_is_validated_data();
    void text_sequence_setting_is_validated();

private:
    program_run ctl(const QStringList& args, const QString& port = QString())
    {
        return run_program(satctl, QStringList{"--port", port.isEmpty() ? _sim->link() : port} +
                                       quick + args);
    }
    void start_sim(const QStringList& args = {})
    {
        _sim = std::make_unique<sim_process>(satsim, args);
        QVERIFY2(_sim->ok(), qPrintable(_sim->error()));
    }
    QString path(const QString& name) const { return _work->filePath(name); }

    std::unique_ptr<sim_process> _sim;
    std::unique_ptr<QTemporaryDir> _work;
};

void tst_output_targets::init()
{
    _work = std::make_unique<QTemporaryDir>();
    QFile::remove(settings_file());
}

void tst_output_targets::cleanup()
{
    _sim.reset();
    _work.reset();
    QFile::remove(settings_file());
}

void tst_output_targets::unsafe_targets_are_refused_data()
{
    QTest::addColumn<QStringList>("args"); // "@" is the target
    QTest::addColumn<QString>("target");   // what is planted there
    QTest::addColumn<QString>("message");
    const QVector<QPair<const char*, QStringList>> commands{
        {"get-file", {"get-file", "README.TXT", "@"}},
        {"backup", {"backup", "@"}},
        {"monitor --csv", {"monitor", "rssi", "--count", "1", "--csv", "@"}},
        {"X-band get-file", {"xband", "get-file", "A.BIN", "@"}},
    };
    const QVector<QPair<const char*, const char*>> targets{
        {"device", "a device, not a regular file"},
        {"FIFO", "a FIFO, not a regular file"},
        {"socket", "a socket, not a regular file"},
        {"folder", "a folder, not a regular file"},
        {"link to a file outside", "a symbolic link, which is not followed"},
        {"hard link to a file outside", "(hard links)"},
        {"missing folder", "missing"},
    };
    for (const auto& c : commands) {
        for (const auto& t : targets)
            QTest::addRow("%s, %s", c.first, t.first)
                << c.second << QString(t.first) << QString(t.second);
    }
    QTest::newRow("get-file, planted .part link") << commands.first().second << "planted .part link"
                                                  << ".part: a symbolic link";
}

// Refused with exit 6 before the port is opened (there is none), naming
// what the target is; the node and the file outside are as they were.
void tst_output_targets::unsafe_targets_are_refused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, target);
    QFETCH(QString, message);
    QTemporaryDir outside_dir;
    const QString outside = outside_dir.filePath("precious.txt");
    QVERIFY(write_file(outside, "keep me\n"));
    QString at = path("out.dat");
    const QByteArray node = QFile::encodeName(at);
    if (target == QLatin1String("device")) {
        if (::mknod(node.constData(), S_IFCHR | 0600, makedev(1, 3)) != 0)
            QSKIP("making a device node needs root");
    } else if (target == QLatin1String("FIFO")) {
        QVERIFY(::mkfifo(node.constData(), 0600) == 0);
    } else if (target == QLatin1String("socket")) {
        QVERIFY(make_socket(at));
    } else if (target == QLatin1String("folder")) {
        // A download into a folder takes the remote name: plant a folder there.
        QVERIFY(QDir().mkpath(at + "/README.TXT") && QDir().mkpath(at + "/A.BIN"));
    } else if (target == QLatin1String("link to a file outside")) {
        QVERIFY(QFile::link(outside, at));
    } else if (target == QLatin1String("hard link to a file outside")) {
        QVERIFY(::link(QFile::encodeName(outside).constData(), node.constData()) == 0);
    } else if (target == QLatin1String("missing folder")) {
        at = path("none/out.dat");
    } else if (target == QLatin1String("planted .part link")) {
        QVERIFY(QFile::link(outside, at + ".part"));
    }
    const mode_t before = kind_of(at);
    for (QString& a : args)
        a = a == QLatin1String("@") ? at : a;
    const program_run r =
        run_program(satctl, QStringList{"--port", "/nonexistent/tty"} + quick + args, 10000);
    QVERIFY2(r.code == 6 && r.err.contains(message.toUtf8()), qPrintable(describe(r)));
    QCOMPARE(kind_of(at), before);
    QCOMPARE(read_file(outside), QByteArray("keep me\n"));
    QVERIFY(!QFileInfo::exists(at + ".part") || target == QLatin1String("planted .part link"));
}

void tst_output_targets::a_size_limit_keeps_what_was_written_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("written"); // the file that reaches the limit
    QTest::newRow("monitor --csv") << QStringList{"monitor", "rssi", "uptime", "--interval", "0.2",
                                                  "--count", "400",  "--csv",  "@"}
                                   << "@";
    QTest::newRow("get-file") << QStringList{"get-file", "BIG.DAT", "@"} << "@.part";
}

// A file-size limit (as a full disk) is exit 6 naming the file and the
// system's reason; the CSV keeps its whole rows, a download its partial
// file, and the old target stays as it was.
void tst_output_targets::a_size_limit_keeps_what_was_written()
{
    QFETCH(QStringList, args);
    QFETCH(QString, written);
    start_sim();
    constexpr int limit_blocks = 1; // of 512 or 1024 bytes: a dozen rows or more, under a file
    const QString big = path("big.dat");
    QVERIFY(write_file(big, QByteArray(8192, 'b')));
    QVERIFY(ctl({"put", big, "BIG.DAT"}).code == 0);
    const QString at = path("out.dat");
    written.replace('@', at);
    const bool download = written != at;
    if (download)
        QVERIFY(write_file(at, "the old copy\n"));
    for (QString& a : args)
        a = a == QLatin1String("@") ? at : a;
    QStringList command{satctl, "--port", _sim->link()};
    command += quick + args;
    for (QString& c : command)
        c = QLatin1Char('\'') + c + QLatin1Char('\'');
    const program_run r = run_program(
        "/bin/sh",
        {"-c", QStringLiteral("ulimit -f %1 && exec %2").arg(limit_blocks).arg(command.join(' '))});
    QVERIFY2(r.code == 6 && r.err.contains(("cannot write " + written).toUtf8()) &&
                 r.err.contains(strerror(EFBIG)),
             qPrintable(describe(r)));
    const QByteArray kept = read_file(written);
    QVERIFY(kept.size() > 0 && kept.size() <= limit_blocks * 1024);
    if (download) {
        QCOMPARE(read_file(at), QByteArray("the old copy\n"));
        return;
    }
    QVERIFY(kept.endsWith('\n')); // no half row
    const int samples = kept.count('\n') - 1;
    QVERIFY2(r.err.contains(QStringLiteral("the %1 samples before are kept").arg(samples).toUtf8()),
             qPrintable(describe(r)));
}

void tst_output_targets::the_csv_keeps_its_rows_when_the_run_ends_data()
{
    QTest::addColumn<bool>("kill_simulator");
    QTest::addColumn<int>("code");
    QTest::newRow("SIGTERM") << false << 0;              // ends the sampling as --seconds would
    QTest::newRow("the simulator killed") << true << -1; // a port or no-answer error
}

// Rows are in the file as they are printed, whatever ends the run.
void tst_output_targets::the_csv_keeps_its_rows_when_the_run_ends()
{
    QFETCH(bool, kill_simulator);
    QFETCH(int, code);
    start_sim();
    const QString csv = path("series.csv");
    QProcess p;
    p.start(satctl, QStringList{"--port", _sim->link()} + quick +
                        QStringList{"monitor", "rssi", "--interval", "0.2", "--csv", csv});
    QVERIFY(p.waitForStarted(5000));
    QByteArray out;
    QVERIFY2(QTest::qWaitFor(
                 [&] {
                     out += p.readAllStandardOutput();
                     return out.count('\n') >= 4;
                 },
                 20000),
             out.constData());
    QElapsedTimer clock;
    clock.start();
    if (kill_simulator)
        ::kill(pid_t(_sim->process().processId()), SIGKILL);
    else
        ::kill(pid_t(p.processId()), SIGTERM);
    // A stop ends the run at once; a lost port within the longest timeout's
    // attempts.
    QVERIFY(p.waitForFinished(kill_simulator ? 20000 : 3000));
    out += p.readAllStandardOutput();
    const QByteArray err = p.readAllStandardError();
    if (code >= 0)
        QCOMPARE(p.exitCode(), code);
    else if (p.exitCode() == 3) // the port broke: named
        QVERIFY2(err.contains(" on " + _sim->link().toUtf8()), err.constData());
    else
        QVERIFY2(p.exitCode() == 4, err.constData());
    const QList<QByteArray> printed = out.trimmed().split('\n');
    const QList<QByteArray> kept = read_file(csv).trimmed().split('\n');
    QVERIFY(kept.size() >= 4);
    QCOMPARE(kept, printed); // every row printed is in the file
}

void tst_output_targets::history_keep_is_validated_data()
{
    QTest::addColumn<QString>("keep");
    QTest::addColumn<int>("code");
    for (const char* bad : {"abc", "1.5", "1e9", "2147483648", "0", "-5", ""})
        QTest::addRow("'%s'", bad) << QString(bad) << 2;
    QTest::newRow("3") << "3" << 0;
}

// A kept number that is not one refuses the change before anything is
// written, naming the setting; a good one keeps that many.
void tst_output_targets::history_keep_is_validated()
{
    QFETCH(QString, keep);
    QFETCH(int, code);
    start_sim();
    QDir(history_folder()).removeRecursively();
    for (int i = 0; i < 4; ++i)
        QVERIFY(ctl({"set", QStringLiteral("text-beacon-period=%1").arg(100 + i)}).code == 0);
    QCOMPARE(QDir(history_folder()).entryList(QDir::Files).size(), 4);
    {
        QSettings settings(settings_file(), QSettings::IniFormat);
        settings.setValue("history/keep", keep);
    }
    const program_run r = ctl({"set", "text-beacon-period=200"});
    QVERIFY2(r.code == code, qPrintable(describe(r)));
    const program_run now = ctl({"get", "text-beacon-period"});
    if (code != 0) {
        QVERIFY2(r.err.contains("history/keep"), qPrintable(describe(r)));
        QVERIFY2(now.out.contains("103"), qPrintable(describe(now))); // nothing written
        QCOMPARE(QDir(history_folder()).entryList(QDir::Files).size(), 4);
        return;
    }
    QVERIFY2(now.out.contains("200"), qPrintable(describe(now)));
    QCOMPARE(QDir(history_folder()).entryList(QDir::Files).size(), keep.toInt());
}

// Files not named as snapshots are neither listed nor removed; a broken one
// is named and left out; the order is by the time inside.
void tst_output_targets::history_lists_only_its_snapshots()
{
    start_sim();
    QDir(history_folder()).removeRecursively();
    QVERIFY(ctl({"set", "text-beacon-period=101"}).code == 0);
    QVERIFY(ctl({"set", "text-beacon-period=102"}).code == 0);
    const QDir folder(history_folder());
    const QStringList ours = folder.entryList(QDir::Files, QDir::Name);
    QCOMPARE(ours.size(), 2);
    const QByteArray older = read_file(folder.filePath(ours.first()));
    QVERIFY(write_file(folder.filePath("zzz.json"), older));
    QVERIFY(write_file(folder.filePath("20991231T000000000Z-broken.json"), "{ not json"));
    // Named as the newest, but its time inside is older than both.
    QJsonObject oldest = QJsonDocument::fromJson(older).object();
    oldest.insert("time", "2000-01-01T00:00:00Z");
    QVERIFY(write_file(folder.filePath("20981231T000000000Z-before-set.json"),
                       QJsonDocument(oldest).toJson()));
    const program_run r = ctl({"--json", "history"});
    QVERIFY2(r.code == 0 && r.err.contains("20991231T000000000Z-broken.json"),
             qPrintable(describe(r)));
    const QJsonArray listed = QJsonDocument::fromJson(r.out).object().value("snapshots").toArray();
    QCOMPARE(listed.size(), 3);
    QVERIFY(listed.at(2).toObject().value("file").toString().endsWith(
        "20981231T000000000Z-before-set.json"));
    QVERIFY(QFile::exists(folder.filePath("zzz.json")));
}

void tst_output_targets::text_sequence_setting_is_validated_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");
    QTest::newRow("a count") << "41" << 0 << "sent #42";
    for (const char* bad : {"abc", "-1", "4294967295", "1.5"})
        QTest::addRow("'%s'", bad) << QString(bad) << 2 << "text/last_sequence";
}

// The stored sequence number counts on, or refuses the line before anything
// is sent, naming the setting.
void tst_output_targets::text_sequence_setting_is_validated()
{
    QFETCH(QString, stored);
    QFETCH(int, code);
    QFETCH(QString, said);
    start_sim();
    {
        QSettings settings(settings_file(), QSettings::IniFormat);
        settings.setValue("text/last_sequence", stored);
    }
    const program_run r = ctl({"text", "send", "hello", "--seconds", "1"});
    QVERIFY2(r.code == code && (r.out + r.err).contains(said.toUtf8()), qPrintable(describe(r)));
}

KQ_TEST_MAIN(tst_output_targets)
#include "tst_output_targets.moc"
