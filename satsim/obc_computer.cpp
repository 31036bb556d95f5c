#include "obc_computer.h"

#include "sim_wire.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>

#include <zlib.h>

namespace kq::satsim {

namespace {

uint8_t block_sum(const QByteArray& data)
{
    unsigned sum = 0;
    for (const char b : data)
        sum += uint8_t(b);
    return uint8_t(sum);
}

// Exactly `digits` hex digits, no sign or blank.
bool strict_hex(const QString& text, int digits, uint32_t& value)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]+$"));
    bool ok = false;
    value = text.toUInt(&ok, 16);
    return ok && text.size() == digits && hex.match(text).hasMatch();
}

// A name the store can keep as one file of its own folder: no path, no
// parent, nothing a file system would read otherwise.
bool storable_name(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            return false;
    }
    return true;
}

// "06" and six digits, each as the hex code of its ASCII character.
bool six_digits(const QString& value, int& a, int& b, int& c)
{
    if (value.size() != 14 || !value.startsWith(QLatin1String("06")))
        return false;
    QString digits;
    for (int i = 2; i < 14; i += 2) {
        if (value.at(i) != QLatin1Char('3') || !value.at(i + 1).isDigit())
            return false;
        digits += value.at(i + 1);
    }
    a = digits.mid(0, 2).toInt();
    b = digits.mid(2, 2).toInt();
    c = digits.mid(4, 2).toInt();
    return true;
}

// The store writes only its own regular files: never through a link to
// elsewhere, into a device or a FIFO (whose open would block the line), or
// into a file that has other names outside the store.
bool own_file_or_none(const QString& path)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode) && st.st_nlink == 1;
}

} // namespace

obc_computer::obc_computer(uint8_t address, const QString& store_dir)
    : _address(address)
    , _dir(store_dir)
{
    _since.start();
    if (_dir.isEmpty())
        return;
    const QDir dir(_dir);
    // Regular files only: a link could lead a later write out of the store.
    for (const QString& name : dir.entryList(QDir::Files | QDir::NoSymLinks)) {
        if (!storable_name(name) || !own_file_or_none(dir.filePath(name)) ||
            QFileInfo(dir.filePath(name)).size() > max_file_size)
            continue;
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            _files.insert(name.toUpper(), f.readAll());
    }
}

QDateTime obc_computer::clock() const
{
    return QDateTime::currentDateTimeUtc().addMSecs(_clock_offset_ms);
}

QString obc_computer::size_text(qint64 size)
{
    const char* units[] = {"B", "KB", "MB", "GB"};
    int unit = 0;
    qint64 scale = 1;
    while (unit < 3 && size >= scale * 1024) {
        scale *= 1024;
        ++unit;
    }
    const qint64 shown = (size + scale / 2) / scale;
    const bool rounded = shown * scale != size;
    return (rounded ? QStringLiteral("~") : QString()) + QString::number(shown) + QLatin1Char(' ') +
           QLatin1String(units[unit]);
}

void obc_computer::_schedule(int after_ms, const QByteArray& bytes)
{
    const int64_t last = _outgoing.isEmpty() ? _since.elapsed() : _outgoing.last().first;
    _outgoing.append({std::max<int64_t>(last, _since.elapsed()) + after_ms, bytes});
}

QByteArray obc_computer::unsolicited()
{
    QByteArray out;
    while (!_outgoing.isEmpty() && _outgoing.first().first <= _since.elapsed())
        out += _outgoing.takeFirst().second;
    return out;
}

bool obc_computer::_store(const QString& name)
{
    if (_dir.isEmpty())
        return true;
    if (!storable_name(name))
        return false;
    const QString path = QDir(_dir).filePath(name);
    if (!own_file_or_none(path))
        return false;
    if (!_files.contains(name))
        return QFile::remove(path) || !QFileInfo::exists(path);
    // Replaced whole: a failed write leaves the old file, and is an error.
    QSaveFile f(path);
    const QByteArray& data = _files[name];
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.commit();
}

QStringList obc_computer::handle(const QString& payload)
{
    if (_since.elapsed() < _muted_until)
        return {}; // restarting
    bool ok = false;
    if (payload.size() < 6 || payload.mid(4, 2).toUInt(&ok, 16) != _address || !ok)
        return {};
    const QString kind = payload.left(4);
    const QString rest = payload.mid(6);
    if (kind == QLatin1String("KQ+D"))
        return _file_command(rest.left(2), rest.mid(2));
    const QString code = rest.left(2);
    const QString value = rest.mid(2);
    int a = 0, b = 0, c = 0;
    if (kind == QLatin1String("KQ+R")) {
        const QDateTime now = clock();
        if (code == QLatin1String("31"))
            return {QStringLiteral("OK TIME ") + now.time().toString(QStringLiteral("HH:mm:ss"))};
        if (code == QLatin1String("33"))
            return {QStringLiteral("OK DATE YY/MM/DD ") +
                    now.date().toString(QStringLiteral("yy/MM/dd"))};
        if (code == QLatin1String("7F"))
            return {QStringLiteral("OK+") + _mode};
        return wire::err();
    }
    if (kind != QLatin1String("KQ+W"))
        return wire::err();
    if (code == QLatin1String("32") && six_digits(value, a, b, c) && QTime(a, b, c).isValid()) {
        const QDateTime now = clock();
        _clock_offset_ms += now.time().msecsTo(QTime(a, b, c));
        return {QStringLiteral("OK TIME")};
    }
    if (code == QLatin1String("34") && six_digits(value, a, b, c) &&
        QDate(2000 + a, b, c).isValid()) {
        const QDateTime now = clock();
        _clock_offset_ms += now.date().daysTo(QDate(2000 + a, b, c)) * 86400000LL;
        return {QStringLiteral("OK DATE")};
    }
    if (code == QLatin1String("7F") && value.size() >= 4 && value.startsWith(QLatin1String("01")))
        return _set_mode(value.mid(2, 2).toInt(nullptr, 16));
    return wire::err();
}

QStringList obc_computer::_set_mode(int code)
{
    if (code != 10 && code != 11)
        return {QStringLiteral("ERR+MODE")};
    _mode = code == 11 ? QStringLiteral("BOOT") : QStringLiteral("APPL");
    _open_name.clear();
    _muted_until = _since.elapsed() + restart_ms;
    if (silent_restart)
        return {};
    return {QStringLiteral("Restarting into ") + _mode, QStringLiteral("KQ OBC 1.3"),
            QStringLiteral("OK+") + _mode + QStringLiteral(" initialisation complete")};
}

QStringList obc_computer::_file_command(const QString& letters, const QString& argument)
{
    const QString name = argument.toUpper();
    static const QStringList named{"FB", "FA", "FD", "FS", "FI", "FO", "FE"};
    if (named.contains(letters) && !storable_name(name))
        return {QStringLiteral("ERR+NAME")};
    if (letters == QLatin1String("FR"))
        return _read_block(argument);
    if (letters == QLatin1String("FW"))
        return _write_block(argument);
    if (letters == QLatin1String("FL")) {
        _write_dirlist(argument);
        return wire::ok();
    }
    if (letters == QLatin1String("FC")) {
        const bool stored = !_open_for_write || _store(_open_name);
        _open_name.clear();
        return stored ? wire::ok() : QStringList{QStringLiteral("ERR+STORE")};
    }
    if (letters == QLatin1String("FB") || letters == QLatin1String("FA"))
        return _flash(name);
    if (letters == QLatin1String("FD")) {
        if (!_files.remove(name))
            return {QStringLiteral("ERR+NOFILE")};
        return _store(name) ? wire::ok() : QStringList{QStringLiteral("ERR+STORE")};
    }
    if (letters == QLatin1String("FS")) {
        if (!_files.contains(name))
            return {QStringLiteral("ERR+NOFILE")};
        const QByteArray& data = _files[name];
        const auto crc =
            ::crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()));
        return {QStringLiteral("OK+") + wire::hex(crc, 8) + QLatin1Char(' ') +
                wire::hex(uint32_t(data.size()), 8)};
    }
    if (letters == QLatin1String("FI")) {
        if (!_files.contains(name))
            return {QStringLiteral("ERR+NOFILE")};
        _open_name = name;
        _open_for_write = false;
        return {QStringLiteral("OK+") + wire::hex(uint32_t(_files[name].size()), 8)};
    }
    if (letters == QLatin1String("FO") || letters == QLatin1String("FE")) {
        if (letters == QLatin1String("FO") || !_files.contains(name))
            _files[name] = QByteArray();
        _open_name = name;
        _open_for_write = true;
        return wire::ok();
    }
    return wire::err();
}

QStringList obc_computer::_read_block(const QString& argument)
{
    uint32_t pos = 0, len = 0;
    if (argument.size() != 12 || !strict_hex(argument.left(8), 8, pos) ||
        !strict_hex(argument.mid(8, 4), 4, len) || _open_name.isEmpty() || _open_for_write)
        return wire::err();
    const QByteArray& data = _files[_open_name];
    if (uint64_t(pos) + len > uint64_t(data.size()))
        return {QStringLiteral("ERR+RANGE")};
    QByteArray block = data.mid(int(pos), int(len));
    if (spoil_sent > 0 && !block.isEmpty()) {
        --spoil_sent;
        block[0] = char(block.at(0) ^ 0x20);
    }
    return {binary_answer(block + char(block_sum(block)))};
}

// Argument: position, length, CR, the data and its sum byte.
QStringList obc_computer::_write_block(const QString& argument)
{
    uint32_t pos = 0, length = 0;
    const QByteArray body = argument.mid(13).toLatin1();
    if (!strict_hex(argument.left(8), 8, pos) || !strict_hex(argument.mid(8, 4), 4, length) ||
        argument.mid(12, 1) != QLatin1String("\r") || body.size() != int(length) + 1 ||
        _open_name.isEmpty() || !_open_for_write)
        return wire::err();
    const int len = int(length);
    const QByteArray data = body.left(len);
    if (block_sum(data) != uint8_t(body.at(len)))
        return {QStringLiteral("ERR+SUM")};
    if (uint64_t(pos) + length > uint64_t(max_file_size))
        return {QStringLiteral("ERR+RANGE")}; // past what the store holds for a file
    QByteArray& file = _files[_open_name];
    if (file.size() < int(pos) + len)
        file.resize(int(pos) + len);
    file.replace(int(pos), len, data);
    if (spoil_stored > 0 && len > 0) {
        --spoil_stored;
        file[int(pos)] = char(file.at(int(pos)) ^ 0x20);
    }
    return wire::ok();
}

QStringList obc_computer::_flash(const QString& name)
{
    if (!_files.contains(name))
        return {QStringLiteral("ERR+NOFILE")};
    _schedule(20, "__FLASHING__ " + name.toLatin1() + "\r\n");
    _schedule(60, "Calculating checksum\r\n");
    _schedule(60, "Erasing FLASH\r\n");
    _schedule(60, "Writing flash memory\r\n");
    const QByteArray end =
        fail_flash ? "ERR+ FLASH WRITE FAILED\r\n" : "OK+ Flashing completed\r\n";
    if (stars_together) {
        _schedule(star_interval_ms, QByteArray(stars, '*') + end); // one piece, no line break
    } else {
        for (int i = 0; i < stars; ++i)
            _schedule(star_interval_ms, "*");
        _schedule(60, "\r\n" + end);
    }
    if (fail_flash)
        return {};
    _schedule(100, "KQ OBC boot loader 1.3\r\nOK+BOOT ready\r\n");
    flashed << name;
    return {};
}

void obc_computer::_write_dirlist(const QString& path)
{
    QByteArray listing = " Directory of " + path.toLatin1() + "\r\n\n";
    for (auto it = _files.constBegin(); it != _files.constEnd(); ++it) {
        if (it.key() == QLatin1String("DIRLIST.TXT"))
            continue;
        listing +=
            "   " + it.key().toLatin1() + "   " + size_text(it.value().size()).toLatin1() + "\n";
    }
    listing += "\n" + QByteArray::number(_files.size()) + " file(s)\n";
    _files[QStringLiteral("DIRLIST.TXT")] = listing;
}

} // namespace kq::satsim
