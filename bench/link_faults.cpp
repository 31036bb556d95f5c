// The engine on misbehaving and slow links, against the simulated satellite:
// - reads and a download under late (3 to 10 times the attempt's timeout,
//   holding back the answers after them), dropped and spoilt answers: values
//   and bytes taken wrongly (none may be);
// - what one late answer, and one lost answer through a paced relay, cost a
//   read, in attempt timeouts, beside a clean read measured in the same run;
// - a firmware flash (64-byte records) and a block transfer at the hardware's
//   pace over "2GFSK-1200-600", with the settings' own timings: how often each
//   record and each block is sent.

#include "bench_support.h"
#include "firmware_image.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "sim_session.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>
#include <memory>

QT_WARNING_DISABLE_DEPRECATED // routes are QLinkedLists

using namespace kq::api::proto;
using namespace kq::api::proto::kqttc;
using kq::satsim::uhf_transceiver;
using kq::testing::sim_session;

namespace {

constexpr int timeout_ms = 200;      // short, for many faults in little time
constexpr int cost_timeout_ms = 500; // the line's quiet interval weighs little beside it

module_config_t faulty_link_config(int repeats, int timeout = timeout_ms)
{
    module_config_t c = sim_session::quick_config();
    c.timeout_s = c.timeout_m = c.timeout_l = timeout;
    c.timeout_xl = 2 * timeout;
    c.repeats_s = c.repeats_m = c.repeats_l = repeats;
    return c;
}

void fault(kq::satsim::satellite& sat, double late, uint32_t seed)
{
    sat.link().set_fault_rates(0.05, 0.05, seed);
    sat.link().set_late_rate(late, 3 * timeout_ms, 10 * timeout_ms);
}

// Reads of values the far transceiver holds still, four of them answered in
// the same shape ("OK+", RSSI, eight hex digits); a value other than the
// truth is one taken wrongly, an error is not.
int wrong_values(int reads)
{
    sim_session s(module_type_uhf, sim_session::uhf_relayed());
    s.configure(faulty_link_config(2));
    s.base().connect();
    auto& uhf = s.module<kqttc_uhf_module>();
    const uhf_transceiver::state_t truth =
        s.sat().with_remote([](uhf_transceiver& t) { return t.state(); });
    const QVector<std::function<bool()>> probes{
        [&] { return uint16_t(uhf.get_scw().get_value()) == truth.scw; },
        [&] { return uhf.get_rf() == res_get_rf::si4463_to_freq(truth.rf_word); },
        [&] { return uhf.get_pipe_timeout() == truth.pipe_timeout; },
        [&] { return uhf.get_text_beacon_period() == truth.text_beacon_period; },
        [&] { return uhf.get_payload_size() == truth.payload_size; },
        [&] { return uhf.get_version() == truth.version; },
    };
    fault(s.sat(), 0.10, 31);
    int wrong = 0, errors = 0;
    for (int i = 0; i < reads; ++i) {
        try {
            wrong += probes.at(i % probes.size())() ? 0 : 1;
        } catch (const std::exception&) {
            ++errors;
        }
    }
    std::printf("  %d reads, %d late answers: %d wrong, %d reported as errors\n", reads,
                s.sat().link().answers_held(), wrong, errors);
    return wrong;
}

// A download through both relays under the same faults, with the budget
// for them: bytes that differ from the file (a failure counts none).
int wrong_bytes(int kib)
{
    sim_session s(module_type_obc, sim_session::obc_two_relays());
    s.configure(
        faulty_link_config(12)); // a late block holds back those after it up to ten timeouts
    s.base().connect();
    QByteArray data(kib * 1024, '\0');
    QRandomGenerator rng(5);
    for (char& b : data)
        b = char(rng.bounded(256));
    s.sat().with_obc([&](kq::satsim::obc_computer& o) { return o.files()["LATE.DAT"] = data; });
    fault(s.sat(), 0.10, 32);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    try {
        s.module<kqttc_obc_module>().get(QStringLiteral("LATE.DAT"), &target, 0);
    } catch (const std::exception& e) {
        std::printf("  download of %d KiB failed at byte %d (reported: %s)\n", kib,
                    int(back.size()), e.what());
        return 0;
    }
    int differ = int(std::abs(back.size() - data.size()));
    for (int i = 0; i < std::min(back.size(), data.size()); ++i)
        differ += back.at(i) != data.at(i) ? 1 : 0;
    std::printf("  download of %d KiB, %d late answers: %d bytes differ\n", kib,
                s.sat().link().answers_held(), differ);
    return differ;
}

// Median time of a read whose answer `spoil` holds back or drops, less the
// median of a clean read, in attempt timeouts.
double read_cost(sim_session& s, int timeout, int rounds, const std::function<void()>& spoil)
{
    auto& uhf = s.module<kqttc_uhf_module>();
    std::vector<int64_t> clean, spoilt;
    QElapsedTimer t;
    for (int i = 0; i < rounds; ++i) {
        t.start();
        uhf.get_rf();
        clean.push_back(t.nsecsElapsed());
        spoil();
        t.start();
        uhf.get_rf();
        spoilt.push_back(t.nsecsElapsed());
    }
    return (kq::bench::median_us(spoilt) - kq::bench::median_us(clean)) / 1000.0 / timeout;
}

// An answer held back `lateness` attempt timeouts on a direct line.
double late_answer_cost(double lateness, int rounds)
{
    sim_session s(module_type_uhf, sim_session::uhf_direct());
    s.configure(faulty_link_config(2, cost_timeout_ms));
    s.base().connect();
    return read_cost(s, cost_timeout_ms, rounds,
                     [&] { s.sat().link().hold_answers(1, int(lateness * cost_timeout_ms)); });
}

// An answer that never comes, at the hardware's pace through a relay, with
// class timeouts well above the link's own bound so that the attempt
// timeout is known.
double lost_answer_cost(int rounds)
{
    constexpr int paced_timeout_ms = 3000;
    route_t route = sim_session::uhf_relayed();
    route.first().rf_mode = rf_mode_1200_600;
    sim_session s(module_type_uhf, route);
    module_config_t c = faulty_link_config(2, paced_timeout_ms);
    c.timeout_pipe = module_config_t().timeout_pipe;
    s.configure(c);
    s.base().connect();
    s.sat().set_pacing(true);
    return read_cost(s, paced_timeout_ms, rounds, [&] { s.sat().link().drop_answers(1); });
}

// The lines the simulator received since `before` that carry this marker.
int sent_with(sim_session& s, int before, const QString& marker)
{
    int n = 0;
    for (const QString& line : s.sat().link().received().mid(before))
        n += line.contains(marker) ? 1 : 0;
    return n;
}

double paced_flash_attempts(int kib)
{
    route_t route = sim_session::uhf_relayed();
    route.first().rf_mode = rf_mode_1200_600;
    sim_session s(module_type_uhf, route);
    s.configure(module_config_t()); // the settings' defaults
    s.base().connect();
    s.sat().set_pacing(true);
    const auto image = kq::satsim::firmware_image::generate(kib * 1024, 64);
    QByteArray file = image.file;
    const int before = s.sat().link().commands_received();
    s.module<kqttc_uhf_module>().flash(file);
    const int records = sent_with(s, before, QStringLiteral("KQ+D23S"));
    std::printf("  flash: %d records of 64 bytes sent %d times\n", image.lines, records);
    return double(records) / image.lines;
}

double paced_block_attempts(int kib)
{
    route_t route = sim_session::obc_two_relays();
    route.first().rf_mode = rf_mode_1200_600;
    sim_session s(module_type_obc, route);
    s.configure(module_config_t());
    s.base().connect();
    s.sat().set_pacing(true);
    QByteArray data(kib * 1024, 'b');
    QBuffer source(&data);
    source.open(QIODevice::ReadOnly);
    auto& obc = s.module<kqttc_obc_module>();
    const int before = s.sat().link().commands_received();
    obc.put(QStringLiteral("PACED.DAT"), &source, 0);
    QByteArray back;
    QBuffer target(&back);
    target.open(QIODevice::ReadWrite);
    obc.get(QStringLiteral("PACED.DAT"), &target, 0);
    const int blocks = 2 * kib * 1024 / 128;
    const int sent =
        sent_with(s, before, QStringLiteral("FW")) + sent_with(s, before, QStringLiteral("FR"));
    std::printf("  transfer: %d blocks of 128 bytes up and down sent %d times%s\n", blocks, sent,
                back == data ? "" : ", DIFFERENT BYTES");
    return double(sent) / blocks;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));
    const int reads = argc > 1 ? std::max(60, atoi(argv[1])) : 400;

    std::printf("link_faults: 5 %% dropped, 5 %% spoilt, 10 %% answers 3-10 timeouts late, in "
                "order; timeouts %d ms\n",
                timeout_ms);
    const int wrong = wrong_values(reads) + wrong_bytes(32);
    kq::bench::figure("late answers 3-10x the timeout: values, bytes taken wrongly", wrong, "",
                      true, 0);

    const double early = late_answer_cost(1.2, 9);
    const double latest = late_answer_cost(2.0, 9);
    std::printf("  one late answer costs %.2f attempt timeouts at 1.2x, %.2f at 2x (its own "
                "lateness is the least it can cost)\n",
                early, latest);
    kq::bench::figure("one late answer (1.2x), cost in timeouts", early, "", true, 1.5);
    const double lost = lost_answer_cost(5);
    std::printf("  one lost answer costs %.2f attempt timeouts through a paced relay\n", lost);
    kq::bench::figure("one lost answer, cost in timeouts", lost, "", true, 1.5);

    std::printf("paced, 2GFSK-1200-600, the settings' timings:\n");
    kq::bench::figure("paced firmware record, attempts sent", paced_flash_attempts(1), "", true, 1);
    kq::bench::figure("paced 128-byte block, attempts sent", paced_block_attempts(1), "", true, 1);
    return wrong == 0 ? 0 : 1;
}
