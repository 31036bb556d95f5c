#include "panelkit/transfer_meter.h"

#include <algorithm>

namespace kq::gui {

double transfer_meter::rate(uint64_t done) const
{
    const int64_t ms = elapsed_ms();
    return ms > 0 ? double(done) * 1000.0 / double(ms) : 0.0;
}

int64_t transfer_meter::seconds_left(uint64_t done, uint64_t total) const
{
    const double r = rate(done);
    if (r <= 0.0 || done > total)
        return -1;
    return int64_t(double(total - done) / r + 0.5);
}

QString transfer_meter::rate_text(double bytes_per_second, int decimals)
{
    return QStringLiteral("%1 KiB/s").arg(bytes_per_second / 1024.0, 0, 'f', decimals);
}

QString transfer_meter::clock_text(int64_t seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString transfer_meter::progress_text(const QString& name, uint64_t done, uint64_t total) const
{
    QString text = QStringLiteral("%1: %2 of %3 bytes").arg(name).arg(done).arg(total);
    if (done == 0)
        return text;
    text += QStringLiteral(", ") + rate_text(rate(done));
    const int64_t left = seconds_left(done, total);
    if (left >= 0 && done < total)
        text += QStringLiteral(", %1 left").arg(clock_text(left));
    return text;
}

QString transfer_meter::step_text(const QString& step, uint64_t done, uint64_t total) const
{
    const uint64_t percent = total > 0 ? std::min<uint64_t>(100, done * 100 / total) : 0;
    QString text = QStringLiteral("%1: %2 %").arg(step).arg(percent);
    const int64_t left = seconds_left(done, total);
    if (done > 0 && left >= 0 && done < total)
        text += QStringLiteral(", %1 left").arg(clock_text(left));
    return text;
}

QString transfer_meter::summary(const QString& verb, const QString& name, uint64_t bytes) const
{
    return QStringLiteral("%1 %2, %3 bytes in %4 s, %5")
        .arg(verb, name)
        .arg(bytes)
        .arg(double(elapsed_ms()) / 1000.0, 0, 'f', 1)
        .arg(rate_text(rate(bytes), 2));
}

} // namespace kq::gui
