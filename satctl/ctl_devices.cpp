// Beacons, the FSPS module and the X-band transmitter.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "interrupt_watcher.h"

#include "panelkit/fsps_params.h"
#include "panelkit/uhf_params.h"
#include "panelkit/xband_params.h"
#include "satcmd/fsps_module.h"
#include "satcmd/strict_number.h"
#include "satcmd/uhf_module.h"
#include "satcmd/xband_module.h"
#include "serline/media_exception.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <cmath>

namespace kq::ctl {

using namespace api::proto;

namespace {

// Listens until Ctrl+C, --count beacons or --seconds; each beacon printed
// with the workstation's time stamp as the receiver panel shows it.
exit_code_e run_beacons(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 0);
    ctl_session s(o, target_e::beacon);
    auto& u = s.module<uhf_module>();
    std::atomic<bool> running{true};
    int heard = 0;
    QObject::connect(&u, &uhf_module::on_ax25_beacon, [&](const QString& beacon) {
        const QDateTime now = QDateTime::currentDateTime();
        const QString stamp = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        out.event(QJsonObject{{"time", now.toString(Qt::ISODateWithMs)}, {"beacon", beacon}},
                  stamp + QStringLiteral("  AX25 ") + beacon);
        if (o.count > 0 && ++heard >= o.count)
            running.store(false);
    });
    s.watcher().watch_loop(running, o.seconds * 1000);
    try {
        u.ax25_beacon_loop(running);
    } catch (const media_exception& e) {
        if (running.load() || e.get_type() != media_exception::stopped)
            throw;
    }
    return exit_ok;
}

// One FSPS value from the table, checked before the port is opened.
exit_code_e run_fsps(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    const gui::fsps_param_t* p = gui::find_fsps_param(o.command);
    QVariant value;
    try {
        value = p->parse(o.arguments.at(0));
    } catch (const gui::param_value_error& e) {
        throw ctl_error(exit_usage, QString::fromStdString(e.what()));
    }
    ctl_session s(o, target_e::fsps);
    p->write(s.module<fsps_module>(), value);
    const QString key = QStringLiteral("fsps_") + p->name;
    out.result(QJsonObject{{key, value.toLongLong()}},
               {QStringLiteral("%1: %2").arg(p->command, value.toString())});
    return exit_ok;
}

QString json_text(const QJsonValue& v)
{
    return v.isDouble() ? QString::number(v.toDouble(), 'g', 10) : v.toString();
}

exit_code_e xband_get(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    const xband_all_parameters_t all = x.get_all_parameters();
    QJsonObject json;
    QStringList text;
    for (const gui::xband_param_t& p : gui::xband_params()) {
        json.insert(p.name, p.read(all));
        text << QStringLiteral("%1: %2").arg(p.name, json_text(p.read(all)));
    }
    Q_UNUSED(o)
    out.result(json, text);
    return exit_ok;
}

exit_code_e xband_report(const ctl_options& o, const ctl_output& out, xband_module& x)
{
    QJsonObject json;
    if (o.full) {
        const xband_full_report_t r = x.get_full_report();
        QJsonArray bytes;
        for (const uint8_t b : r.report_bytes)
            bytes.append(int(b));
        json = {{"byte_0", r.report_byte_0},
                {"byte_1", r.report_byte_1},
                {"word_0", r.report_word_0},
                {"word_1", r.report_word_1},
                {"bytes", bytes},
                {"word_2", r.report_word_2},
                {"word_3", r.report_word_3},
                {"float_0", double(r.report_float_0)},
                {"float_1", double(r.report_float_1)},
                {"float_2", double(r.report_float_2)},
                {"float_3", double(r.report_float_3)}};
    } else {
        const xband_simple_report_t r = x.get_simple_report();
        json = {{"byte_0", r.report_byte_0},
                {"byte_1", r.report_byte_1},
                {"word_0", r.report_word_0},
                {"word_1", r.report_word_1}};
    }
    QStringList text;
    for (auto it = json.constBegin(); it != json.constEnd(); ++it) {
        QString value = json_text(it.value());
        if (it.value().isArray()) {
            QStringList parts;
            for (const QJsonValue& b : it.value().toArray())
                parts << QString::number(b.toInt());
            value = parts.join(QLatin1Char(' '));
        }
        text << QStringLiteral("%1: %2").arg(it.key(), value);
    }
    out.result(json, text);
    return exit_ok;
}

exit_code_e xband_ls(const ctl_output& out, xband_module& x)
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

exit_code_e run_xband(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, -1);
    const QString what = o.arguments.at(0);
    static const QStringList config_words{"backup", "diff", "restore", "history"};
    if (config_words.contains(what)) {
        ctl_options rest = o;
        rest.arguments.removeFirst();
        return run_xband_config(what, rest, out);
    }
    QVector<QPair<const gui::xband_param_t*, double>> writes;
    if (what == QLatin1String("set")) {
        expect_arguments(o, 2, -1);
        for (const QString& a : o.arguments.mid(1)) {
            const QString name = a.section(QLatin1Char('='), 0, 0);
            const gui::xband_param_t* p = gui::find_xband_param(name);
            if (!p || !p->writable())
                throw ctl_error(exit_usage,
                                QStringLiteral("no writable X-band parameter '%1'").arg(name));
            try {
                writes.append({p, p->parse(a.section(QLatin1Char('='), 1))});
            } catch (const gui::param_value_error& e) {
                throw ctl_error(exit_usage, QString::fromStdString(e.what()));
            }
        }
    } else if (what != QLatin1String("get") && what != QLatin1String("report") &&
               what != QLatin1String("ls")) {
        throw ctl_error(exit_usage,
                        QStringLiteral("xband '%1': get, set, report, ls, backup, diff, restore "
                                       "or history")
                            .arg(what));
    }

    ctl_session s(o, target_e::xband);
    auto& x = s.module<xband_module>();
    if (!writes.isEmpty())
        record_snapshot(s, QStringLiteral("before set"));
    if (what == QLatin1String("report"))
        return xband_report(o, out, x);
    if (what == QLatin1String("ls"))
        return xband_ls(out, x);
    for (const auto& w : qAsConst(writes))
        w.first->write(x, w.second);
    return xband_get(o, out, x);
}

} // namespace

const QVector<command_t>& device_commands()
{
    static const QVector<command_t> table{
        {"beacons", "beacons [--count N] [--seconds N]",
         "Listen for AX.25 beacons and print each with a time stamp (Ctrl+C ends).", run_beacons},
        {"fsps-rf", "fsps-rf VALUE", "Set the FSPS module's RF value.", run_fsps},
        {"fsps-att", "fsps-att VALUE", "Set the FSPS module's attenuation.", run_fsps},
        {"xband",
         "xband get | set NAME=VALUE... | report [--full] | ls | backup FILE | diff FILE [FILE2] "
         "| restore FILE | history",
         "The X-band transmitter: parameters (symbol-rate, tx-power, freq, modcod, roll-off, "
         "pilot, fec-frame), reports, files, configuration files as for the transceiver.",
         run_xband},
    };
    return table;
}

} // namespace kq::ctl
