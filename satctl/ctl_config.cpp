// Modules' configurations as files: backup, diff, restore and the history
// of snapshots taken before every change, for the transceiver and the
// X-band transmitter alike.

#include "ctl_commands.h"
#include "ctl_error.h"
#include "ctl_session.h"

#include "panelkit/local_file.h"
#include "panelkit/param_history.h"
#include "panelkit/uhf_config.h"
#include "panelkit/uhf_params.h"
#include "panelkit/xband_config.h"
#include "satcmd/uhf_module.h"
#include "satcmd/xband_module.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

namespace kq::ctl {

using namespace api::proto;
using gui::param_difference;
using gui::param_file_error;
using gui::param_history;
using gui::param_restore_result;
using gui::param_snapshot;
using gui::value_text;

namespace {

// What the commands need of a module kind.
struct config_kind
{
    const char* module;
    target_e target;
    std::function<param_snapshot(ctl_session&)> backup;
    std::function<param_snapshot(const QString&)> load;
    std::function<QVector<param_difference>(const QJsonObject&, const QJsonObject&)> diff;
    std::function<param_restore_result(ctl_session&, const QJsonObject&, bool,
                                       gui::param_restore_progress*)>
        restore;
};

const config_kind& uhf_kind()
{
    static const config_kind kind{
        gui::uhf_config::module_name,
        target_e::uhf,
        [](ctl_session& s) { return gui::uhf_config::backup(s.module<uhf_module>()); },
        gui::uhf_config::load,
        gui::uhf_config::diff,
        [](ctl_session& s, const QJsonObject& wanted, bool dry_run,
           gui::param_restore_progress* progress) {
            return gui::uhf_config::restore(s.module<uhf_module>(), wanted, dry_run, progress);
        }};
    return kind;
}

const config_kind& xband_kind()
{
    static const config_kind kind{
        gui::xband_config::module_name,
        target_e::xband,
        [](ctl_session& s) {
            const route_t route = s.base().get_connect_props().route;
            return gui::xband_config::backup(s.module<xband_module>(), route.last().dev_addr);
        },
        gui::xband_config::load,
        gui::xband_config::diff,
        [](ctl_session& s, const QJsonObject& wanted, bool dry_run,
           gui::param_restore_progress* progress) {
            return gui::xband_config::restore(s.module<xband_module>(), wanted, dry_run, progress);
        }};
    return kind;
}

param_snapshot load(const config_kind& kind, const QString& path)
{
    try {
        return kind.load(path);
    } catch (const param_file_error& e) {
        throw ctl_error(exit_local_file, QString::fromStdString(e.what()));
    }
}

void save(const param_snapshot& s, const QString& path)
{
    try {
        gui::param_file::save(s, path);
    } catch (const param_file_error& e) {
        throw ctl_error(exit_local_file, QString::fromStdString(e.what()));
    }
}

QString shown(const QJsonValue& v)
{
    return v.isUndefined() ? QStringLiteral("(none)") : value_text(v);
}

QJsonArray as_json(const QVector<param_difference>& differences)
{
    QJsonArray out;
    for (const param_difference& d : differences)
        out.append(QJsonObject{{"name", d.name}, {"here", d.here}, {"there", d.there}});
    return out;
}

QStringList as_lines(const QVector<param_difference>& differences)
{
    QStringList out;
    for (const param_difference& d : differences)
        out << QStringLiteral("%1: %2 -> %3").arg(d.name, shown(d.here), shown(d.there));
    return out;
}

// The history of the module at the end of the route.
param_history history_of(const char* module, const route_t& route)
{
    const uint32_t address = route.isEmpty() ? 0 : route.last().dev_addr;
    const int digits = address > 0xFF ? 4 : 2;
    return param_history(
        QLatin1String(module),
        QStringLiteral("0x") +
            QStringLiteral("%1").arg(address, digits, 16, QLatin1Char('0')).toUpper());
}

// Called from within a catch: says in words what failed, and ends the run
// when the change needs its snapshot.
void skip_snapshot(const QString& reason, snapshot_e need)
{
    const failure_t why = describe_current_exception(QString());
    if (need == snapshot_e::required)
        throw ctl_error(why.code, QStringLiteral("no snapshot %1, so nothing was written: %2 "
                                                 "(--no-snapshot goes on without one)")
                                      .arg(reason, why.line));
    ctl_output::notice(QStringLiteral("no snapshot %1: %2").arg(reason, why.line));
}

void record(const config_kind& kind, ctl_session& s, const QString& reason, snapshot_e need)
{
    try {
        param_snapshot snapshot = kind.backup(s);
        snapshot.reason = reason;
        history_of(kind.module, s.base().get_connect_props().route).record(snapshot);
    } catch (const media_exception& e) {
        // Ctrl+C and a broken port end the run as everywhere else.
        if (e.get_type() != media_exception::timeout)
            throw;
        skip_snapshot(reason, need);
    } catch (const std::exception&) {
        skip_snapshot(reason, need);
    }
}

exit_code_e backup(const config_kind& kind, const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    const QString path = o.arguments.first();
    gui::local_file::check_writable(path); // before the port is opened
    ctl_session s(o, kind.target);
    param_snapshot snapshot = kind.backup(s);
    snapshot.reason = QStringLiteral("backup");
    save(snapshot, path);
    const QJsonArray not_read =
        snapshot.status.value(QLatin1String(gui::uhf_config::not_read_key)).toArray();
    if (!not_read.isEmpty())
        ctl_output::notice(
            QStringLiteral("status not read, left out of the file: %1")
                .arg(QJsonDocument(not_read).toJson(QJsonDocument::Compact).constData()));
    out.result(
        QJsonObject{{"saved", path}, {"parameters", snapshot.parameters.size()}},
        {QStringLiteral("saved %1 parameters to %2").arg(snapshot.parameters.size()).arg(path)});
    return exit_ok;
}

// The device against a file, or one file against another; "same" or the
// differences, exit 7 when they differ.
exit_code_e diff(const config_kind& kind, const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    QJsonObject there = load(kind, o.arguments.last()).parameters;
    QJsonObject here;
    if (o.arguments.size() == 2) {
        here = load(kind, o.arguments.first()).parameters;
    } else {
        ctl_session s(o, kind.target);
        const param_snapshot device = kind.backup(s);
        here = device.parameters;
        // What the route cannot read is not compared, and the user told so.
        const QJsonArray unreadable =
            device.status.value(QLatin1String(gui::uhf_config::not_readable_key)).toArray();
        for (const QJsonValue name : unreadable) {
            if (there.contains(name.toString()))
                ctl_output::notice(QStringLiteral("%1 not compared: not readable over this route")
                                       .arg(name.toString()));
            there.remove(name.toString());
        }
    }
    const QVector<param_difference> differences = kind.diff(here, there);
    const bool same = differences.isEmpty();
    QStringList lines = as_lines(differences);
    lines << (same ? QStringLiteral("same") : QStringLiteral("differs"));
    out.result(QJsonObject{{"same", same}, {"differences", as_json(differences)}}, lines);
    return same ? exit_ok : exit_mismatch;
}

exit_code_e restore_from(const config_kind& kind, const param_snapshot& file, const ctl_options& o,
                         const ctl_output& out)
{
    ctl_session s(o, kind.target);
    if (!o.dry_run)
        record(kind, s, QStringLiteral("before restore"), snapshot_need(o));
    gui::param_restore_progress progress;
    param_restore_result r;
    try {
        r = kind.restore(s, file.parameters, o.dry_run, &progress);
    } catch (...) {
        // What the device holds now is part of the failure.
        if (progress.planned > 0)
            ctl_output::notice(
                QStringLiteral("restore ended after %1 of %2 values written%3; \"history "
                               "--restore 1\" puts back the values from before it")
                    .arg(progress.written.size())
                    .arg(progress.planned)
                    .arg(progress.written.isEmpty()
                             ? QString()
                             : QStringLiteral(" (") + progress.written.join(QLatin1String(", ")) +
                                   QLatin1Char(')')));
        throw;
    }
    QStringList lines = as_lines(r.plan);
    if (lines.isEmpty())
        lines << QStringLiteral("nothing to write: the device holds the file's values");
    else if (o.dry_run)
        lines.prepend(QStringLiteral("would write (dry run, nothing sent):"));
    QJsonArray skipped;
    for (int i = 0; i < r.skipped.size(); ++i) {
        const param_difference& d = r.skipped.at(i);
        ctl_output::notice(QStringLiteral("%1 not written (%2 -> %3): %4")
                               .arg(d.name, shown(d.here), shown(d.there), r.why_skipped.at(i)));
        skipped.append(QJsonObject{{"name", d.name}, {"why", r.why_skipped.at(i)}});
    }
    for (const QString& name : r.unverified)
        ctl_output::notice(
            QStringLiteral("%1 written, not read back: not readable over this route").arg(name));
    lines << r.mismatches;
    if (!o.dry_run && !r.plan.isEmpty())
        lines << (r.ok() ? QStringLiteral("written and read back: %1 values").arg(r.plan.size())
                         : QStringLiteral("read back differs"));
    out.result(QJsonObject{{"dry_run", o.dry_run},
                           {"written", o.dry_run ? QJsonArray() : as_json(r.plan)},
                           {"plan", as_json(r.plan)},
                           {"skipped", skipped},
                           {"mismatches", QJsonArray::fromStringList(r.mismatches)},
                           {"unverified", QJsonArray::fromStringList(r.unverified)}},
               lines);
    return r.ok() ? exit_ok : exit_mismatch;
}

exit_code_e restore(const config_kind& kind, const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    return restore_from(kind, load(kind, o.arguments.first()), o, out);
}

// The snapshots of the module the route reaches, newest first; with
// --restore N, the Nth of them written back.
exit_code_e history(const config_kind& kind, const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 0);
    // A listing opens no port: the route's last address names the history.
    QStringList broken;
    const QVector<param_history::entry_t> entries =
        history_of(kind.module, ctl_session::route_for(o, kind.target)).entries(&broken);
    for (const QString& why : broken)
        ctl_output::notice(QStringLiteral("not a snapshot, left out: ") + why);
    if (o.restore > 0) {
        if (o.restore > entries.size())
            throw ctl_error(exit_usage, QStringLiteral("--restore %1: there are %2 snapshots")
                                            .arg(o.restore)
                                            .arg(entries.size()));
        return restore_from(kind, load(kind, entries.at(o.restore - 1).file), o, out);
    }
    QJsonArray list;
    QStringList lines;
    for (int i = 0; i < entries.size(); ++i) {
        const param_history::entry_t& e = entries.at(i);
        list.append(QJsonObject{{"n", i + 1},
                                {"time", e.time.toString(Qt::ISODate)},
                                {"reason", e.reason},
                                {"file", e.file}});
        lines << QStringLiteral("%1  %2  %3")
                     .arg(i + 1, 3)
                     .arg(e.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                          e.reason);
    }
    if (lines.isEmpty())
        lines << QStringLiteral("no snapshots yet");
    out.result(QJsonObject{{"snapshots", list}}, lines);
    return exit_ok;
}

exit_code_e run_backup(const ctl_options& o, const ctl_output& out)
{
    return backup(uhf_kind(), o, out);
}
exit_code_e run_diff(const ctl_options& o, const ctl_output& out)
{
    return diff(uhf_kind(), o, out);
}
exit_code_e run_restore(const ctl_options& o, const ctl_output& out)
{
    return restore(uhf_kind(), o, out);
}
exit_code_e run_history(const ctl_options& o, const ctl_output& out)
{
    return history(uhf_kind(), o, out);
}

} // namespace

snapshot_e snapshot_need(const ctl_options& o)
{
    return o.no_snapshot ? snapshot_e::optional : snapshot_e::required;
}

void record_snapshot(ctl_session& s, const QString& reason, snapshot_e need)
{
    record(s.base().get_connect_props().route.last().module_type == module_type_xband ? xband_kind()
                                                                                      : uhf_kind(),
           s, reason, need);
}

exit_code_e run_xband_config(const QString& what, const ctl_options& o, const ctl_output& out)
{
    if (what == QLatin1String("backup"))
        return backup(xband_kind(), o, out);
    if (what == QLatin1String("diff"))
        return diff(xband_kind(), o, out);
    if (what == QLatin1String("restore"))
        return restore(xband_kind(), o, out);
    return history(xband_kind(), o, out);
}

const QVector<command_t>& config_commands()
{
    static const QVector<command_t> table{
        {"backup", "backup FILE", "Save every parameter to a configuration file.", run_backup},
        {"diff", "diff FILE [FILE2]",
         "Compare the device (or FILE) with FILE2; exit 7 when they differ.", run_diff},
        {"restore", "restore FILE [--dry-run]",
         "Write the file's values that differ, then read them back.", run_restore},
        {"history", "history [--restore N]",
         "List the snapshots taken before every change, or restore one.", run_history},
    };
    return table;
}

} // namespace kq::ctl
