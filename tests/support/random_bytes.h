#pragma once

#include <QByteArray>
#include <QRandomGenerator>

#include <cstdint>

namespace kq::testing {

// Reproducible file contents: the same size and seed give the same bytes.
inline QByteArray random_bytes(int size, uint32_t seed)
{
    QRandomGenerator rng(seed);
    QByteArray data(size, '\0');
    for (char& c : data)
        c = char(rng.bounded(256));
    return data;
}

} // namespace kq::testing
