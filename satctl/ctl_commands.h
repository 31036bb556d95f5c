#pragma once

#include "ctl_error.h"
#include "ctl_options.h"
#include "ctl_output.h"

#include <QFile>
#include <QString>
#include <QVector>

namespace kq::ctl {

// One command of the driver. `run` checks its arguments before it connects,
// so a bad value is refused before anything is sent; it returns the exit
// code or throws.
struct command_t
{
    QString name;
    QString synopsis;
    QString summary;
    exit_code_e (*run)(const ctl_options& options, const ctl_output& out);
};

const QVector<command_t>& uhf_commands();
const QVector<command_t>& config_commands(); // the transceiver's configuration as files
const QVector<command_t>& obc_commands();
const QVector<command_t>& device_commands(); // beacons, text, monitor, FSPS, X-band

// "xband ...": the X-band transmitter's commands.
exit_code_e run_xband(const ctl_options& options, const ctl_output& out);

const command_t* find_command(const QString& name);
QString commands_help();

// Arguments of the command in `options`, at least `minimum` and at most
// `maximum` of them (-1: any number).
void expect_arguments(const ctl_options& options, int minimum, int maximum);

class ctl_session;

// Saves the module's parameters in its history before they change.
// Without the snapshot the change does not go on (a failing read is the
// run's error) unless the user said --no-snapshot; a flash goes on anyway:
// a transceiver that cannot be read may be the one that needs it.
enum class snapshot_e { required, optional };
void record_snapshot(ctl_session& session, const QString& reason, snapshot_e need);
snapshot_e snapshot_need(const ctl_options& o); // required, unless --no-snapshot

// "xband backup|diff|restore|history": the arguments after the word.
exit_code_e run_xband_config(const QString& what, const ctl_options& options,
                             const ctl_output& out);

} // namespace kq::ctl
