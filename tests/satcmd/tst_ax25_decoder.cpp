#include "ax25_encoder.h"
#include "satcmd/kqttc/ax25_decoder.h"
#include "test_environment.h"

#include <QRandomGenerator>
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

// The decoding rules applied one bit at a time, as they are written: the
// oracle for the decoder, which works on eight line bits at once.
int reference_decode(const QByteArray& line_bits, QByteArray& frame)
{
    uint32_t scrambler = 0;
    int previous = 0;
    uint8_t pattern = 0;
    int bit_count = -1;
    uint8_t byte = 0;
    QByteArray buffer;
    for (const char c : line_bits) {
        for (int i = 7; i >= 0; --i) {
            const int b = (static_cast<unsigned char>(c) >> i) & 1;
            const int d = b ^ ((scrambler >> 11) & 1) ^ ((scrambler >> 16) & 1);
            scrambler = ((scrambler << 1) | uint32_t(b)) & 0x1FFFF;
            const int bit = d == previous ? 1 : 0;
            previous = d;
            pattern = uint8_t((pattern >> 1) | (bit << 7));
            if (bit && pattern == 0xFE) {
                std::fputs("Stop decoding.\n", stdout);
                bit_count = -1;
                buffer.clear();
                continue;
            }
            if (!bit && pattern == 0x7E) {
                if (bit_count == 7 && buffer.size() > 20) {
                    const int n = buffer.size();
                    const auto received =
                        quint16(uint8_t(buffer[n - 2]) | (uint8_t(buffer[n - 1]) << 8));
                    const quint16 computed = ax25_decoder::crc16(buffer.constData(), n - 2);
                    if (received == computed) {
                        frame = buffer;
                        return n;
                    }
                    std::printf("CRC16 err %04x != %04x\n", received, computed);
                }
                buffer.clear();
                bit_count = 0;
                continue;
            }
            if (!bit && (pattern & 0xFC) == 0x7C)
                continue;
            if (bit_count == -1)
                continue;
            byte = uint8_t((byte >> 1) | (bit << 7));
            if (++bit_count == 8) {
                if (buffer.size() < ax25_decoder::max_frame)
                    buffer.append(char(byte));
                bit_count = 0;
            }
        }
    }
    return 0;
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
    void same_as_bit_by_bit_rules();
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

// Noise with frames in it, some of them damaged, against the rules applied
// one bit at a time: the same frame, length and messages every time.
void tst_ax25_decoder::same_as_bit_by_bit_rules()
{
    QRandomGenerator rng(20261209);
    int frames_found = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray input(int(rng.bounded(300)), '\0');
        for (char& c : input)
            c = char(rng.bounded(256));
        for (int k = int(rng.bounded(3)); k > 0; --k) {
            QByteArray bits =
                ax25_encoder::line_bits(frame_with(QByteArray(int(rng.bounded(60)), 'x')));
            if (rng.bounded(3) == 0) {
                const int at = int(rng.bounded(bits.size()));
                bits[at] = char(bits.at(at) ^ (1 << rng.bounded(8)));
            }
            input.insert(int(rng.bounded(input.size() + 1)), bits);
        }
        QByteArray ours;
        QByteArray theirs;
        int n = -1;
        int m = -2;
        const QByteArray said = stdout_of([&] { n = ax25_decoder::decode(input, ours); });
        const QByteArray expected = stdout_of([&] { m = reference_decode(input, theirs); });
        QCOMPARE(n, m);
        QCOMPARE(ours, theirs);
        QCOMPARE(said, expected);
        frames_found += n > 0 ? 1 : 0;
    }
    QVERIFY(frames_found > 100); // the rounds do reach whole frames
}

KQ_TEST_MAIN(tst_ax25_decoder)
#include "tst_ax25_decoder.moc"
