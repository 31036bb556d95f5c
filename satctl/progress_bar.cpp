#include "progress_bar.h"

#include <cstdio>
#include <unistd.h>

namespace kq::ctl {

namespace {

QString clock_text(int64_t seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

progress_bar::progress_bar(const QString& label, bool bytes)
    : _label(label)
    , _bytes(bytes)
    , _on(::isatty(STDERR_FILENO) == 1)
{
    _clock.start();
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
    const int64_t now = _clock.elapsed();
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
    if (_bytes && now > 0) {
        const double rate = double(done) * 1000.0 / double(now);
        line += QStringLiteral("  %1 KiB/s").arg(rate / 1024.0, 0, 'f', 1);
        if (rate > 0 && done < total)
            line += QStringLiteral("  %1 left").arg(clock_text(int64_t((total - done) / rate)));
    }
    std::fprintf(stderr, "%s\033[K", line.toLocal8Bit().constData());
    std::fflush(stderr);
    _drawn = true;
}

} // namespace kq::ctl
