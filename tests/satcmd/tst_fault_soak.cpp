#include "firmware_image.h"
#include "loop_runner.h"
#include "random_bytes.h"
#include "satcmd/checksum.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "serline/media_exception.h"
#include "sim_session.h"
#include "test_environment.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::firmware_image;
using kq::satsim::obc_computer;
using kq::satsim::satellite;
using kq::satsim::uhf_transceiver;
using kq::testing::loop_runner;
using kq::testing::random_bytes;
using kq::testing::resident_bytes;
using kq::testing::sanitized;
using kq::testing::sim_session;

namespace {

// The simulator answers within a millisecond: timeouts of tens of
// milliseconds leave it room many times over and make each dropped or late
// answer cost little, so that thousands of faults fit in a short run.
// Sanitizer builds run the stack several times slower.
constexpr int soak_timeout_ms = sanitized ? 100 : 40;
// The relays' pipe timeout where an operation is stopped midway: the pipe
// it leaves open lapses soon.
constexpr int stopped_pipe_ms = 2000;
// The stars of a computer's flash that is stopped.
constexpr int flash_stars = 10;

module_config_t soak_config(int timeout_ms = soak_timeout_ms)
{
    module_config_t c = sim_session::quick_config();
    c.timeout_xs = c.timeout_s = c.timeout_m = c.timeout_l = timeout_ms;
    c.timeout_xl = 2 * timeout_ms;
    return c;
}

// The faults of the soak: 5 % of answers dropped, 5 % spoilt and 5 % late,
// coming 1.2 to 2 times the attempt's timeout after their command.
void fault_link(satellite& sat, int timeout_ms, uint32_t seed)
{
    sat.link().set_fault_rates(0.05, 0.05, seed);
    sat.link().set_late_rate(0.05, timeout_ms * 6 / 5, 2 * timeout_ms);
}

// One read of a value the simulator does not change by itself, with the
// value the far transceiver truly holds. (A transceiver over the air cannot
// read its text beacon back, so that one is not among them.)
struct probe_t
{
    const char* name;
    std::function<QString(kqttc_uhf_module&)> read;
    std::function<QString(const uhf_transceiver::state_t&)> truth;
};

const QVector<probe_t>& probes()
{
    static const QVector<probe_t> all{
        {"version", [](kqttc_uhf_module& m) { return m.get_version(); },
         [](const uhf_transceiver::state_t& s) { return s.version; }},
        {"dst call", [](kqttc_uhf_module& m) { return m.get_dst_call_sign(); },
         [](const uhf_transceiver::state_t& s) { return s.dst_call_sign; }},
        {"src call", [](kqttc_uhf_module& m) { return m.get_src_call_sign(); },
         [](const uhf_transceiver::state_t& s) { return s.src_call_sign; }},
        {"morse", [](kqttc_uhf_module& m) { return m.get_morse_code_call_sign(); },
         [](const uhf_transceiver::state_t& s) { return s.morse; }},
        {"beacon period",
         [](kqttc_uhf_module& m) { return QString::number(m.get_text_beacon_period()); },
         [](const uhf_transceiver::state_t& s) { return QString::number(s.text_beacon_period); }},
        {"payload size", [](kqttc_uhf_module& m) { return QString::number(m.get_payload_size()); },
         [](const uhf_transceiver::state_t& s) { return QString::number(s.payload_size); }},
        {"audio beacon", [](kqttc_uhf_module& m) { return m.get_audio_beacon_midi(); },
         [](const uhf_transceiver::state_t& s) { return s.midi; }},
        // Three answers of one shape: "OK+", the RSSI and eight hex digits.
        {"status word",
         [](kqttc_uhf_module& m) { return QString::number(m.get_scw().get_value()); },
         [](const uhf_transceiver::state_t& s) { return QString::number(short(s.scw)); }},
        {"frequency", [](kqttc_uhf_module& m) { return QString::number(m.get_rf()); },
         [](const uhf_transceiver::state_t& s) {
             return QString::number(res_get_rf::si4463_to_freq(s.rf_word));
         }},
        {"pipe timeout", [](kqttc_uhf_module& m) { return QString::number(m.get_pipe_timeout()); },
         [](const uhf_transceiver::state_t& s) { return QString::number(s.pipe_timeout); }},
    };
    return all;
}

// A long operation: what the simulator holds first, the operation, and a
// short one that shows the module usable after the stop.
struct long_op_t
{
    module_type_e type;
    route_t route;
    std::function<void(satellite&)> prepare;
    std::function<void(kq_module&, std::atomic<bool>&)> run;
    std::function<void(kq_module&)> afterwards;
    // Bytes of a command that show the operation at its long part (empty:
    // any three blocks on the link show it under way).
    QByteArray under_way = {};
};

} // namespace

Q_DECLARE_METATYPE(long_op_t)

// Long runs under faults through two relays against the simulator: many
// commands, large transfers with the link cut, and a stop during each kind of
// long operation.
class tst_fault_soak : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void commands_under_faults_data();
    void commands_under_faults();
    void computer_reads_through_two_relays_under_faults();
    void transfers_under_faults_and_cuts_data();
    void transfers_under_faults_and_cuts();
    void transfers_with_the_default_budget_never_lie();
    void paced_transfer_and_flash_send_each_command_once();
    void stop_during_long_operations_data();
    void stop_during_long_operations();

private:
    void _open(module_type_e type, const route_t& route, const module_config_t& config);
    kqttc_obc_module& obc() { return _s->module<kqttc_obc_module>(); }
    QByteArray stored(const QString& name)
    {
        return _s->sat().with_obc([&](obc_computer& o) { return o.files().value(name); });
    }
    void _put_with_cuts(const QString& name, const QByteArray& data, QVector<uint32_t> cuts);
    QByteArray _get_with_cuts(const QString& name, QVector<uint32_t> cuts);
    std::unique_ptr<sim_session> _s;
};

void tst_fault_soak::cleanup()
{
    _s.reset();
}

void tst_fault_soak::_open(module_type_e type, const route_t& route, const module_config_t& config)
{
    _s = std::make_unique<sim_session>(type, route);
    _s->configure(config);
    _s->base().connect();
}

void tst_fault_soak::commands_under_faults_data()
{
    QTest::addColumn<bool>("any_time_late");
    QTest::addColumn<int>("commands");
    QTest::newRow("5 % dropped, spoilt, late 1.2-2x") << false << 2000;
    // Each late answer holds back those after it for up to ten timeouts.
    QTest::newRow("10 % late 1.2-10x, in order") << true << (sanitized ? 600 : 2000);
}

void tst_fault_soak::commands_under_faults()
{
    QFETCH(bool, any_time_late);
    QFETCH(int, commands);
    _open(module_type_uhf, sim_session::uhf_relayed(), soak_config());
    auto& uhf = _s->module<kqttc_uhf_module>();
    const uhf_transceiver::state_t truth =
        _s->sat().with_remote([](uhf_transceiver& t) { return t.state(); });
    if (any_time_late) {
        _s->sat().link().set_late_rate(0.10, soak_timeout_ms * 6 / 5, 10 * soak_timeout_ms);
        _s->sat().link().set_late_in_order(true);
    } else {
        fault_link(_s->sat(), soak_timeout_ms, 20261209);
    }

    int good = 0;
    int failed = 0;
    QMap<QString, int> kinds;
    qint64 memory_after_warm_up = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < commands; ++i) {
        const probe_t& p = probes().at(i % probes().size());
        try {
            const QString value = p.read(uhf);
            if (value != p.truth(truth))
                QFAIL(qPrintable(QStringLiteral("command %1 (%2) read '%3' instead of '%4'")
                                     .arg(i)
                                     .arg(QLatin1String(p.name), value, p.truth(truth))));
            ++good;
        } catch (const media_exception& e) {
            ++failed; // reported to the caller as an error: what a panel shows
            ++kinds[QStringLiteral("media %1").arg(e.get_type())];
        } catch (const proto_exception& e) {
            ++failed;
            ++kinds
                [QStringLiteral("proto %1 %2").arg(e.get_type()).arg(QString::fromUtf8(e.what()))];
        }
        if (i % 500 == 0)
            _s->sat().link().forget_received(); // the simulator's own record of the run
        if (i == commands / 10)
            memory_after_warm_up = resident_bytes();
    }
    const qint64 growth = resident_bytes() - memory_after_warm_up;
    qInfo("%d commands (%d answers held late) in %lld ms: %d read right, %d reported as "
          "errors; resident memory grew by %lld KiB after the first %d",
          commands, _s->sat().link().answers_held(), clock.elapsed(), good, failed, growth / 1024,
          commands / 10);
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        qInfo("%s: %d", qPrintable(it.key()), it.value());
    QCOMPARE(good + failed, commands);
    // Retries absorb nearly all faults at this rate; errors stay rare.
    QVERIFY2(failed < commands / (any_time_late ? 10 : 50), qPrintable(QString::number(failed)));
    // Sanitizers hold freed memory back for a while, so only a plain build
    // can tell a leak from their quarantine.
    if (!sanitized)
        QVERIFY2(growth < 1024 * 1024, qPrintable(QString::number(growth)));
}

// The on-board computer behind both relays, under the same faults: its file
// sizes, checksums and boot mode, each read either true or an error.
void tst_fault_soak::computer_reads_through_two_relays_under_faults()
{
    constexpr int reads = 300;
    module_config_t c = soak_config();
    c.repeats_xl = c.repeats_m; // opening and checksumming a file repeat too
    _open(module_type_obc, sim_session::obc_two_relays(), c);
    const QMap<QString, QByteArray> files{{"A.TXT", random_bytes(1000, 1)},
                                          {"B.TXT", random_bytes(300, 2)},
                                          {"C.TXT", random_bytes(4096, 3)}};
    _s->sat().with_obc([&](obc_computer& o) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            o.files()[it.key()] = it.value();
        return 0;
    });
    fault_link(_s->sat(), soak_timeout_ms, 20261210);
    int good = 0, failed = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < reads; ++i) {
        const QString name = files.keys().at(i % files.size());
        const QByteArray& data = files.value(name);
        try {
            switch (i % 3) {
            case 0: {
                unsigned sum = 0, size = 0;
                obc().checksum(name, sum, size);
                QCOMPARE(sum, checksum::qcrc32(data, 0, 0x7FFFFFFF));
                QCOMPARE(int(size), data.size());
                break;
            }
            case 1:
                QCOMPARE(int(obc().get_file_size(name)), data.size());
                break;
            default:
                QCOMPARE(obc().get_obc_mode(), obc_mode_appl);
            }
            ++good;
        } catch (const media_exception&) {
            ++failed;
        } catch (const proto_exception&) {
            ++failed;
        }
    }
    qInfo("%d reads of the computer in %lld ms: %d right, %d reported as errors", reads,
          clock.elapsed(), good, failed);
    QVERIFY2(failed < reads / 20, qPrintable(QString::number(failed)));
}

// Uploads data, cutting the link when the progress first reaches each cut;
// every cut ends the transfer with an error and it is resumed from where the
// progress stood.
void tst_fault_soak::_put_with_cuts(const QString& name, const QByteArray& data,
                                    QVector<uint32_t> cuts)
{
    QByteArray copy = data;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    uint32_t reached = 0;
    QObject receiver;
    connect(&obc(), &obc_module::on_put_file_progress, &receiver,
            [&](const QString&, uint32_t pos, uint32_t) {
                reached = pos;
                if (!cuts.isEmpty() && pos >= cuts.first()) {
                    cuts.removeFirst();
                    _s->sat().link().drop_answers(1000000);
                }
            });
    for (int attempt = 0; attempt < 10; ++attempt) {
        try {
            obc().put(name, &source, reached);
            return;
        } catch (const media_exception&) {
        } catch (const proto_exception&) {
        }
        _s->sat().link().drop_answers(0);
    }
    QFAIL("the upload did not complete in 10 attempts");
}

QByteArray tst_fault_soak::_get_with_cuts(const QString& name, QVector<uint32_t> cuts)
{
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    QObject receiver;
    connect(&obc(), &obc_module::on_get_file_progress, &receiver,
            [&](const QString&, uint32_t pos, uint32_t) {
                if (!cuts.isEmpty() && pos >= cuts.first()) {
                    cuts.removeFirst();
                    _s->sat().link().drop_answers(1000000);
                }
            });
    for (int attempt = 0; attempt < 10; ++attempt) {
        try {
            obc().get(name, &target, uint32_t(back.size()));
            return back;
        } catch (const media_exception&) {
        } catch (const proto_exception&) {
        }
        _s->sat().link().drop_answers(0);
    }
    return QByteArray("the download did not complete in 10 attempts");
}

void tst_fault_soak::transfers_under_faults_and_cuts_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("upload") << true;
    QTest::newRow("download") << false;
}

// 256 KiB through both relays under the soak's faults, with the budget for
// them, the link cut twice and the transfer resumed: byte for byte.
void tst_fault_soak::transfers_under_faults_and_cuts()
{
    QFETCH(bool, upload);
    constexpr int timeout_ms = soak_timeout_ms;
    module_config_t c = soak_config(timeout_ms);
    c.repeats_m = c.repeats_l = 8; // the budget for a 15 % fault rate
    _open(module_type_obc, sim_session::obc_two_relays(), c);
    const QByteArray data = random_bytes(256 * 1024, 7);
    fault_link(_s->sat(), timeout_ms, upload ? 42 : 43);
    QElapsedTimer clock;
    clock.start();
    if (upload) {
        _put_with_cuts(QStringLiteral("SOAK.DAT"), data, {64 * 1024, 160 * 1024});
        QCOMPARE(stored(QStringLiteral("SOAK.DAT")).size(), data.size());
        QVERIFY(stored(QStringLiteral("SOAK.DAT")) == data);
    } else {
        _s->sat().with_obc([&](obc_computer& o) { return o.files()["SOAK.DAT"] = data; });
        const QByteArray back = _get_with_cuts(QStringLiteral("SOAK.DAT"), {50 * 1024, 200 * 1024});
        QCOMPARE(back.size(), data.size());
        QVERIFY(back == data);
    }
    qInfo("256 KiB in %lld ms, %d answers held late", clock.elapsed(),
          _s->sat().link().answers_held());
}

// With the budget of the settings (one repeat) the same faults end most
// transfers early; every one that reports success holds the right bytes.
void tst_fault_soak::transfers_with_the_default_budget_never_lie()
{
    constexpr int timeout_ms = soak_timeout_ms;
    _open(module_type_obc, sim_session::obc_two_relays(), soak_config(timeout_ms));
    fault_link(_s->sat(), timeout_ms, 77);
    constexpr int tries = 12;
    int succeeded = 0;
    for (int i = 0; i < tries; ++i) {
        const QByteArray data = random_bytes(2048, uint32_t(100 + i));
        const QString name = QStringLiteral("TRY%1.DAT").arg(i);
        QByteArray copy = data;
        QBuffer source(&copy);
        source.open(QIODevice::ReadOnly);
        try {
            obc().put(name, &source, 0);
            QVERIFY2(stored(name) == data, qPrintable(name + " uploaded with other bytes"));
            QByteArray back;
            QBuffer target(&back);
            target.open(QIODevice::ReadWrite);
            obc().get(name, &target, 0);
            QVERIFY2(back == data, qPrintable(name + " downloaded with other bytes"));
            ++succeeded;
        } catch (const media_exception&) {
        } catch (const proto_exception&) {
        }
    }
    qInfo("%d of %d round trips succeeded", succeeded, tries);
    QVERIFY(succeeded > 0); // else nothing was shown
}

// At the hardware's pace over "2GFSK-4800-1200", with class timeouts far
// below a block's time on the air, the link-aware timeouts let every block
// and every firmware record arrive without being sent again.
void tst_fault_soak::paced_transfer_and_flash_send_each_command_once()
{
    module_config_t c = soak_config();
    c.link_factor = module_config_t().link_factor;
    route_t route = sim_session::obc_two_relays();
    for (module_connect_props_t& hop : route)
        hop.rf_mode = rf_mode_4800_1200;
    _s = std::make_unique<sim_session>(module_type_obc, route);
    _s->base().set_module_config(c);
    _s->base().connect();
    _s->sat().set_pacing(true);
    const QByteArray data = random_bytes(1024, 8);
    QByteArray copy = data;
    QBuffer source(&copy);
    source.open(QIODevice::ReadOnly);
    // Every command differs from the others (position, record address): a
    // line received twice was sent again.
    const auto sent_once = [&](int before, int commands) {
        QStringList lines = _s->sat().link().received().mid(before);
        lines.removeAll(QString()); // the CRC lines of the computer's own form repeat
        for (QString& line : lines)
            line = line.section(QLatin1Char(' '), 0, 0);
        lines.removeAll(QString());
        QCOMPARE(lines.size(), commands);
        QCOMPARE(lines.removeDuplicates(), 0);
    };
    int before = _s->sat().link().commands_received();
    obc().put(QStringLiteral("PACED.DAT"), &source, 0);
    sent_once(before, 1 + 8 + 1 + 1); // open, blocks, close, checksum
    QVERIFY(stored(QStringLiteral("PACED.DAT")) == data);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    before = _s->sat().link().commands_received();
    obc().get(QStringLiteral("PACED.DAT"), &target, 0);
    sent_once(before, 1 + 8 + 1 + 1);
    QVERIFY(back == data);

    route_t uhf_route = sim_session::uhf_relayed();
    uhf_route.first().rf_mode = rf_mode_4800_1200;
    _s = std::make_unique<sim_session>(module_type_uhf, uhf_route);
    _s->base().set_module_config(c);
    _s->base().connect();
    _s->sat().set_pacing(true);
    const firmware_image image = firmware_image::generate(256, 64);
    QByteArray file = image.file;
    before = _s->sat().link().commands_received();
    _s->module<kqttc_uhf_module>().flash(file);
    sent_once(before, 2 + image.lines); // unlock, records
    QCOMPARE(_s->sat().with_remote([](uhf_transceiver& t) { return t.image(); }), image.data);
}

void tst_fault_soak::stop_during_long_operations_data()
{
    QTest::addColumn<long_op_t>("op");
    const auto obc_of = [](kq_module& m) -> kqttc_obc_module& {
        return dynamic_cast<kqttc_obc_module&>(m);
    };
    const auto uhf_of = [](kq_module& m) -> kqttc_uhf_module& {
        return dynamic_cast<kqttc_uhf_module&>(m);
    };
    const auto obc_usable = [obc_of](kq_module& m) {
        m.connect();
        QVERIFY(!obc_of(m).dir(QStringLiteral("*")).isEmpty());
    };
    const auto uhf_usable = [uhf_of](kq_module& m) {
        m.connect();
        QCOMPARE(uhf_of(m).get_version(), QStringLiteral("KQ-UHF 2.4.1"));
    };
    const auto nothing = [](satellite&) {};

    // Unpaced, a flash, a transfer or a listing may finish before the stop:
    // these run at the hardware's pace.
    const auto paced = [](satellite& sat) { sat.set_pacing(true); };
    QTest::newRow("transceiver flash")
        << long_op_t{module_type_uhf, sim_session::uhf_relayed(), paced,
                     [uhf_of](kq_module& m, std::atomic<bool>&) {
                         QByteArray image = firmware_image::generate(256 * 1024).file;
                         uhf_of(m).flash(image);
                     },
                     uhf_usable};
    // Stopped while the computer flashes: it goes on flashing on its own.
    QTest::newRow("computer flash") << long_op_t{
        module_type_obc,
        sim_session::obc_two_relays(),
        [](satellite& sat) {
            sat.with_obc([](obc_computer& o) {
                o.stars = flash_stars;
                o.files()[QStringLiteral("APP.BIN")] = QByteArray(4096, 'a');
                return 0;
            });
        },
        [obc_of](kq_module& m, std::atomic<bool>&) { obc_of(m).flash(QStringLiteral("APP.BIN")); },
        obc_usable,
        "APP.BIN"};
    QTest::newRow("upload") << long_op_t{module_type_obc, sim_session::obc_two_relays(), paced,
                                         [obc_of](kq_module& m, std::atomic<bool>&) {
                                             QByteArray data = random_bytes(256 * 1024, 3);
                                             QBuffer source(&data);
                                             source.open(QIODevice::ReadOnly);
                                             obc_of(m).put(QStringLiteral("UP.DAT"), &source, 0);
                                         },
                                         obc_usable};
    QTest::newRow("download") << long_op_t{
        module_type_obc, sim_session::obc_two_relays(),
        [](satellite& sat) {
            sat.with_obc([](obc_computer& o) {
                o.files()[QStringLiteral("DOWN.DAT")] = random_bytes(256 * 1024, 4);
                return 0;
            });
            sat.set_pacing(true);
        },
        [obc_of](kq_module& m, std::atomic<bool>&) {
            QBuffer target;
            target.open(QIODevice::ReadWrite);
            obc_of(m).get(QStringLiteral("DOWN.DAT"), &target, 0);
        },
        obc_usable};
    QTest::newRow("listing") << long_op_t{
        module_type_obc, sim_session::obc_two_relays(),
        [](satellite& sat) {
            sat.with_obc([](obc_computer& o) {
                for (int i = 0; i < 2000; ++i)
                    o.files()[QStringLiteral("F%1.DAT").arg(i, 4, 10, QChar('0'))] =
                        QByteArray(100, 'f');
                return 0;
            });
            sat.set_pacing(true);
        },
        [obc_of](kq_module& m, std::atomic<bool>&) { obc_of(m).dir(QStringLiteral("*")); },
        obc_usable};
    QTest::newRow("beacon loop") << long_op_t{
        module_type_uhf, sim_session::uhf_direct(),
        [](satellite& sat) {
            sat.with_local([](uhf_transceiver& t) {
                t.set_beacon(100, "CQ", "KQ0SAT", "SOAK");
                return 0;
            });
        },
        [uhf_of](kq_module& m, std::atomic<bool>& running) { uhf_of(m).ax25_beacon_loop(running); },
        uhf_usable};
    // The far relay never answers: a persistent connection keeps trying.
    route_t silent = sim_session::uhf_relayed();
    silent.back().dev_addr = 0x77;
    QTest::newRow("persistent connect") << long_op_t{module_type_uhf, silent, nothing,
                                                     [](kq_module& m, std::atomic<bool>&) {
                                                         m.set_persistent(true);
                                                         m.connect();
                                                     },
                                                     [uhf_usable](kq_module& m) {
                                                         m.set_persistent(false);
                                                         m.set_connect_props([] {
                                                             connect_props_t p;
                                                             p.route = sim_session::uhf_relayed();
                                                             return p;
                                                         }());
                                                         uhf_usable(m);
                                                     }};
}

void tst_fault_soak::stop_during_long_operations()
{
    QFETCH(long_op_t, op);
    _s = std::make_unique<sim_session>(op.type, op.route);
    module_config_t c = soak_config();
    c.timeout_pipe = stopped_pipe_ms;
    c.link_factor = module_config_t().link_factor; // some run at the link's pace
    _s->configure(c);
    op.prepare(_s->sat());
    kq_module& m = _s->base();
    if (QByteArray(QTest::currentDataTag()) != "persistent connect")
        m.connect();

    // The stop comes once the operation is under way, as the link shows it.
    std::atomic<int> blocks{0};
    std::atomic<bool> seen{op.under_way.isEmpty()};
    _s->sat().link().set_trace([&](bool incoming, const QByteArray& bytes) {
        ++blocks;
        if (incoming && !op.under_way.isEmpty() && bytes.contains(op.under_way))
            seen.store(true);
    });
    const auto untraced = qScopeGuard([this] { _s->sat().link().set_trace({}); });
    loop_runner runner([&](std::atomic<bool>& running) { op.run(m, running); });
    // Each of the commands before it within its longest attempts.
    const int under_way_ms = 10 * c.timeout_xl * (c.repeats_xs + 1);
    QVERIFY(
        QTest::qWaitFor([&] { return runner.finished() || (seen && blocks >= 3); }, under_way_ms));
    QVERIFY2(
        !runner.finished(),
        qPrintable(QStringLiteral("the operation ended before the stop (media %1, proto %2 %3)")
                       .arg(runner.media_error)
                       .arg(runner.proto_error)
                       .arg(runner.message)));
    QElapsedTimer since_stop;
    since_stop.start();
    runner.running.store(false); // what a worker's stop does: the loops' flag, then the port
    m.stop_request();
    // Sanitizer builds run several times slower; the bound is the plain build's.
    const int bound = 200 * (sanitized ? 5 : 1);
    QVERIFY2(runner.wait(bound),
             qPrintable(QStringLiteral("still running %1 ms after the stop").arg(bound)));
    qInfo("ended %lld ms after the stop", since_stop.elapsed());
    _s->sat().set_pacing(false);
    QVERIFY(runner.media_error == -1 || runner.media_error == media_exception::stopped);
    QCOMPARE(runner.proto_error, -1);
    // The module works again once the relays' pipe that the stop left open
    // has lapsed, and a computer stopped while flashing has finished (its
    // stars, then its start-up).
    const int usable_ms =
        stopped_pipe_ms + flash_stars * obc_computer().star_interval_ms + 1000 + under_way_ms;
    QVERIFY(QTest::qWaitFor(
        [&] {
            try {
                op.afterwards(m);
                return true;
            } catch (const media_exception&) {
                return false;
            }
        },
        usable_ms));
}

KQ_TEST_MAIN(tst_fault_soak)
#include "tst_fault_soak.moc"
