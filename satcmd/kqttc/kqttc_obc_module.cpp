#include "satcmd/kqttc/kqttc_obc_module.h"

#include "satcmd/checksum.h"
#include "satcmd/kqttc/kqttc_response.h"
#include "satcmd/kqttc/obc_flash_commands.h"
#include "serline/media.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <stdexcept>

QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

namespace kq::api::proto::kqttc {

namespace {

const QString dirlist_name = QStringLiteral("DIRLIST.TXT");

[[noreturn]] void local_file_error(const char* what)
{
    throw std::runtime_error(what);
}

QString crc_text(uint32_t crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

kqttc_obc_module::kqttc_obc_module(media* m, const connect_props_t& props)
    : obc_module(m, props)
    , kqttc_proto(*this, m, props, module_mutex())
{
    if (!props.route.isEmpty())
        _device_address = props.route.last().dev_addr;
}

kqttc_obc_module::~kqttc_obc_module() = default;

void kqttc_obc_module::set_module_config(const module_config_t& config)
{
    kq_module::set_module_config(config);
    set_module_config_sat(config);
}

void kqttc_obc_module::configure_intermediate_module(const module_connect_props_t& hop,
                                                     bool persistent, bool probe, bool call_hooks)
{
    kqttc_proto::configure_intermediate_module(hop, persistent, probe, call_hooks);
}

void kqttc_obc_module::keep_alive()
{
    get_obc_mode();
}

bool kqttc_obc_module::is_bin(const QString& name)
{
    return name.toUpper().endsWith(QLatin1String(".BIN"));
}

// Single commands.

uint32_t kqttc_obc_module::obc_file_open(const QString& name, obc_file_open_mode_e mode)
{
    req_obc_file_open request(_device_address, name, mode);
    res_obc_file_open response(mode, &request);
    exec_command(&request, &response);
    return response.get_size();
}

void kqttc_obc_module::obc_file_close()
{
    _run<req_obc_file_close, res_obc_file_close>();
}

QByteArray kqttc_obc_module::obc_read(uint32_t pos, uint16_t length)
{
    req_obc_read request(_device_address, pos, length);
    res_obc_read response(length, &request);
    exec_command(&request, &response);
    return response.get_data();
}

void kqttc_obc_module::obc_write(const QByteArray& data, uint32_t pos)
{
    _run<req_obc_write, res_obc_write>(data, pos);
}

void kqttc_obc_module::obc_create_dirlist(const QString& path)
{
    _run<req_obc_create_dirlist, res_obc_create_dirlist>(path);
}

// Files.

void kqttc_obc_module::get(const QString& name, QIODevice* target, const unsigned int& offset)
{
    const uint32_t header = is_bin(name) ? bin_header : 0;
    const uint32_t size = obc_file_open(name, open_read);
    if (!target->seek(offset))
        local_file_error("cannot position the local file");
    QByteArray header_bytes;
    if (header && offset == 0)
        header_bytes = obc_read(0, uint16_t(std::min(header, size))); // not part of the image
    for (uint32_t pos = offset + header; pos < size;) {
        const auto n = uint16_t(std::min<uint32_t>(size - pos, block_size));
        const QByteArray data = obc_read(pos, n);
        if (target->write(data) != data.size())
            local_file_error("cannot write the local file");
        pos += n;
        emit on_get_file_progress(name, pos, size);
    }
    obc_file_close();
    if (header && offset == 0)
        _check_bin_header(header_bytes, target, size > header ? size - header : 0);
    verify_file(name, target);
}

// The header a ".BIN" file was uploaded with is the CRC-32 of its image.
void kqttc_obc_module::_check_bin_header(const QByteArray& header, QIODevice* target,
                                         uint32_t image_size)
{
    const uint32_t image = proto::checksum::qcrc32(target, 0, int(image_size));
    const uint32_t said =
        header.size() == bin_header ? qFromLittleEndian<quint32>(header.constData()) : ~image;
    if (said == image)
        return;
    throw proto_exception(proto_exception::general_error, obc_cmd::file_read,
                          QStringLiteral("verify_file"),
                          QStringLiteral("BIN_HEADER_MISMATCH: the header of the computer's "
                                         "file says CRC-32 %1, its image has %2")
                              .arg(crc_text(said), crc_text(image)),
                          proto_exception::no_retry);
}

uint32_t kqttc_obc_module::verify_file(const QString& name, QIODevice* local)
{
    if (!local->isReadable())
        local_file_error("the local file cannot be read back to verify it");
    unsigned on_obc_crc = 0, on_obc_size = 0;
    checksum(name, on_obc_crc, on_obc_size);
    uint32_t local_crc = 0, local_size = 0;
    expected_on_obc(name, local, local_crc, local_size);
    if (on_obc_crc != local_crc || on_obc_size != local_size)
        throw proto_exception(
            proto_exception::general_error, obc_cmd::file_checksum, QStringLiteral("verify_file"),
            QStringLiteral("VERIFY_MISMATCH: %1 on the computer has CRC-32 %2 and %3 bytes, the "
                           "local copy %4 and %5 bytes")
                .arg(name, crc_text(on_obc_crc))
                .arg(on_obc_size)
                .arg(crc_text(local_crc))
                .arg(local_size),
            proto_exception::no_retry);
    emit on_file_verified(name, on_obc_crc, on_obc_size);
    return on_obc_crc;
}

void kqttc_obc_module::put(const QString& name, QIODevice* source, const unsigned int& offset)
{
    const uint32_t header = is_bin(name) ? bin_header : 0;
    const auto total = uint32_t(source->size());
    if (!source->seek(offset))
        local_file_error("cannot position the local file");
    obc_file_open(name, offset != 0 ? open_append : open_write);
    if (header && offset == 0) {
        const uint32_t crc = proto::checksum::qcrc32(source);
        QByteArray le(4, '\0');
        for (int i = 0; i < 4; ++i)
            le[i] = char((crc >> (8 * i)) & 0xFF);
        obc_write(le, 0);
    }
    for (uint32_t pos = offset; pos < total;) {
        const auto n = int(std::min<uint32_t>(total - pos, block_size));
        const QByteArray data = source->read(n);
        if (data.size() != n)
            local_file_error("cannot read the local file");
        obc_write(data, pos + header);
        pos += uint32_t(n);
        emit on_put_file_progress(name, pos, total);
    }
    obc_file_close();
    verify_file(name, source);
}

QList<file_info_t> kqttc_obc_module::parse_dirlist(const QByteArray& listing)
{
    // A name may hold blanks (written by another tool): the size is the
    // last field.
    static const QRegularExpression entry(
        QStringLiteral("^\\s+(\\S(?:[^\\r\\n]*\\S)?)\\s+~?([0-9]+)\\s(B|KB|MB|GB)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const std::map<QString, uint64_t> factor{
        {QStringLiteral("B"), 1},
        {QStringLiteral("KB"), 1024},
        {QStringLiteral("MB"), 1048576},
        {QStringLiteral("GB"), 1073741824},
    };
    QList<file_info_t> files;
    for (const QByteArray& piece : listing.split('\n')) {
        const int nul = piece.indexOf('\0');
        const QString line = QString::fromLatin1(nul < 0 ? piece : piece.left(nul));
        const QRegularExpressionMatch m = entry.match(line);
        if (!m.hasMatch())
            continue;
        file_info_t info;
        info.name = m.captured(1);
        info.size_text = m.captured(2) + QLatin1Char(' ') + m.captured(3);
        info.size = uint32_t(m.captured(2).toULongLong() * factor.at(m.captured(3).toUpper()));
        files.append(info);
    }
    return files;
}

QList<file_info_t> kqttc_obc_module::dir(const QString& path)
{
    obc_create_dirlist(path);
    QBuffer listing;
    listing.open(QIODevice::ReadWrite);
    get(dirlist_name, &listing, 0);
    return parse_dirlist(listing.data());
}

void kqttc_obc_module::del(const QString& name)
{
    _run<req_obc_delete, res_obc_delete>(name);
}

void kqttc_obc_module::checksum(const QString& name, unsigned int& sum, unsigned int& size)
{
    const auto res = _run<req_obc_checksum, res_obc_checksum>(name);
    sum = res.get_checksum();
    size = res.get_size();
}

uint32_t kqttc_obc_module::get_file_size(const QString& name)
{
    const uint32_t size = obc_file_open(name, open_read);
    obc_file_close();
    return size;
}

// Mode, date, time.

obc_mode_e kqttc_obc_module::get_obc_mode()
{
    const obc_mode_e mode = _run<req_get_obc_mode, res_get_obc_mode>().get_obc_mode();
    emit on_get_obc_mode(mode);
    return mode;
}

// The switch is judged by the mode the computer comes back in: it may
// restart without a word, or its announcement may be lost on the way.
void kqttc_obc_module::set_obc_mode(obc_mode_e mode)
{
    try {
        _run<req_set_obc_mode, res_set_obc_mode>(mode);
    } catch (const media_exception& e) {
        if (e.get_type() != media_exception::timeout)
            throw;
    }
    ensure_restore_pipe(); // the relays may have let go while it restarted
    if (_await_computer() != mode)
        throw proto_exception(proto_exception::command_response_error, obc_cmd::obc_mode,
                              QStringLiteral("set_obc_mode"), QStringLiteral("MODE_NOT_CHANGED"),
                              proto_exception::retry);
    emit on_set_obc_mode(mode);
}

QTime kqttc_obc_module::get_time()
{
    const QTime time = _run<req_get_time, res_get_time>().get_time();
    emit on_get_time(time);
    return time;
}

void kqttc_obc_module::set_time(const QTime& time)
{
    _run<req_set_time, res_set_time>(time);
    emit on_get_time(time);
}

QDate kqttc_obc_module::get_date()
{
    const QDate date = _run<req_get_date, res_get_date>().get_date();
    emit on_get_date(date);
    return date;
}

void kqttc_obc_module::set_date(const QDate& date)
{
    _run<req_set_date, res_set_date>(date);
    emit on_get_date(date);
}

// Flashing.

void kqttc_obc_module::obc_flash(const QString& name, flash_progress_t& progress,
                                 unsigned int start, unsigned int end)
{
    req_obc_flash request(_device_address, name);
    res_obc_flash response(progress, start, end, &request);
    exec_command(&request, &response);
}

void kqttc_obc_module::_drain_boot_output()
{
    for (;;) {
        res_get_simple_text line;
        try {
            exec_command(nullptr, &line);
        } catch (const media_exception&) {
            return; // quiet: the computer has started
        }
    }
}

// Asks for the boot mode until the computer answers after its restart, one
// attempt at a time, for at most twice the longest command timeout (at
// least 10 s); a stop ends it. Returns the mode it answered.
obc_mode_e kqttc_obc_module::_await_computer()
{
    const module_config_t saved = get_module_config_sat();
    module_config_t once = saved;
    once.repeats_m = 0;
    set_module_config_sat(once);
    const QDeadlineTimer deadline(
        std::max<int64_t>(restart_wait_ms, 2 * int64_t(saved.timeout_xl)));
    obc_mode_e mode = obc_mode_appl;
    try {
        for (;;) {
            try {
                mode = get_obc_mode();
                break;
            } catch (const media_exception& e) {
                if (e.get_type() != media_exception::timeout || deadline.hasExpired())
                    throw;
            }
        }
    } catch (...) {
        set_module_config_sat(saved);
        throw;
    }
    set_module_config_sat(saved);
    return mode;
}

void kqttc_obc_module::flash(const QString& name)
{
    // A name that cannot be flashed is refused before the computer is touched.
    req_obc_flash::checked_name(name);
    constexpr uint32_t length = 100;
    emit on_flash_progress(QStringLiteral("FLASH_BEGIN"), 1, length);
    if (get_obc_mode() == obc_mode_boot) {
        emit on_flash_progress(QStringLiteral("BOOTLOADER_MODE_OK"), 3, length);
    } else {
        emit on_flash_progress(QStringLiteral("SET_BOOTLOADER_MODE"), 3, length);
        set_obc_mode(obc_mode_boot); // returns once the computer is back
    }
    emit on_flash_progress(QStringLiteral("FLASH"), 4, length);
    flash_progress_t progress = [this](const QString& step, const unsigned int& pos,
                                       const unsigned int& len) {
        emit on_flash_progress(step, pos, len);
    };
    obc_flash(name, progress, 10, 90);
    emit on_flash_progress(QStringLiteral("BOOT"), 91, length);
    _drain_boot_output();
    emit on_flash_progress(QStringLiteral("FLASH_END"), 100, length);
}

} // namespace kq::api::proto::kqttc

QT_WARNING_POP
