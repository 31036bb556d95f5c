#pragma once

#include <QString>

namespace kq::satsim {

// Fills an empty directory with a few files an on-board computer would hold:
// texts, a log, a configuration and a firmware image with its CRC header.
bool seed_sample_store(const QString& dir, QString& error);

} // namespace kq::satsim
