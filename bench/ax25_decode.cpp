// Throughput of the AX.25 bit-stream decoder on one core, in megabits of line
// bits per second: a long stretch of noise and broken frames, then one good
// frame at the end, so every bit goes through the decoder.

#include "ax25_encoder.h"
#include "bench_support.h"
#include "satcmd/kqttc/ax25_decoder.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using kq::api::proto::kqttc::ax25_decoder;
using kq::satsim::ax25_encoder;

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 4;
    QRandomGenerator rng(7);
    QByteArray input(megabytes * 1024 * 1024, '\0');
    for (char& c : input)
        c = char(rng.bounded(256));
    const QByteArray frame = ax25_encoder::frame("CQ", "KQ0SAT", "end of the stretch");
    input += ax25_encoder::line_bits(frame);

    // Noise makes the decoder print its CRC and abort messages; keep them off
    // the figures.
    std::fflush(stdout);
    const int saved = dup(1);
    FILE* sink = std::fopen("/dev/null", "w");
    dup2(fileno(sink), 1);

    std::vector<double> rates;
    QByteArray out;
    int n = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        n = ax25_decoder::decode(input, out);
        rates.push_back(input.size() * 8.0 / (t.nsecsElapsed() / 1e9) / 1e6);
    }
    std::fflush(stdout);
    dup2(saved, 1);
    std::fclose(sink);

    std::sort(rates.begin(), rates.end());
    std::printf("ax25_decode: %d MiB of line bits, frame found: %s\n", megabytes,
                n == frame.size() && out == frame ? "yes" : "NO");
    std::printf("  median %.1f Mbit/s (goal: at least 100)\n", rates[rates.size() / 2]);
    kq::bench::figure("AX.25 decoding", rates[rates.size() / 2], "Mbit/s", false, 100);
    return n == frame.size() ? 0 : 1;
}
