// Round trip of one short line through the raw QSerialPort and through the
// serial_port transport, against the same echo on a pseudo-terminal, in one
// run. Prints both medians and their ratio.

#include "bench_support.h"
#include "serline/serial_port.h"
#include "virtual_serial_pair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSerialPort>

#include <atomic>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>

using kq::api::proto::serial_port;
using kq::satsim::virtual_serial_pair;

namespace {

constexpr int warmup = 50;
constexpr int blocks = 8; // the two ways alternate so that drift hits both alike
const QByteArray probe = "KQ+R2200 1C2B3A4F\r";

// Sends back whatever the port writes, as a device answering at once.
class echo
{
public:
    explicit echo(int fd)
        : _thread([this, fd] {
            char buf[4096];
            while (_run.load()) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0 && ::write(fd, buf, static_cast<size_t>(n)) != n)
                    return;
            }
        })
    {
    }
    ~echo()
    {
        _run.store(false);
        _thread.join();
    }

private:
    std::atomic<bool> _run{true};
    std::thread _thread;
};

void transport(const QString& name, int rounds, std::vector<int64_t>& ns)
{
    serial_port::settings_t s;
    s.port_name = name;
    serial_port port(s);
    port.open();
    const QString line = QString::fromLatin1(probe);
    QElapsedTimer t;
    QString answer;
    for (int i = 0; i < rounds + warmup; ++i) {
        t.start();
        port.write_line(line);
        port.read_line(answer, "\r");
        if (i >= warmup)
            ns.push_back(t.nsecsElapsed());
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false")); // traces cost time
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 2000;
    virtual_serial_pair pair;
    echo device(pair.master_fd());

    std::vector<int64_t> raw, ours;
    for (int b = 0; b < blocks; ++b) {
        kq::bench::raw_exchanges(pair.port_name(), probe, '\r', rounds / blocks, warmup, raw);
        transport(pair.port_name(), rounds / blocks, ours);
    }
    const double raw_us = kq::bench::median_us(raw);
    const double ours_us = kq::bench::median_us(ours);

    std::printf("serial_roundtrip: %d rounds of a %d-byte line on a pseudo-terminal echo\n", rounds,
                int(probe.size()));
    std::printf("  raw QSerialPort      median %8.1f us\n", raw_us);
    std::printf("  serial_port          median %8.1f us\n", ours_us);
    std::printf("  ratio transport/raw         %8.2f  (goal: at most 2.00)\n", ours_us / raw_us);
    kq::bench::figure("serial round trip, transport / raw port", ours_us / raw_us, "x", true, 2);
    return 0;
}
