#include "capture.h"
#include "satcmd/checksum.h"
#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "test_environment.h"

#include <QBuffer>

#include <functional>
#include <memory>
#include <zlib.h>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::testing::capture;

using request_maker = std::function<std::unique_ptr<kqttc_request>()>;
Q_DECLARE_METATYPE(request_maker)

namespace {

QString zlib_crc(const QByteArray& b)
{
    const auto c = ::crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size()));
    return QString::number(qulonglong(c), 16).toUpper().rightJustified(8, '0');
}

template<typename R, typename... A>
request_maker make(A... a)
{
    return [=] { return std::unique_ptr<kqttc_request>(new R(a...)); };
}

class plain_obc_request : public obc_kqttc_request
{
public:
    plain_obc_request()
        : obc_kqttc_request("plain_obc_request", 0x11, 0xA0)
    {
    }
    QString create_string_request() override { return "KQ+R11A0"; }
};

} // namespace

// The frame on the wire in both directions and the CRC-32 behind it.
class tst_kqttc_frame : public QObject
{
    Q_OBJECT

private slots:
    void crc_matches_zlib();
    void crc_ranges_data();
    void crc_ranges();
    void crc_of_device_reads_blocks_and_restores_position();
    void request_lines_data();
    void request_lines();
    void known_frames();
    void obc_frame_has_cr_before_crc();
    void answer_crc_data();
    void answer_crc();
    void prefixes();
    void fixed_block_crc();
};

void tst_kqttc_frame::crc_matches_zlib()
{
    QCOMPARE(checksum::qcrc32(QByteArray("abc")), 0x352441C2u);
    QCOMPARE(checksum::qcrc32(QString("abc")), 0x352441C2u);
    const QString text = QString::fromUtf8("caf\xc3\xa9");
    QCOMPARE(QString::number(checksum::qcrc32(text), 16).toUpper().rightJustified(8, '0'),
             zlib_crc(text.toUtf8()));
}

void tst_kqttc_frame::crc_ranges_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("covered");
    QTest::newRow("whole") << 0 << 0x7FFFFFFF << QByteArray("KQ+R2200");
    QTest::newRow("middle") << 3 << 2 << QByteArray("R2");
    QTest::newRow("clipped at end") << 5 << 100 << QByteArray("200");
    QTest::newRow("start at end") << 8 << 4 << QByteArray();
    QTest::newRow("start beyond") << 20 << 4 << QByteArray();
    QTest::newRow("zero length") << 2 << 0 << QByteArray();
}

void tst_kqttc_frame::crc_ranges()
{
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(QByteArray, covered);
    const QByteArray data("KQ+R2200");
    const uint32_t expected =
        covered.isEmpty() ? 0 : uint32_t(::crc32(0, (const Bytef*)covered.data(), covered.size()));
    QCOMPARE(checksum::qcrc32(data, start, length), expected);
    QBuffer device;
    device.setData(data);
    device.open(QIODevice::ReadOnly);
    QCOMPARE(checksum::qcrc32(&device, start, length), expected);
}

void tst_kqttc_frame::crc_of_device_reads_blocks_and_restores_position()
{
    QByteArray big(300000, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7 + (i >> 9));
    QBuffer device;
    device.setData(big);
    device.open(QIODevice::ReadOnly);
    device.seek(1234);
    QCOMPARE(checksum::qcrc32(&device), checksum::qcrc32(big));
    QCOMPARE(device.pos(), qint64(1234));
    QCOMPARE(checksum::qcrc32(&device, 4, 100000), checksum::qcrc32(big, 4, 100000));
}

void tst_kqttc_frame::request_lines_data()
{
    QTest::addColumn<request_maker>("make");
    QTest::addColumn<QString>("payload");
    const unsigned a = 0x22;
    scw_properties scw(short(0x8000));

    QTest::newRow("get scw") << make<req_get_scw>(a) << "KQ+R2200";
    QTest::newRow("set scw bit 15") << request_maker([scw]() mutable {
        return std::unique_ptr<kqttc_request>(new req_set_scw(0x22, scw));
    }) << "KQ+W22008000";
    QTest::newRow("get rf") << make<req_get_rf>(a) << "KQ+R2201";
    QTest::newRow("set rf 437 MHz") << make<req_set_rf>(a, 437000000ull) << "KQ+W22019DD80942";
    QTest::newRow("get uptime") << make<req_get_uptime>(a) << "KQ+R2202";
    QTest::newRow("get tx") << make<req_get_tx_pkts>(a) << "KQ+R2203";
    QTest::newRow("get rx") << make<req_get_rx_pkts>(a) << "KQ+R2204";
    QTest::newRow("get rx crc") << make<req_get_rx_crc_pkts>(a) << "KQ+R2205";
    QTest::newRow("get pipe timeout") << make<req_get_pipe_timeout>(a) << "KQ+R2206";
    QTest::newRow("set pipe timeout")
        << make<req_set_pipe_timeout>(a, (unsigned char)10) << "KQ+W22060000000A";
    QTest::newRow("get text period") << make<req_get_text_beacon_period>(a) << "KQ+R2207";
    QTest::newRow("set text period")
        << make<req_set_text_beacon_period>(a, (unsigned short)0x1234) << "KQ+W220700001234";
    QTest::newRow("get audio period") << make<req_get_audio_beacon_period>(a) << "KQ+R2208";
    QTest::newRow("set audio period")
        << make<req_set_audio_beacon_period>(a, (unsigned short)30) << "KQ+W22080000001E";
    QTest::newRow("get dst call") << make<req_get_dst_call_sign>(a) << "KQ+R22F5";
    QTest::newRow("set dst call padded")
        << make<req_set_dst_call_sign>(a, QString("AB")) << "KQ+W22F5AB    ";
    QTest::newRow("get src call") << make<req_get_src_call_sign>(a) << "KQ+R22F6";
    QTest::newRow("set src call") << make<req_set_src_call_sign>(a, QString("KQ0SAT"))
                                  << "KQ+W22F6KQ0SAT";
    QTest::newRow("get morse") << make<req_get_morse_code_call_sign>(a) << "KQ+R22F7";
    QTest::newRow("set morse") << make<req_set_morse_code_call_sign>(a, QString("-.- .-"))
                               << "KQ+W22F706-.- .-";
    QTest::newRow("set morse empty")
        << make<req_set_morse_code_call_sign>(a, QString()) << "KQ+W22F700";
    QTest::newRow("get midi") << make<req_get_audio_beacon_midi>(a) << "KQ+R22F8";
    QTest::newRow("set midi") << make<req_set_audio_beacon_midi>(a, QString("12C34D"))
                              << "KQ+W22F80212C34D";
    QTest::newRow("get version") << make<req_get_version>(a) << "KQ+R22F9";
    QTest::newRow("get payload size") << make<req_get_payload_size>(a) << "KQ+R22FA";
    QTest::newRow("get text beacon") << make<req_get_text_beacon_message>(a) << "KQ+R22FB";
    QTest::newRow("set text beacon")
        << make<req_set_text_beacon_message>(a, QString("HELLO")) << "KQ+W22FB05HELLO";
    QTest::newRow("set dev addr") << make<req_set_dev_addr>(a, 0x23u) << "KQ+W22FC23";
    QTest::newRow("get fram") << make<req_get_fram_memory>(a, 0x1A0u) << "KQ+R22FD000001A0";
    QTest::newRow("set fram") << make<req_set_fram_memory>(a, 0x10u, QByteArray(16, '\xab'))
                              << "KQ+W22FD00000010ABABABABABABABABABABABABABABABAB";
    QTest::newRow("get radio props: group count offset")
        << make<req_get_radio_transceiver_props>(a, (unsigned char)0x20, (unsigned char)0x05,
                                                 (unsigned char)0x03)
        << "KQ+R22FE200305";
    QTest::newRow("set radio props: group length offset, lower hex")
        << make<req_set_radio_transceiver_props>(a, (unsigned char)0x20, (unsigned char)0x05,
                                                 QByteArray("\xab\xcd", 2))
        << "KQ+W22FE200205abcd";
    QTest::newRow("get secure") << make<req_get_secure_access>(a) << "KQ+R22FF";
    QTest::newRow("set secure") << make<req_set_secure_access>(a, 0x0BADF00Du)
                                << "KQ+W22FF0BADF00D";
    QTest::newRow("free text") << make<req_send_arbitrary_text>(a, 0x1Fu, QString("hi there"))
                               << "KQ+0000001Fhi there";
}

void tst_kqttc_frame::request_lines()
{
    QFETCH(request_maker, make);
    QFETCH(QString, payload);
    const auto request = make();
    QCOMPARE(request->create_string_request(), payload);
    QCOMPARE(kqttc_frame::text_frame(*request), payload + " " + zlib_crc(payload.toUtf8()) + "\r");
}

void tst_kqttc_frame::known_frames()
{
    req_get_scw get(0x22);
    QCOMPARE(kqttc_frame::text_frame(get), QString("KQ+R2200 3F9D8D04\r"));
    req_set_rf set(0x22, 437000000ull);
    QCOMPARE(kqttc_frame::text_frame(set), QString("KQ+W22019DD80942 0746F1F3\r"));
}

void tst_kqttc_frame::obc_frame_has_cr_before_crc()
{
    plain_obc_request r;
    QCOMPARE(r.get_cmd_format_behaviour(), 3u);
    QCOMPARE(kqttc_frame::text_frame(r), "KQ+R11A0\r " + zlib_crc("KQ+R11A0") + "\r");
}

void tst_kqttc_frame::answer_crc_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("payload"); // what parse_response sees
    QTest::addColumn<bool>("crc_error");

    const QString ok = "OK+C52200"
                       "3140";
    QTest::newRow("good crc") << ok + " " + zlib_crc(ok.toUtf8()) << ok << false;
    QTest::newRow("no crc field") << "OK"
                                  << "OK" << false;
    QTest::newRow("lower-case field passes unchecked")
        << ok + " " + zlib_crc(ok.toUtf8()).toLower() << ok + " " + zlib_crc(ok.toUtf8()).toLower()
        << false;
    QTest::newRow("mismatch") << ok + " 00000000" << QString() << true;
    QTest::newRow("letters that are not hex") << ok + " ZZZZZZZZ" << QString() << true;
    QTest::newRow("tab separator counts") << ok + "\t" + zlib_crc(ok.toUtf8()) << ok << false;
}

void tst_kqttc_frame::answer_crc()
{
    QFETCH(QString, line);
    QFETCH(QString, payload);
    QFETCH(bool, crc_error);
    QString got;
    const auto e = capture<proto_exception>([&] { got = kqttc_frame::checked_line(line); });
    if (!crc_error) {
        QVERIFY(!e);
        QCOMPARE(got, payload);
        return;
    }
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::crc_error);
    QCOMPARE(e->get_code(), (unsigned short)0);
    QCOMPARE(e->get_exec_context(), QString("NOT_DEFINED"));
    QCOMPARE(QString(e->what()), QString());
    QCOMPARE(e->get_retry_behaviour(), proto_exception::retry);
}

void tst_kqttc_frame::prefixes()
{
    QCOMPARE(kqttc_response::rws_strict_kqttc_strings(),
             QStringList({"OK+", "OK", "KQ+", "ERR+", "ERR", "+KQTTC"}));
    QCOMPARE(kqttc_response::accepted_prefix("OK+123"), QString("OK+"));
    QCOMPARE(kqttc_response::accepted_prefix("ERR+REMOTE"), QString("ERR+"));
    QCOMPARE(kqttc_response::accepted_prefix("+KQTTC"), QString("+KQTTC"));
    QCOMPARE(kqttc_response::accepted_prefix("KQ+R2200 3F9D8D04"), QString("KQ+"));
    QCOMPARE(kqttc_response::accepted_prefix("ok"), QString());
    QCOMPARE(kqttc_response::accepted_prefix(" OK"), QString());
}

void tst_kqttc_frame::fixed_block_crc()
{
    const QByteArray payload("\x01\x02\x03\x00\xff", 5);
    const QByteArray block = payload + " " + zlib_crc(payload).toLatin1() + "\r";
    QCOMPARE(kqttc_frame::checked_block(block), payload);
    QByteArray bad = block;
    bad[0] = 'x';
    QVERIFY(capture<proto_exception>([&] { kqttc_frame::checked_block(bad); }));
    QVERIFY(capture<proto_exception>([&] { kqttc_frame::checked_block("short"); }));
}

KQ_TEST_MAIN(tst_kqttc_frame)
#include "tst_kqttc_frame.moc"
