#include "firmware_image.h"
#include "meta_types.h"
#include "sim_session.h"
#include "test_environment.h"
#include "uhf_worker.h"
#include "worker_recorder.h"
#include "worker_thread.h"

#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/uhf_module.h"

#include <QSettings>
#include <QThread>

QT_WARNING_DISABLE_DEPRECATED

using kq::satsim::uhf_transceiver;
using kq::testing::sim_session;
using kq::testing::worker_recorder;
using radcfg::uhf_worker;
using namespace kq::api::proto;
using kq::gui::sat_worker;

// The UHF panel's worker in its own thread against the simulated transceiver.
class tst_uhf_worker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void reads_every_parameter();
    void writes_changed_values();
    void status_word_fields_in_one_write();
    void refused_value_reports_its_id();
    void reset_sets_the_reset_bit();
    void flash_leaves_the_image();
    void names();

private:
    uhf_transceiver::state_t local()
    {
        return _s->sat().with_local([](uhf_transceiver& t) { return t.state(); });
    }

    std::unique_ptr<sim_session> _s;
    std::unique_ptr<uhf_worker> _worker;
    std::unique_ptr<kq::testing::worker_thread> _thread;
};

void tst_uhf_worker::initTestCase()
{
    radcfg::register_meta_types();
    QSettings s;
    s.setValue("command/timeout_m", 300);
    s.setValue("command/timeout_l", 600);
    s.setValue("command/timeout_pipe", 2500);
}

void tst_uhf_worker::init()
{
    _s = std::make_unique<sim_session>(module_type_uhf,
                                       route_t{sim_session::hop(0x22, role_target)});
    _worker = std::make_unique<uhf_worker>(nullptr, &_s->module<uhf_module>());
    _thread = std::make_unique<kq::testing::worker_thread>();
    _worker->moveToThread(_thread.get());
    _thread->start();
}

void tst_uhf_worker::cleanup()
{
    _worker->stop();
    _thread->quit_and_wait();
    _worker.reset();
    _thread.reset();
    _s.reset();
}

void tst_uhf_worker::reads_every_parameter()
{
    worker_recorder r(*_worker);
    emit _worker->get_params({3, 4, 1, 7, 6, 8, 5, 17, 2, 15, 16, 9, 10, 12, 11, 13, 18, 19});
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 15000);
    QVERIFY(r.param_errors.isEmpty());
    const uhf_transceiver::state_t s = local();
    QCOMPARE(r.value(uhf_worker::version).toString(), s.version);
    QCOMPARE(r.value(uhf_worker::scw).toUInt(), uint(s.scw));
    QCOMPARE(r.value(uhf_worker::device_address).toUInt(), 0x22u);
    QCOMPARE(r.value(uhf_worker::pipe_timeout).toUInt(), uint(s.pipe_timeout));
    QCOMPARE(r.value(uhf_worker::dst_call_sign).toString(), s.dst_call_sign);
    QCOMPARE(r.value(uhf_worker::src_call_sign).toString(), s.src_call_sign);
    QCOMPARE(r.value(uhf_worker::morse_code).toString(), s.morse);
    QCOMPARE(r.value(uhf_worker::audio_beacon).toString(), s.midi);
    QCOMPARE(r.value(uhf_worker::text_beacon).toString(), s.text_beacon);
    QCOMPARE(r.value(uhf_worker::text_beacon_period).toUInt(), uint(s.text_beacon_period));
    QCOMPARE(r.value(uhf_worker::uart_baud_rate).toInt(), int(uart_baud_115200));
    QCOMPARE(r.value(uhf_worker::rf_mode).toInt(), (s.scw >> 8) & 7);
    QVERIFY(qAbs(r.value(uhf_worker::radio_frequency).toDouble() - 437e6) < 100);
    QCOMPARE(r.values.size(), 18);
}

void tst_uhf_worker::writes_changed_values()
{
    worker_recorder r(*_worker);
    const sat_worker::param_pairs_t changes{{uhf_worker::dst_call_sign, "QQ1AB"},
                                            {uhf_worker::text_beacon_period, 300u},
                                            {uhf_worker::radio_frequency, qulonglong(437050000)},
                                            {uhf_worker::version, "ignored"}};
    emit _worker->set_params(changes);
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 15000);
    QVERIFY(r.set_errors.isEmpty());
    QCOMPARE(r.written.size(), 3); // a read-only id is skipped
    QCOMPARE(r.written.at(0).first, uint32_t(uhf_worker::dst_call_sign));
    const uhf_transceiver::state_t s = local();
    QCOMPARE(s.dst_call_sign, QString("QQ1AB"));
    QCOMPARE(s.text_beacon_period, uint16_t(300));
    QCOMPARE(s.rf_word, kq::api::proto::kqttc::req_set_rf::freq_to_si4463(437050000));
}

void tst_uhf_worker::status_word_fields_in_one_write()
{
    worker_recorder r(*_worker);
    QStringList writes; // the frames that write, as the engine sends them
    connect(&_s->module<kq::api::proto::uhf_module>(), &kq::api::proto::kq_module::on_media_debug,
            &r, [&writes](kq::api::proto::flow_direction_e fd, const QString& line) {
                if (fd == kq::api::proto::flow_sent && line.startsWith("KQ+W"))
                    writes << line.left(8);
            });
    emit _worker->set_params({{uhf_worker::beacon_enabled, true}});
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 15000);
    // Reported as RF mode, beacon and UART speed, with the word's values.
    QCOMPARE(r.written.size(), 3);
    QCOMPARE(r.written.at(0).first, uint32_t(uhf_worker::rf_mode));
    QCOMPARE(r.written.at(1), (QPair<uint32_t, QVariant>(uhf_worker::beacon_enabled, true)));
    QCOMPARE(r.written.at(2).first, uint32_t(uhf_worker::uart_baud_rate));
    QCOMPARE(r.written.at(2).second.toInt(), int(uart_baud_115200));
    QVERIFY(local().scw & 0x40);
    QCOMPARE(writes, QStringList{"KQ+W2200"}); // the word, once
}

void tst_uhf_worker::refused_value_reports_its_id()
{
    worker_recorder r(*_worker);
    emit _worker->set_params({{uhf_worker::morse_code, "-.x"}, {uhf_worker::src_call_sign, "OK1"}});
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 15000);
    QCOMPARE(r.set_errors.size(), 1);
    QCOMPARE(r.set_errors.first().first, uint32_t(uhf_worker::morse_code));
    QCOMPARE(r.set_errors.first().second.get_proto_error(), proto_exception::parameter_error);
    QCOMPARE(local().morse, QString("-.- --.-"));
    QCOMPARE(local().src_call_sign, QString("OK1")); // the others still go
}

void tst_uhf_worker::reset_sets_the_reset_bit()
{
    worker_recorder r(*_worker);
    emit _worker->reset();
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 15000);
    QCOMPARE(r.control.first(), (QPair<int, int>(sat_worker::RESET, sat_worker::begin)));
    QCOMPARE(local().resets, 1u);
}

void tst_uhf_worker::flash_leaves_the_image()
{
    worker_recorder r(*_worker);
    const auto image = kq::satsim::firmware_image::generate(1024);
    emit _worker->flash(image.file);
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 30000);
    QVERIFY(r.set_errors.isEmpty());
    QCOMPARE(r.written.last().first, uint32_t(uhf_worker::flash_parameter));
    QCOMPARE(_s->sat().with_local([](uhf_transceiver& t) { return t.image(); }), image.data);

    // A refused line ends the flash with an error for the flash id.
    _s->sat().with_local([](uhf_transceiver& t) {
        t.refuse_flash_lines(100, QStringLiteral("ERR+LOCKED"));
        return 0;
    });
    worker_recorder again(*_worker);
    emit _worker->flash(image.file);
    QTRY_VERIFY_WITH_TIMEOUT(again.ended(), 30000);
    QCOMPARE(again.set_errors.size(), 1);
    QCOMPARE(again.set_errors.first().first, uint32_t(uhf_worker::flash_parameter));
}

void tst_uhf_worker::names()
{
    QCOMPARE(uhf_worker::parameter_name(2), QString("radio frequency"));
    QCOMPARE(uhf_worker::parameter_name(6), QString("RX packets with CRC errors"));
    QCOMPARE(uhf_worker::parameter_name(22), QString("beacon enabled"));
    QCOMPARE(uhf_worker::parameter_name(27), QString("RSSI"));
}

KQ_TEST_MAIN(tst_uhf_worker)
#include "tst_uhf_worker.moc"
