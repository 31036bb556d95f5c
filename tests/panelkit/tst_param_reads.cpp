#include "capture.h"
#include "panelkit/uhf_config.h"
#include "panelkit/uhf_params.h"
#include "satcmd/proto_exception.h"
#include "satcmd/uhf_module.h"
#include "sim_session.h"
#include "test_environment.h"

#include <QJsonArray>

#include <functional>
#include <memory>

using namespace kq::api::proto;
using kq::gui::find_uhf_param;
using kq::gui::uhf_config;
using kq::satsim::uhf_transceiver;
using kq::testing::capture;
using kq::testing::sim_session;

using state_change = std::function<void(uhf_transceiver::state_t&)>;
Q_DECLARE_METATYPE(state_change)

// What the parameter table reads is a value it would take on writing: one it
// would refuse is no value the transceiver holds (another command's answer
// of the same shape, come late). It is read again, then a read error; a
// backup holding it is never written.
class tst_param_reads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refused_values_are_read_errors_data();
    void refused_values_are_read_errors();
    void a_backup_keeps_what_it_read_data();
    void a_backup_keeps_what_it_read();

private:
    uhf_module& uhf() { return _s->module<uhf_module>(); }
    std::unique_ptr<sim_session> _s;
};

void tst_param_reads::init()
{
    _s = std::make_unique<sim_session>(module_type_uhf, sim_session::uhf_direct());
    _s->base().connect();
}

void tst_param_reads::cleanup()
{
    _s.reset();
}

void tst_param_reads::refused_values_are_read_errors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<state_change>("change");
    QTest::newRow("pipe timeout of 2 s")
        << "pipe-timeout" << state_change([](uhf_transceiver::state_t& s) { s.pipe_timeout = 2; });
    QTest::newRow("text beacon period 0")
        << "text-beacon-period"
        << state_change([](uhf_transceiver::state_t& s) { s.text_beacon_period = 0; });
    QTest::newRow("frequency outside the band")
        << "freq" << state_change([](uhf_transceiver::state_t& s) { s.rf_word = 0x9DD80930; });
}

void tst_param_reads::refused_values_are_read_errors()
{
    QFETCH(QString, name);
    QFETCH(state_change, change);
    const kq::gui::uhf_param_t* p = find_uhf_param(name);
    QVERIFY(p);
    QVERIFY(p->read(uhf(), [this] { return uhf().get_scw(); }).isValid()); // as it stands
    _s->sat().with_local([&](uhf_transceiver& t) {
        change(t.state());
        return 0;
    });
    const int before = _s->sat().link().commands_received();
    const auto e =
        capture<proto_exception>([&] { p->read(uhf(), [this] { return uhf().get_scw(); }); });
    QVERIFY(e);
    QCOMPARE(e->get_type(), proto_exception::invalid_result);
    QCOMPARE(e->get_exec_context(), name);
    QCOMPARE(_s->sat().link().commands_received() - before, 2); // read again before refused
    QVERIFY(capture<proto_exception>([&] { uhf_config::backup(uhf()); }));
}

void tst_param_reads::a_backup_keeps_what_it_read_data()
{
    QTest::addColumn<int>("code"); // of the read answered with garbage
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");
    QTest::newRow("a status value") << 0x02 << "uptime" << true;
    QTest::newRow("a parameter") << 0x01 << "freq" << false;
}

// A status value with no usable answer is left out and named; a parameter
// the file would lack fails the backup.
void tst_param_reads::a_backup_keeps_what_it_read()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(bool, saved);
    _s->sat().with_local([code](uhf_transceiver& t) {
        t.garble_reads_of(code);
        return 0;
    });
    if (!saved) {
        QVERIFY(capture<proto_exception>([&] { uhf_config::backup(uhf()); }));
        return;
    }
    const kq::gui::param_snapshot s = uhf_config::backup(uhf());
    QCOMPARE(s.status.value(uhf_config::not_read_key).toArray(), QJsonArray{name});
    QVERIFY(!s.status.contains(name));
    _s->sat().with_local([](uhf_transceiver& t) {
        t.garble_reads_of(-1);
        return 0;
    });
    QCOMPARE(s.parameters, uhf_config::backup(uhf()).parameters); // every parameter, as held
}

KQ_TEST_MAIN(tst_param_reads)
#include "tst_param_reads.moc"
