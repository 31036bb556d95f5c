// Median get_scw through the whole stack (engine, transport, pseudo-terminal)
// against the simulated transceiver, beside a raw QSerialPort exchange of the
// same bytes with the same simulator, in one run.

#include "bench_support.h"
#include "satcmd/kqttc/kqttc_frame.h"
#include "satcmd/kqttc/kqttc_proto.h"
#include "satcmd/kqttc/uhf_commands.h"
#include "satellite.h"
#include "serline/serial_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSerialPort>

#include <cstdio>

using namespace kq::api::proto;

namespace {

constexpr int warmup = 30;
constexpr int blocks = 8;

void engine(const QString& name, int rounds, std::vector<int64_t>& ns)
{
    media::settings_t s;
    s.port_name = name;
    serial_port port(s);
    port.open();
    QRecursiveMutex mutex;
    kq_module events(&port, connect_props_t());
    kqttc::kqttc_proto proto(events, &port, connect_props_t(), mutex);
    QElapsedTimer t;
    // Address 0x22, as the frame of the raw exchange.
    module_connect_props_t hop;
    hop.dev_addr = 0x22;
    proto.configure_intermediate_module(hop, false, false, false);
    for (int i = 0; i < rounds + warmup; ++i) {
        t.start();
        proto.get_scw();
        if (i >= warmup)
            ns.push_back(t.nsecsElapsed());
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false")); // traces cost time
    const int rounds = argc > 1 ? std::max(blocks, atoi(argv[1])) : 2000;
    kq::satsim::satellite sat;
    kqttc::req_get_scw request(0x22);
    const QByteArray frame = kqttc::kqttc_frame::text_frame(request).toLatin1();

    std::vector<int64_t> raw, ours;
    for (int b = 0; b < blocks; ++b) {
        kq::bench::raw_exchanges(sat.port_name(), frame, '\n', rounds / blocks, warmup, raw);
        engine(sat.port_name(), rounds / blocks, ours);
    }
    const double raw_us = kq::bench::median_us(raw);
    const double ours_us = kq::bench::median_us(ours);
    std::printf("command_roundtrip: %d get_scw against the simulated transceiver\n", rounds);
    std::printf("  raw QSerialPort, same bytes  median %8.1f us\n", raw_us);
    std::printf("  kqttc_proto::get_scw         median %8.1f us\n", ours_us);
    std::printf("  ratio stack/raw                     %8.2f  (goal: at most 3.00)\n",
                ours_us / raw_us);
    kq::bench::figure("command round trip, stack / raw port", ours_us / raw_us, "x", true, 3);
    return 0;
}
