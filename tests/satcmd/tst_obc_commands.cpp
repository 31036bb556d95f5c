#include "capture.h"
#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/obc_flash_commands.h"
#include "test_environment.h"

#include <functional>
#include <memory>
#include <zlib.h>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::testing::capture;

using request_maker = std::function<std::unique_ptr<kqttc_request>()>;
Q_DECLARE_METATYPE(request_maker)

namespace {

template<typename R, typename... A>
request_maker make(A... a)
{
    return [=] { return std::unique_ptr<kqttc_request>(new R(a...)); };
}

QString crc_text(const QByteArray& b)
{
    const auto c = ::crc32(0, reinterpret_cast<const Bytef*>(b.constData()), uInt(b.size()));
    return QString::number(qulonglong(c), 16).toUpper().rightJustified(8, '0');
}

} // namespace

// The on-board computer's command set: lines out, answers in.
class tst_obc_commands : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void write_block_layout();
    void set_date_refuses_out_of_range();
    void open_mode_letters();
    void answers();
    void bad_answers();
    void read_block_sums_data();
    void read_block_sums();
    void mode_change_lines();
    void flash_names();
    void flash_progress_arithmetic();
    void dirlist_parser_data();
    void dirlist_parser();
};

void tst_obc_commands::frames_data()
{
    QTest::addColumn<request_maker>("make");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("cr_before_crc");
    const unsigned a = 0x11;
    QTest::newRow("get time") << make<req_get_time>(a) << "KQ+R1131" << false;
    QTest::newRow("set time 13:05:09")
        << make<req_set_time>(a, QTime(13, 5, 9)) << "KQ+W113206313330353039" << false;
    QTest::newRow("set time 00:00:00")
        << make<req_set_time>(a, QTime(0, 0, 0)) << "KQ+W113206303030303030" << false;
    QTest::newRow("get date") << make<req_get_date>(a) << "KQ+R1133" << false;
    QTest::newRow("set date 2024-03-07")
        << make<req_set_date>(a, QDate(2024, 3, 7)) << "KQ+W113406323430333037" << false;
    QTest::newRow("get mode") << make<req_get_obc_mode>(a) << "KQ+R117F" << true;
    QTest::newRow("set mode boot")
        << make<req_set_obc_mode>(a, obc_mode_boot) << "KQ+W117F010B\r" << false;
    QTest::newRow("listing") << make<req_obc_create_dirlist>(a, QString("/LOGS")) << "KQ+D11FL/LOGS"
                             << true;
    QTest::newRow("delete") << make<req_obc_delete>(a, QString("A.TXT")) << "KQ+D11FDA.TXT" << true;
    QTest::newRow("checksum") << make<req_obc_checksum>(a, QString("A.TXT")) << "KQ+D11FSA.TXT"
                              << true;
    QTest::newRow("open read") << make<req_obc_file_open>(a, QString("A.TXT"), open_read)
                               << "KQ+D11FIA.TXT" << true;
    QTest::newRow("open write") << make<req_obc_file_open>(a, QString("A.TXT"), open_write)
                                << "KQ+D11FOA.TXT" << true;
    QTest::newRow("open append") << make<req_obc_file_open>(a, QString("A.TXT"), open_append)
                                 << "KQ+D11FEA.TXT" << true;
    QTest::newRow("close") << make<req_obc_file_close>(a) << "KQ+D11FC" << true;
    QTest::newRow("read block") << make<req_obc_read>(a, 0x1234u, (uint16_t)128)
                                << "KQ+D11FR000012340080" << true;
    QTest::newRow("flash image") << make<req_obc_flash>(a, QString("app.bin")) << "KQ+D11FBAPP.BIN"
                                 << true;
    QTest::newRow("flash script") << make<req_obc_flash>(a, QString("RUN.SCM")) << "KQ+D11FARUN.SCM"
                                  << true;
}

void tst_obc_commands::frames()
{
    QFETCH(request_maker, make);
    QFETCH(QString, payload);
    QFETCH(bool, cr_before_crc);
    const auto r = make();
    QCOMPARE(r->create_string_request(), payload);
    const QString crc = crc_text(payload.toUtf8());
    QCOMPARE(kqttc_frame::text_frame(*r), payload + (cr_before_crc ? "\r " : " ") + crc + "\r");
}

void tst_obc_commands::write_block_layout()
{
    const QByteArray data("\x01\x02\xff\r\n", 5);
    req_obc_write w(0x11, data, 0x80);
    QCOMPARE(w.get_flow_mode(), unsigned(kqttc_request::flow_binary));
    QCOMPARE(w.get_cmd_format_behaviour(), 1u);
    const QByteArray body =
        QByteArray("KQ+D11FW000000800005\r") + data + char(0x19); // 1 + 2 + 255 + 13 + 10 = 281
    QCOMPARE(w.create_binary_request(), body);
    QCOMPARE(kqttc_frame::binary_frame(w), body + " " + crc_text(body).toLatin1() + "\r");
}

void tst_obc_commands::set_date_refuses_out_of_range()
{
    for (const QDate& d : {QDate(1999, 12, 31), QDate(2100, 1, 1), QDate()}) {
        const auto e = capture<proto_exception>([&] { req_set_date(0x11, d); });
        QVERIFY(e);
        QCOMPARE(e->get_type(), proto_exception::parameter_error);
        QCOMPARE(QString(e->what()), QString("INVALID_DATE"));
        QCOMPARE(e->get_exec_context(), QString("req_set_date"));
        QCOMPARE(int(e->get_code()), 0x34);
    }
    const auto e =
        capture<proto_exception>([] { req_obc_delete(0x11, QString::fromUtf8("\xc3\xa9.TXT")); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("INVALID_FILE_NAME"));
}

void tst_obc_commands::open_mode_letters()
{
    const auto e =
        capture<std::out_of_range>([] { req_obc_file_open::mode_letter(obc_file_open_mode_e(3)); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("map::at"));
}

void tst_obc_commands::answers()
{
    res_get_time t;
    t.parse_response(QStringLiteral(" OK TIME 13:05:09 "));
    QCOMPARE(t.get_time(), QTime(13, 5, 9));
    res_get_date d;
    d.parse_response(QStringLiteral("OK DATE YY/MM/DD 24 / 3 / 7"));
    QCOMPARE(d.get_date(), QDate(2024, 3, 7));
    res_get_obc_mode m;
    m.parse_response(QStringLiteral("OK+APPL running since 12 s"));
    QCOMPARE(m.get_obc_mode(), obc_mode_appl);
    res_get_obc_mode b;
    b.parse_response(QStringLiteral("OK+BOOT"));
    QCOMPARE(b.get_obc_mode(), obc_mode_boot);
    res_obc_checksum c;
    c.parse_response(QStringLiteral("OK+DEADBEEF 0000012C"));
    QCOMPARE(c.get_checksum(), 0xDEADBEEFu);
    QCOMPARE(c.get_size(), 300u);
    res_obc_file_open o(open_read);
    o.parse_response(QStringLiteral("OK+0001F400"));
    QCOMPARE(o.get_size(), 0x1F400u);
    res_obc_file_open w(open_write);
    w.parse_response(QStringLiteral("OK"));
    res_obc_file_open ap(open_append);
    ap.parse_response(QStringLiteral("OK trailing"));
    res_set_time st;
    st.parse_response(QStringLiteral("OK TIME SET"));
    res_obc_delete del;
    del.parse_response(QStringLiteral("OK deleted"));
}

void tst_obc_commands::bad_answers()
{
    const auto type_of = [](auto response, const QString& line) {
        const auto e = capture<proto_exception>([&] { response.parse_response(line); });
        return e ? int(e->get_type()) : -1;
    };
    QCOMPARE(type_of(res_get_obc_mode(), "OK+boot"), 3);
    QCOMPARE(type_of(res_get_obc_mode(), "OK+XYZW"), 3);
    QCOMPARE(type_of(res_obc_file_open(open_read), "OK"), 3);
    QCOMPARE(type_of(res_get_time(), "OK TIME 1:05:09"), 3);
    QCOMPARE(type_of(res_set_date(), "OK TIME"), 3);
    QCOMPARE(type_of(res_obc_checksum(), "OK+DEADBEEF"), 3);
    QCOMPARE(type_of(res_obc_delete(), "ERR+NOFILE"), 3);
    QCOMPARE(type_of(res_obc_read(4), "OK"), 3);
}

void tst_obc_commands::read_block_sums_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("good");
    QTest::newRow("four bytes") << 4 << QByteArray("\x01\x02\x03\x04\x0a", 5) << true;
    QTest::newRow("sum wraps") << 2 << QByteArray("\xff\x02\x01", 3) << true;
    QTest::newRow("bad sum") << 4 << QByteArray("\x01\x02\x03\x04\x0b", 5) << false;
    QTest::newRow("nothing but the sum") << 0 << QByteArray("\x00", 1) << true;
}

void tst_obc_commands::read_block_sums()
{
    QFETCH(int, length);
    QFETCH(QByteArray, block);
    QFETCH(bool, good);
    res_obc_read r{uint16_t(length)};
    QCOMPARE(int(r.get_binary_response_length()), length + 1);
    QCOMPARE(r.get_flow_mode(), unsigned(kqttc_response::flow_binary_block));
    const auto e = capture<proto_exception>([&] { r.parse_response(block); });
    if (good) {
        QVERIFY(!e);
        QCOMPARE(r.get_data(), block.left(length));
        return;
    }
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::crc_error);
    QCOMPARE(QString(e->what()), QString("CRC_ERROR"));
    QCOMPARE(e->get_exec_context(), QString("res_obc_read"));
    QCOMPARE(e->get_retry_behaviour(), proto_exception::retry);
}

void tst_obc_commands::mode_change_lines()
{
    res_set_obc_mode r;
    QCOMPARE(r.get_flow_mode(), unsigned(kqttc_response::flow_multi_line));
    QVERIFY(!r.parse_multi_line("Restarting..."));
    QVERIFY(!r.parse_multi_line("OK+ still booting"));
    QVERIFY(r.parse_multi_line("OK+ BOOT initialisation done"));
    res_set_obc_mode e;
    const auto err = capture<proto_exception>([&] { e.parse_multi_line("ERR+MODE"); });
    QVERIFY(err);
    QCOMPARE(err->get_type(), proto_exception::general_error);
    QCOMPARE(int(err->get_code()), 127);
    QCOMPARE(err->get_exec_context(), QString("parse_response"));
}

void tst_obc_commands::flash_names()
{
    const auto e = capture<proto_exception>([] { req_obc_flash(0x11, "DATA.TXT"); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::parameter_error);
    QCOMPARE(int(e->get_code()), 168);
    QCOMPARE(e->get_exec_context(), QString("NOT_DEFINED"));
    QCOMPARE(QString(e->what()), QString());
}

void tst_obc_commands::flash_progress_arithmetic()
{
    QList<std::tuple<QString, unsigned, unsigned>> seen;
    flash_progress_t cb = [&](const QString& s, const unsigned& p, const unsigned& l) {
        seen.append({s, p, l});
    };
    res_obc_flash r(cb, 10, 90);
    QCOMPARE(r.get_command_retries(module_config_t(), nullptr), 0u);
    QCOMPARE(r.get_media_timeout(module_config_t(), nullptr), 15000u);
    QCOMPARE(QByteArray(r.get_readline_term()), QByteArray("\r\n*"));
    QVERIFY(!r.parse_binary_chunk("xx"));
    QCOMPARE(seen.last(), std::make_tuple(QString("Flashing ()"), 10u, 108u)); // 9 + 1 chunk
    QVERIFY(!r.parse_binary_chunk("__FLASHING__\r\n"));
    QCOMPARE(seen.last(), std::make_tuple(QString("Flashing (Begin)"), 11u, 108u));
    QVERIFY(!r.parse_binary_chunk("**")); // stars in one piece start the count, each a step
    QCOMPARE(seen.last(), std::make_tuple(QString("Flashing (Begin)"), 73u, 720u));
    QVERIFY(!r.parse_binary_chunk("*"));
    QCOMPARE(seen.last(), std::make_tuple(QString("Flashing (Begin)"), 74u, 720u));
    QVERIFY(!r.parse_binary_chunk("Erasing FLASH\r\n"));
    QCOMPARE(std::get<0>(seen.last()), QString("Flashing (Erasing FLASH)"));
    QVERIFY(r.parse_binary_chunk("OK+ Flashing completed\r\n"));
    QCOMPARE(seen.last(), std::make_tuple(QString("Flashing completed successfully"), 90u, 100u));

    // Steps that arrive together in one chunk are each reported.
    seen.clear();
    res_obc_flash batched(cb, 10, 90);
    QVERIFY(!batched.parse_binary_chunk("__FLASHING__ APP.BIN\r\nCalculating checksum\r\n"));
    QCOMPARE(seen.size(), 2);
    QCOMPARE(std::get<0>(seen.at(0)), QString("Flashing (Begin)"));
    QCOMPARE(std::get<0>(seen.at(1)), QString("Flashing (Calculating checksum)"));

    res_obc_flash bad(cb, 10, 90);
    const auto e = capture<proto_exception>([&] { bad.parse_binary_chunk("ERR+ FLASH\r\n"); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::command_response_error);
}

void tst_obc_commands::dirlist_parser_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("size");
    QTest::addColumn<QString>("size_text");
    QTest::newRow("rounded KB") << QByteArray("   LOG1.TXT   ~3 KB") << "LOG1.TXT" << 3072u
                                << "3 KB";
    QTest::newRow("lower-case unit") << QByteArray(" A.BIN 12 kb") << "A.BIN" << 12288u << "12 kb";
    QTest::newRow("bytes") << QByteArray("\tX 7 B") << "X" << 7u << "7 B";
    QTest::newRow("blanks in the name")
        << QByteArray("  MY LOG 2.TXT   12 B") << "MY LOG 2.TXT" << 12u << "12 B";
    QTest::newRow("wraps at 2^32") << QByteArray(" BIG 5 GB") << "BIG" << 1073741824u << "5 GB";
    QTest::newRow("no leading blank") << QByteArray("A.BIN 12 KB") << "" << 0u << "";
    QTest::newRow("carriage return") << QByteArray(" A.BIN 12 KB\r") << "" << 0u << "";
    QTest::newRow("header") << QByteArray("Directory of /") << "" << 0u << "";
    QTest::newRow("unknown unit") << QByteArray(" A 1 TB") << "" << 0u << "";
    QTest::newRow("cut at zero") << QByteArray(" A 1 KB\0 junk", 13) << "A" << 1024u << "1 KB";
}

void tst_obc_commands::dirlist_parser()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, name);
    QFETCH(uint, size);
    QFETCH(QString, size_text);
    const QList<file_info_t> files =
        kqttc_obc_module::parse_dirlist("HEADER LINE\n" + line + "\n\n");
    if (name.isEmpty()) {
        QVERIFY(files.isEmpty());
        return;
    }
    QCOMPARE(files.size(), 1);
    QCOMPARE(files.first().name, name);
    QCOMPARE(files.first().size, size);
    QCOMPARE(files.first().size_text, size_text);
}

KQ_TEST_MAIN(tst_obc_commands)
#include "tst_obc_commands.moc"
