#include "capture.h"
#include "loop_runner.h"
#include "satcmd/factory.h"
#include "satcmd/kqup/kqup_xband_module.h"
#include "satcmd/kqup/xband_data.h"
#include "satcmd/link_timing.h"
#include "satcmd/proto_exception.h"
#include "serline/serial_port.h"
#include "test_environment.h"
#include "virtual_serial_pair.h"
#include "xband_session.h"
#include "xband_transmitter.h"

#include <QThread>
#include <QtEndian>

#include <memory>
#include <zlib.h>

using namespace kq::api::proto;
using namespace kq::api::proto::kqup;
using kq::satsim::virtual_serial_pair;
using kq::satsim::xband_transmitter;
using kq::testing::capture;
using kq::testing::xband_session;

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace {

connect_props_t xband_route(uint16_t address = 0x40)
{
    module_connect_props_t hop;
    hop.dev_addr = address;
    hop.role = role_target;
    hop.module_type = module_type_xband;
    connect_props_t props;
    props.route.append(hop);
    return props;
}

// Answers each request frame read from the pair with the next scripted reply.
class scripted_device
{
public:
    scripted_device(virtual_serial_pair& pair, QList<QByteArray> replies)
        : _thread([&pair, this, replies](std::atomic<bool>&) {
            for (const QByteArray& r : replies) {
                QByteArray got = pair.read_exact(14, 3000);
                if (got.size() < 14)
                    return;
                const int n = qFromLittleEndian<quint16>(got.constData() + 6);
                got += pair.read_exact(n + 4, 3000);
                _requests << got;
                pair.write(r);
            }
        })
    {
    }
    ~scripted_device() { _thread.wait(-1); }
    // The request frames it read, once it has answered all it was given.
    const QList<QByteArray>& requests()
    {
        _thread.wait(-1);
        return _requests;
    }

private:
    QList<QByteArray> _requests;
    kq::testing::loop_runner _thread;
};

// A transmitter module on a line whose device the test plays.
struct scripted_line
{
    explicit scripted_line(uint16_t address = 0x40, int64_t timeout_ms = 2000)
        : port([&] {
            media::settings_t s;
            s.port_name = pair.port_name();
            s.timeout = timeout_ms;
            return s;
        }())
        , module(&port, xband_route(address))
    {
        port.open();
    }
    virtual_serial_pair pair;
    serial_port port;
    kqup_xband_module module;
};

} // namespace

class tst_kqup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void frames_byte_for_byte();
    void parse_cases_data();
    void parse_cases();
    void split_reply_is_assembled();
    void request_phase_failures();
    void answer_phase_request();
    void parameters_round_trip();
    void records_round_trip();
    void files_round_trip();
    void modes_and_refusals();
    void faults_of_the_transmitter();
    void late_and_out_of_order_replies_data();
    void late_and_out_of_order_replies();
    void reply_to_another_command_is_skipped();
    void late_reply_out_of_turn_is_awaited_data();
    void late_reply_out_of_turn_is_awaited();
    void replies_any_time_late_data();
    void replies_any_time_late();
    void oversized_request_is_refused_before_sending_data();
    void oversized_request_is_refused_before_sending();
    void payload_builders();
    void single_status_replies();
    void replies_of_another_shape_are_skipped_data();
    void replies_of_another_shape_are_skipped();
    void short_records_read_as_zeros_data();
    void short_records_read_as_zeros();

private:
    std::unique_ptr<xband_session> _s;
    xband_module& xb() { return _s->module(); }
};

void tst_kqup::init()
{
    _s = std::make_unique<xband_session>();
}

void tst_kqup::cleanup()
{
    _s.reset();
}

void tst_kqup::frames_byte_for_byte()
{
    kqup_packet_data_t p{0x0102, 0x0304, 257, 69, QByteArray("\x07", 1)};
    QByteArray frame;
    kqup_request::create_request(p, frame);
    const QByteArray head = QByteArray("KQUP") +
                            QByteArray::fromHex("0403"
                                                "0100"
                                                "0201"
                                                "0101"
                                                "4500") +
                            QByteArray("\x07", 1);
    QCOMPARE(frame.left(15), head);
    QCOMPARE(frame.size(), 19);
    const auto crc =
        ::crc32(0, reinterpret_cast<const Bytef*>(head.constData()), uInt(head.size()));
    QCOMPARE(qFromLittleEndian<quint32>(frame.constData() + 15), quint32(crc));

    kqup_request::create_request({1, 2, 258, 0, QByteArray()}, frame);
    QCOMPARE(frame.size(), 18);
    kqup_packet_data_t back;
    QCOMPARE(kqup_request::parse_response(frame, back), 0);
    QCOMPARE(back.dst_address, uint16_t(2)); // offset 4 holds the sender
    QCOMPARE(back.src_address, uint16_t(1));
    QCOMPARE(back.command, uint16_t(258));
    QVERIFY(back.payload.isEmpty());
}

void tst_kqup::parse_cases_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("missing");
    QTest::addColumn<QString>("error");
    const QByteArray big = xband_transmitter::frame(1, 1, 276, 5, QByteArray(1472, 'x'));
    QByteArray too_big = xband_transmitter::frame(1, 1, 276, 5, QByteArray(10, 'x'));
    too_big.replace(6, 2, QByteArray::fromHex("c105")); // 1473
    QByteArray bad_magic = xband_transmitter::frame(1, 1, 276, 5, "ok");
    bad_magic[1] = 'X';
    QByteArray bad_crc = xband_transmitter::frame(1, 1, 276, 5, "ok");
    bad_crc[15] = 'x';
    QTest::newRow("1472 accepted") << big << 0 << "";
    QTest::newRow("header missing") << big.left(5) << 9 << "";
    QTest::newRow("body missing") << big.left(20) << 1472 + 18 - 20 << "";
    QTest::newRow("1473 refused") << too_big << 0 << "E_SIZE";
    QTest::newRow("magic") << bad_magic << 0 << "E_MAGIC";
    QTest::newRow("crc") << bad_crc << 0 << "E_SRC";
    QTest::newRow("more than a frame")
        << xband_transmitter::frame(1, 1, 276, 5, "ok") + "K" << 0 << "E_SIZE_SHOULD_NOT_HAPPEND";
}

void tst_kqup::parse_cases()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, missing);
    QFETCH(QString, error);
    kqup_packet_data_t p;
    int got = -1;
    const auto e = capture<proto_exception>([&] { got = kqup_request::parse_response(buffer, p); });
    if (error.isEmpty()) {
        QVERIFY(!e);
        QCOMPARE(got, missing);
        return;
    }
    QVERIFY(e);
    QCOMPARE(QString(e->what()), error);
    QCOMPARE(e->get_exec_context(), QString("parse_response"));
    QCOMPARE(e->get_type(),
             error == "E_SRC" ? proto_exception::crc_error : proto_exception::general_error);
}

void tst_kqup::split_reply_is_assembled()
{
    _s->tx().split_replies(true);
    QCOMPARE(xb().get_tx_power(), uint8_t(20));
}

void tst_kqup::request_phase_failures()
{
    cleanup();
    scripted_line line;
    virtual_serial_pair& pair = line.pair;
    kqup_xband_module& m = line.module;
    {
        QByteArray bad = xband_transmitter::frame(0x40, 0x40, 256, 5, QByteArray());
        bad[bad.size() - 1] = char(bad.at(bad.size() - 1) ^ 1);
        scripted_device device(pair, {bad});
        const auto e = capture<proto_exception>([&] { m.get_tx_power(); });
        QVERIFY(e);
        QCOMPARE(e->get_type(), proto_exception::crc_error);
        QCOMPARE(device.requests().size(), 1);
        // The module writes before it returns: an answer phase would be here.
        QCOMPARE(pair.read_available(), QByteArray());
    }
    {
        scripted_device device(pair, {xband_transmitter::frame(0x40, 0x40, 256, 7, "\x2a")});
        const auto e = capture<proto_exception>([&] { m.get_tx_power(); });
        QVERIFY(e);
        QCOMPARE(e->get_type(), proto_exception::command_response_error);
        QCOMPARE(e->get_exec_context(), QString("REQUEST_PHASE"));
        QCOMPARE(QString(e->what()), QString("42"));
        QCOMPARE(int(e->get_code()), 256);
    }
    {
        scripted_device device(pair, {xband_transmitter::frame(0x40, 0x40, 256, 5, {}),
                                      xband_transmitter::frame(0x40, 0x40, 276, 9, "\x00")});
        const auto e = capture<proto_exception>([&] { m.get_tx_power(); });
        QVERIFY(e);
        QCOMPARE(e->get_exec_context(), QString("ANSWER_PHASE"));
        QCOMPARE(QString(e->what()), QString("9"));
    }
    init();
}

void tst_kqup::answer_phase_request()
{
    cleanup();
    scripted_line line(0x0A0B);
    virtual_serial_pair& pair = line.pair;
    kqup_xband_module& m = line.module;
    {
        scripted_device device(pair, {xband_transmitter::frame(1, 1, 257, 5, {}),
                                      xband_transmitter::frame(1, 1, 276, 5, QByteArray(1, '\0'))});
        m.set_pilot_signal(xband_pilot_signal_status_e(1));
        QCOMPARE(device.requests().size(), 2);
        const QByteArray first = device.requests().at(0);
        QCOMPARE(first.mid(4, 2), QByteArray::fromHex("0b0a"));
        QCOMPARE(qFromLittleEndian<quint16>(first.constData() + 10), quint16(257));
        QCOMPARE(qFromLittleEndian<quint16>(first.constData() + 12), quint16(69));
        QCOMPARE(first.mid(14, 1), QByteArray("\x01"));
        const QByteArray second = device.requests().at(1);
        QCOMPARE(qFromLittleEndian<quint16>(second.constData() + 10), quint16(276));
        QCOMPARE(qFromLittleEndian<quint16>(second.constData() + 12), quint16(257));
        QCOMPARE(second.mid(14, 2), QByteArray(2, '\0'));
        QCOMPARE(second.size(), 20);
    }
    {
        scripted_device device(
            pair, {xband_transmitter::frame(1, 1, 256, 5, {}),
                   xband_transmitter::frame(1, 1, 276, 5, QByteArray::fromHex("0001"))});
        QCOMPARE(int(m.get_pilot_signal()), 1);
        QCOMPARE(qFromLittleEndian<quint16>(device.requests().at(0).constData() + 12), quint16(69));
    }
    {
        // Load mode and send files share command 273; only send files carries a payload.
        scripted_device device(pair, {xband_transmitter::frame(1, 1, 273, 5, {}),
                                      xband_transmitter::frame(1, 1, 276, 5, QByteArray(1, '\0')),
                                      xband_transmitter::frame(1, 1, 273, 5, {}),
                                      xband_transmitter::frame(1, 1, 276, 5, QByteArray(1, '\0'))});
        m.load_mode();
        m.send_files(xband_file_status_e(2), "A");
        QCOMPARE(device.requests().at(0).size(), 18);
        QCOMPARE(qFromLittleEndian<quint16>(device.requests().at(2).constData() + 10),
                 quint16(273));
        QVERIFY(device.requests().at(2).size() > 18);
    }
    init();
}

void tst_kqup::parameters_round_trip()
{
    xb().set_symbol_rate(7);
    QCOMPARE(xb().get_symbol_rate(), uint8_t(7));
    xb().set_tx_power(33);
    QCOMPARE(xb().get_tx_power(), uint8_t(33));
    xb().set_central_frequency(8100.25f);
    QCOMPARE(xb().get_central_frequency(), 8100.25f);
    xb().set_modcod(28);
    QCOMPARE(xb().get_modcod(), uint8_t(28));
    xb().set_roll_off(xband_roll_off_e(2));
    QCOMPARE(int(xb().get_roll_off()), 2);
    xb().set_pilot_signal(xband_pilot_signal_status_e(0));
    QCOMPARE(int(xb().get_pilot_signal()), 0);
    xb().set_fec_frame_size(xband_fec_frame_size_e(1));
    QCOMPARE(int(xb().get_fec_frame_size()), 1);
}

void tst_kqup::records_round_trip()
{
    xband_all_parameters_t p;
    p.symbol_rate = 5;
    p.tx_power = 9;
    p.central_frequency = 7999.5f;
    p.modcod = 3;
    p.roll_off = xband_roll_off_e(1);
    p.pilot_signal = xband_pilot_signal_status_e(1);
    p.fec_frame_size = xband_fec_frame_size_e(0);
    p.parameters_word = 0xA55A;
    xb().set_all_parameters(p);
    QCOMPARE(_s->tx().last_request_payload().size(), 14);
    QCOMPARE(_s->tx().last_request_payload().mid(2, 2), QByteArray(2, '\0'));
    const xband_all_parameters_t back = xb().get_all_parameters(); // bytes 2-3 come back as BEEF
    QCOMPARE(back.symbol_rate, 5u);
    QCOMPARE(back.tx_power, 9u);
    QCOMPARE(back.central_frequency, 7999.5f);
    QCOMPARE(back.modcod, 3u);
    QCOMPARE(int(back.roll_off), 1);
    QCOMPARE(back.parameters_word, 0xA55Au);

    const xband_simple_report_t r1 = xb().get_simple_report();
    QCOMPARE(r1.report_byte_1, uint8_t(9));
    const xband_full_report_t f = xb().get_full_report();
    QCOMPARE(f.report_byte_1, uint8_t(9));
    QCOMPARE(f.report_word_3, uint16_t(0x55AA));
    QCOMPARE(f.report_float_1, 5.02f);
    QCOMPARE(f.report_float_3, 7999.5f);
    // Telemetry moves: the uptime counts whole seconds.
    QTRY_VERIFY_WITH_TIMEOUT(xb().get_simple_report().report_word_0 > r1.report_word_0, 3000);
}

void tst_kqup::files_round_trip()
{
    unsigned int h1 = 0, h2 = 0;
    xb().create_file("LOG.BIN", 3000, h1);
    xb().create_file("B.TXT", 10, h2);
    QVERIFY(h1 != h2);
    QByteArray data(1300, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    for (int at = 0; at < data.size(); at += 500)
        xb().write_file(h1, unsigned(at), data.mid(at, 500));
    QCOMPARE(_s->tx().files().value("LOG.BIN"), data);

    QVector<xband_file_entry_t> entries;
    xb().dir(entries);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).name, QString("B.TXT"));
    QCOMPARE(entries.at(1).name, QString("LOG.BIN"));
    QCOMPARE(entries.at(1).size, 1300u);

    unsigned int handle = 0, size = 0;
    xb().open_file("LOG.BIN", handle, size);
    QCOMPARE(size, 1300u);
    QByteArray back;
    unsigned int left = 1;
    while (left > 0) {
        QByteArray piece;
        xb().read_file(handle, left, piece);
        back += piece;
    }
    QCOMPARE(back, data);

    xb().delete_file("B.TXT");
    xb().dir(entries);
    QCOMPARE(entries.size(), 1);
    xb().delete_all_files();
    xb().dir(entries);
    QVERIFY(entries.isEmpty());
}

void tst_kqup::modes_and_refusals()
{
    xb().tx_mode();
    QCOMPARE(_s->tx().mode(), QString("TX"));
    xb().load_mode();
    QCOMPARE(_s->tx().mode(), QString("LOAD"));
    unsigned handle = 0;
    xb().create_file("X", 1, handle);
    xb().write_file(handle, 0, "x");
    xb().send_files(xband_file_status_e(1), "X");
    QCOMPARE(_s->tx().mode(), QString("SEND"));
    xb().shutdown();
    QCOMPARE(_s->tx().mode(), QString("OFF"));

    const auto refusal = [&](auto f) {
        const auto e = capture<proto_exception>(f);
        return e ? QString("%1 %2").arg(e->get_exec_context(), e->what()) : QString("none");
    };
    QCOMPARE(refusal([&] { xb().delete_file("NOPE"); }), QString("exec_command 1"));
    QCOMPARE(refusal([&] { xb().update_fw("NOPE.BIN"); }), QString("exec_command 1"));
    QCOMPARE(refusal([&] { xb().send_files(xband_file_status_e(1), "NOPE"); }),
             QString("exec_command 1"));
    QCOMPARE(refusal([&] { xb().write_file(999, 0, "x"); }), QString("exec_command 2"));
    unsigned a = 0, b = 0;
    QCOMPARE(refusal([&] { xb().open_file("NOPE", a, b); }), QString("exec_command 1"));
}

void tst_kqup::faults_of_the_transmitter()
{
    const auto kind = [&](auto arm) {
        xb().get_modcod(); // the line made clean after the last row's fault
        arm();
        try {
            xb().get_modcod();
        } catch (const proto_exception& e) {
            QByteArray rest; // of the spoilt reply: gone once the line falls quiet
            _s->port().drain(rest, link_timing::min_quiet_ms, 50 * link_timing::min_quiet_ms);
            return QString::fromUtf8(e.what());
        } catch (const media_exception& e) {
            return QString("media %1").arg(int(e.get_type()));
        }
        return QString("none");
    };
    QCOMPARE(kind([&] { _s->tx().corrupt_crc(1); }), QString("E_SRC"));
    // A spoilt magic is garbage: the reader looks past it for a frame.
    QCOMPARE(kind([&] { _s->tx().corrupt_magic(1); }), QString("media 1"));
    QCOMPARE(kind([&] { _s->tx().oversize(1); }), QString("E_SIZE"));
    QCOMPARE(kind([&] { _s->tx().stay_silent(1); }), QString("media 1"));
    QCOMPARE(kind([&] { _s->tx().garbage_before_replies(2); }), QString("none"));
    QCOMPARE(xb().get_modcod(), uint8_t(11));
}

void tst_kqup::late_and_out_of_order_replies_data()
{
    QTest::addColumn<int>("held_ms");
    QTest::addColumn<int>("replies");
    QTest::newRow("request phase 1.5x late") << 1500 << 1;
    QTest::newRow("answer phase 1.2x late") << 1200 << 2;
    QTest::newRow("request phase 2x late") << 2000 << 1;
}

// A reply held past its request's timeout and overtaken by the replies
// after it: that command fails, and the commands after it each read their
// own value, whenever the late one comes within twice the timeout.
void tst_kqup::late_and_out_of_order_replies()
{
    QFETCH(int, held_ms);
    QFETCH(int, replies);
    if (replies == 2)
        QCOMPARE(xb().get_tx_power(), uint8_t(20)); // its request phase goes on time
    _s->tx().set_late_in_order(false);
    _s->tx().hold_replies(1, held_ms);
    QVERIFY(capture<media_exception>([&] { xb().get_symbol_rate(); }));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(xb().get_modcod(), uint8_t(11));
        QCOMPARE(xb().get_tx_power(), uint8_t(20));
    }
}

namespace {

QByteArray read_request(virtual_serial_pair& pair, int timeout_ms)
{
    QByteArray got = pair.read_exact(14, timeout_ms);
    if (got.size() < 14)
        return got;
    const int n = qFromLittleEndian<quint16>(got.constData() + 6);
    return got + pair.read_exact(n + 4, 3000);
}

QByteArray reply(uint16_t command, uint16_t type, const QByteArray& payload = {})
{
    return xband_transmitter::frame(0x40, 0x40, command, type, payload);
}

} // namespace

// The answer phase first sees a stale request-phase reply: it is not the
// answer and is waited past.
void tst_kqup::reply_to_another_command_is_skipped()
{
    cleanup();
    scripted_line line;
    virtual_serial_pair& pair = line.pair;
    kqup_xband_module& m = line.module;
    scripted_device device(
        pair, {reply(256, 5), reply(256, 5) + reply(276, 5, QByteArray("\x00\x0b", 2))});
    QCOMPARE(m.get_modcod(), uint8_t(11));
    init();
}

void tst_kqup::late_reply_out_of_turn_is_awaited_data()
{
    QTest::addColumn<bool>("in_turn");
    QTest::newRow("late answer, then the probe's reply") << true;
    QTest::newRow("the probe's reply first, out of turn") << false;
}

// The transmitter answers a command's answer phase late: the next command
// is sent only once the line is clean, after a probe's reply, and does not
// take the late answer for its own, in whichever order the two come.
void tst_kqup::late_reply_out_of_turn_is_awaited()
{
    QFETCH(bool, in_turn);
    cleanup();
    scripted_line line(0x40, 1000);
    virtual_serial_pair& pair = line.pair;
    kqup_xband_module& m = line.module;
    QByteArray probe;
    kq::testing::loop_runner device([&](std::atomic<bool>&) {
        read_request(pair, 3000);
        pair.write(reply(256, 5));
        read_request(pair, 3000); // the first answer phase: held back
        probe = read_request(pair, 3000);
        const QByteArray late = reply(276, 5, QByteArray("\x00\x03", 2));
        pair.write(in_turn ? late + reply(256, 5) : reply(256, 5) + late);
        read_request(pair, 3000);
        pair.write(reply(256, 5));
        read_request(pair, 3000);
        pair.write(reply(276, 5, QByteArray("\x00\x0b", 2)));
    });
    QVERIFY(capture<media_exception>([&] { m.get_symbol_rate(); }));
    QCOMPARE(m.get_modcod(), uint8_t(11));
    QVERIFY(device.wait(5000));
    QCOMPARE(probe.size(), 18); // a request phase with no payload
    QCOMPARE(qFromLittleEndian<quint16>(probe.constData() + 10), quint16(256));
    init();
}

void tst_kqup::replies_any_time_late_data()
{
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("late_min");
    QTest::addColumn<int>("late_max");
    QTest::addColumn<int>("count");
    QTest::newRow("10 % of replies 1.2-10 timeouts late") << 0.1 << 12 << 100 << 100;
    QTest::newRow("25 % of replies 3-10 timeouts late") << 0.25 << 30 << 100 << 50;
}

// Replies held back, any time late, on a line that keeps their order: every
// value read is the transmitter's, or the read fails; never another's.
void tst_kqup::replies_any_time_late()
{
    QFETCH(double, rate);
    QFETCH(int, late_min);
    QFETCH(int, late_max);
    QFETCH(int, count);
    const int timeout_ms = kq::testing::sanitized ? 150 : 50;
    _s = std::make_unique<xband_session>(timeout_ms);
    xband_transmitter::parameters_t p; // every value distinct from the others
    p.roll_off = 2;
    p.pilot_signal = 1;
    p.fec_frame_size = 0;
    _s->tx().set_parameters(p);
    _s->tx().set_late_in_order(true);
    _s->tx().set_late_rate(rate, late_min * timeout_ms / 10, late_max * timeout_ms / 10, 7);
    const std::function<int()> reads[] = {
        [&] { return int(xb().get_symbol_rate()); },
        [&] { return int(xb().get_tx_power()); },
        [&] { return int(xb().get_modcod()); },
        [&] { return int(xb().get_roll_off()); },
        [&] { return int(xb().get_pilot_signal()); },
        [&] { return int(xb().get_fec_frame_size()); },
        [&] { return int(xb().get_central_frequency() * 2); },
        [&] { return int(xb().get_all_parameters().tx_power) + 1000; },
        [&] { return int(xb().get_simple_report().report_byte_1) + 2000; },
        [&] { return int(xb().get_full_report().report_byte_1) + 3000; },
    };
    const int expected[] = {p.symbol_rate,
                            p.tx_power,
                            p.modcod,
                            p.roll_off,
                            p.pilot_signal,
                            p.fec_frame_size,
                            int(p.central_frequency * 2),
                            p.tx_power + 1000,
                            p.tx_power + 2000,
                            p.tx_power + 3000};
    int right = 0, failed = 0;
    for (int i = 0; i < count; ++i) {
        const size_t k = size_t(i) % std::size(reads);
        try {
            const int value = reads[k]();
            QCOMPARE(value, expected[k]);
            ++right;
        } catch (const std::exception&) {
            ++failed;
        }
    }
    QVERIFY2(failed > 0, "no reply came late");
    QVERIFY2(right >= count / 4, qPrintable(QString("only %1 reads right").arg(right)));
    _s->tx().set_late_rate(0, 0, 0);
    QCOMPARE(int(xb().get_modcod()), int(p.modcod)); // the line clean again
}

void tst_kqup::oversized_request_is_refused_before_sending_data()
{
    QTest::addColumn<int>("payload");
    QTest::addColumn<bool>("refused");
    QTest::newRow("the limit") << 1472 << false;
    QTest::newRow("one more") << 1473 << true;
    QTest::newRow("wraps the length field") << 65536 + 4 << true;
}

void tst_kqup::oversized_request_is_refused_before_sending()
{
    QFETCH(int, payload);
    QFETCH(bool, refused);
    kqup_packet_data_t packet{0x40, 0x40, kqup_cmd::write_file, kqup_type::none,
                              QByteArray(payload, 'w')};
    QByteArray frame;
    const auto e = capture<proto_exception>([&] { kqup_request::create_request(packet, frame); });
    QCOMPARE(bool(e), refused);
    if (!refused) {
        QCOMPARE(frame.size(), payload + 18);
        return;
    }
    QCOMPARE(e->get_type(), proto_exception::parameter_error);
    QCOMPARE(QString(e->what()), QString("INVALID_PAYLOAD_LENGTH"));
    QVERIFY(frame.isEmpty());
}

void tst_kqup::payload_builders()
{
    QByteArray p;
    xband_data::create_cmd_write_file_payload(0x01020304, 0x10, "ab", p);
    QCOMPARE(p.toHex(), QByteArray("0002"
                                   "01020304"
                                   "00000010"
                                   "00000002"
                                   "6162"));
    xband_data::create_cmd_read_file_payload(7, p);
    QCOMPARE(p.toHex(), QByteArray("00000007"));
    xband_data::create_cmd_send_files_payload(xband_file_status_e(3), "A", p);
    QCOMPARE(p.toHex(), QByteArray("00000002"
                                   "0041"
                                   "00000000"
                                   "0003"));

    QVector<xband_file_entry_t> entries{{"stale", 1}};
    xband_data::parse_cmd_dir_result(QByteArray(1, '\0'), entries);
    QVERIFY(entries.isEmpty());
    unsigned value = 0;
    QByteArray data;
    xband_data::parse_cmd_read_file_result(QByteArray::fromHex("00"
                                                               "0002"
                                                               "00000009"
                                                               "7a7b"),
                                           value, data);
    QCOMPARE(value, 9u);
    QCOMPARE(data, QByteArray("z{"));
    int mode = 0;
    xband_data::parse_xband_load_mode_result(QByteArray("\xfe", 1), mode);
    QCOMPARE(mode, -2);
    const auto e =
        capture<proto_exception>([&] { xband_data::parse_xband_load_mode_result("ab", mode); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("invalid status value"));

    xband_all_parameters_packed_t w;
    w.central_frequency = 1.5f;
    w.parameters_word = 0x0102;
    const QByteArray record = xband_data::pack(w);
    QCOMPARE(record.size(), 14);
    QCOMPARE(record.mid(12), QByteArray::fromHex("0201"));
    QByteArray with_reserved = record;
    with_reserved[2] = '\x77';
    with_reserved[3] = '\x66';
    QCOMPARE(xband_data::pack(xband_data::unpack_all_parameters(with_reserved)), record);
    QCOMPARE(xband_data::pack(xband_full_report_packed_t()).size(), 36);
}

void tst_kqup::short_records_read_as_zeros_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("empty") << QByteArray();
    // The fuzzer's first find: the report bytes were copied past the end.
    QTest::newRow("five bytes") << QByteArray("\x00\x07\x00\x00\x00", 5);
    QTest::newRow("header only") << QByteArray::fromHex("0114070009ef");
    QTest::newRow("one float short") << QByteArray(32, '\x11');
}

void tst_kqup::short_records_read_as_zeros()
{
    QFETCH(QByteArray, record);
    const xband_full_report_packed_t r = xband_data::unpack_full_report(record);
    const QByteArray padded = record.leftJustified(xband_full_report_packed_t::size, '\0');
    QCOMPARE(xband_data::pack(r), padded);
}

void tst_kqup::single_status_replies()
{
    xband_cmd_set_result_t r;
    const auto empty = capture<proto_exception>([&] { xband_data::parse_cmd_set_result({}, &r); });
    QVERIFY(empty);
    QCOMPARE(QString(empty->what()), QString("data length missmatch"));
    QCOMPARE(int(empty->get_code()), 257);
    xband_data::parse_cmd_set_result(QByteArray(1, '\0'), &r);
    QCOMPARE(int(r.status), 0);

    cleanup();
    scripted_line line;
    virtual_serial_pair& pair = line.pair;
    kqup_xband_module& m = line.module;
    {
        scripted_device device(
            pair, {xband_transmitter::frame(1, 1, 256, 5, {}),
                   xband_transmitter::frame(1, 1, 276, 5, QByteArray::fromHex("000c"))});
        QCOMPARE(m.get_tx_power(), uint8_t(12));
    }
    {
        scripted_device device(pair,
                               {xband_transmitter::frame(1, 1, 256, 5, {}),
                                xband_transmitter::frame(1, 1, 276, 5, QByteArray::fromHex("03"))});
        const auto e = capture<proto_exception>([&] { m.get_tx_power(); });
        QVERIFY(e);
        QCOMPARE(e->get_type(), proto_exception::command_response_error);
        QCOMPARE(QString(e->what()), QString("3"));
        QCOMPARE(e->get_exec_context(), QString("_command_get_value"));
    }
    init();
}

void tst_kqup::replies_of_another_shape_are_skipped_data()
{
    QTest::addColumn<QByteArray>("late");
    QTest::addColumn<bool>("records");
    // A reply one byte too long is another parameter's; a bare 0 a write's
    // reply come late, and no value of zeros.
    QTest::newRow("three bytes for a byte") << QByteArray::fromHex("000102") << false;
    QTest::newRow("a bare 0 for a byte") << QByteArray(1, '\0') << false;
    QTest::newRow("a bare 0 for the record") << QByteArray(1, '\0') << true;
    QTest::newRow("a byte's reply for the record") << QByteArray::fromHex("0014") << true;
}

// An answer-phase reply whose shape is not the read's is skipped as
// another command's: the read takes the one that follows it, or none.
void tst_kqup::replies_of_another_shape_are_skipped()
{
    QFETCH(QByteArray, late);
    QFETCH(bool, records);
    cleanup();
    scripted_line line;
    QByteArray own = QByteArray::fromHex("000c");
    if (records)
        own = QByteArray(1, '\0') + QByteArray(xband_all_parameters_packed_t::size, '\x0c');
    scripted_device device(line.pair, {xband_transmitter::frame(1, 1, 256, 5, {}),
                                       xband_transmitter::frame(1, 1, 276, 5, late) +
                                           xband_transmitter::frame(1, 1, 276, 5, own)});
    const auto read = [&] {
        return records ? int(line.module.get_all_parameters().tx_power)
                       : int(line.module.get_tx_power());
    };
    QCOMPARE(read(), 12);
    device.requests();
    init();
}

KQ_TEST_MAIN(tst_kqup)
#include "tst_kqup.moc"

QT_WARNING_POP
