// The X-band transmitter: parameters, reports, its file store, modes,
// firmware update and shutdown.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "progress_bar.h"

#include "panelkit/local_file.h"
#include "panelkit/uhf_params.h"
#include "panelkit/xband_config.h"
#include "panelkit/xband_params.h"
#include "panelkit/xband_report.h"
#include "panelkit/xband_transfer.h"
#include "satcmd/proto_exception.h"
#include "satcmd/xband_module.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include <functional>

namespace kq::ctl {

using namespace api::proto;
using gui::local_file;
using gui::xband_report_field_t;
using gui::xband_transfer;

namespace {

// States of the transmitter's report that a send and an update run in.
constexpr int state_sending = 3;
constexpr int state_updating = 4;
constexpr int follow_limit_s = 600;
const auto send_status = xband_file_status_e(0);

struct xband_command_t
{
    QString word;
    int minimum; // arguments after the word
    int maximum;
    QString destroys; // what it destroys, asked to confirm with --yes; empty: nothing
    exit_code_e (*run)(const ctl_options&, const ctl_output&, xband_module&);
};

QString json_text(const QJsonValue& v)
{
    return v.isDouble() ? QString::number(v.toDouble(), 'g', 10) : v.toString();
}

QString checked_name(const QString& name)
{
    const QString problem = xband_transfer::name_problem(name);
    if (!problem.isEmpty())
        throw ctl_error(exit_usage,
                        QStringLiteral("'%1' cannot name a file on the X-band transmitter: %2")
                            .arg(name, problem));
    return name;
}

exit_code_e print_parameters(const ctl_output& out, xband_module& x)
{
    const xband_all_parameters_t all = x.get_all_parameters();
    QJsonObject json;
    QStringList text;
    for (const gui::xband_param_t& p : gui::xband_params()) {
        json.insert(p.name, p.read(all));
        text << QStringLiteral("%1: %2").arg(p.name, json_text(p.read(all)));
    }
    out.result(json, text);
    return exit_ok;
}

exit_code_e run_get(const ctl_options&, const ctl_output& out, xband_module& x)
{
    return print_parameters(out, x);
}

// Written one by one, then read back once: a value the transmitter holds
// otherwise is reported, and the run exits 7.
exit_code_e run_set(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    QJsonObject written;
    for (const QString& a : o.arguments.mid(1)) {
        const gui::xband_param_t* p = gui::find_xband_param(a.section(QLatin1Char('='), 0, 0));
        const double value = p->parse(a.section(QLatin1Char('='), 1));
        p->write(x, value);
        written.insert(p->name, p->stored(value));
    }
    const QStringList mismatches = gui::xband_config::read_back(x, written);
    if (mismatches.isEmpty())
        return print_parameters(out, x);
    out.result(
        QJsonObject{{"set", written}, {"mismatches", QJsonArray::fromStringList(mismatches)}},
        mismatches + QStringList{QStringLiteral("read back differs")});
    return exit_mismatch;
}

// Checked before the port is opened, so a bad value sends nothing.
void check_set(const ctl_options& o)
{
    for (const QString& a : o.arguments.mid(1)) {
        const QString name = a.section(QLatin1Char('='), 0, 0);
        const gui::xband_param_t* p = gui::find_xband_param(name);
        if (!p || !p->writable())
            throw ctl_error(exit_usage,
                            QStringLiteral("no writable X-band parameter '%1'").arg(name));
        try {
            p->parse(a.section(QLatin1Char('='), 1));
        } catch (const gui::param_value_error& e) {
            throw ctl_error(exit_usage, QString::fromStdString(e.what()));
        }
    }
}

exit_code_e run_report(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const xband_full_report_t r = o.full ? x.get_full_report() : gui::widen(x.get_simple_report());
    QJsonObject json;
    QStringList text;
    for (const xband_report_field_t& f : gui::xband_report_fields()) {
        if (!o.full && !f.in_simple)
            continue;
        json.insert(f.name, f.value(r));
        text << QStringLiteral("%1: %2").arg(f.caption, f.text(r));
    }
    out.result(json, text);
    return exit_ok;
}

exit_code_e run_ls(const ctl_options&, const ctl_output& out, xband_module& x)
{
    QVector<xband_file_entry_t> entries;
    x.dir(entries);
    QJsonArray json;
    QStringList text;
    for (const xband_file_entry_t& e : entries) {
        json.append(QJsonObject{{"name", e.name}, {"size", qint64(e.size)}});
        text << QStringLiteral("%1  %2").arg(e.name, -16).arg(e.size);
    }
    out.result(json, text);
    return exit_ok;
}

QByteArray read_local(const QString& path)
{
    return local_file::read_whole(path, xband_transfer::max_size);
}

// A transfer that draws its progress on the bar.
xband_transfer transfer_on(xband_module& x, progress_bar& bar)
{
    return xband_transfer(
        x, [&bar](const QString&, uint64_t done, uint64_t total) { bar.update(done, total); });
}

void upload(xband_module& x, const QByteArray& data, const QString& name)
{
    progress_bar bar(QStringLiteral("put ") + name);
    transfer_on(x, bar).upload(data, name);
}

exit_code_e run_put(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const QString name = o.arguments.value(2, QFileInfo(o.arguments.at(1)).fileName());
    const QByteArray data = read_local(o.arguments.at(1));
    upload(x, data, name);
    out.result(
        QJsonObject{{"put", name}, {"bytes", data.size()}, {"verified", true}},
        {QStringLiteral("put %1 (%2 bytes, read back and verified)").arg(name).arg(data.size())});
    return exit_ok;
}

// Where a download goes: the path as named, or the transmitter's name in a
// folder (the current one when none is named).
QString xband_download_path(const ctl_options& o)
{
    const QString given = o.arguments.value(2);
    if (!given.isEmpty() && !QFileInfo(given).isDir())
        return given;
    return QDir(given.isEmpty() ? QStringLiteral(".") : given).filePath(o.arguments.at(1));
}

exit_code_e run_get_file(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const QString name = o.arguments.at(1);
    const QString path = xband_download_path(o);
    QByteArray data;
    try {
        progress_bar bar(QStringLiteral("get ") + name);
        data = transfer_on(x, bar).download(name);
    } catch (const proto_exception& e) {
        if (e.get_type() != proto_exception::command_response_error)
            throw;
        throw ctl_error(exit_refused,
                        QStringLiteral("xband get-file %1: the transmitter refused to read it "
                                       "(%2); \"satctl xband ls\" lists its files")
                            .arg(name, QString::fromUtf8(e.what())));
    }
    local_file::write_whole(path, data);
    out.result(QJsonObject{{"get", name}, {"file", path}, {"bytes", data.size()}},
               {QStringLiteral("saved %1 as %2 (%3 bytes)").arg(name, path).arg(data.size())});
    return exit_ok;
}

exit_code_e run_rm(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    x.delete_file(o.arguments.at(1));
    out.result(QJsonObject{{"deleted", o.arguments.at(1)}},
               {QStringLiteral("deleted %1").arg(o.arguments.at(1))});
    return exit_ok;
}

exit_code_e run_rm_all(const ctl_options&, const ctl_output& out, xband_module& x)
{
    x.delete_all_files();
    QVector<xband_file_entry_t> left;
    x.dir(left);
    if (!left.isEmpty())
        throw ctl_error(exit_failed,
                        QStringLiteral("the transmitter still lists %1 files").arg(left.size()));
    out.result(QJsonObject{{"deleted_all", true}}, {QStringLiteral("deleted every file")});
    return exit_ok;
}

int state_of(xband_module& x)
{
    return x.get_simple_report().report_byte_0;
}

exit_code_e run_mode(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const QString wanted = o.arguments.value(1).toLower();
    if (wanted == QLatin1String("tx"))
        x.tx_mode();
    else if (wanted == QLatin1String("load"))
        x.load_mode();
    const int state = state_of(x);
    out.result(QJsonObject{{"state", state}, {"mode", gui::xband_state_text(state)}},
               {QStringLiteral("mode: %1").arg(gui::xband_state_text(state))});
    return exit_ok;
}

// Shows a send or an update until the transmitter leaves its state; the
// percentage is the report's field.
int follow(xband_module& x, int state, const QString& field, const QString& label)
{
    progress_bar bar(label, false);
    const xband_report_field_t* f = gui::find_xband_report_field(field);
    for (int waited_ms = 0; waited_ms < follow_limit_s * 1000; waited_ms += 500) {
        const xband_full_report_t r = x.get_full_report();
        if (r.report_byte_0 != state)
            return r.report_byte_0;
        bar.update(uint64_t(f->value(r)), 100);
        QThread::msleep(500);
    }
    throw ctl_error(
        exit_failed,
        QStringLiteral("%1 is still running after %2 s").arg(label).arg(follow_limit_s));
}

exit_code_e run_send(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const QString name = o.arguments.at(1);
    x.send_files(send_status, name);
    const int after =
        follow(x, state_sending, QStringLiteral("send-progress"), QStringLiteral("send ") + name);
    out.result(QJsonObject{{"sent", name}, {"mode", gui::xband_state_text(after)}},
               {QStringLiteral("sent %1; mode: %2").arg(name, gui::xband_state_text(after))});
    return exit_ok;
}

exit_code_e run_update(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const QString path = o.arguments.at(1);
    const QString name = QFileInfo(path).fileName();
    upload(x, read_local(path), name);
    x.update_fw(name);
    const int after = follow(x, state_updating, QStringLiteral("update-progress"),
                             QStringLiteral("update ") + name);
    const double uptime = gui::find_xband_report_field(QStringLiteral("uptime"))
                              ->value(gui::widen(x.get_simple_report()));
    out.result(
        QJsonObject{{"updated", name}, {"mode", gui::xband_state_text(after)}, {"uptime", uptime}},
        {QStringLiteral("updated from %1; the transmitter restarted (uptime %2 s)")
             .arg(name)
             .arg(uptime)});
    return exit_ok;
}

exit_code_e run_shutdown(const ctl_options&, const ctl_output& out, xband_module& x)
{
    x.shutdown();
    out.result(QJsonObject{{"shutdown", true}}, {QStringLiteral("shut down")});
    return exit_ok;
}

const QVector<xband_command_t>& xband_commands()
{
    static const QVector<xband_command_t> table{
        {"get", 0, 0, {}, run_get},
        {"set", 1, -1, {}, run_set},
        {"report", 0, 0, {}, run_report},
        {"ls", 0, 0, {}, run_ls},
        {"put", 1, 2, {}, run_put},
        {"get-file", 1, 2, {}, run_get_file},
        {"rm", 1, 1, "deletes a file on the transmitter", run_rm},
        {"rm-all", 0, 0, "deletes every file on the transmitter", run_rm_all},
        {"mode", 0, 1, {}, run_mode},
        {"send", 1, 1, {}, run_send},
        {"update", 1, 1, "replaces the transmitter's firmware", run_update},
        {"shutdown", 0, 0, "switches the transmitter off", run_shutdown},
    };
    return table;
}

// What can be checked before the port is opened.
void check_arguments(const QString& word, const ctl_options& o)
{
    if (word == QLatin1String("set"))
        check_set(o);
    if (word == QLatin1String("put") || word == QLatin1String("update")) {
        read_local(o.arguments.at(1));
        checked_name(o.arguments.value(2, QFileInfo(o.arguments.at(1)).fileName()));
    }
    if (word == QLatin1String("get-file")) {
        checked_name(o.arguments.at(1));
        // What the download writes is checked before the port is opened.
        local_file::check_writable(xband_download_path(o));
    }
    if (word == QLatin1String("mode") && o.arguments.size() == 2) {
        const QString m = o.arguments.at(1).toLower();
        if (m != QLatin1String("tx") && m != QLatin1String("load"))
            throw ctl_error(exit_usage, QStringLiteral("mode '%1': tx or load").arg(m));
    }
    if (word == QLatin1String("rm") || word == QLatin1String("send"))
        checked_name(o.arguments.at(1));
}

QStringList words()
{
    QStringList all;
    for (const xband_command_t& c : xband_commands())
        all << c.word;
    return all << QStringLiteral("backup") << QStringLiteral("diff") << QStringLiteral("restore")
               << QStringLiteral("history");
}

} // namespace

exit_code_e run_xband(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, -1);
    const QString word = o.arguments.at(0);
    static const QStringList config_words{"backup", "diff", "restore", "history"};
    if (config_words.contains(word)) {
        ctl_options rest = o;
        rest.arguments.removeFirst();
        return run_xband_config(word, rest, out);
    }
    const auto it = std::find_if(xband_commands().cbegin(), xband_commands().cend(),
                                 [&word](const xband_command_t& c) { return c.word == word; });
    if (it == xband_commands().cend())
        throw ctl_error(
            exit_usage,
            QStringLiteral("xband '%1': %2").arg(word, words().join(QStringLiteral(", "))));
    expect_arguments(o, it->minimum + 1, it->maximum < 0 ? -1 : it->maximum + 1);
    if (!it->destroys.isEmpty() && !o.yes)
        throw ctl_error(exit_usage,
                        QStringLiteral("xband %1 %2: add --yes to do it").arg(word, it->destroys));
    check_arguments(word, o);

    ctl_session s(o, target_e::xband);
    if (word == QLatin1String("set"))
        record_snapshot(s, QStringLiteral("before set"), snapshot_need(o));
    return it->run(o, out, s.module<xband_module>());
}

} // namespace kq::ctl
