#include "file_contents.h"
#include "obc_computer.h"
#include "test_environment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

using kq::satsim::obc_computer;

// The simulated computer's store and listing, driven with payloads directly.
class tst_obc_computer : public QObject
{
    Q_OBJECT

private slots:
    void store_backed_by_a_directory();
    void refuses_bad_blocks();
    void store_is_a_jail_data();
    void store_is_a_jail();
    void store_writes_only_its_own_files_data();
    void store_writes_only_its_own_files();
    void size_texts_data();
    void size_texts();
};

namespace {

QString write_payload(uint32_t pos, const QByteArray& data, char sum)
{
    const QByteArray body = data + sum;
    return QString::asprintf("KQ+D11FW%08X%04X\r", pos, int(data.size())) +
           QString::fromLatin1(body.constData(), body.size());
}

} // namespace

namespace {

// Every path below root, with each file's size: what a client changed.
QStringList tree(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        entries << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
    }
    entries.sort();
    return entries;
}

} // namespace

void tst_obc_computer::store_is_a_jail_data()
{
    QTest::addColumn<QStringList>("payloads");
    QTest::addColumn<QString>("answer"); // to the last payload
    const QString data = write_payload(0, "ab", char('a' + 'b'));
    QTest::newRow("open a parent's file") << QStringList{"KQ+D11FO../X.TXT"} << "ERR+NAME";
    QTest::newRow("open an absolute path") << QStringList{"KQ+D11FO/X.TXT"} << "ERR+NAME";
    QTest::newRow("append through a backslash") << QStringList{"KQ+D11FE..\\X.TXT"} << "ERR+NAME";
    QTest::newRow("delete a parent's file") << QStringList{"KQ+D11FD../OUT.TXT"} << "ERR+NAME";
    QTest::newRow("checksum of the parent") << QStringList{"KQ+D11FS.."} << "ERR+NAME";
    QTest::newRow("flash a file outside") << QStringList{"KQ+D11FB../OUT.BIN"} << "ERR+NAME";
    QTest::newRow("control character") << QStringList{"KQ+D11FOA\x01B.TXT"} << "ERR+NAME";
    QTest::newRow("block beyond the size limit")
        << QStringList{"KQ+D11FEOUT.TXT", write_payload(0x7FFFFFF0, "ab", char('a' + 'b'))}
        << "ERR+RANGE";
    QTest::newRow("block at the last position")
        << QStringList{"KQ+D11FEOUT.TXT", write_payload(0xFFFFFFFF, "ab", char('a' + 'b'))}
        << "ERR+RANGE";
    QString negative = data;
    negative.replace(8, 8, QStringLiteral("-0000001"));
    QTest::newRow("negative position") << QStringList{"KQ+D11FEOUT.TXT", negative} << "ERR";
    QString signed_length = data;
    signed_length.replace(16, 4, QStringLiteral("+002"));
    QTest::newRow("signed length") << QStringList{"KQ+D11FEOUT.TXT", signed_length} << "ERR";
    QTest::newRow("read beyond the end")
        << QStringList{"KQ+D11FIOUT.TXT", "KQ+D11FR7FFFFFF00080"} << "ERR+RANGE";
}

// Whatever a client sends, the store answers with the computer's errors and
// nothing outside its folder changes (nor in it, for a refused write).
void tst_obc_computer::store_is_a_jail()
{
    QFETCH(QStringList, payloads);
    QFETCH(QString, answer);
    QTemporaryDir root;
    const QString store = root.filePath("store");
    QVERIFY(QDir().mkpath(store));
    QVERIFY(kq::testing::write_file(root.filePath("OUT.TXT"), "outside"));
    QVERIFY(kq::testing::write_file(QDir(store).filePath("OUT.TXT"), "inside"));
    QVERIFY(kq::testing::write_file(root.filePath("OUT.BIN"), "outside"));
    const QStringList before = tree(root.path());
    obc_computer obc(0x11, store);
    QStringList answers;
    for (const QString& payload : payloads)
        answers = obc.handle(payload);
    obc.handle("KQ+D11FC");
    QCOMPARE(answers, QStringList{answer});
    QCOMPARE(tree(root.path()), before);
}

void tst_obc_computer::store_writes_only_its_own_files_data()
{
    QTest::addColumn<QString>("planted"); // as X.TXT in the store
    QTest::newRow("FIFO") << "FIFO";
    QTest::newRow("hard link to a file outside") << "hard link";
    QTest::newRow("link to a file outside") << "link";
    QTest::newRow("folder") << "folder";
}

// An upload over something that is not the store's own file is an error at
// its close: nothing blocks, nothing outside changes, and the planted node
// stays as it was.
void tst_obc_computer::store_writes_only_its_own_files()
{
    QFETCH(QString, planted);
    QTemporaryDir root;
    const QString store = root.filePath("store");
    const QString outside = root.filePath("OUT.TXT");
    QVERIFY(QDir().mkpath(store));
    QVERIFY(kq::testing::write_file(outside, "outside"));
    const QString node = QDir(store).filePath("X.TXT");
    if (planted == QLatin1String("FIFO"))
        QVERIFY(::mkfifo(QFile::encodeName(node).constData(), 0600) == 0);
    else if (planted == QLatin1String("hard link"))
        QVERIFY(::link(QFile::encodeName(outside).constData(),
                       QFile::encodeName(node).constData()) == 0);
    else if (planted == QLatin1String("link"))
        QVERIFY(QFile::link(outside, node));
    else
        QVERIFY(QDir().mkpath(node));
    const QStringList before = tree(root.path());
    obc_computer obc(0x11, store);
    QVERIFY(!obc.files().contains("X.TXT"));
    QCOMPARE(obc.handle("KQ+D11FOX.TXT"), QStringList{"OK"});
    QCOMPARE(obc.handle(write_payload(0, "ab", char('a' + 'b'))), QStringList{"OK"});
    QCOMPARE(obc.handle("KQ+D11FC"), QStringList{"ERR+STORE"});
    QCOMPARE(tree(root.path()), before);
}

void tst_obc_computer::store_backed_by_a_directory()
{
    QTemporaryDir dir;
    QVERIFY(kq::testing::write_file(QDir(dir.path()).filePath("OLD.TXT"), "kept"));
    obc_computer obc(0x11, dir.path());
    QCOMPARE(obc.files().value("OLD.TXT"), QByteArray("kept"));
    QCOMPARE(obc.handle("KQ+D11FONEW.TXT"), QStringList{"OK"});
    const QByteArray zeros("a\0c", 3);
    QCOMPARE(obc.handle(write_payload(0, zeros, char('a' + 'c'))), QStringList{"OK"});
    QCOMPARE(obc.handle("KQ+D11FC"), QStringList{"OK"});
    QCOMPARE(kq::testing::read_file(QDir(dir.path()).filePath("NEW.TXT")), zeros);
    QCOMPARE(obc.handle("KQ+D11FDOLD.TXT"), QStringList{"OK"});
    QVERIFY(!QFile::exists(QDir(dir.path()).filePath("OLD.TXT")));
    QCOMPARE(obc.handle("KQ+D11FDOLD.TXT"), QStringList{"ERR+NOFILE"});
}

void tst_obc_computer::refuses_bad_blocks()
{
    obc_computer obc;
    obc.files()["F.TXT"] = "0123456789";
    QCOMPARE(obc.handle("KQ+D11FR000000000004"), QStringList{"ERR"}); // nothing open
    QCOMPARE(obc.handle("KQ+D11FIF.TXT"), QStringList{"OK+0000000A"});
    QCOMPARE(obc.handle("KQ+D11FR000000080004"), QStringList{"ERR+RANGE"});
    const QStringList block = obc.handle("KQ+D11FR000000080002");
    QCOMPARE(block.size(), 1);
    QVERIFY(obc_computer::is_binary_answer(block.first()));
    QCOMPARE(block.first().mid(1).toLatin1(), QByteArray("89") + char('8' + '9'));
    QCOMPARE(obc.handle("KQ+D11FOG.TXT"), QStringList{"OK"});
    QCOMPARE(obc.handle(write_payload(0, "xy", 0)), QStringList{"ERR+SUM"});
    QCOMPARE(obc.files().value("G.TXT"), QByteArray());
    QCOMPARE(obc.handle("KQ+D12FC"), QStringList()); // another address: not for it
}

void tst_obc_computer::size_texts_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("bytes") << qint64(12) << "12 B";
    QTest::newRow("exact KB") << qint64(12288) << "12 KB";
    QTest::newRow("rounded KB") << qint64(3000) << "~3 KB";
    QTest::newRow("MB") << qint64(5 * 1048576) << "5 MB";
}

void tst_obc_computer::size_texts()
{
    QFETCH(qint64, size);
    QFETCH(QString, text);
    QCOMPARE(obc_computer::size_text(size), text);
}

KQ_TEST_MAIN(tst_obc_computer)
#include "tst_obc_computer.moc"
