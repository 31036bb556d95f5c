#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kq::satsim {

// The simulator program's command line, checked as a whole before anything
// starts.
struct sim_options
{
    uint8_t local_address = 0x22;
    uint8_t remote_address = 0x23;
    uint8_t obc_address = 0x11;
    double frequency_mhz = 435.0;
    int scw = -1; // the transceivers' own default when negative
    int beacon_period_s = 10;
    QString beacon_text = QStringLiteral("KQ SAT ONLINE");
    QString store_dir; // a temporary, seeded store when empty
    bool pacing = false;
    double drop = 0.0;
    double corrupt = 0.0;
    double late = 0.0;
    int late_min_ms = 1200;
    int late_max_ms = 2000;
    double cut = 0.0;
    bool echo = false;
    bool late_overtaken = false;
    int chatter_ms = 0;
    bool high_bytes = false;
    bool misstore = false;
    bool text_reply = false;
    int text_period_s = 0;
    double xband_late = 0.0;
    int spoil_blocks = 0;
    int max_file_size = 16 * 1024 * 1024;
    uint32_t seed = 1;
    bool trace = false;
    QString link; // the default link when empty

    // False with a one-line reason for the first bad option; `help` is set
    // when asked for.
    bool parse(const QStringList& arguments, QString& error);
    bool help = false;
    QString help_text;

    static QString default_link();
};

} // namespace kq::satsim
