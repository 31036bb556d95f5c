#pragma once

#include "panelkit/transfer_meter.h"

#include <QString>

#include <cstdint>

namespace kq::ctl {

// A one-line progress bar with rate and time left on standard error, drawn
// only when standard error is a terminal (scripts and logs get nothing).
class progress_bar
{
public:
    explicit progress_bar(const QString& label, bool bytes = true);
    ~progress_bar();

    void update(uint64_t done, uint64_t total);

private:
    QString _label;
    bool _bytes;
    bool _on;
    bool _drawn = false;
    gui::transfer_meter _meter;
    int64_t _last_ms = -1000;
};

} // namespace kq::ctl
