#include "fsps_unit.h"
#include "obc_computer.h"
#include "satcmd/kqttc/fsps_commands.h"
#include "satcmd/kqttc/obc_commands.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "test_environment.h"
#include "uhf_transceiver.h"

#include <QDate>
#include <QTime>

#include <functional>
#include <vector>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::sim_node;

namespace {

// One command: its request as the modules send it, and its response class.
// Answers of one family have the same shape and cannot be told apart by it
// (ten hex digits: the status word, the frequency, the counters, the pipe
// timeout and the periods); every other answer must be refused.
struct command_case
{
    QString name;
    QString family;
    sim_node* device;
    std::function<QString()> payload;
    std::function<void(const QString&)> parse;
};

template<typename MakeRequest, typename MakeResponse>
command_case make_case(const QString& name, const QString& family, sim_node& device,
                       MakeRequest request, MakeResponse response)
{
    return {name, family, &device,
            [request] {
                auto r = request();
                return r.create_string_request();
            },
            [request, response](const QString& line) {
                auto r = request();
                auto s = response(&r);
                s.parse_response(line);
            }};
}

template<typename Req, typename Res, typename... Args>
command_case plain_case(const QString& name, const QString& family, sim_node& device,
                        unsigned address, Args... args)
{
    return make_case(
        name, family, device, [=] { return Req(address, args...); },
        [](kqttc_request* r) { return Res(r); });
}

bool accepts(const command_case& c, const QString& answer)
{
    try {
        c.parse(answer);
        return true;
    } catch (const proto_exception&) {
        return false;
    }
}

} // namespace

// Every single-line answer of the simulated modules, given to every response
// class: each takes its own and refuses the others, where the shapes differ.
// The protocol names no command in its answers; a late answer to one command
// arriving while another waits is told apart by its shape alone.
class tst_answer_shapes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void each_answer_is_its_commands_alone_data();
    void each_answer_is_its_commands_alone();
    void counts_and_fields_are_checked_data();
    void counts_and_fields_are_checked();

private:
    kq::satsim::uhf_transceiver _uhf{0x22, true};
    kq::satsim::obc_computer _obc{0x11};
    kq::satsim::fsps_unit _fsps{0x31};
    std::vector<command_case> _cases;
};

void tst_answer_shapes::initTestCase()
{
    _obc.files().insert(QStringLiteral("A.TXT"), QByteArray("hello, orbit"));
    _fsps.set_values(4, 3);
    const QString ten_hex = QStringLiteral("ten hex digits");
    const QString ok = QStringLiteral("OK");
    const QString eight_hex = QStringLiteral("eight hex digits");
    const QString call_sign = QStringLiteral("call sign");
    const QString fsps_digit = QStringLiteral("FSPS digit");
    const unsigned u = 0x22, o = 0x11, f = 0x31;
    _cases = {
        plain_case<req_get_scw, res_get_scw>("scw", ten_hex, _uhf, u),
        plain_case<req_get_rf, res_get_rf>("rf", ten_hex, _uhf, u),
        plain_case<req_get_uptime, res_get_uptime>("uptime", ten_hex, _uhf, u),
        plain_case<req_get_tx_pkts, res_get_tx_pkts>("tx_pkts", ten_hex, _uhf, u),
        plain_case<req_get_rx_pkts, res_get_rx_pkts>("rx_pkts", ten_hex, _uhf, u),
        plain_case<req_get_rx_crc_pkts, res_get_rx_crc_pkts>("rx_crc_pkts", ten_hex, _uhf, u),
        plain_case<req_get_pipe_timeout, res_get_pipe_timeout>("pipe_timeout", ten_hex, _uhf, u),
        plain_case<req_get_text_beacon_period, res_get_text_beacon_period>("text_beacon_period",
                                                                           ten_hex, _uhf, u),
        plain_case<req_get_audio_beacon_period, res_get_audio_beacon_period>("audio_beacon_period",
                                                                             ten_hex, _uhf, u),
        plain_case<req_get_dst_call_sign, res_get_dst_call_sign>("dst_call_sign", call_sign, _uhf,
                                                                 u),
        plain_case<req_get_src_call_sign, res_get_src_call_sign>("src_call_sign", call_sign, _uhf,
                                                                 u),
        plain_case<req_get_morse_code_call_sign, res_get_morse_code_call_sign>("morse", {}, _uhf,
                                                                               u),
        plain_case<req_get_audio_beacon_midi, res_get_audio_beacon_midi>("midi", {}, _uhf, u),
        plain_case<req_get_version, res_get_version>("version", {}, _uhf, u),
        plain_case<req_get_payload_size, res_get_payload_size>("payload_size", {}, _uhf, u),
        plain_case<req_get_text_beacon_message, res_get_text_beacon_message>("text_beacon", {},
                                                                             _uhf, u),
        plain_case<req_get_fram_memory, res_get_fram_memory>("fram", {}, _uhf, u, 0x40u),
        // A read of n property bytes looks like any answer of 2n hex digits
        // (four bytes like a challenge): six have a shape of their own.
        plain_case<req_get_radio_transceiver_props, res_get_radio_transceiver_props>(
            "radio_props", {}, _uhf, u, uint8_t(0x10), uint8_t(0), uint8_t(6)),
        plain_case<req_get_secure_access, res_get_secure_access>("secure_access", eight_hex, _uhf,
                                                                 u),
        make_case(
            "set_scw", ok, _uhf,
            [=] {
                scw_properties scw(0x3003);
                return req_set_scw(u, scw);
            },
            [](kqttc_request* r) { return res_set_scw(r); }),
        plain_case<req_set_rf, res_set_rf>("set_rf", ok, _uhf, u, 437000000ull),
        plain_case<req_set_pipe_timeout, res_set_pipe_timeout>("set_pipe_timeout", ok, _uhf, u,
                                                               uint8_t(10)),
        plain_case<req_set_text_beacon_period, res_set_text_beacon_period>(
            "set_text_beacon_period", ok, _uhf, u, uint16_t(60)),
        plain_case<req_set_dst_call_sign, res_set_dst_call_sign>("set_dst_call_sign", ok, _uhf, u,
                                                                 QStringLiteral("CQ")),
        plain_case<req_set_text_beacon_message, res_set_text_beacon_message>(
            "set_text_beacon", ok, _uhf, u, QStringLiteral("HELLO")),
        plain_case<req_fsps_get_rf, res_fsps_get_rf>("fsps_rf", fsps_digit, _fsps, f),
        plain_case<req_get_fsps_attenuation, res_get_fsps_attenuation>("fsps_attenuation",
                                                                       fsps_digit, _fsps, f),
        plain_case<req_fsps_set_rf, res_fsps_set_rf>("fsps_set_rf", ok, _fsps, f, 5ull),
        plain_case<req_get_time, res_get_time>("obc_time", {}, _obc, o),
        plain_case<req_get_date, res_get_date>("obc_date", {}, _obc, o),
        plain_case<req_set_time, res_set_time>("obc_set_time", {}, _obc, o, QTime(12, 30, 0)),
        plain_case<req_set_date, res_set_date>("obc_set_date", {}, _obc, o, QDate(2026, 12, 10)),
        plain_case<req_get_obc_mode, res_get_obc_mode>("obc_mode", {}, _obc, o),
        plain_case<req_obc_checksum, res_obc_checksum>("obc_checksum", {}, _obc, o,
                                                       QStringLiteral("A.TXT")),
        make_case(
            "obc_open_read", eight_hex, _obc,
            [=] { return req_obc_file_open(o, QStringLiteral("A.TXT"), open_read); },
            [](kqttc_request* r) { return res_obc_file_open(open_read, r); }),
        plain_case<req_obc_file_close, res_obc_file_close>("obc_close", ok, _obc, o),
        make_case(
            "obc_open_write", ok, _obc,
            [=] { return req_obc_file_open(o, QStringLiteral("B.TXT"), open_write); },
            [](kqttc_request* r) { return res_obc_file_open(open_write, r); }),
        plain_case<req_obc_delete, res_obc_delete>("obc_delete", ok, _obc, o,
                                                   QStringLiteral("B.TXT")),
    };
}

void tst_answer_shapes::each_answer_is_its_commands_alone_data()
{
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < _cases.size(); ++i)
        QTest::newRow(qPrintable(_cases[i].name)) << int(i);
}

void tst_answer_shapes::each_answer_is_its_commands_alone()
{
    QFETCH(int, index);
    const command_case& own = _cases.at(size_t(index));
    const QStringList answers = own.device->handle(own.payload());
    QCOMPARE(answers.size(), 1);
    const QString& answer = answers.first();
    QVERIFY2(accepts(own, answer), qPrintable(answer));
    for (const command_case& other : _cases) {
        if (&other == &own || (!own.family.isEmpty() && other.family == own.family))
            continue;
        QVERIFY2(
            !accepts(other, answer),
            qPrintable(QStringLiteral("%1 took %2's answer %3").arg(other.name, own.name, answer)));
    }
}

// Within one shape, the fields the device fills in a fixed way.
void tst_answer_shapes::counts_and_fields_are_checked_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("taken");
    const auto row = [this](const char* tag, const QString& name, const QString& answer,
                            bool taken) {
        for (size_t i = 0; i < _cases.size(); ++i) {
            if (_cases[i].name == name)
                QTest::newRow(tag) << int(i) << answer << taken;
        }
    };
    row("status word of another address", "scw",
        "OK+C5330031"
        "40",
        false);
    row("status word of its own address", "scw",
        "OK+C5220031"
        "40",
        true);
    row("frequency with a 21-bit fraction", "rf", "OK+109DD81942", false);
    row("audio period with text after it", "audio_beacon_period", "OK+010000001E more", false);
    row("audio period it could not hold", "audio_beacon_period", "OK+010000000A", false);
    row("call sign unpadded", "dst_call_sign", "OK+CQ", false);
    row("call sign of seven", "dst_call_sign", "OK+KQ0SATX", false);
    row("call sign padded", "dst_call_sign", "OK+CQ    ", true);
    row("morse count and signs differ", "morse", "OK+05-.-.", false);
    row("morse count and signs agree", "morse", "OK+04-.-.", true);
    row("melody count and notes differ", "midi", "OK+0312C34D", false);
    row("version without a number", "version", "OK+KQ-UHF", false);
    row("version as a hex frame", "version", "OK+1A0C5F3E", false);
    row("version with a remark", "version",
        QString::fromLatin1("OK+KQ-UHF 2.4.1 \xb5"
                            "C"),
        true);
    row("props fewer than asked", "radio_props", "OK+0102", false);
    row("write answered by a read answer", "set_scw", "OK+C50000003C", false);
    row("write answered by a blank OK", "set_scw", " OK ", true);
    row("set time answered by a time read", "obc_set_time", "OK TIME 12:30:00", false);
    row("set time with a remark", "obc_set_time", "OK TIME SET", true);
    row("set date answered by a date read", "obc_set_date", "OK DATE YY/MM/DD 26/12/10", false);
    row("computer's write with a remark", "obc_delete", "OK deleted", true);
    row("computer's write answered by a time read", "obc_delete", "OK TIME 12:30:00", false);
    row("computer's write answered by a size", "obc_close", "OK+0000000C", false);
    row("open answered by a checksum", "obc_open_read", "OK+1234ABCD 0000000C", false);
}

void tst_answer_shapes::counts_and_fields_are_checked()
{
    QFETCH(int, index);
    QFETCH(QString, answer);
    QFETCH(bool, taken);
    QCOMPARE(accepts(_cases.at(size_t(index)), answer), taken);
}

KQ_TEST_MAIN(tst_answer_shapes)
#include "tst_answer_shapes.moc"
