#pragma once

#include <QByteArray>

#include <cstdint>

namespace kq::satsim {

// A valid Motorola S-record firmware file of a chosen size for tests and the
// simulator: an S0 header, data records (S1 below 64 KiB, S3 above), and the
// matching end record (S9 or S7).
struct firmware_image
{
    QByteArray file; // the text, one record per line, LF line ends
    QByteArray data; // the bytes the data records carry, in order
    int lines = 0;

    static firmware_image generate(int data_size, int bytes_per_line = 16, uint32_t seed = 1,
                                   uint32_t base_address = 0x8000);
    // The same data as common tools write it with 24-bit addresses: an S0
    // header, S2 data records of 16 bytes from base_address, a record count
    // (S5, or S6 when asked; `count` as given, the true one when negative)
    // and an S8 end record.
    QByteArray s2_file(int count = -1, bool s6 = false, uint32_t base_address = 0x18000) const;
    // A record of the given type with its count and checksum.
    static QByteArray record(char type, uint32_t address, int address_bytes,
                             const QByteArray& payload);
};

} // namespace kq::satsim
