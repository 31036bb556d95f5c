#include "lock_limit.h"
#include "loop_runner.h"
#include "panelkit/resource_manager.h"
#include "panelkit/sat_worker.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "sim_session.h"
#include "test_environment.h"
#include "worker_recorder.h"
#include "worker_thread.h"

#include <QSemaphore>
#include <QSettings>
#include <QThread>

#include <atomic>
#include <memory>

using namespace kq::api::proto;
using kq::gui::resource_manager;
using kq::gui::sat_worker;
using kq::testing::sim_session;

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace {

// A worker that reads the transceiver's status word for every id and counts
// what ran.
class test_worker : public sat_worker
{
public:
    using sat_worker::sat_worker;
    std::atomic<int> reads{0}, pre_ops{0}, post_ops{0};
    std::atomic<int> pause_after_read_ms{0}; // a stop ends the pause

    bool from_cache(uint32_t id) { return _emit_param_value_from_cache(id); }
    void cache(uint32_t id, const QVariant& v) { _cache_parameter_and_emit_signal(id, v, false); }
    void age(uint32_t id, int seconds)
    {
        _age_cache_entry(id, QDateTime::currentDateTime().addSecs(-seconds));
    }
    bool exec_func(const std::function<void()>& fn) { return _try_exec_func(READ, fn); }
    void exec_op(const std::function<void()>& fn) { _try_exec_op(READ, fn); }
    void start_running() { _connect_module(); }

protected:
    void _get_param(uint32_t id) override
    {
        ++reads;
        auto& uhf = dynamic_cast<kqttc::kqttc_uhf_module&>(*_module);
        _cache_parameter_and_emit_signal(id, int(uhf.get_scw().get_value()));
        _pause(pause_after_read_ms.load());
    }
    void _set_param(uint32_t id, const QVariant& value) override
    {
        dynamic_cast<kqttc::kqttc_uhf_module&>(*_module).set_pipe_timeout(uchar(value.toInt()));
        emit on_set_param(id, value);
    }
    void _execute_pre_ops() override { ++pre_ops; }
    void _execute_post_ops() override { ++post_ops; }
};

// Counts stop requests reaching the module.
class counting_uhf : public kqttc::kqttc_uhf_module
{
public:
    using kqttc_uhf_module::kqttc_uhf_module;
    std::atomic<int> stops{0};
    void stop_request() override
    {
        ++stops;
        kqttc_uhf_module::stop_request();
    }
};

// What the worker reported, gathered in the test's thread.
using record = kq::testing::worker_recorder;

} // namespace

// The worker in its own thread against a real module on the simulator.
class tst_sat_worker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void empty_read_still_frames();
    void reads_and_writes_parameters();
    void stop_during_walk();
    void connect_timeout_two_hops_drains_the_pipe();
    void connect_timeout_one_hop();
    void stop_ends_pipe_drain();
    void busy_module();
    void cache_two_second_rule();
    void guarded_calls();
    void refused_setting_ends_the_operation();

private:
    void start(const route_t& route);
    std::unique_ptr<sim_session> _s;
    std::unique_ptr<counting_uhf> _uhf;
    std::unique_ptr<test_worker> _worker;
    std::unique_ptr<kq::testing::worker_thread> _thread;
};

void tst_sat_worker::initTestCase()
{
    QCoreApplication::setOrganizationName("Quorvane");
    QCoreApplication::setApplicationName("kqconf");
    qRegisterMetaType<error_descriptor>();
    qRegisterMetaType<sat_worker::param_pairs_t>();
    qRegisterMetaType<sat_worker::connection_state_e>();
    qRegisterMetaType<sat_worker::operation_type_e>();
    qRegisterMetaType<sat_worker::operation_status_e>();
    QSettings s;
    s.setValue("command/timeout_m", 250);
    s.setValue("command/repeats_m", 0);
    s.setValue("command/timeout_pipe", 800);
}

// A hand-edited retry count of -1 would have been four billion repeats: the
// operation ends with an error naming the key, and nothing is sent.
void tst_sat_worker::refused_setting_ends_the_operation()
{
    start({sim_session::hop(0x22, role_target)});
    QSettings().setValue("command/repeats_m", -1);
    record r(*_worker);
    const int before = _s->sat().link().commands_received();
    emit _worker->get_params({1, 2, 3});
    QTRY_VERIFY(r.ended());
    QSettings().setValue("command/repeats_m", 0);
    QCOMPARE(r.operation_errors.size(), 1);
    QVERIFY2(r.operation_errors.first().get_message().contains("command/repeats_m"),
             qPrintable(r.operation_errors.first().get_message()));
    QVERIFY(r.values.isEmpty());
    QCOMPARE(_s->sat().link().commands_received(), before);
}

void tst_sat_worker::start(const route_t& route)
{
    _s = std::make_unique<sim_session>(module_type_uhf, route);
    connect_props_t props;
    props.route = route;
    _uhf = std::make_unique<counting_uhf>(&_s->port(), props);
    _worker = std::make_unique<test_worker>(nullptr, _uhf.get());
    _thread = std::make_unique<kq::testing::worker_thread>();
    _worker->moveToThread(_thread.get());
    _thread->start();
}

void tst_sat_worker::init()
{
}

void tst_sat_worker::cleanup()
{
    if (_thread) {
        _worker->stop();
        _thread->quit_and_wait();
    }
    _worker.reset();
    _thread.reset();
    _uhf.reset();
    _s.reset();
}

void tst_sat_worker::empty_read_still_frames()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    emit _worker->get_params({});
    QTRY_VERIFY(r.ended());
    QCOMPARE(r.control, (QList<QPair<int, int>>{{sat_worker::READ, sat_worker::begin},
                                                {sat_worker::READ, sat_worker::end}}));
    QCOMPARE(r.states,
             (QList<int>{sat_worker::connecting, sat_worker::connected, sat_worker::disconnected}));
    QCOMPARE(_worker->pre_ops.load(), 1);
    QCOMPARE(_worker->post_ops.load(), 1);
    QVERIFY(!_s->port().is_open());
    QCOMPARE(_worker->get_module_config().timeout_m, 250);
    QCOMPARE(_uhf->get_module_config().timeout_pipe, 800);
}

void tst_sat_worker::reads_and_writes_parameters()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    emit _worker->get_params({1, 2, 3});
    QTRY_VERIFY(r.ended());
    QCOMPARE(r.values.size(), 3);
    QCOMPARE(r.values.at(2), (QPair<uint32_t, QVariant>(3, 0x3003)));
    QList<uint32_t> written;
    QObject receiver;
    connect(_worker.get(), &sat_worker::on_set_param, &receiver,
            [&](uint32_t id, const QVariant&) { written << id; });
    r.control.clear();
    emit _worker->set_params({{7, 33}});
    QTRY_VERIFY(r.ended());
    QCOMPARE(written, QList<uint32_t>{7});
    QCOMPARE(_s->sat().with_local(
                 [](kq::satsim::uhf_transceiver& t) { return int(t.state().pipe_timeout); }),
             33);
}

void tst_sat_worker::stop_during_walk()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    _worker->pause_after_read_ms = 60000; // the walk waits for the stop after its first read
    QVector<uint32_t> ids;
    for (uint32_t i = 0; i < 100; ++i)
        ids << i;
    emit _worker->get_params(ids);
    QTRY_VERIFY(!r.values.isEmpty());
    _worker->stop();
    _worker->stop();
    QTRY_VERIFY(r.ended());
    QVERIFY(_worker->reads.load() < 100);
    QVERIFY(r.param_errors.size() <= 1); // at most the read the stop broke off
    QCOMPARE(_uhf->stops.load(), 1);
    QVERIFY(!_s->port().is_open());
    QCOMPARE(r.states.last(), int(sat_worker::disconnected));
}

void tst_sat_worker::connect_timeout_two_hops_drains_the_pipe()
{
    start(sim_session::uhf_relayed());
    record r(*_worker);
    _s->sat().link().drop_answers(1000000);
    QElapsedTimer t;
    t.start();
    emit _worker->get_params({1});
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 5000);
    QCOMPARE(r.states, (QList<int>{sat_worker::connecting, sat_worker::pipe_drain,
                                   sat_worker::disconnected, sat_worker::disconnected}));
    QVERIFY(t.elapsed() >= 800);
    QCOMPARE(r.connection_errors.size(), 1);
    QCOMPARE(r.connection_errors.first().get_media_error(), media_exception::timeout);
    QCOMPARE(_worker->reads.load(), 0);
}

void tst_sat_worker::connect_timeout_one_hop()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    _s->sat().link().drop_answers(1000000);
    // A one-hop route sends nothing while connecting; the first read times out.
    emit _worker->connect_module();
    QTRY_COMPARE(r.states, (QList<int>{sat_worker::connecting, sat_worker::connected}));
    connect_props_t props = _uhf->get_connect_props();
    props.probe = true;
    _uhf->set_connect_props(props);
    r.states.clear();
    emit _worker->connect_module();
    QTRY_COMPARE_WITH_TIMEOUT(
        r.states, (QList<int>{sat_worker::connecting, sat_worker::disconnected}), 15000);
}

void tst_sat_worker::stop_ends_pipe_drain()
{
    start(sim_session::uhf_relayed());
    QSettings().setValue("command/timeout_pipe", 30000);
    record r(*_worker);
    _s->sat().link().drop_answers(1000000);
    emit _worker->get_params({1});
    QTRY_VERIFY_WITH_TIMEOUT(r.states.contains(sat_worker::pipe_drain), 5000);
    QElapsedTimer t;
    t.start();
    _worker->stop();
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), 3000);
    QVERIFY(t.elapsed() < 2000);
    QSettings().setValue("command/timeout_pipe", 800);
}

void tst_sat_worker::busy_module()
{
    // A hook that takes its time keeps connect() holding the module's lock,
    // until the worker's operation has ended.
    const kq::testing::lock_limit limit;
    module_connect_props_t slow = sim_session::hop(0x22, role_target);
    QSemaphore inside, ended;
    slow.on_configure = [&](const module_connect_props_t&, bool, bool) {
        inside.release();
        ended.tryAcquire(1, limit.hold_ms());
    };
    start({slow});
    record r(*_worker);
    kq::testing::loop_runner holder([&](std::atomic<bool>&) { _uhf->connect(); });
    inside.acquire();
    emit _worker->get_params({1});
    QTRY_VERIFY_WITH_TIMEOUT(r.ended(), limit.hold_ms());
    ended.release();
    QVERIFY(holder.wait(-1));
    QCOMPARE(r.connection_errors.size(), 1);
    QCOMPARE(r.connection_errors.first().get_proto_error(), proto_exception::busy);
    QCOMPARE(resource_manager().get_error_descriptor_string(r.connection_errors.first()),
             QString("another command is in progress"));
}

void tst_sat_worker::cache_two_second_rule()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    QVERIFY(!_worker->from_cache(5));
    _worker->cache(5, 42);
    _worker->age(5, 1);
    QVERIFY(_worker->from_cache(5));
    _worker->age(5, 2);
    QVERIFY(!_worker->from_cache(5));
    QTRY_COMPARE(r.values.size(), 1);
    QCOMPARE(r.values.first(), (QPair<uint32_t, QVariant>(5, 42)));
}

void tst_sat_worker::guarded_calls()
{
    start({sim_session::hop(0x22, role_target)});
    record r(*_worker);
    QVERIFY(!_worker->exec_func({})); // not running yet: nothing is called
    _worker->start_running();
    QVERIFY(_worker->exec_func({}));
    QVERIFY(!_worker->exec_func([] { throw std::runtime_error("boom"); }));
    _worker->exec_op({});
    QTRY_COMPARE(r.operation_errors.size(), 1);
    QTRY_COMPARE(r.connection_errors.size(), 1);
    QCOMPARE(r.connection_errors.first().get_message(), QString("boom"));
}

KQ_TEST_MAIN(tst_sat_worker)
#include "tst_sat_worker.moc"

QT_WARNING_POP
