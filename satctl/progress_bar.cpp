#include "progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace kq::ctl {

progress_bar::progress_bar(const QString& label, bool bytes)
    : _label(label)
    , _bytes(bytes)
    , _on(::isatty(STDERR_FILENO) == 1)
{
}

progress_bar::~progress_bar()
{
    if (_drawn)
        std::fputc('\n', stderr);
}

void progress_bar::update(uint64_t done, uint64_t total)
{
    if (!_on || total == 0)
        return;
    const int64_t now = _meter.elapsed_ms();
    // Redrawn at most ten times a second, and once at the end.
    if (done < total && now - _last_ms < 100)
        return;
    _last_ms = now;
    const double fraction = std::min(1.0, double(done) / double(total));
    constexpr int width = 30;
    const int filled = int(fraction * width);
    QString line = QStringLiteral("\r%1 [%2%3] %4%")
                       .arg(_label, QString(filled, QLatin1Char('#')),
                            QString(width - filled, QLatin1Char(' ')))
                       .arg(int(fraction * 100), 3);
    const int64_t left = _meter.seconds_left(done, total);
    if (_bytes && now > 0) {
        line += QStringLiteral("  ") + gui::transfer_meter::rate_text(_meter.rate(done));
        if (left >= 0 && done < total)
            line += QStringLiteral("  %1 left").arg(gui::transfer_meter::clock_text(left));
    }
    std::fprintf(stderr, "%s\033[K", line.toLocal8Bit().constData());
    std::fflush(stderr);
    _drawn = true;
}

} // namespace kq::ctl
