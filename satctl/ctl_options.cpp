#include "ctl_options.h"

#include "ctl_error.h"

#include "satcmd/strict_number.h"

#include <QCommandLineParser>

#include <cmath>

namespace kq::ctl {

namespace {

using api::proto::module_config_t;
using api::proto::strict_number;

const QMap<QString, gui::connection_type_e> type_names{{"xhf", gui::connection_xhf},
                                                       {"xhf-xhf", gui::connection_xhf_xhf},
                                                       {"obc", gui::connection_obc},
                                                       {"xhf-xhf-obc", gui::connection_xhf_xhf_obc},
                                                       {"beacon", gui::connection_beacon}};

[[noreturn]] void usage(const QString& message)
{
    throw ctl_error(exit_usage, message + QStringLiteral(" (see satctl --help)"));
}

uint32_t address(const QString& option, const QString& text, uint32_t maximum = 0xFF)
{
    int value = 0;
    if (!strict_number::to_int(text, value, 0, int(maximum)))
        usage(QStringLiteral("--%1 '%2': an address from 0x00 to 0x%3, in hex after \"0x\" or "
                             "in decimal without a leading zero")
                  .arg(option, text)
                  .arg(maximum, 0, 16));
    return uint32_t(value);
}

int whole(const QString& option, const QString& text, int minimum, int maximum)
{
    int value = 0;
    if (!strict_number::to_int(text, value, minimum, maximum, false))
        usage(QStringLiteral("--%1 '%2': a whole number from %3 to %4")
                  .arg(option, text)
                  .arg(minimum)
                  .arg(maximum));
    return value;
}

QString timing_option(const char* key)
{
    return QString::fromLatin1(key).replace(QLatin1Char('_'), QLatin1Char('-'));
}

} // namespace

void ctl_options::parse(const QStringList& argv)
{
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.setApplicationDescription(QStringLiteral(
        "Reads and writes the satellite's UHF transceiver, moves files to and from its on-board "
        "computer, listens for beacons, and drives the FSPS module and the X-band transmitter."));
    p.addPositionalArgument(QStringLiteral("command"),
                            QStringLiteral("What to do; satctl --help lists the commands."));
    QList<QCommandLineOption> options{
        {{"h", "help"}, "Show this help and the commands."},
        {"version", "Show the version."},
        {"port", "Serial device of the module (or the simulator's link).", "PATH"},
        {"baud", "Line speed: 9600, 19200 or 115200 (default 115200).", "RATE", "115200"},
        {"type", "Connection: xhf, xhf-xhf, obc, xhf-xhf-obc or beacon (default by command).",
         "TYPE"},
        {"local-addr", "Address of the transceiver on the port (default 0x22).", "ADDR", "0x22"},
        {"remote-addr", "Address of the transceiver over the air (default 0x23).", "ADDR", "0x23"},
        {"obc-addr", "Address of the on-board computer (default 0x11).", "ADDR", "0x11"},
        {"fsps-addr", "Address of the FSPS module (default 0x31).", "ADDR", "0x31"},
        {"xband-addr", "Address of the X-band transmitter (default 0x40).", "ADDR", "0x40"},
        {"freq", "Radio frequency of the local relay in MHz (default 435.0).", "MHZ", "435.0"},
        {"rf-mode", "RF mode of the local relay: 0-7 or its label (default 2GFSK-9600-2400).",
         "MODE", "3"},
        {"persistent", "Keep trying a silent hop instead of failing."},
        {"json", "Print results as JSON."},
        {"verbose", "Show the KQTTC traffic on standard error."},
        {"resume", "put, get-file: continue a transfer that was cut off."},
        {"convert", "flash: rewrite S2/S8 records as S3/S7 and leave out a checked S5/S6 count."},
        {"allow-no-end", "flash: flash a file that has no end record (S7/S9)."},
        {"full", "xband report: the full report."},
        {"dry-run", "restore: show what would be written; send nothing."},
        {"no-snapshot",
         "set, restore: go on when the snapshot of the parameters before them cannot be read."},
        {"restore", "history: restore snapshot N (1 is the newest).", "N"},
        {"yes", "xband rm, rm-all, update, shutdown: do it (they are refused without)."},
        {"count",
         "beacons, text listen, monitor: stop after N (1 or more; without it, until Ctrl+C).", "N"},
        {"seconds",
         "beacons, text, monitor: stop after N seconds (1 or more; without it, until Ctrl+C; "
         "text send listens for answers that long).",
         "N"},
        {"interval", "monitor: seconds between samples (0.2 to 3600, default 1).", "S", "1"},
        {"csv", "monitor: also write the samples to FILE as CSV.", "FILE"},
    };
    for (const module_config_t::setting_t& s : module_config_t::settings())
        options.append({timing_option(s.key),
                        QStringLiteral("Command timing \"command/%1\" for this run.").arg(s.key),
                        s.is_count ? QStringLiteral("N") : QStringLiteral("MS")});
    p.addOptions(options);
    help_text = p.helpText();

    if (!p.parse(argv))
        usage(p.errorText());
    help = p.isSet(QStringLiteral("help"));
    version = p.isSet(QStringLiteral("version"));
    const QStringList positional = p.positionalArguments();
    if (!positional.isEmpty()) {
        command = positional.first();
        arguments = positional.mid(1);
    }

    port = p.value(QStringLiteral("port"));
    baud = whole(QStringLiteral("baud"), p.value(QStringLiteral("baud")), 0, 115200);
    if (baud != 9600 && baud != 19200 && baud != 115200)
        usage(QStringLiteral("--baud '%1': 9600, 19200 or 115200").arg(baud));
    if (p.isSet(QStringLiteral("type"))) {
        const QString name = p.value(QStringLiteral("type")).toLower();
        if (!type_names.contains(name))
            usage(
                QStringLiteral("--type '%1': xhf, xhf-xhf, obc, xhf-xhf-obc or beacon").arg(name));
        type = type_names.value(name);
    }
    route.local_address = address(QStringLiteral("local-addr"), p.value("local-addr"));
    route.remote_address = address(QStringLiteral("remote-addr"), p.value("remote-addr"));
    route.obc_address = address(QStringLiteral("obc-addr"), p.value("obc-addr"));
    route.fsps_address = address(QStringLiteral("fsps-addr"), p.value("fsps-addr"));
    route.xband_address = address(QStringLiteral("xband-addr"), p.value("xband-addr"), 0xFFFF);

    const bool ok = strict_number::to_real(p.value(QStringLiteral("freq")), route.frequency_mhz);
    if (!ok || route.frequency_mhz < 400.0 || route.frequency_mhz > 440.0 ||
        (route.frequency_mhz > 403.0 && route.frequency_mhz < 430.0))
        usage(QStringLiteral("--freq '%1': MHz from 400 to 403 or from 430 to 440")
                  .arg(p.value(QStringLiteral("freq"))));
    const QString mode = p.value(QStringLiteral("rf-mode"));
    int mode_index = gui::rf_mode_labels().indexOf(mode.toUpper());
    if (mode_index < 0)
        mode_index = whole(QStringLiteral("rf-mode"), mode, 0, 7);
    route.rf_mode = api::proto::rf_mode_e(mode_index);

    persistent = p.isSet(QStringLiteral("persistent"));
    json = p.isSet(QStringLiteral("json"));
    verbose = p.isSet(QStringLiteral("verbose"));
    resume = p.isSet(QStringLiteral("resume"));
    full = p.isSet(QStringLiteral("full"));
    convert = p.isSet(QStringLiteral("convert"));
    allow_no_end = p.isSet(QStringLiteral("allow-no-end"));
    dry_run = p.isSet(QStringLiteral("dry-run"));
    no_snapshot = p.isSet(QStringLiteral("no-snapshot"));
    yes = p.isSet(QStringLiteral("yes"));
    csv = p.value(QStringLiteral("csv"));
    if (!strict_number::to_real(p.value(QStringLiteral("interval")), interval_s) ||
        interval_s < 0.2 || interval_s > 3600)
        usage(QStringLiteral("--interval '%1': seconds from 0.2 to 3600")
                  .arg(p.value(QStringLiteral("interval"))));
    if (p.isSet(QStringLiteral("restore")))
        restore = whole(QStringLiteral("restore"), p.value(QStringLiteral("restore")), 1, 100000);
    // 0 would read as "none" to one user and "for ever" to another: absent
    // is "until Ctrl+C", and a number is at least 1.
    if (p.isSet(QStringLiteral("count")))
        count = whole(QStringLiteral("count"), p.value(QStringLiteral("count")), 1, 1000000);
    if (p.isSet(QStringLiteral("seconds")))
        seconds =
            whole(QStringLiteral("seconds"), p.value(QStringLiteral("seconds")), 1, 86400 * 7);
    for (const module_config_t::setting_t& s : module_config_t::settings()) {
        const QString option = timing_option(s.key);
        if (!p.isSet(option))
            continue;
        int32_t value = 0;
        QString why;
        if (!module_config_t::parse_setting(s, p.value(option), value, why))
            usage(QStringLiteral("--%1: %2").arg(option, why));
        timing.insert(QString::fromLatin1(s.key), value);
    }
}

api::proto::module_config_t
ctl_options::module_config(const api::proto::module_config_t& stored) const
{
    api::proto::module_config_t c = stored;
    for (auto it = timing.cbegin(); it != timing.cend(); ++it)
        c.*module_config_t::find_setting(it.key())->field = it.value();
    return c;
}

} // namespace kq::ctl
