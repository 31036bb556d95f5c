#include "ax25_encoder.h"
#include "capture.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "test_environment.h"

#include <functional>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::ax25_encoder;
using kq::testing::capture;

using action = std::function<void()>;
Q_DECLARE_METATYPE(action)

namespace {

std::optional<proto_exception> error_of(const action& f)
{
    return capture<proto_exception>(f);
}

QString beacon_line(const QString& text)
{
    const QByteArray bits = ax25_encoder::encode("CQ", "KQ0SAT", text.toLatin1());
    return "OK+" + QString::number(uint8_t(bits.size()), 16).toUpper().rightJustified(2, '0') +
           QString::fromLatin1(bits.toHex().toUpper());
}

} // namespace

// Every UHF command: values on the way out, answers on the way in.
class tst_uhf_commands : public QObject
{
    Q_OBJECT

private slots:
    void frequency_word_data();
    void frequency_word();
    void good_answers();
    void bad_answers_data();
    void bad_answers();
    void refused_values_data();
    void refused_values();
    void accepted_values();
    void text_beacon_read_back();
    void text_beacon_read_back_failures();
    void scw_fields_data();
    void scw_fields();
    void scw_setters_keep_other_bits();
};

void tst_uhf_commands::frequency_word_data()
{
    QTest::addColumn<qulonglong>("hz");
    QTest::addColumn<uint>("word");
    QTest::addColumn<uint>("read_back");
    QTest::newRow("437 MHz") << 437000000ull << 0x9DD80942u << 437000000u;
    QTest::newRow("437.012345 MHz rounds to kHz")
        << 437012345ull << req_set_rf::freq_to_si4463(437012345ull) << 437012000u;
    QTest::newRow("420 MHz default")
        << 420000000ull << req_set_rf::freq_to_si4463(420000000ull) << 420000000u;
    QTest::newRow("437.05 MHz") << 437050000ull << req_set_rf::freq_to_si4463(437050000ull)
                                << 437050000u;
}

void tst_uhf_commands::frequency_word()
{
    QFETCH(qulonglong, hz);
    QFETCH(uint, word);
    QFETCH(uint, read_back);
    QCOMPARE(req_set_rf::freq_to_si4463(hz), word);
    QCOMPARE(res_get_rf::si4463_to_freq(word), read_back);
    const uint32_t frac =
        (word >> 24) | (((word >> 16) & 0xFF) << 8) | (((word >> 8) & 0xFF) << 16);
    QVERIFY(frac >= 0x80000 && frac <= 0xFFFFF);
}

void tst_uhf_commands::good_answers()
{
    res_get_scw scw;
    scw.parse_response(QStringLiteral("OK+C5220031"
                                      "40"));
    QCOMPARE(scw.get_rssi(), 0xC5);
    QCOMPARE(scw.get_dev_addr(), 0x22u);
    QCOMPARE(scw.get_scw_value().get_value(), short(0x3140));

    res_get_rf rf;
    rf.parse_response(QStringLiteral("OK+109DD80942"));
    QCOMPARE(rf.get_rf(), 437000000u);
    QCOMPARE(rf.get_rssi(), 0x10);

    res_get_uptime up;
    up.parse_response(QStringLiteral("OK+01000186A0"));
    QCOMPARE(up.get_uptime(), 100000u);

    res_get_pipe_timeout pt;
    pt.parse_response(QStringLiteral("OK+7F0000000A"));
    QCOMPARE(int(pt.get_pipe_timeout()), 10);

    res_get_audio_beacon_period ap;
    ap.parse_response(QStringLiteral("OK+010000001E"));
    QCOMPARE(int(ap.get_audio_beacon_period()), 30);

    res_get_morse_code_call_sign morse;
    morse.parse_response(QStringLiteral("OK+06-.- .-"));
    QCOMPARE(morse.get_morse_code_call_sign(), QString("-.- .-"));

    res_get_audio_beacon_midi midi;
    midi.parse_response(QStringLiteral("OK+0212C34D"));
    QCOMPARE(midi.get_audio_beacon_midi(), QString("12C34D"));

    res_get_payload_size ps;
    ps.parse_response(QStringLiteral("OK+0080"));
    QCOMPARE(int(ps.get_payload_size()), 0x80);
    QCOMPARE(ps.get_rssi(), 0);

    res_get_fram_memory fram;
    fram.parse_response(QStringLiteral("OK+000102030405060708090A0B0C0D0E0F"));
    QCOMPARE(fram.get_fram_memory(), QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"));

    res_get_secure_access sa;
    sa.parse_response(QStringLiteral("OK+5A17C3E9"));
    QCOMPARE(sa.get_challenge(), 0x5A17C3E9u);

    res_get_version v;
    v.parse_response(QStringLiteral("OK+KQ-UHF 2.4.1"));
    QCOMPARE(v.get_version(), QString("KQ-UHF 2.4.1"));

    res_set_scw w;
    w.parse_response(QStringLiteral("OK"));
}

void tst_uhf_commands::bad_answers_data()
{
    QTest::addColumn<action>("parse");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("retry");

    const auto parse = [](auto response, const QString& line) {
        return action([response, line]() mutable { response.parse_response(line); });
    };
    QTest::newRow("scw wrong form") << parse(res_get_scw(), "OK+C522") << 3 << 0x00 << "res_get_scw"
                                    << "OK+C522" << 1;
    QTest::newRow("scw lower-case hex")
        << parse(res_get_scw(), "OK+c5220031ab") << 3 << 0 << "res_get_scw"
        << "OK+c5220031ab" << 1;
    QTest::newRow("ERR+ answer") << parse(res_get_rf(), "ERR+BUSY") << 3 << 0x01 << "res_get_rf"
                                 << "ERR+BUSY" << 1;
    QTest::newRow("near side answered")
        << parse(res_get_scw(), "ERR+KQTTC") << 7 << 0x00 << "res_get_scw"
        << "ERR+KQTTC" << 1;
    QTest::newRow("write refused") << parse(res_set_rf(), "ERR") << 3 << 0x01 << "res_set_rf"
                                   << "ERR" << 1;
    QTest::newRow("write refused by near side")
        << parse(res_set_scw(), "+KQTTC") << 7 << 0x00 << "res_set_scw"
        << "+KQTTC" << 1;
    QTest::newRow("pipe timeout refusal is quiet")
        << parse(res_set_pipe_timeout(), "ERR+KQTTC") << 3 << 0x06 << "res_set_pipe_timeout"
        << "" << 1;
    QTest::newRow("period refusal is quiet") << parse(res_set_text_beacon_period(), "ERR+KQTTC")
                                             << 3 << 0x07 << "res_set_text_beacon_period"
                                             << "" << 1;
    QTest::newRow("secure refusal is quiet")
        << parse(res_set_secure_access(), "ERR+ACCESS") << 3 << 0xFF << "res_set_secure_access"
        << "" << 1;
    QTest::newRow("remote cannot write beacon")
        << parse(res_set_text_beacon_message(), "ERR+REMOTE") << 3 << 0xFB
        << "res_set_text_beacon_message"
        << "ERR+REMOTE" << 0;
    QTest::newRow("fram short") << parse(res_get_fram_memory(), "OK+0001") << 3 << 0xFD
                                << "res_get_fram_memory"
                                << "OK+0001" << 1;
    QTest::newRow("odd hex bytes")
        << parse(res_get_radio_transceiver_props(), "OK+ABC") << 4 << 0 << "parse_hex_string_to_int"
        << "" << 1;
    QTest::newRow("melody with blank") << parse(res_get_audio_beacon_midi(), "OK+0212C 34D") << 3
                                       << 0xF8 << "res_get_audio_beacon_midi"
                                       << "OK+0212C 34D" << 1;
    QTest::newRow("payload size carries no rssi")
        << parse(res_get_payload_size(), "OK+C50080") << 3 << 0xFA << "res_get_payload_size"
        << "OK+C50080" << 1;
}

void tst_uhf_commands::bad_answers()
{
    QFETCH(action, parse);
    QFETCH(int, type);
    QFETCH(int, code);
    QFETCH(QString, context);
    QFETCH(QString, message);
    QFETCH(int, retry);
    const auto e = error_of(parse);
    QVERIFY(e);
    QCOMPARE(int(e->get_type()), type);
    QCOMPARE(int(e->get_code()), code);
    QCOMPARE(e->get_exec_context(), context);
    QCOMPARE(QString::fromUtf8(e->what()), message);
    QCOMPARE(int(e->get_retry_behaviour()), retry);
}

void tst_uhf_commands::refused_values_data()
{
    QTest::addColumn<action>("build");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("error");

    const unsigned a = 0x22;
    QTest::newRow("dst call of 7")
        << action([=] { req_set_dst_call_sign(a, "ABCDEFG"); }) << 0xF5 << "req_set_dst_call_sign"
        << "INVALID_DST_CALL_SIGN_LENGTH";
    QTest::newRow("dst call of 7 with bad characters")
        << action([=] { req_set_dst_call_sign(a, "AB\tDEFG"); }) << 0xF5 << "req_set_dst_call_sign"
        << "INVALID_DST_CALL_SIGN_LENGTH";
    QTest::newRow("dst call control character")
        << action([=] { req_set_dst_call_sign(a, "AB\x01"); }) << 0xF5 << "req_set_dst_call_sign"
        << "INVALID_DST_CALL_SIGN";
    QTest::newRow("dst call empty")
        << action([=] { req_set_dst_call_sign(a, ""); }) << 0xF5 << "req_set_dst_call_sign"
        << "INVALID_DST_CALL_SIGN";
    QTest::newRow("src call of 7")
        << action([=] { req_set_src_call_sign(a, "ABCDEFG"); }) << 0xF6 << "req_set_src_call_sign"
        << "INVALID_SRC_CALL_SIGN_LENGTH";
    QTest::newRow("src call accent")
        << action([=] { req_set_src_call_sign(a, QString::fromUtf8("\xc3\xa9")); }) << 0xF6
        << "req_set_src_call_sign"
        << "INVALID_SRC_CALL_SIGN";
    QTest::newRow("morse too long")
        << action([=] { req_set_morse_code_call_sign(a, QString(41, '.')); }) << 0xF7
        << "req_set_morse_code_call_sign"
        << "INVALID_MORSE_CODE_LENGTH";
    QTest::newRow("morse with letter") << action([=] { req_set_morse_code_call_sign(a, ".- x"); })
                                       << 0xF7 << "req_set_morse_code_call_sign"
                                       << "INVALID_MORSE_CODE";
    QTest::newRow("morse with no-break space")
        << action([=] { req_set_morse_code_call_sign(a, QString::fromUtf8(".-\xc2\xa0-")); })
        << 0xF7 << "req_set_morse_code_call_sign"
        << "INVALID_MORSE_CODE";
    QTest::newRow("notes incomplete") << action([=] { req_set_audio_beacon_midi(a, "12C3"); })
                                      << 0xF8 << "req_set_audio_beacon_midi"
                                      << "INVALID_NOTES";
    QTest::newRow("notes too long")
        << action([=] { req_set_audio_beacon_midi(a, QString("12C").repeated(43)); }) << 0xF8
        << "req_set_audio_beacon_midi"
        << "INVALID_NOTES_LENGTH";
    QTest::newRow("beacon with line feed, also too long")
        << action([=] { req_set_text_beacon_message(a, QString(200, 'x') + "\n"); }) << 0xFB
        << "req_set_text_beacon_message"
        << "INVALID_TEXT_BEACON_MESSAGE";
    QTest::newRow("beacon too long")
        << action([=] { req_set_text_beacon_message(a, QString(129, 'x')); }) << 0xFB
        << "req_set_text_beacon_message"
        << "INVALID_TEXT_BEACON_MESSAGE_LENGTH";
    QTest::newRow("beacon outside ASCII")
        << action([=] { req_set_text_beacon_message(a, QString::fromUtf8("caf\xc3\xa9")); }) << 0xFB
        << "req_set_text_beacon_message"
        << "INVALID_TEXT_BEACON_MESSAGE";
    QTest::newRow("audio period 1") << action([=] { req_set_audio_beacon_period(a, 1); }) << 0x08
                                    << "req_set_audio_beacon_period"
                                    << "INVALID_AUDIO_BEACON_PERIOD";
    QTest::newRow("audio period 29") << action([=] { req_set_audio_beacon_period(a, 29); }) << 0x08
                                     << "req_set_audio_beacon_period"
                                     << "INVALID_AUDIO_BEACON_PERIOD";
    QTest::newRow("fram 15 bytes") << action([=] { req_set_fram_memory(a, 0, QByteArray(15, 0)); })
                                   << 0xFD << "req_set_fram_memory"
                                   << "INVALID_DATA_LENGTH";
    QTest::newRow("fram 17 bytes") << action([=] { req_set_fram_memory(a, 0, QByteArray(17, 0)); })
                                   << 0xFD << "req_set_fram_memory"
                                   << "INVALID_DATA_LENGTH";
    QTest::newRow("free text too long")
        << action([=] { req_send_arbitrary_text(a, 1, QString(117, 'x')); }) << 0xAA
        << "req_send_arbitrary_text"
        << "INVALID_ARBITRARY_TEXT_LEN";
    QTest::newRow("free text outside ASCII")
        << action([=] { req_send_arbitrary_text(a, 1, QString::fromUtf8("\xc3\xa9t\xc3\xa9")); })
        << 0xAA << "req_send_arbitrary_text"
        << "INVALID_ARBITRARY_TEXT";
}

void tst_uhf_commands::refused_values()
{
    QFETCH(action, build);
    QFETCH(int, code);
    QFETCH(QString, context);
    QFETCH(QString, error);
    const auto e = error_of(build);
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::parameter_error);
    QCOMPARE(int(e->get_code()), code);
    QCOMPARE(e->get_exec_context(), context);
    QCOMPARE(QString(e->what()), error);
    QCOMPARE(e->get_retry_behaviour(), proto_exception::retry);
}

void tst_uhf_commands::accepted_values()
{
    for (const unsigned short p : {0, 30, 65535})
        QVERIFY(!error_of([=] { req_set_audio_beacon_period(0x22, p); }));
    QVERIFY(!error_of([] { req_set_text_beacon_period(0x22, 1); }));
    QVERIFY(!error_of([] { req_set_text_beacon_message(0x22, QString(128, 'x')); }));
    QVERIFY(!error_of([] { req_send_arbitrary_text(0x22, 1, QString(116, 'x')); }));
    QVERIFY(!error_of([] { req_set_dst_call_sign(0x22, "~ !"); }));
}

void tst_uhf_commands::text_beacon_read_back()
{
    // Three characters at least: shorter beacons make frames of 20 bytes or
    // fewer, which the decoder never reports.
    for (const QString& text : {QString("KQ SAT ONLINE"), QString("ABC"), QString(128, 'z')}) {
        res_get_text_beacon_message r;
        r.parse_response(beacon_line(text));
        QCOMPARE(r.get_text_beacon_message(), text);
    }
}

void tst_uhf_commands::text_beacon_read_back_failures()
{
    const QString good = beacon_line("HELLO");
    QString wrong_length = good;
    wrong_length[3] = wrong_length[3] == '0' ? '1' : '0';
    QString broken_frame = good;
    broken_frame[good.size() / 2] = broken_frame[good.size() / 2] == 'A' ? 'B' : 'A';

    struct
    {
        QString line;
        proto_exception::retry_behaviour_e retry;
    } cases[] = {
        {wrong_length, proto_exception::retry}, {broken_frame, proto_exception::retry},
        {"OK+00", proto_exception::retry},      {"ERR+REMOTE", proto_exception::no_retry},
        {"ERR", proto_exception::retry},
    };
    for (const auto& c : cases) {
        res_get_text_beacon_message r;
        const auto e = error_of([&] { r.parse_response(c.line); });
        QVERIFY2(e, qPrintable(c.line));
        QCOMPARE(e->get_type(), proto_exception::command_response_error);
        QCOMPARE(e->get_retry_behaviour(), c.retry);
        QCOMPARE(int(e->get_code()), 0xFB);
    }
}

void tst_uhf_commands::scw_fields_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("rf");
    QTest::addColumn<QString>("flags"); // reset echo bcn pipe boot cts sec fram rfts
    QTest::newRow("zero") << 0x0000 << 0 << 0 << "000000000";
    QTest::newRow("115200") << 0x3000 << 3 << 0 << "000000000";
    QTest::newRow("rf 7") << 0x0700 << 0 << 7 << "000000000";
    QTest::newRow("all") << 0xFFFF << 3 << 7 << "111111111";
    QTest::newRow("pipe and health") << 0x0023 << 0 << 0 << "000100011";
    QTest::newRow("reset echo sec") << 0x0884 << 0 << 0 << "110000100";
}

void tst_uhf_commands::scw_fields()
{
    QFETCH(int, word);
    QFETCH(int, baud);
    QFETCH(int, rf);
    QFETCH(QString, flags);
    const scw_properties s(static_cast<short>(word));
    QCOMPARE(int(s.get_uart_baud()), baud);
    QCOMPARE(int(s.get_rf_mode()), rf);
    const bool got[] = {s.get_reset(), s.get_echo(), s.get_bcn(),  s.get_pipe(), s.get_boot(),
                        s.get_cts(),   s.get_sec(),  s.get_fram(), s.get_rfts()};
    QString text;
    for (const bool b : got)
        text += b ? '1' : '0';
    QCOMPARE(text, flags);
}

void tst_uhf_commands::scw_setters_keep_other_bits()
{
    scw_properties s(short(0xFFFF));
    s.set_rf_mode(rf_mode_e(5));
    QCOMPARE(uint16_t(s.get_value()), uint16_t(0xFDFF));
    s = short(0xFFFF);
    s.set_uart_baud(uart_baud_e(0));
    QCOMPARE(uint16_t(s.get_value()), uint16_t(0xCFFF));
    s = short(0xFFFF);
    s.set_reset(false);
    QCOMPARE(uint16_t(s.get_value()), uint16_t(0xF7FF));

    // No setter touches bits 0, 1, 14 and 15.
    for (const int start : {0x0000, 0xC003}) {
        scw_properties t(static_cast<short>(start));
        t.set_uart_baud(uart_baud_e(3));
        t.set_reset(!t.get_reset());
        t.set_rf_mode(rf_mode_e(7));
        t.set_echo(true);
        t.set_bcn(true);
        t.set_pipe(true);
        t.set_boot(true);
        t.set_cts(true);
        t.set_sec(true);
        QCOMPARE(uint16_t(t.get_value()) & 0xC003, start);
    }
    req_set_scw w(0x22, s);
    QVERIFY(w.create_string_request().endsWith("F7FF"));
}

KQ_TEST_MAIN(tst_uhf_commands)
#include "tst_uhf_commands.moc"
