#include "sample_store.h"

#include "satcmd/checksum.h"

#include <QDir>
#include <QFile>

namespace kq::satsim {

namespace {

bool write_file(const QDir& dir, const QString& name, const QByteArray& data, QString& error)
{
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::WriteOnly) && f.write(data) == data.size())
        return true;
    error = QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString());
    return false;
}

QByteArray telemetry_log()
{
    QByteArray log;
    for (int i = 0; i < 120; ++i)
        log += QByteArray("T+") + QByteArray::number(i * 60) +
               " BAT=" + QByteArray::number(7400 + (i * 37) % 300) +
               "mV TEMP=" + QByteArray::number(12 + i % 9) + "C\r\n";
    return log;
}

// A firmware image as the on-board computer keeps it: the CRC-32 of the
// image, least significant byte first, then the image.
QByteArray firmware_file()
{
    QByteArray image;
    for (int i = 0; i < 6000; ++i)
        image += char((i * 131 + 7) & 0xFF);
    const uint32_t crc = api::proto::checksum::qcrc32(image);
    QByteArray file;
    for (int i = 0; i < 4; ++i)
        file += char((crc >> (8 * i)) & 0xFF);
    return file + image;
}

} // namespace

bool seed_sample_store(const QString& path, QString& error)
{
    const QDir dir(path);
    return write_file(dir, QStringLiteral("README.TXT"),
                      "On-board computer file store of the simulated satellite.\r\n", error) &&
           write_file(dir, QStringLiteral("CONFIG.INI"),
                      "[beacon]\r\nperiod=60\r\n[adcs]\r\nmode=detumble\r\n", error) &&
           write_file(dir, QStringLiteral("TLM0001.LOG"), telemetry_log(), error) &&
           write_file(dir, QStringLiteral("RUN.SCM"), "WAIT 10\r\nTX BEACON\r\n", error) &&
           write_file(dir, QStringLiteral("APP.BIN"), firmware_file(), error);
}

} // namespace kq::satsim
