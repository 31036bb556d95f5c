#include "panelkit/obc_transfer.h"

#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/obc_file_names.h"
#include "satcmd/obc_module.h"
#include "satcmd/proto_exception.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kq::gui {

using namespace api::proto;

namespace {

bool is_verify_failure(const proto_exception& e)
{
    return e.get_exec_context() == QLatin1String("verify_file");
}

// Puts the verified partial file in the target's place in one step, so that
// the target is either the old file or the whole new one.
void replace(const QString& part, const QString& target)
{
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) !=
        0)
        throw local_file_error(QStringLiteral("cannot replace %1 with the verified %2: %3")
                                   .arg(target, part, QString::fromLocal8Bit(strerror(errno))));
}

} // namespace

obc_transfer::obc_transfer(obc_module& obc, notice_fn notice)
    : _obc(obc)
    , _notice_fn(std::move(notice))
{
}

QString obc_transfer::partial_path(const QString& target)
{
    return target + QStringLiteral(".part");
}

void obc_transfer::check_target(const QString& target)
{
    local_file::check_writable(target);
    local_file::check_writable(partial_path(target));
}

void obc_transfer::_notice(const QString& text) const
{
    if (_notice_fn)
        _notice_fn(text);
}

bool obc_transfer::_probe(const QString& name, uint32_t& crc, uint32_t& size)
{
    try {
        unsigned c = 0, s = 0;
        _obc.checksum(name, c, s);
        crc = c;
        size = s;
        return true;
    } catch (const proto_exception& e) {
        if (e.get_type() != proto_exception::command_response_error)
            throw;
        return false; // the computer has no such file
    }
}

void obc_transfer::_run_verified(uint32_t from, outcome& result, const QString& name,
                                 const std::function<void(uint32_t)>& pass)
{
    const QMetaObject::Connection verified =
        QObject::connect(&_obc, &obc_module::on_file_verified,
                         [&result](const QString&, uint32_t crc, uint32_t size) {
                             result.crc = crc;
                             result.size = size;
                         });
    const auto done = qScopeGuard([&verified] { QObject::disconnect(verified); });
    result.resumed_at = from;
    try {
        pass(from);
    } catch (const proto_exception& e) {
        if (from == 0 || !is_verify_failure(e))
            throw;
        _notice(QStringLiteral("%1: the resumed copy does not match the computer's (%2); "
                               "starting over from the beginning")
                    .arg(name, QString::fromStdString(e.what())));
        result.started_over = true;
        result.resumed_at = 0;
        pass(0);
    }
}

obc_transfer::outcome obc_transfer::upload(QIODevice* local, const QString& name, bool resume)
{
    outcome result;
    const uint32_t from = resume ? _upload_start(local, name, result) : 0;
    if (result.already_there)
        return result;
    _run_verified(from, result, name, [&](uint32_t at) { _obc.put(name, local, at); });
    return result;
}

// Where a resumed upload continues: after the local bytes the computer
// holds, when what it holds is their beginning; otherwise from the start.
uint32_t obc_transfer::_upload_start(QIODevice* local, const QString& name, outcome& result)
{
    uint32_t crc = 0, size = 0;
    if (!_probe(name, crc, size))
        return 0;
    const uint32_t held = obc_files::content_size(name, size);
    uint32_t expected_crc = 0, expected_size = 0;
    if (held <= local->size())
        obc_module::expected_on_obc(name, local, expected_crc, expected_size, held);
    if (held <= local->size() && expected_crc == crc && expected_size == size) {
        if (held < local->size())
            return obc_files::upload_resume_position(held);
        result.already_there = true;
        result.crc = crc;
        result.size = size;
        return held;
    }
    _notice(QStringLiteral("%1 on the computer is not the beginning of the local file; "
                           "starting over from the beginning")
                .arg(name));
    result.started_over = true;
    return 0;
}

obc_transfer::outcome obc_transfer::download(const QString& name, const QString& target,
                                             bool resume)
{
    check_target(target);
    QFile part(partial_path(target));
    local_file::open_for_writing(part, !resume, true);
    outcome result;
    try {
        const uint32_t from = resume ? _download_start(name, part, result) : 0;
        _run_verified(from, result, name, [&](uint32_t at) {
            if (!part.resize(at))
                throw local_file_error(
                    QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString()));
            try {
                _obc.get(name, &part, at);
            } catch (const std::exception&) {
                if (part.error() == QFileDevice::NoError)
                    throw;
                // A full disk or a size limit: say which file, and why.
                throw local_file_error(
                    QStringLiteral("cannot write %1: %2").arg(part.fileName(), part.errorString()));
            }
        });
    } catch (...) {
        if (part.size() == 0)
            part.remove(); // nothing arrived: nothing is left behind
        throw;
    }
    part.close();
    replace(part.fileName(), target);
    return result;
}

// Where a resumed download continues: after the bytes of the partial file,
// unless it is longer than the computer's file; whether they are its
// beginning shows when the whole is verified.
uint32_t obc_transfer::_download_start(const QString& name, QFile& part, outcome& result)
{
    if (part.size() == 0)
        return 0;
    unsigned crc = 0, size = 0;
    _obc.checksum(name, crc, size);
    if (part.size() <= obc_files::content_size(name, size))
        return uint32_t(part.size());
    _notice(QStringLiteral("%1 is longer than %2 on the computer; starting over from the beginning")
                .arg(part.fileName(), name));
    result.started_over = true;
    return 0;
}

} // namespace kq::gui
