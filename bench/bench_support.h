#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace kq::bench {

// One figure in the form bench/run_all gathers into its table:
// "figure: <name> | <value> <unit> | at most/at least <goal> | pass".
inline void figure(const char* name, double value, const char* unit, bool at_most, double goal)
{
    const bool pass = at_most ? value <= goal : value >= goal;
    std::printf("figure: %s | %.2f %s | %s %.2f %s | %s\n", name, value, unit,
                at_most ? "at most" : "at least", goal, unit, pass ? "pass" : "fall short");
}

// Median of a sample in microseconds; the sample is reordered.
inline double median_us(std::vector<int64_t>& ns)
{
    if (ns.empty())
        return 0.0;
    const auto mid = ns.begin() + static_cast<std::ptrdiff_t>(ns.size() / 2);
    std::nth_element(ns.begin(), mid, ns.end());
    return static_cast<double>(*mid) / 1000.0;
}

// Times `rounds` exchanges of `request` through a bare QSerialPort, each
// until the answer's last byte `end` has come, after `warmup` untimed ones.
inline void raw_exchanges(const QString& port_name, const QByteArray& request, char end, int rounds,
                          int warmup, std::vector<int64_t>& ns)
{
    QSerialPort port(port_name);
    if (!port.open(QIODevice::ReadWrite))
        qFatal("cannot open %s", qPrintable(port_name));
    QElapsedTimer t;
    for (int i = 0; i < rounds + warmup; ++i) {
        t.start();
        port.write(request);
        port.flush();
        QByteArray got;
        while (!got.endsWith(end)) {
            if (port.bytesAvailable() == 0)
                port.waitForReadyRead(50);
            got += port.readAll();
        }
        if (i >= warmup)
            ns.push_back(t.nsecsElapsed());
    }
}

} // namespace kq::bench
