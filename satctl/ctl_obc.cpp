// The on-board computer's commands: files, flash, boot mode, clock.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "progress_bar.h"

#include "panelkit/local_file.h"
#include "panelkit/obc_file_names.h"
#include "panelkit/obc_transfer.h"
#include "satcmd/kqttc/kqttc_request.h"
#include "satcmd/obc_module.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace kq::ctl {

using namespace api::proto;
namespace files = gui::obc_files;

namespace {

QString hex32(uint32_t v)
{
    return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')).toUpper();
}

// An OBC file name from the command line, refused before anything is sent
// when the computer could not take it.
QString obc_name(const QString& given)
{
    const QString name = given.toUpper();
    const QString problem = files::short_name_problem(name);
    if (!problem.isEmpty())
        throw ctl_error(
            exit_usage,
            QStringLiteral("'%1' cannot name a file on the OBC: %2").arg(given, problem));
    return name;
}

// A name or pattern sent as it is (a download's, a listing's), refused
// before the route is set up when the line could not carry it.
QString obc_argument(const QString& given, const QString& what)
{
    if (given.isEmpty())
        throw ctl_error(exit_usage, QStringLiteral("an OBC %1 is needed").arg(what));
    if (!api::proto::kqttc::kqttc_request::is_plain_text(given))
        throw ctl_error(exit_usage,
                        QStringLiteral("the OBC %1 '%2' holds a character the line cannot carry "
                                       "(only printable ASCII)")
                            .arg(what, given));
    return given;
}

QJsonObject transfer_json(const gui::obc_transfer::outcome& r)
{
    return {{"crc32", hex32(r.crc)},
            {"resumed_at", qint64(r.resumed_at)},
            {"started_over", r.started_over}};
}

QString transfer_text(const QString& name, const gui::obc_transfer::outcome& r)
{
    // The OBC's checksum: of header and image for a ".BIN" file.
    QString text = QStringLiteral("verified, crc32 %1%2")
                       .arg(hex32(r.crc), files::has_header(name)
                                              ? QStringLiteral(" of header and image on the OBC")
                                              : QString());
    if (r.started_over)
        text += QStringLiteral(", started over");
    else if (r.resumed_at)
        text += QStringLiteral(", resumed at %1").arg(r.resumed_at);
    return text;
}

void connect_progress(obc_module& obc, progress_bar& bar)
{
    const auto update = [&bar](const QString&, uint32_t pos, uint32_t length) {
        bar.update(pos, length);
    };
    QObject::connect(&obc, &obc_module::on_put_file_progress, update);
    QObject::connect(&obc, &obc_module::on_get_file_progress, update);
    QObject::connect(&obc, &kq_module::on_flash_progress, update);
}

exit_code_e run_ls(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 1);
    const QString pattern =
        obc_argument(o.arguments.value(0, QStringLiteral("*")), QStringLiteral("pattern"));
    ctl_session s(o, target_e::obc);
    const QList<file_info_t> entries = s.module<obc_module>().dir(pattern);
    QJsonArray json;
    QStringList text;
    for (const file_info_t& f : entries) {
        json.append(
            QJsonObject{{"name", f.name}, {"size", qint64(f.size)}, {"size_text", f.size_text}});
        // A name with blanks is quoted, so that a script can split the line.
        const QString name =
            f.name.contains(QLatin1Char(' ')) ? QLatin1Char('"') + f.name + '"' : f.name;
        text << QStringLiteral("%1  %2").arg(name, -12).arg(f.size_text);
    }
    out.result(json, text);
    return exit_ok;
}

exit_code_e run_put(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    QFile local(o.arguments.at(0));
    gui::local_file::open_for_reading(local);
    const QString name = obc_name(o.arguments.value(1, QFileInfo(local.fileName()).fileName()));

    ctl_session s(o, target_e::obc);
    gui::obc_transfer transfer(s.module<obc_module>(), &ctl_output::notice);
    gui::obc_transfer::outcome r;
    {
        progress_bar bar(QStringLiteral("put ") + name);
        connect_progress(s.module<obc_module>(), bar);
        r = transfer.upload(&local, name, o.resume);
    }
    QJsonObject json = transfer_json(r);
    json.insert(QStringLiteral("put"), name);
    json.insert(QStringLiteral("bytes"), local.size());
    out.result(json, {r.already_there ? QStringLiteral("%1 is already complete on the OBC (%2)")
                                            .arg(name, transfer_text(name, r))
                                      : QStringLiteral("put %1 (%2 bytes, %3)")
                                            .arg(name)
                                            .arg(local.size())
                                            .arg(transfer_text(name, r))});
    return exit_ok;
}

// Where a download goes: the user's path as named; a directory, or no path
// at all, gets the OBC's name, which must be a plain file name.
QString obc_download_path(const ctl_options& o)
{
    const QString remote = o.arguments.at(0);
    const QString given = o.arguments.value(1);
    if (!given.isEmpty() && !QFileInfo(given).isDir())
        return given;
    QString why;
    const QString name = files::local_name_for(remote, &why);
    if (name.isEmpty())
        throw ctl_error(exit_local_file,
                        QStringLiteral("refusing to save '%1' locally: %2").arg(remote, why));
    return QDir(given.isEmpty() ? QStringLiteral(".") : given).filePath(name);
}

exit_code_e run_get_file(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    const QString remote = obc_argument(o.arguments.at(0), QStringLiteral("file name"));
    const QString path = obc_download_path(o);
    // What the download writes is checked before the port is opened.
    gui::obc_transfer::check_target(path);

    ctl_session s(o, target_e::obc);
    gui::obc_transfer transfer(s.module<obc_module>(), &ctl_output::notice);
    gui::obc_transfer::outcome r;
    {
        progress_bar bar(QStringLiteral("get ") + remote);
        connect_progress(s.module<obc_module>(), bar);
        r = transfer.download(remote, path, o.resume);
    }
    const qint64 bytes = QFileInfo(path).size();
    QJsonObject json = transfer_json(r);
    json.insert(QStringLiteral("get"), remote);
    json.insert(QStringLiteral("file"), path);
    json.insert(QStringLiteral("bytes"), bytes);
    out.result(json, {QStringLiteral("saved %1 as %2 (%3 bytes, %4)")
                          .arg(remote, path)
                          .arg(bytes)
                          .arg(transfer_text(remote, r))});
    return exit_ok;
}

exit_code_e run_rm(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    const QString name = obc_name(o.arguments.at(0));
    ctl_session s(o, target_e::obc);
    s.module<obc_module>().del(name);
    out.result(QJsonObject{{"deleted", name}}, {QStringLiteral("deleted %1").arg(name)});
    return exit_ok;
}

// The OBC's CRC-32 and size of a file; with a local file, whether it holds
// the same bytes (a ".BIN" file's header counted as the OBC stores it).
exit_code_e run_checksum(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    const QString name = obc_name(o.arguments.at(0));
    QFile local(o.arguments.value(1));
    const bool compare = o.arguments.size() == 2;
    if (compare)
        gui::local_file::open_for_reading(local);
    ctl_session s(o, target_e::obc);
    unsigned crc = 0;
    unsigned size = 0;
    s.module<obc_module>().checksum(name, crc, size);
    QJsonObject json{{"name", name}, {"crc32", hex32(crc)}, {"size", qint64(size)}};
    QStringList text{QStringLiteral("%1: crc32 %2, %3 bytes").arg(name, hex32(crc)).arg(size)};
    if (!compare) {
        out.result(json, text);
        return exit_ok;
    }
    uint32_t local_crc = 0;
    uint32_t local_size = 0;
    obc_module::expected_on_obc(name, &local, local_crc, local_size);
    const bool same = local_crc == crc && local_size == size;
    json.insert(QStringLiteral("same"), same);
    text << (same ? QStringLiteral("%1 holds the same bytes") : QStringLiteral("%1 differs"))
                .arg(local.fileName());
    out.result(json, text);
    return same ? exit_ok : exit_mismatch;
}

exit_code_e run_obc_flash(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    const QString name = obc_name(o.arguments.at(0));
    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    {
        progress_bar bar(QStringLiteral("flash ") + name, false);
        connect_progress(obc, bar);
        obc.flash(name);
    }
    out.result(QJsonObject{{"flashed", name}}, {QStringLiteral("flashed %1").arg(name)});
    return exit_ok;
}

QString mode_name(obc_mode_e mode)
{
    return mode == obc_mode_boot ? QStringLiteral("boot") : QStringLiteral("appl");
}

exit_code_e run_mode(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 0, 1);
    const QString wanted = o.arguments.value(0).toLower();
    if (!wanted.isEmpty() && wanted != QLatin1String("appl") && wanted != QLatin1String("boot"))
        throw ctl_error(exit_usage, QStringLiteral("mode '%1': appl or boot").arg(wanted));
    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    if (!wanted.isEmpty())
        obc.set_obc_mode(wanted == QLatin1String("boot") ? obc_mode_boot : obc_mode_appl);
    const QString mode = wanted.isEmpty() ? mode_name(obc.get_obc_mode()) : wanted;
    out.result(QJsonObject{{"mode", mode}}, {QStringLiteral("mode: ") + mode});
    return exit_ok;
}

// Reads or sets one part of the OBC's clock: "now" is the workstation's
// local clock, "utc" its UTC clock, otherwise the value as written.
template<typename T>
exit_code_e run_clock(const ctl_options& o, const ctl_output& out, const QString& key,
                      const QString& accepted, T (QDateTime::*part)() const,
                      T (*from_text)(const QString&), QString (*to_text)(const T&),
                      T (obc_module::*get)(), void (obc_module::*set)(const T&))
{
    expect_arguments(o, 0, 1);
    const QString arg = o.arguments.value(0).toLower();
    T wanted;
    if (arg == QLatin1String("now"))
        wanted = (QDateTime::currentDateTime().*part)();
    else if (arg == QLatin1String("utc"))
        wanted = (QDateTime::currentDateTimeUtc().*part)();
    else if (!arg.isEmpty())
        wanted = from_text(arg);
    if (!arg.isEmpty() && !wanted.isValid())
        throw ctl_error(exit_usage, QStringLiteral("%1 '%2': %3").arg(key, arg, accepted));
    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    if (wanted.isValid())
        (obc.*set)(wanted);
    const QString text = to_text(wanted.isValid() ? wanted : (obc.*get)());
    out.result(QJsonObject{{key, text}}, {key + QStringLiteral(": ") + text});
    return exit_ok;
}

exit_code_e run_time(const ctl_options& o, const ctl_output& out)
{
    return run_clock<QTime>(
        o, out, QStringLiteral("time"), QStringLiteral("now, utc or HH:MM:SS"), &QDateTime::time,
        [](const QString& t) { return QTime::fromString(t, QStringLiteral("HH:mm:ss")); },
        [](const QTime& t) { return t.toString(QStringLiteral("HH:mm:ss")); },
        &obc_module::get_time, &obc_module::set_time);
}

exit_code_e run_date(const ctl_options& o, const ctl_output& out)
{
    return run_clock<QDate>(
        o, out, QStringLiteral("date"), QStringLiteral("now, utc or YYYY-MM-DD"), &QDateTime::date,
        [](const QString& t) { return QDate::fromString(t, Qt::ISODate); },
        [](const QDate& d) { return d.toString(Qt::ISODate); }, &obc_module::get_date,
        &obc_module::set_date);
}

} // namespace

const QVector<command_t>& obc_commands()
{
    static const QVector<command_t> table{
        {"ls", "ls [PATTERN]", "List the OBC's files.", run_ls},
        {"put", "put LOCAL [REMOTE]", "Upload a file (8.3 names); --resume continues one.",
         run_put},
        {"get-file", "get-file REMOTE [LOCAL]",
         "Download a file, into LOCAL or a directory; --resume continues one.", run_get_file},
        {"rm", "rm REMOTE", "Delete a file on the OBC.", run_rm},
        {"checksum", "checksum REMOTE [LOCAL]",
         "CRC-32 and size on the OBC; with LOCAL, compare (exit 7 when different).", run_checksum},
        {"obc-flash", "obc-flash NAME", "Flash the OBC from a .BIN or .SCM file it holds.",
         run_obc_flash},
        {"mode", "mode [appl|boot]", "Read or set the boot mode.", run_mode},
        {"time", "time [now|utc|HH:MM:SS]", "Read or set the OBC's time.", run_time},
        {"date", "date [now|utc|YYYY-MM-DD]", "Read or set the OBC's date.", run_date},
    };
    return table;
}

} // namespace kq::ctl
