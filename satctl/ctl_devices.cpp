// Beacons, free text, the monitor and the FSPS module.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "interrupt_watcher.h"

#include "panelkit/free_text.h"
#include "panelkit/fsps_params.h"
#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/monitor_sampler.h"
#include "panelkit/uhf_params.h"
#include "satcmd/fsps_module.h"
#include "satcmd/uhf_module.h"
#include "serline/media_exception.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QThread>

#include <atomic>
#include <cmath>
#include <memory>

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

exit_code_e run_fsps_get(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    if (o.arguments.at(0) != QLatin1String("get"))
        throw ctl_error(exit_usage, QStringLiteral("fsps '%1': get").arg(o.arguments.at(0)));
    ctl_session s(o, target_e::fsps);
    QJsonObject json;
    QStringList text;
    for (const gui::fsps_param_t& p : gui::fsps_params()) {
        const unsigned value = p.read(s.module<fsps_module>());
        json.insert(QStringLiteral("fsps_") + p.name, int(value));
        text << QStringLiteral("%1: %2").arg(p.command).arg(value);
    }
    out.result(json, text);
    return exit_ok;
}

// Lines heard are printed as they come, each with the workstation's time.
// The connection outlives this function: it keeps its own count.
void print_texts(uhf_module& u, const ctl_options& o, const ctl_output& out,
                 std::atomic<bool>& running)
{
    QObject::connect(
        &u, &uhf_module::on_receive_arbitrary_text,
        [&o, &out, &running, heard = 0](uint32_t sequence, const QString& text) mutable {
            const QDateTime now = QDateTime::currentDateTime();
            out.event(QJsonObject{{"time", now.toString(Qt::ISODateWithMs)},
                                  {"sequence", qint64(sequence)},
                                  {"text", text}},
                      QStringLiteral("%1  #%2  %3")
                          .arg(now.toString(QStringLiteral("HH:mm:ss.zzz")))
                          .arg(sequence)
                          .arg(text));
            if (o.count > 0 && ++heard >= o.count)
                running.store(false);
        });
}

void listen_for_texts(ctl_session& s, uhf_module& u, const ctl_options& o,
                      std::atomic<bool>& running)
{
    s.watcher().watch_loop(running, o.seconds * 1000);
    try {
        u.recv_arbitrary_text_loop(running);
    } catch (const media_exception& e) {
        if (running.load() || e.get_type() != media_exception::stopped)
            throw;
    }
}

exit_code_e run_text(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    const QString word = o.arguments.at(0);
    const bool send = word == QLatin1String("send");
    if (!send && word != QLatin1String("listen"))
        throw ctl_error(exit_usage, QStringLiteral("text '%1': send or listen").arg(word));
    expect_arguments(o, send ? 2 : 1, send ? 2 : 1);
    const QString line = o.arguments.value(1);
    const QString problem = gui::free_text_problem(line);
    if (send && !problem.isEmpty())
        throw ctl_error(exit_usage, problem);

    ctl_options relayed = o;
    if (!relayed.type)
        relayed.type = gui::connection_xhf_xhf;
    ctl_session s(relayed, target_e::uhf);
    auto& u = s.module<uhf_module>();
    std::atomic<bool> running{true};
    print_texts(u, o, out, running);
    if (send) {
        const uint32_t sequence = gui::next_text_sequence();
        u.send_arbitrary_text(sequence, line);
        out.event(QJsonObject{{"sent", line}, {"sequence", qint64(sequence)}},
                  QStringLiteral("sent #%1  %2").arg(sequence).arg(line));
        if (o.seconds == 0)
            return exit_ok;
    }
    listen_for_texts(s, u, o, running);
    return exit_ok;
}

exit_code_e run_monitor(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, -1);
    std::unique_ptr<gui::monitor_sampler> sampler;
    try {
        sampler = std::make_unique<gui::monitor_sampler>(o.arguments);
    } catch (const gui::param_value_error& e) {
        throw ctl_error(exit_usage, QString::fromStdString(e.what()));
    }
    // Rows go to the file as they are taken, so that a run ended by an error,
    // a signal or a full disk keeps every whole row sampled before it.
    QFile csv(o.csv);
    int rows = 0;
    const auto csv_line = [&](const QString& line) {
        if (o.csv.isEmpty())
            return;
        const qint64 before = csv.size();
        try {
            gui::local_file::write_all(csv, (line + '\n').toUtf8());
        } catch (const gui::local_file_error& e) {
            csv.resize(before); // no half row
            throw ctl_error(exit_local_file,
                            QStringLiteral("%1; the %2 samples before are kept in it")
                                .arg(QString::fromStdString(e.what()))
                                .arg(std::max(0, rows - 1)));
        }
        ++rows;
    };
    if (!o.csv.isEmpty())
        gui::local_file::open_for_writing(csv, true);
    csv_line(sampler->csv_header());

    const bool xband = sampler->device() == gui::monitor_sampler::device_e::xband;
    ctl_session s(o, xband ? target_e::xband : target_e::uhf);
    std::atomic<bool> running{true};
    s.watcher().watch_loop(running, o.seconds * 1000);
    if (!o.json)
        out.event({}, sampler->csv_header());
    QElapsedTimer clock;
    clock.start();
    const auto interval_ms = int64_t(o.interval_s * 1000);
    int64_t due = 0;
    for (int n = 0; running.load() && (o.count == 0 || n < o.count);
         ++n, due = gui::monitor_sampler::next_due_ms(due, clock.elapsed(), interval_ms)) {
        while (running.load() && clock.elapsed() < due)
            QThread::msleep(std::min<int64_t>(50, due - clock.elapsed()));
        if (!running.load())
            break;
        QString problem;
        QVector<double> values;
        try {
            values = sampler->sample(s.base(), &problem);
        } catch (const media_exception& e) {
            if (running.load() || e.get_type() != media_exception::stopped)
                throw;
            break;
        }
        if (!problem.isEmpty())
            ctl_output::notice(problem);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString row = sampler->csv_row(now, values);
        QJsonObject json{{"time", now.toString(Qt::ISODateWithMs)}};
        for (int i = 0; i < values.size(); ++i)
            json.insert(sampler->chosen().at(i).name,
                        std::isnan(values.at(i)) ? QJsonValue() : QJsonValue(values.at(i)));
        out.event(json, row);
        csv_line(row);
    }
    return exit_ok;
}
} // namespace

const QVector<command_t>& device_commands()
{
    static const QVector<command_t> table{
        {"beacons", "beacons [--count N] [--seconds N]",
         "Listen for AX.25 beacons and print each with a time stamp (Ctrl+C ends).", run_beacons},
        {"text", "text send TEXT [--seconds N] | text listen [--count N] [--seconds N]",
         "Free text through the transceiver (--type xhf-xhf by default): send a line (and "
         "listen for answers for N seconds), or listen for lines.",
         run_text},
        {"monitor", "monitor NAME... [--interval S] [--seconds N] [--count N] [--csv FILE]",
         "Sample values over time, a row per sample with the time first: the transceiver's "
         "(rssi, rx-packets, rx-crc-errors, tx-packets, uptime) or the X-band transmitter's "
         "report fields (board-temp, pa-temp, supply, pa-current, state, ...).",
         run_monitor},
        {"fsps", "fsps get", "Read the FSPS module's RF value and attenuation.", run_fsps_get},
        {"fsps-rf", "fsps-rf VALUE", "Set the FSPS module's RF value.", run_fsps},
        {"fsps-att", "fsps-att VALUE", "Set the FSPS module's attenuation.", run_fsps},
        {"xband",
         "xband get | set NAME=VALUE... | report [--full] | ls | put LOCAL [NAME] | get-file "
         "NAME [LOCAL] | rm NAME | rm-all | mode [tx|load] | send NAME | update FILE | shutdown "
         "| backup FILE | diff FILE [FILE2] | restore FILE | history",
         "The X-band transmitter: parameters (symbol-rate, tx-power, freq, modcod, roll-off, "
         "pilot, fec-frame), reports, files (uploads read back and verified), modes, sending "
         "a stored file, firmware update, shutdown; rm, rm-all, update and shutdown need "
         "--yes.",
         run_xband},
    };
    return table;
}

} // namespace kq::ctl
