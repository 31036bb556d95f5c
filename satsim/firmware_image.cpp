#include "firmware_image.h"

#include <QList>
#include <QRandomGenerator>

namespace kq::satsim {

QByteArray firmware_image::record(char type, uint32_t address, int address_bytes,
                                  const QByteArray& payload)
{
    QByteArray bytes;
    bytes.append(char(address_bytes + payload.size() + 1));
    for (int i = address_bytes - 1; i >= 0; --i)
        bytes.append(char((address >> (8 * i)) & 0xFF));
    bytes.append(payload);
    unsigned sum = 0;
    for (const char b : bytes)
        sum += uint8_t(b);
    bytes.append(char(~sum & 0xFF));
    return QByteArray("S") + type + bytes.toHex().toUpper();
}

QByteArray firmware_image::s2_file(int count, bool s6, uint32_t base_address) const
{
    QByteArray text = record('0', 0, 2, "KQ-UHF") + '\n';
    for (int at = 0; at < data.size(); at += 16)
        text += record('2', base_address + uint32_t(at), 3, data.mid(at, 16)) + '\n';
    const int records = count < 0 ? (data.size() + 15) / 16 : count;
    text += record(s6 ? '6' : '5', uint32_t(records), s6 ? 3 : 2, {}) + '\n';
    return text + record('8', base_address, 3, {}) + '\n';
}

firmware_image firmware_image::generate(int data_size, int bytes_per_line, uint32_t seed,
                                        uint32_t base_address)
{
    firmware_image image;
    QRandomGenerator rng(seed);
    image.data.resize(data_size);
    for (char& c : image.data)
        c = char(rng.bounded(256));

    const bool wide = base_address + uint32_t(data_size) > 0xFFFF;
    const char data_type = wide ? '3' : '1';
    const int address_bytes = wide ? 4 : 2;
    QList<QByteArray> records{record('0', 0, 2, "KQ-UHF")};
    for (int at = 0; at < data_size; at += bytes_per_line) {
        records << record(data_type, base_address + uint32_t(at), address_bytes,
                          image.data.mid(at, bytes_per_line));
    }
    records << record(wide ? '7' : '9', base_address, address_bytes, QByteArray());
    for (const QByteArray& r : records)
        image.file += r + '\n';
    image.lines = records.size();
    return image;
}

} // namespace kq::satsim
