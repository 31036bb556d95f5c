// satsim: the simulated satellite behind pseudo-terminals, for trying the
// configurator and the command-line driver without hardware.

#include "port_link.h"
#include "sample_store.h"
#include "satellite.h"
#include "sim_options.h"
#include "virtual_serial_pair.h"
#include "xband_transmitter.h"

#include "satcmd/kqttc/uhf_commands.h"
#include "satcmd/local_file_kind.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <mutex>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace kq::satsim;

namespace {

std::atomic<bool> g_stop{false};

extern "C" void on_signal(int)
{
    g_stop.store(true);
}

void install_signal_handlers()
{
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
}

void say(const QString& line)
{
    std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

int fail(const QString& message, int code)
{
    std::fprintf(stderr, "satsim: %s\n", message.toLocal8Bit().constData());
    return code;
}

// Bytes as a readable line: printable ASCII as it is, the rest escaped.
QString printable(const QByteArray& bytes)
{
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += QLatin1String("\\r");
        else if (c == '\n')
            out += QLatin1String("\\n");
        else if (u >= 0x20 && u < 0x7F)
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return out;
}

sim_link::trace_t tracer(const QString& port)
{
    static std::mutex lock;
    return [port](bool incoming, const QByteArray& bytes) {
        const std::lock_guard<std::mutex> locker(lock);
        say(QStringLiteral("%1 %2 %3 %4")
                .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")), port,
                     incoming ? QStringLiteral("<<<") : QStringLiteral(">>>"), printable(bytes)));
    };
}

void configure_transceiver(uhf_transceiver& t, const sim_options& o)
{
    t.state().rf_word = kq::api::proto::kqttc::req_set_rf::freq_to_si4463(
        static_cast<unsigned long long>(o.frequency_mhz * 1000.0 * 1000.0));
    if (o.scw >= 0)
        t.state().scw = uint16_t(o.scw);
    if (o.echo)
        t.state().scw |= 0x80;
    t.state().misstores_periods = o.misstore;
    if (o.high_bytes)
        t.state().version += QString::fromLatin1(" \xb5"
                                                 "C"); // the micro sign as one byte
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("satsim"));

    sim_options o;
    QString error;
    if (!o.parse(QCoreApplication::arguments(), error))
        return fail(error + QStringLiteral(" (see --help)"), 2);
    if (o.help) {
        std::fputs(o.help_text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    install_signal_handlers();
    const bool private_default =
        o.link == sim_options::default_link() && qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
    if (!port_link::check_folder(o.link, private_default, error))
        return fail(error, 1);

    std::unique_ptr<QTemporaryDir> temporary_store;
    if (o.store_dir.isEmpty()) {
        temporary_store = std::make_unique<QTemporaryDir>();
        if (!temporary_store->isValid())
            return fail(QStringLiteral("cannot create a temporary file store"), 1);
        o.store_dir = temporary_store->path();
        if (!seed_sample_store(o.store_dir, error))
            return fail(error, 1);
    } else if (!QFileInfo(o.store_dir).isDir()) {
        return fail(QStringLiteral("--store '%1': not a directory").arg(o.store_dir), 2);
    } else if (kq::api::proto::local_file_kind::in_kernel_folder(o.store_dir)) {
        return fail(QStringLiteral("--store '%1': a folder of the kernel's (/proc, /sys, /dev), "
                                   "whose files are not ordinary files")
                        .arg(o.store_dir),
                    2);
    }

    satellite sat(o.local_address, o.remote_address, o.obc_address, o.store_dir);
    sat.with_local([&o](uhf_transceiver& t) {
        configure_transceiver(t, o);
        if (o.beacon_period_s > 0)
            t.set_beacon(o.beacon_period_s * 1000, QStringLiteral("CQ"), t.state().src_call_sign,
                         o.beacon_text.toLatin1());
        t.set_far_station_text(o.text_reply, o.text_period_s * 1000);
        return 0;
    });
    sat.with_remote([&o](uhf_transceiver& t) {
        configure_transceiver(t, o);
        return 0;
    });
    sat.set_pacing(o.pacing);
    sat.with_obc([&o](obc_computer& c) {
        c.spoil_stored = c.spoil_sent = o.spoil_blocks;
        c.max_file_size = o.max_file_size;
        return 0;
    });
    sat.link().set_fault_rates(o.drop, o.corrupt, o.seed);
    sat.link().set_late_rate(o.late, o.late_min_ms, o.late_max_ms);
    sat.link().set_late_in_order(!o.late_overtaken);
    sat.link().set_cut_rate(o.cut);
    sat.link().chatter(o.chatter_ms);
    kq::satsim::virtual_serial_pair xband_pair;
    xband_transmitter xband(xband_pair);
    xband.set_late_rate(o.xband_late, o.late_min_ms, o.late_max_ms, o.seed);
    xband.set_late_in_order(!o.late_overtaken);
    xband.misstore(o.misstore);
    xband.set_max_file_size(o.max_file_size);
    xband.start();
    if (o.trace) {
        sat.link().set_trace(tracer(QStringLiteral("uhf")));
        sat.fsps_link().set_trace(tracer(QStringLiteral("fsps")));
    }

    std::vector<std::unique_ptr<port_link>> links;
    const QVector<QPair<QString, QString>> ports{
        {o.link, sat.port_name()},
        {o.link + QStringLiteral("-fsps"), sat.fsps_port_name()},
        {o.link + QStringLiteral("-xband"), xband_pair.port_name()}};
    QStringList terminals;
    for (const auto& port : ports)
        terminals << port.second;
    for (const auto& port : ports) {
        links.push_back(std::make_unique<port_link>(port.first, port.second));
        if (!links.back()->make(terminals, error))
            return fail(error, 1);
    }

    say(QStringLiteral("port: %1").arg(sat.port_name()));
    say(QStringLiteral("link: %1").arg(o.link));
    say(QStringLiteral("fsps-port: %1").arg(sat.fsps_port_name()));
    say(QStringLiteral("xband-port: %1").arg(xband_pair.port_name()));
    say(QStringLiteral("store: %1").arg(o.store_dir));
    say(QStringLiteral("addresses: local 0x%1, remote 0x%2, obc 0x%3; %4 MHz; beacon every %5 s")
            .arg(o.local_address, 2, 16, QLatin1Char('0'))
            .arg(o.remote_address, 2, 16, QLatin1Char('0'))
            .arg(o.obc_address, 2, 16, QLatin1Char('0'))
            .arg(o.frequency_mhz, 0, 'f', 3)
            .arg(o.beacon_period_s));
    say(QStringLiteral("ready; Ctrl+C ends"));

    while (!g_stop.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));

    xband.stop();
    say(QStringLiteral("stopped"));
    return 0;
}
