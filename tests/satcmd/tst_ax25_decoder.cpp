#include "ax25_encoder.h"
#include "satcmd/kqttc/ax25_decoder.h"
#include "test_environment.h"

#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

using kq::api::proto::kqttc::ax25_decoder;
using kq::satsim::ax25_encoder;

namespace {

// What the decoder prints to standard output while f runs.
template<typename F>
QByteArray stdout_of(F&& f)
{
    std::fflush(stdout);
    QTemporaryFile file;
    file.open();
    const int saved = ::dup(1);
    ::dup2(file.handle(), 1);
    f();
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

QByteArray frame_with(const QByteArray& info)
{
    return ax25_encoder::frame("CQ", "KQ0SAT", info);
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

class tst_ax25_decoder : public QObject
{
    Q_OBJECT

private slots:
    void empty_input();
    void decodes_frames_data();
    void decodes_frames();
    void first_frame_only();
    void wrong_check_is_dropped();
    void abort_then_new_frame();
    void short_frames_never_reported();
    void truncated_input();
    void crc16_known_value();
};

void tst_ax25_decoder::empty_input()
{
    QByteArray frame = "untouched";
    QCOMPARE(ax25_decoder::decode(QByteArray(), frame), 0);
    QCOMPARE(frame, QByteArray("untouched"));
}

void tst_ax25_decoder::decodes_frames_data()
{
    QTest::addColumn<QByteArray>("info");
    QTest::newRow("text") << QByteArray("KQ SAT ONLINE");
    QTest::newRow("ones need stuffing") << QByteArray(40, '\xff');
    QTest::newRow("flag bytes inside") << QByteArray(10, '\x7e');
    QTest::newRow("all byte values") << [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i)
            b.append(char(i));
        return b;
    }();
    QTest::newRow("longest kept") << QByteArray(ax25_decoder::max_frame - 18, 'x');
}

void tst_ax25_decoder::decodes_frames()
{
    QFETCH(QByteArray, info);
    const QByteArray sent = frame_with(info);
    QByteArray got;
    QCOMPARE(ax25_decoder::decode(ax25_encoder::line_bits(sent), got), sent.size());
    QCOMPARE(got, sent);
    QCOMPARE(got.mid(16, got.size() - 18), info);
}

void tst_ax25_decoder::first_frame_only()
{
    const QByteArray a = frame_with("first frame");
    const QByteArray b = frame_with("second frame");
    const QByteArray bits = ax25_encoder::to_line(ax25_encoder::hdlc(a) + ax25_encoder::hdlc(b));
    QByteArray got;
    QCOMPARE(ax25_decoder::decode(bits, got), a.size());
    QCOMPARE(got, a);
}

void tst_ax25_decoder::wrong_check_is_dropped()
{
    QByteArray bad = frame_with("bad check");
    bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 0x40);
    const QByteArray good = frame_with("good one");
    QByteArray got;
    int n = -1;
    const QByteArray printed = stdout_of([&] {
        n = ax25_decoder::decode(
            ax25_encoder::to_line(ax25_encoder::hdlc(bad) + ax25_encoder::hdlc(good)), got);
    });
    QCOMPARE(n, good.size());
    QCOMPARE(got, good);
    QVERIFY2(printed.startsWith("CRC16 err "), printed.constData());
    QVERIFY(printed.endsWith("\n"));

    const QByteArray only_bad =
        stdout_of([&] { n = ax25_decoder::decode(ax25_encoder::line_bits(bad), got); });
    QCOMPARE(n, 0);
    const quint16 received =
        quint16(uint8_t(bad.at(bad.size() - 2)) | uint8_t(bad.at(bad.size() - 1)) << 8);
    const quint16 computed = ax25_decoder::crc16(bad.constData(), bad.size() - 2);
    QCOMPARE(only_bad,
             QString::asprintf("CRC16 err %04x != %04x\n", received, computed).toLatin1());
}

void tst_ax25_decoder::abort_then_new_frame()
{
    const QByteArray a = frame_with("aborted half way");
    std::vector<int> bits = ax25_encoder::hdlc(a, 6, 0);
    bits.resize(bits.size() - 40); // cut inside the frame
    bits = bits + std::vector<int>(7, 1);
    const QByteArray b = frame_with("after the abort");
    QByteArray got;
    int n = -1;
    const QByteArray printed = stdout_of([&] {
        n = ax25_decoder::decode(ax25_encoder::to_line(bits + ax25_encoder::hdlc(b, 2)), got);
    });
    QCOMPARE(n, b.size());
    QCOMPARE(got, b);
    QVERIFY(printed.contains("Stop decoding.\n"));
}

void tst_ax25_decoder::short_frames_never_reported()
{
    // 20 bytes with a valid check: 18 of content plus two check bytes.
    QByteArray f = QByteArray(18, 'a');
    const quint16 c = ax25_decoder::crc16(f.constData(), f.size());
    f.append(char(c & 0xFF));
    f.append(char(c >> 8));
    QByteArray got;
    QCOMPARE(ax25_decoder::decode(ax25_encoder::line_bits(f), got), 0);
    f.insert(0, 'a');
    const quint16 c2 = ax25_decoder::crc16(f.constData(), f.size() - 2);
    f[f.size() - 2] = char(c2 & 0xFF);
    f[f.size() - 1] = char(c2 >> 8);
    QCOMPARE(ax25_decoder::decode(ax25_encoder::line_bits(f), got), 21);
}

void tst_ax25_decoder::truncated_input()
{
    const QByteArray bits = ax25_encoder::line_bits(frame_with("will be cut"));
    QByteArray got;
    for (int cut = 0; cut < bits.size() - 2; cut += 3)
        QCOMPARE(ax25_decoder::decode(bits.left(cut), got), 0);
}

void tst_ax25_decoder::crc16_known_value()
{
    // The X.25 check of "123456789".
    QCOMPARE(ax25_decoder::crc16("123456789", 9), quint16(0x906E));
}

KQ_TEST_MAIN(tst_ax25_decoder)
#include "tst_ax25_decoder.moc"
