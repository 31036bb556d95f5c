// Upload and download through both relays to the simulated on-board
// computer, with the links paced as the hardware would (serial 115200 baud,
// radio "2GFSK-19200-19200") and unpaced. Prints the payload rate beside the
// most the paced links allow for exactly the bytes the exchanges put on
// them, and the process's peak memory for two file sizes (transfers stream
// in blocks; the file is never held whole).

#include "bench_support.h"
#include "satcmd/factory.h"
#include "satcmd/kqttc/kqttc_obc_module.h"
#include "satellite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryFile>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

using namespace kq::api::proto;

namespace {

long peak_kib()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct result
{
    double up_s, down_s, paced_up_s, paced_down_s;
};

result run(kq::satsim::satellite& sat, qint64 bytes, bool paced)
{
    factory f;
    media::settings_t s;
    s.port_name = sat.port_name();
    std::unique_ptr<media> port(f.create_media(factory::media_serial_port, s));
    connect_props_t props;
    for (const auto& [addr, role, type] :
         {std::tuple{0x22u, int(role_local_relay), module_type_uhf},
          std::tuple{0x23u, int(role_remote_relay), module_type_uhf},
          std::tuple{0x11u, int(role_target), module_type_obc}}) {
        module_connect_props_t hop;
        hop.dev_addr = addr;
        hop.role = role;
        hop.module_type = type;
        hop.rf_mode = rf_mode_19200_19200;
        props.route.append(hop);
    }
    std::unique_ptr<kq_module> base(
        f.create_module(module_type_obc, factory::proto_kqttc, port.get(), props));
    auto& obc = dynamic_cast<kqttc::kqttc_obc_module&>(*base);
    module_config_t c;
    c.timeout_l = 20000;
    c.timeout_m = 20000;
    c.timeout_xl = 20000;
    obc.set_module_config(c);
    obc.connect();

    QTemporaryFile source;
    source.open();
    QByteArray block(64 * 1024, '\0');
    for (qint64 written = 0; written < bytes; written += block.size()) {
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((written + i) * 31 + 7);
        source.write(block.left(int(std::min<qint64>(block.size(), bytes - written))));
    }
    source.seek(0);
    QTemporaryFile target;
    target.open();

    sat.set_pacing(paced);
    result r{};
    QElapsedTimer t;
    int64_t paced_before = sat.paced_us();
    t.start();
    obc.put(QStringLiteral("BENCH.DAT"), &source, 0);
    r.up_s = t.nsecsElapsed() / 1e9;
    r.paced_up_s = (sat.paced_us() - paced_before) / 1e6;
    paced_before = sat.paced_us();
    t.start();
    obc.get(QStringLiteral("BENCH.DAT"), &target, 0);
    r.down_s = t.nsecsElapsed() / 1e9;
    r.paced_down_s = (sat.paced_us() - paced_before) / 1e6;
    sat.set_pacing(false);
    sat.with_obc([](kq::satsim::obc_computer& o) {
        o.files().remove(QStringLiteral("BENCH.DAT"));
        return 0;
    });
    if (target.size() != bytes)
        qFatal("download incomplete");
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));
    const qint64 kib = argc > 1 ? std::max(1, atoi(argv[1])) : 256;
    const qint64 bytes = kib * 1024;
    kq::satsim::satellite sat;

    const result paced = run(sat, bytes, true);
    const auto rate = [&](double s) { return bytes / s / 1024.0; };
    std::printf("obc_transfer: %lld KiB through two relays\n", kib);
    std::printf("  paced (115200 baud, radio 19200 bit/s):\n");
    std::printf("    upload   %7.2f KiB/s of at most %7.2f  (%5.1f %%, goal >= 90 %%)\n",
                rate(paced.up_s), rate(paced.paced_up_s), 100 * paced.paced_up_s / paced.up_s);
    std::printf("    download %7.2f KiB/s of at most %7.2f  (%5.1f %%, goal >= 90 %%)\n",
                rate(paced.down_s), rate(paced.paced_down_s),
                100 * paced.paced_down_s / paced.down_s);
    kq::bench::figure("OBC upload, share of the paced link", 100 * paced.paced_up_s / paced.up_s,
                      "%", false, 90);
    kq::bench::figure("OBC download, share of the paced link",
                      100 * paced.paced_down_s / paced.down_s, "%", false, 90);

    const long before = peak_kib();
    const result small = run(sat, bytes, false);
    const long after_small = peak_kib();
    const result large = run(sat, bytes * 8, false);
    const long after_large = peak_kib();
    std::printf("  unpaced:\n");
    std::printf("    upload   %7.1f KiB/s, download %7.1f KiB/s\n", rate(small.up_s),
                rate(small.down_s));
    std::printf("  peak memory: %ld KiB before, %ld KiB after %lld KiB, %ld KiB after %lld KiB\n",
                before, after_small, kib, after_large, kib * 8);
    std::printf("    (the simulator keeps its copy of the file in this process's memory)\n");
    Q_UNUSED(large);
    return 0;
}
