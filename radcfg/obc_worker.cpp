#include "obc_worker.h"

#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/obc_file_names.h"
#include "panelkit/obc_transfer.h"
#include "satcmd/obc_module.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace radcfg {

using namespace kq::api::proto;
namespace files = kq::gui::obc_files;

namespace {

// "TYPE_LOCAL" asks for the workstation's local clock, any other "TYPE_"
// text for UTC; a QDateTime otherwise holds the value itself.
QDateTime clock_value(const QVariant& value)
{
    const QString text = value.toString();
    if (!text.startsWith(QLatin1String("TYPE_")))
        return {};
    return text == QLatin1String("TYPE_LOCAL") ? QDateTime::currentDateTime()
                                               : QDateTime::currentDateTimeUtc();
}

} // namespace

QString obc_worker::parameter_name(uint32_t id)
{
    switch (id) {
    case date:
        return QStringLiteral("date");
    case time:
        return QStringLiteral("time");
    case boot_mode:
        return QStringLiteral("boot mode");
    default:
        return QStringLiteral("parameter %1").arg(id);
    }
}

obc_worker::obc_worker(QObject* parent, obc_module* module)
    : cp_worker(parent, module)
{
    qRegisterMetaType<QList<file_info_t>>("QList<kq::api::proto::file_info_t>");
    connect(this, &obc_worker::upload, this, &obc_worker::_upload);
    connect(this, &obc_worker::download, this, &obc_worker::_download);
    connect(this, &obc_worker::erase, this, &obc_worker::_erase);
    connect(this, &obc_worker::flash, this, &obc_worker::_flash);
    connect(this, &obc_worker::dir, this, &obc_worker::_dir);
    // Every read of these values, also the pre-operation's, refreshes the panel.
    connect(module, &obc_module::on_get_date, this,
            [this](const QDate& d) { _cache_parameter_and_emit_signal(date, d); });
    connect(module, &obc_module::on_get_time, this,
            [this](const QTime& t) { _cache_parameter_and_emit_signal(time, t); });
    connect(module, &obc_module::on_get_obc_mode, this,
            [this](obc_mode_e m) { _cache_parameter_and_emit_signal(boot_mode, int(m)); });
}

obc_module& obc_worker::_obc() const
{
    return static_cast<obc_module&>(*_module);
}

void obc_worker::_get_param(uint32_t id)
{
    switch (id) {
    case date:
        _obc().get_date();
        break;
    case time:
        _obc().get_time();
        break;
    case boot_mode:
        _obc().get_obc_mode();
        break;
    case directory:
        _refresh_listing();
        break;
    default:
        break;
    }
}

void obc_worker::_set_param(uint32_t id, const QVariant& value)
{
    const QDateTime now = clock_value(value);
    switch (id) {
    case date:
        _obc().set_date(now.isValid() ? now.date() : value.toDate());
        break;
    case time:
        _obc().set_time(now.isValid() ? now.time() : value.toTime());
        break;
    case boot_mode:
        _obc().set_obc_mode(obc_mode_e(value.toInt()));
        break;
    default:
        return;
    }
    emit on_set_param(id, value);
}

// The OBC's clock follows the workstation's when the settings ask for it;
// the date is written only when it differs.
void obc_worker::_execute_pre_ops()
{
    cp_worker::_execute_pre_ops();
    obc_module& obc = _obc();
    obc.get_time();
    const QDate on_obc = obc.get_date();
    const int type = QSettings().value(QStringLiteral("obc/auto_time_type"), 0).toInt();
    if (type != 1 && type != 2)
        return;
    const QDateTime now =
        type == 1 ? QDateTime::currentDateTime() : QDateTime::currentDateTimeUtc();
    obc.set_time(now.time());
    if (now.date() != on_obc)
        obc.set_date(now.date());
}

uint32_t obc_worker::_probe_size(const QString& name)
{
    const module_config_t saved = _module->get_module_config();
    module_config_t once = saved;
    once.repeats_xl = 0;
    _module->set_module_config(once);
    uint32_t size = 0;
    error_descriptor missing;
    _guarded([&] { size = _obc().get_file_size(name); }, missing);
    _module->set_module_config(saved);
    return size;
}

void obc_worker::_refresh_listing()
{
    _cache_parameter_and_emit_signal(directory,
                                     QVariant::fromValue(_obc().dir(QStringLiteral("*"))));
}

void obc_worker::_upload(const QString& filename, uint32_t pos, bool checkexists,
                         const QString& remote)
{
    _connect_exec_disconnect(UPLOAD, [this, filename, pos, checkexists, remote] {
        const QString name = remote.isEmpty() ? QFileInfo(filename).fileName() : remote;
        if (checkexists) {
            const uint32_t size = _probe_size(name);
            if (size != 0) {
                emit obc_file_exists(filename, files::content_size(name, size), remote);
                return;
            }
        }
        _put(filename, name, pos > 0);
    });
}

void obc_worker::_put(const QString& filename, const QString& name, bool resume)
{
    const QString problem = files::short_name_problem(name);
    if (!problem.isEmpty())
        throw kq::gui::local_file_error(
            QStringLiteral("'%1' cannot name a file on the OBC: %2").arg(name, problem));
    QFile file(filename);
    kq::gui::local_file::open_for_reading(file);
    kq::gui::obc_transfer(_obc(), [this](const QString& text) {
        emit transfer_notice(text);
    }).upload(&file, name, resume);
    _refresh_listing();
}

void obc_worker::_download(const QString& src, const QString& dst, uint32_t pos, bool checkexists)
{
    _connect_exec_disconnect(DOWNLOAD, [this, src, dst, pos, checkexists] {
        const QFileInfo part(kq::gui::obc_transfer::partial_path(dst));
        if (checkexists && (QFileInfo::exists(dst) || part.exists())) {
            const uint32_t size = files::content_size(src, _probe_size(src));
            emit local_file_exists(src, dst, size, uint32_t(part.size()));
            return;
        }
        _get(src, dst, pos > 0);
    });
}

// The destination is the chosen folder and the listed name; a name that
// would lead elsewhere is never written.
void obc_worker::_get(const QString& src, const QString& dst, bool resume)
{
    QString why;
    if (files::local_name_for(src, &why) != QFileInfo(dst).fileName())
        throw kq::gui::local_file_error(
            QStringLiteral("refusing to save '%1' locally: %2").arg(src, why));
    kq::gui::obc_transfer(_obc(), [this](const QString& text) {
        emit transfer_notice(text);
    }).download(src, dst, resume);
}

void obc_worker::_erase(const QString& filename)
{
    _connect_exec_disconnect(ERASE, [this, filename] {
        _obc().del(filename);
        _refresh_listing();
    });
}

void obc_worker::_flash(const QString& filename)
{
    _connect_exec_disconnect(FLASH, [this, filename] { _obc().flash(filename); });
}

void obc_worker::_dir()
{
    _connect_exec_disconnect(DIR, [this] { _refresh_listing(); });
}

} // namespace radcfg
