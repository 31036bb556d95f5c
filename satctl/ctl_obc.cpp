// The on-board computer's commands: files, flash, boot mode, clock.

#include "ctl_commands.h"
#include "ctl_session.h"
#include "progress_bar.h"

#include "panelkit/obc_file_names.h"
#include "satcmd/checksum.h"
#include "satcmd/obc_module.h"
#include "satcmd/proto_exception.h"

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

// The OBC's size of a file, 0 when it has none: the probe is sent once.
uint32_t obc_size_or_zero(obc_module& obc, const QString& name)
{
    const module_config_t saved = obc.get_module_config();
    module_config_t once = saved;
    once.repeats_xl = 0;
    obc.set_module_config(once);
    uint32_t size = 0;
    try {
        size = obc.get_file_size(name);
    } catch (const proto_exception&) {
        size = 0; // no such file
    }
    obc.set_module_config(saved);
    return size;
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
    ctl_session s(o, target_e::obc);
    const QList<file_info_t> entries =
        s.module<obc_module>().dir(o.arguments.value(0, QStringLiteral("*")));
    QJsonArray json;
    QStringList text;
    for (const file_info_t& f : entries) {
        json.append(
            QJsonObject{{"name", f.name}, {"size", qint64(f.size)}, {"size_text", f.size_text}});
        text << QStringLiteral("%1  %2").arg(f.name, -12).arg(f.size_text);
    }
    out.result(json, text);
    return exit_ok;
}

exit_code_e run_put(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    QFile local(o.arguments.at(0));
    if (!local.open(QIODevice::ReadOnly))
        throw ctl_error(
            exit_local_file,
            QStringLiteral("cannot read %1: %2").arg(local.fileName(), local.errorString()));
    const QString name = o.arguments.value(1, QFileInfo(local.fileName()).fileName()).toUpper();
    if (!files::is_short_name(name))
        throw ctl_error(exit_usage, QStringLiteral("%1: only 8.3 file names are supported; name "
                                                   "the OBC file as the second argument")
                                        .arg(name));

    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    uint32_t offset = 0;
    if (o.resume) {
        const uint32_t on_obc = files::content_size(name, obc_size_or_zero(obc, name));
        if (on_obc >= uint64_t(local.size()) && on_obc > 0) {
            out.result(
                QJsonObject{{"put", name}, {"bytes", local.size()}, {"resumed_at", qint64(on_obc)}},
                {QStringLiteral("%1 is already complete on the OBC").arg(name)});
            return exit_ok;
        }
        offset = files::upload_resume_position(on_obc);
    }
    {
        progress_bar bar(QStringLiteral("put ") + name);
        connect_progress(obc, bar);
        obc.put(name, &local, offset);
    }
    out.result(QJsonObject{{"put", name}, {"bytes", local.size()}, {"resumed_at", qint64(offset)}},
               {QStringLiteral("put %1 (%2 bytes%3)")
                    .arg(name)
                    .arg(local.size())
                    .arg(offset ? QStringLiteral(", resumed at %1").arg(offset) : QString())});
    return exit_ok;
}

// Where a download goes: the user's path as named; a directory, or no path
// at all, gets the OBC's name, which must be a plain file name.
QString download_path(const ctl_options& o)
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
    const QString remote = o.arguments.at(0);
    if (remote.isEmpty() || remote.contains(QChar(0)))
        throw ctl_error(exit_usage, QStringLiteral("an OBC file name is needed"));
    QFile local(download_path(o));
    const QIODevice::OpenMode mode =
        o.resume ? QIODevice::ReadWrite : (QIODevice::ReadWrite | QIODevice::Truncate);
    if (!local.open(mode | QIODevice::Unbuffered))
        throw ctl_error(
            exit_local_file,
            QStringLiteral("cannot write %1: %2").arg(local.fileName(), local.errorString()));

    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    uint32_t offset = 0;
    if (o.resume) {
        const uint32_t wanted = files::content_size(remote, obc.get_file_size(remote));
        offset = uint32_t(std::min<qint64>(local.size(), wanted));
        local.resize(offset);
    }
    {
        progress_bar bar(QStringLiteral("get ") + remote);
        connect_progress(obc, bar);
        obc.get(remote, &local, offset);
    }
    local.close();
    out.result(QJsonObject{{"get", remote},
                           {"file", local.fileName()},
                           {"bytes", local.size()},
                           {"resumed_at", qint64(offset)}},
               {QStringLiteral("saved %1 as %2 (%3 bytes)")
                    .arg(remote, local.fileName())
                    .arg(local.size())});
    return exit_ok;
}

exit_code_e run_rm(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    ctl_session s(o, target_e::obc);
    s.module<obc_module>().del(o.arguments.at(0));
    out.result(QJsonObject{{"deleted", o.arguments.at(0)}},
               {QStringLiteral("deleted %1").arg(o.arguments.at(0))});
    return exit_ok;
}

// The OBC's CRC-32 and size of a file; with a local file, whether it holds
// the same bytes.
exit_code_e run_checksum(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 2);
    QByteArray local_bytes;
    const bool compare = o.arguments.size() == 2;
    if (compare) {
        QFile f(o.arguments.at(1));
        if (!f.open(QIODevice::ReadOnly))
            throw ctl_error(
                exit_local_file,
                QStringLiteral("cannot read %1: %2").arg(f.fileName(), f.errorString()));
        local_bytes = f.readAll();
    }
    ctl_session s(o, target_e::obc);
    unsigned crc = 0;
    unsigned size = 0;
    s.module<obc_module>().checksum(o.arguments.at(0), crc, size);
    QJsonObject json{{"name", o.arguments.at(0)}, {"crc32", hex32(crc)}, {"size", qint64(size)}};
    QStringList text{
        QStringLiteral("%1: crc32 %2, %3 bytes").arg(o.arguments.at(0), hex32(crc)).arg(size)};
    if (!compare) {
        out.result(json, text);
        return exit_ok;
    }
    const bool same = checksum::qcrc32(local_bytes) == crc && uint32_t(local_bytes.size()) == size;
    json.insert(QStringLiteral("same"), same);
    text << (same ? QStringLiteral("%1 holds the same bytes") : QStringLiteral("%1 differs"))
                .arg(o.arguments.at(1));
    out.result(json, text);
    return same ? exit_ok : exit_mismatch;
}

exit_code_e run_obc_flash(const ctl_options& o, const ctl_output& out)
{
    expect_arguments(o, 1, 1);
    ctl_session s(o, target_e::obc);
    auto& obc = s.module<obc_module>();
    {
        progress_bar bar(QStringLiteral("flash ") + o.arguments.at(0), false);
        connect_progress(obc, bar);
        obc.flash(o.arguments.at(0));
    }
    out.result(QJsonObject{{"flashed", o.arguments.at(0)}},
               {QStringLiteral("flashed %1").arg(o.arguments.at(0))});
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
