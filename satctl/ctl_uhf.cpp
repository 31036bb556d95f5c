// The UHF transceiver's commands: find, get, set, reset, flash.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "progress_bar.h"

#include "ctl_output.h"

#include "panelkit/local_file.h"
#include "panelkit/resource_manager.h"
#include "panelkit/uhf_config.h"
#include "panelkit/uhf_params.h"
#include "satcmd/kqttc/firmware_file.h"
#include "satcmd/proto_exception.h"
#include "satcmd/scw_properties.h"
#include "satcmd/uhf_module.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <optional>

namespace kq::ctl {

using namespace api::proto;
using api::proto::kqttc::firmware_file;
using gui::find_uhf_param;
using gui::uhf_param_t;
using gui::uhf_params;
using gui::value_text;

namespace {

exit_code_e run_find(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 0);
    ctl_session s(o, target_e::uhf);
    const unsigned address = s.module<uhf_module>().find_module();
    const QString text = QStringLiteral("0x%1").arg(address, 2, 16, QLatin1Char('0'));
    out.result(QJsonObject{{"address", text}}, {QStringLiteral("address: ") + text});
    return exit_ok;
}

// A failed read in the panel's words; exit_ok for a value the route cannot
// give (the far transceiver does not pass its text beacon on), which is
// no failure of the run. Ctrl+C ends the whole walk instead.
failure_t read_error(const uhf_param_t& p)
{
    try {
        throw;
    } catch (const media_exception& e) {
        if (e.get_type() == media_exception::stopped)
            throw;
    } catch (const proto_exception& e) {
        if (e.get_type() == proto_exception::command_response_error &&
            e.get_exec_context() == QLatin1String("res_get_text_beacon_message") &&
            QString::fromUtf8(e.what()) == QLatin1String("ERR+REMOTE"))
            return {
                exit_ok,
                QStringLiteral("value for %1 is not available from remote device").arg(p.caption)};
    } catch (...) {
    }
    return describe_current_exception(QString());
}

exit_code_e run_get(const ctl_options& o, const ctl_output& out)
{
    QVector<const uhf_param_t*> wanted;
    for (const QString& name : o.arguments) {
        const uhf_param_t* p = find_uhf_param(name);
        if (!p)
            throw ctl_error(
                exit_usage,
                QStringLiteral("no parameter '%1' (satctl --help lists them)").arg(name));
        wanted << p;
    }
    if (wanted.isEmpty()) {
        for (const uhf_param_t& p : uhf_params())
            wanted << &p;
    }

    ctl_session s(o, target_e::uhf);
    auto& u = s.module<uhf_module>();
    std::optional<scw_properties> scw;
    const auto read_scw = [&] {
        if (!scw)
            scw = u.get_scw();
        return *scw;
    };
    QJsonObject values;
    QJsonObject errors;
    QStringList text;
    exit_code_e code = exit_ok;
    QStringList unreadable;
    for (const uhf_param_t* p : qAsConst(wanted)) {
        try {
            const QJsonValue v = p->json(p->read(u, read_scw));
            values.insert(p->name, v);
            text << QStringLiteral("%1: %2").arg(p->name, value_text(v));
        } catch (const std::exception&) {
            const failure_t why = read_error(*p);
            errors.insert(p->name, why.line);
            if (why.code == exit_ok) {
                unreadable << p->name;
                text << QStringLiteral("%1: not readable over this route (%2)")
                            .arg(p->name, why.line);
                continue;
            }
            text << QStringLiteral("%1: error: %2").arg(p->name, why.line);
            if (code == exit_ok)
                code = why.code;
            // A silent device or a broken port will not answer the rest either.
            if (why.code == exit_no_answer || why.code == exit_port)
                break;
        }
    }
    if (!errors.isEmpty())
        values.insert(QStringLiteral("errors"), errors);
    out.result(values, text);
    if (!unreadable.isEmpty() && code == exit_ok)
        ctl_output::notice(QStringLiteral("read everything this route can read; not readable over "
                                          "the air: %1")
                               .arg(unreadable.join(QStringLiteral(", "))));
    return code;
}

struct assignment_t
{
    const uhf_param_t* param;
    QVariant value;
    QString text;
};

assignment_t parse_assignment(const QString& assignment)
{
    const int eq = assignment.indexOf(QLatin1Char('='));
    if (eq <= 0)
        throw ctl_error(exit_usage, QStringLiteral("'%1': write NAME=VALUE").arg(assignment));
    const QString name = assignment.left(eq);
    const uhf_param_t* p = find_uhf_param(name);
    if (!p)
        throw ctl_error(exit_usage, QStringLiteral("no parameter '%1'").arg(name));
    if (!p->parse)
        throw ctl_error(exit_usage, QStringLiteral("%1 is read only").arg(name));
    const QString text = assignment.mid(eq + 1);
    try {
        return {p, p->parse(text), text};
    } catch (const gui::param_value_error& e) {
        throw ctl_error(exit_usage, QString::fromStdString(e.what()));
    }
}

// "Set" is what the device holds afterwards: every written value read back.
// A new UART speed on a direct line leaves the port at the old one, so
// nothing can be read back then.
QStringList read_back(uhf_module& u, const QVector<assignment_t>& assignments)
{
    QJsonObject sent;
    bool port_moved = false;
    const bool direct = u.get_connect_props().route.size() <= 1;
    for (const assignment_t& a : assignments) {
        sent.insert(a.param->name, a.param->json(a.value));
        port_moved |= direct && a.param->name == QLatin1String("uart-baud");
    }
    if (port_moved) {
        ctl_output::notice(QStringLiteral("written, not read back: the port no longer runs at the "
                                          "transceiver's UART speed"));
        return {};
    }
    QStringList unverified;
    const QStringList mismatches = gui::uhf_config::read_back(u, sent, &unverified);
    for (const QString& name : qAsConst(unverified))
        ctl_output::notice(
            QStringLiteral("%1 written, not read back: not readable over this route").arg(name));
    return mismatches;
}

exit_code_e run_set(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, -1);
    QVector<assignment_t> plain;
    QVector<assignment_t> scw_fields;
    for (const QString& argument : o.arguments) {
        const assignment_t a = parse_assignment(argument);
        (a.param->write_scw ? scw_fields : plain).append(a);
    }

    ctl_session s(o, target_e::uhf);
    auto& u = s.module<uhf_module>();
    record_snapshot(s, QStringLiteral("before set"), snapshot_need(o));
    QJsonObject written;
    QStringList text;
    const auto report = [&](const assignment_t& a) {
        written.insert(a.param->name, a.text);
        text << QStringLiteral("set %1 = %2").arg(a.param->name, a.text);
    };
    for (const assignment_t& a : qAsConst(plain)) {
        a.param->write(u, a.value);
        report(a);
    }
    if (!scw_fields.isEmpty()) {
        scw_properties scw = u.get_scw();
        for (const assignment_t& a : qAsConst(scw_fields))
            a.param->write_scw(scw, a.value);
        u.set_scw(scw);
        for (const assignment_t& a : qAsConst(scw_fields))
            report(a);
    }
    const QStringList mismatches = read_back(u, plain + scw_fields);
    text << mismatches;
    if (!mismatches.isEmpty())
        text << QStringLiteral("read back differs");
    out.result(
        QJsonObject{{"set", written}, {"mismatches", QJsonArray::fromStringList(mismatches)}},
        text);
    return mismatches.isEmpty() ? exit_ok : exit_mismatch;
}

exit_code_e run_reset(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 0);
    ctl_session s(o, target_e::uhf);
    auto& u = s.module<uhf_module>();
    scw_properties scw = u.get_scw();
    scw.set_reset(true);
    u.set_scw(scw);
    out.result(QJsonObject{{"reset", true}}, {QStringLiteral("reset requested")});
    return exit_ok;
}

// The firmware file checked whole before the port is opened; a refusal
// names the file and its line.
firmware_file checked_firmware(const QString& name, const QByteArray& data, const ctl_options& o)
{
    try {
        const firmware_file file(data, o.convert);
        if (const QString why = file.data_problem(); !why.isEmpty())
            throw ctl_error(exit_local_file, name + QStringLiteral(": ") + why);
        if (!file.has_end() && !o.allow_no_end)
            throw ctl_error(exit_local_file,
                            QStringLiteral("%1: line %2: FLASH_FILE_NO_END: the last record is "
                                           "not an end record (S7 or S9), so the file may have "
                                           "been cut short: copy it again, or flash it as it "
                                           "is with --allow-no-end")
                                .arg(name)
                                .arg(file.last_line()));
        return file;
    } catch (const proto_exception& e) {
        throw ctl_error(exit_local_file, name + QStringLiteral(": ") + QString::fromUtf8(e.what()));
    }
}

exit_code_e run_flash(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    QFile file(o.arguments.first());
    gui::local_file::open_for_reading(file);
    const firmware_file checked = checked_firmware(file.fileName(), file.readAll(), o);
    for (const QString& change : checked.changes())
        ctl_output::notice(file.fileName() + QStringLiteral(": ") + change);
    QByteArray image = checked.text();

    ctl_session s(o, target_e::uhf);
    record_snapshot(s, QStringLiteral("before flash"), snapshot_e::optional);
    progress_bar bar(QStringLiteral("flash"), false);
    uint32_t accepted = 0;
    QObject::connect(&s.base(), &kq_module::on_flash_progress,
                     [&bar, &accepted](const QString&, uint32_t pos, uint32_t length) {
                         accepted = pos;
                         bar.update(pos, length);
                     });
    try {
        s.module<uhf_module>().flash(image);
    } catch (...) {
        // How far the transceiver got is part of the failure.
        ctl_output::notice(QStringLiteral("flash ended after %1 of %2 records; the transceiver "
                                          "may be left without working firmware: flash it again")
                               .arg(accepted)
                               .arg(checked.records().size()));
        throw;
    }
    out.result(QJsonObject{{"flashed", file.fileName()},
                           {"bytes", image.size()},
                           {"records", checked.records().size()},
                           {"converted", QJsonArray::fromStringList(checked.changes())}},
               {QStringLiteral("flashed %1 (%2 records)")
                    .arg(file.fileName())
                    .arg(checked.records().size())});
    return exit_ok;
}

} // namespace

const QVector<command_t>& uhf_commands()
{
    static const QVector<command_t> table{
        {"find", "find", "Find the transceiver's address.", run_find},
        {"get", "get [NAME...]", "Read parameters (all when none is named).", run_get},
        {"set", "set NAME=VALUE...", "Write parameters; status-word fields in one write.", run_set},
        {"reset", "reset", "Reset the transceiver.", run_reset},
        {"flash", "flash FILE.SCRM",
         "Flash the transceiver's firmware (S-record file, checked whole first; --convert, "
         "--allow-no-end).",
         run_flash},
    };
    return table;
}

} // namespace kq::ctl
