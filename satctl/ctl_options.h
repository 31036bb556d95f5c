#pragma once

#include "panelkit/connection_route.h"
#include "satcmd/module_config.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace kq::ctl {

// The driver's command line: how to reach the module (as the connection
// dialog asks for it), how to talk, and the command with its arguments.
struct ctl_options
{
    QString port;
    int baud = 115200;
    std::optional<gui::connection_type_e> type; // by command when not given
    gui::route_choice_t route;
    bool persistent = false;
    bool json = false;
    bool verbose = false;
    bool version = false;
    bool resume = false;
    bool convert = false;
    bool allow_no_end = false;
    bool full = false;
    bool dry_run = false;
    bool no_snapshot = false; // set, restore: go on when the snapshot before them fails
    bool yes = false;         // the destructive X-band commands run only with it
    double interval_s = 1.0;  // monitor: seconds between samples
    QString csv;              // monitor: also write the series to this file
    int restore = 0;          // history: restore the Nth snapshot, 1 the newest (0: only list)
    int count = 0;            // listening: stop after this many (not given, 0: until interrupted)
    int seconds = 0;          // listening: stop after this long (not given, 0: until interrupted)
    // Timing overrides by settings key ("timeout_s", "repeats_m", ...).
    QMap<QString, int> timing;

    QString command;
    QStringList arguments;
    bool help = false;
    QString help_text;

    // Throws ctl_error (exit_usage) for the first bad option.
    void parse(const QStringList& argv);

    // The stored timing with the overrides of the command line applied.
    api::proto::module_config_t module_config(const api::proto::module_config_t& stored) const;
};

} // namespace kq::ctl
