#pragma once

#include "panelkit/panelkit_global.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>

namespace kq::gui {

// The figures of a running transfer or flash for the user: bytes done of
// the total, the rate so far and the time left at that rate, and the
// summary once it is done. Shared by the window's status bar and the
// command-line driver's progress bar.
class PANELKIT_EXPORT transfer_meter
{
public:
    transfer_meter() { start(); }
    void start() { _clock.start(); }
    int64_t elapsed_ms() const { return _clock.elapsed(); }

    // Bytes per second so far; 0 before any time has passed.
    double rate(uint64_t done) const;
    // Seconds still needed at the rate so far; -1 when not known yet.
    int64_t seconds_left(uint64_t done, uint64_t total) const;

    // "DATA.LOG: 4096 of 20000 bytes, 1.4 KiB/s, 0:11 left"
    QString progress_text(const QString& name, uint64_t done, uint64_t total) const;
    // "FLASH: 41 %, 0:30 left", for work counted in steps rather than bytes
    QString step_text(const QString& step, uint64_t done, uint64_t total) const;
    // "uploaded DATA.LOG, 20000 bytes in 14.2 s, 1.38 KiB/s"
    QString summary(const QString& verb, const QString& name, uint64_t bytes) const;

    static QString rate_text(double bytes_per_second, int decimals = 1);
    // "m:ss"
    static QString clock_text(int64_t seconds);

private:
    QElapsedTimer _clock;
};

} // namespace kq::gui
