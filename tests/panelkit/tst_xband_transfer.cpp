#include "capture.h"
#include "file_contents.h"
#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/xband_transfer.h"
#include "random_bytes.h"
#include "satcmd/proto_exception.h"
#include "satcmd/xband_module.h"
#include "test_environment.h"
#include "xband_session.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace kq::api::proto;
using kq::gui::local_file;
using kq::gui::local_file_error;
using kq::gui::xband_transfer;
using kq::testing::xband_session;

// Files moved to and from the transmitter while its replies are spoilt,
// preceded by garbage, lost or late: the bytes arrive whole, never a wrong
// file reported done. (Replies in pieces are assembled by the frame reader's
// own test: the simulator's pieces are too slow for a 1 KiB read.) And the
// workstation's side of those files.
class tst_xband_transfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void round_trip_under_faults_data();
    void round_trip_under_faults();
    void download_reads_twice_to_the_same_bytes();
    void writes_beyond_the_size_limit_are_refused_data();
    void writes_beyond_the_size_limit_are_refused();
    void local_files();

private:
    void _spoil(const QString& fault);

    std::unique_ptr<xband_session> _s;
};

namespace {

constexpr int short_timeout_ms = kq::testing::sanitized ? 300 : 100;

} // namespace

void tst_xband_transfer::init()
{
    _s = std::make_unique<xband_session>();
}

void tst_xband_transfer::cleanup()
{
    _s.reset();
}

// The next replies go wrong in the named way.
void tst_xband_transfer::_spoil(const QString& fault)
{
    if (fault == QLatin1String("crc"))
        _s->tx().corrupt_crc(2);
    else if (fault == QLatin1String("magic"))
        _s->tx().corrupt_magic(1); // garbage to the reader: a lost answer
    else if (fault == QLatin1String("length"))
        _s->tx().oversize(2);
    else if (fault == QLatin1String("garbage"))
        _s->tx().garbage_before_replies(3);
    else if (fault == QLatin1String("silent"))
        _s->tx().stay_silent(1);
    else if (fault == QLatin1String("late"))
        _s->tx().hold_replies(2, 1500); // past the port's 1 s: lost, then stale
    else if (fault == QLatin1String("3x late, in order"))
        _s->tx().hold_replies(2, 3 * short_timeout_ms);
    else if (fault == QLatin1String("10x late, in order"))
        _s->tx().hold_replies(2, 10 * short_timeout_ms);
}

void tst_xband_transfer::round_trip_under_faults_data()
{
    QTest::addColumn<QString>("fault");
    for (const char* fault : {"none", "crc", "magic", "length", "garbage", "silent", "late",
                              "3x late, in order", "10x late, in order"})
        QTest::newRow(fault) << QString::fromLatin1(fault);
}

void tst_xband_transfer::round_trip_under_faults()
{
    QFETCH(QString, fault);
    if (fault.endsWith(QLatin1String("in order"))) {
        // Replies many timeouts late that hold back those after them, as a
        // slow line does: a short timeout keeps the wait short.
        _s = std::make_unique<xband_session>(short_timeout_ms);
        _s->tx().set_late_in_order(true);
    }
    xband_module& xband = _s->module();
    const QByteArray data = kq::testing::random_bytes(5000, 17);
    _spoil(fault);
    xband_transfer(xband).upload(data, QStringLiteral("IMG"));
    QCOMPARE(_s->tx().files().value(QStringLiteral("IMG")), data);
    _spoil(fault);
    QCOMPARE(xband_transfer(xband).download(QStringLiteral("IMG")), data);
}

// The file changes between the two reads (as bytes taken wrongly would
// make it seem to): nothing is returned as downloaded.
void tst_xband_transfer::download_reads_twice_to_the_same_bytes()
{
    const QByteArray data = kq::testing::random_bytes(3000, 5);
    _s->tx().put_file(QStringLiteral("TWICE"), data);
    QStringList steps;
    const auto changing = [&](const QString& step, uint64_t done, uint64_t) {
        if (step == QLatin1String("verifying") && done == 0) {
            QByteArray other = data;
            other[2500] = char(~other.at(2500));
            _s->tx().put_file(QStringLiteral("TWICE"), other);
        }
        if (steps.isEmpty() || steps.last() != step)
            steps << step;
    };
    const auto e = kq::testing::capture<proto_exception>(
        [&] { xband_transfer(_s->module(), changing).download(QStringLiteral("TWICE")); });
    QVERIFY(e);
    QCOMPARE(QString::fromUtf8(e->what()), QString("TWICE: two reads of it gave different bytes"));
    QCOMPARE(steps, QStringList({"reading", "verifying"}));
    _s->tx().put_file(QStringLiteral("TWICE"), data);
    QCOMPARE(xband_transfer(_s->module()).download(QStringLiteral("TWICE")), data);
}

void tst_xband_transfer::writes_beyond_the_size_limit_are_refused_data()
{
    QTest::addColumn<quint32>("offset");
    QTest::addColumn<bool>("taken");
    QTest::newRow("at the start") << quint32(0) << true;
    QTest::newRow("ending at the limit") << quint32(1024 - 3) << true;
    QTest::newRow("one past the limit") << quint32(1024 - 2) << false;
    QTest::newRow("256 MiB in") << quint32(0x10000000) << false;
    QTest::newRow("near 2 GiB") << quint32(0x7FFFFFF0) << false;
    QTest::newRow("wrapping 4 GiB") << quint32(0xFFFFFFFF) << false;
}

// A write frame names any position: past the store's limit it is refused,
// and the transmitter answers on as before.
void tst_xband_transfer::writes_beyond_the_size_limit_are_refused()
{
    QFETCH(quint32, offset);
    QFETCH(bool, taken);
    _s->tx().set_max_file_size(1024);
    auto& x = _s->module();
    unsigned handle = 0;
    x.create_file(QStringLiteral("HOSTILE.BIN"), 3, handle);
    bool refused = false;
    try {
        x.write_file(handle, offset, "abc");
    } catch (const std::exception&) {
        refused = true;
    }
    QCOMPARE(refused, !taken);
    const QByteArray stored = _s->tx().files().value(QStringLiteral("HOSTILE.BIN"));
    QCOMPARE(stored.size(), taken ? int(offset) + 3 : 0);
    QVector<kq::api::proto::xband_file_entry_t> entries;
    x.dir(entries); // still answering
    QCOMPARE(entries.size(), 1);
}

void tst_xband_transfer::local_files()
{
    QTemporaryDir dir;
    const auto refusal = [](const std::function<void()>& act) {
        try {
            act();
        } catch (const local_file_error& e) {
            return QString::fromStdString(e.what());
        }
        return QString();
    };
    const QString big = dir.filePath("big.bin");
    QVERIFY(kq::testing::write_file(big, QByteArray(101, 'x')));
    QVERIFY(refusal([&] {
                local_file::read_whole(big, 100);
            }).endsWith("101 bytes; at most 100 can be taken"));
    QCOMPARE(local_file::read_whole(big, 101), QByteArray(101, 'x'));
    QVERIFY(refusal([&] {
                local_file::read_whole(dir.path(), 100);
            }).startsWith("cannot read " + dir.path()));
    QVERIFY(refusal([&] {
                local_file::read_whole(dir.filePath("none"), 100);
            }).startsWith("cannot read "));

    const QString lost = dir.filePath("missing/out.bin");
    QVERIFY(refusal([&] { local_file::check_writable(lost); }).endsWith("missing"));
    QVERIFY(!refusal([&] { local_file::write_whole(lost, "abc"); }).isEmpty());
    QVERIFY(refusal([&] { local_file::check_writable(big); }).isEmpty());
    local_file::write_whole(big, "abc"); // replaced whole, not overwritten in place
    QCOMPARE(kq::testing::read_file(big), QByteArray("abc"));
}

KQ_TEST_MAIN(tst_xband_transfer)
#include "tst_xband_transfer.moc"
