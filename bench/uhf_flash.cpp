// A 64 KiB firmware image through the whole stack against the simulated
// transceiver: flash lines per second, beside the get_scw round trip
// measured in the same run. Prints what one flash line costs in round trips.

#include "bench_support.h"
#include "firmware_image.h"
#include "satcmd/factory.h"
#include "satcmd/kqttc/kqttc_uhf_module.h"
#include "satellite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>

using namespace kq::api::proto;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));
    const int kib = argc > 1 ? std::max(1, atoi(argv[1])) : 64;

    kq::satsim::satellite sat;
    factory f;
    media::settings_t s;
    s.port_name = sat.port_name();
    std::unique_ptr<media> port(f.create_media(factory::media_serial_port, s));
    module_connect_props_t hop;
    hop.dev_addr = 0x22;
    hop.role = role_target;
    hop.module_type = module_type_uhf;
    connect_props_t props;
    props.route.append(hop);
    std::unique_ptr<kq_module> base(
        f.create_module(module_type_uhf, factory::proto_kqttc, port.get(), props));
    auto& uhf = dynamic_cast<kqttc::kqttc_uhf_module&>(*base);
    uhf.set_module_config(module_config_t());
    uhf.connect();

    std::vector<int64_t> scw;
    QElapsedTimer t;
    for (int i = 0; i < 1000; ++i) {
        t.start();
        uhf.get_scw();
        if (i >= 50)
            scw.push_back(t.nsecsElapsed());
    }
    const double scw_us = kq::bench::median_us(scw);

    const auto image = kq::satsim::firmware_image::generate(kib * 1024);
    QByteArray file = image.file;
    t.start();
    uhf.flash(file);
    const double seconds = t.nsecsElapsed() / 1e9;
    const bool same =
        sat.with_local([](kq::satsim::uhf_transceiver& x) { return x.image(); }) == image.data;

    const double per_line_us = seconds * 1e6 / image.lines;
    std::printf("uhf_flash: %d KiB image, %d lines, image in the simulator %s\n", kib, image.lines,
                same ? "identical" : "DIFFERENT");
    std::printf("  flash          %8.0f lines/s   %8.1f us per line\n", image.lines / seconds,
                per_line_us);
    std::printf("  get_scw median                    %8.1f us\n", scw_us);
    std::printf("  one line costs %.2f round trips (goal: at most 2)\n", per_line_us / scw_us);
    kq::bench::figure("firmware line, in command round trips", per_line_us / scw_us, "", true, 2);
    return same ? 0 : 1;
}
