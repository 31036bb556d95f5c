#pragma once

#include "panelkit/panelkit_global.h"

#include <QBitArray>
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace kq::api::proto {
class xband_module;
}

namespace kq::gui {

// Moves one file between the workstation and the X-band transmitter's file
// store so that success means the transmitter holds (or gave) exactly the
// bytes: an upload is read back and compared; a download must add up to the
// size the transmitter announced, every piece accounted for, and is read a
// second time to the same bytes.
//
// A lost or spoilt answer does not end the transfer: a create, an open or a
// piece written is asked again (a piece at its own offset, so a repeat does
// no harm), up to `attempts` times. The transmitter's read has a position of
// its own, so a read cannot be asked again; but each answer says how many
// bytes remain, which places its piece, so a lost answer leaves a hole that
// a further pass from a fresh open fills, up to `passes` passes.
class PANELKIT_EXPORT xband_transfer
{
public:
    // The create command carries the size in 16 bits.
    static constexpr int max_size = 0xFFFF;
    static constexpr int piece = 1024;
    static constexpr int attempts = 3;
    static constexpr int passes = 5;
    // Larger announced sizes are not believed.
    static constexpr unsigned max_download = 16u * 1024 * 1024;
    // Steps: "writing", then "verifying" (the read-back) for an upload;
    // "reading", then "verifying" (the second read) for a download.
    using progress_fn = std::function<void(const QString& step, uint64_t done, uint64_t total)>;

    // A stop is the media's: a stop request ends the exchange in progress.
    explicit xband_transfer(api::proto::xband_module& xband, progress_fn progress = {});

    // Why the transmitter cannot take this name, in plain words; empty when
    // it can: 1 to 31 printable ASCII characters, no path separator.
    static QString name_problem(const QString& name);

    void upload(const QByteArray& data, const QString& name);
    QByteArray download(const QString& name);

private:
    QByteArray _read(const QString& name, const QString& step);
    // One pass over an open file up to its last hole; true when none is
    // left. Gives up the pass after `attempts` lost answers in a row (and
    // throws the last when it is the last pass).
    bool _read_pass(const QString& name, const QString& step, unsigned handle, QByteArray& data,
                    QBitArray& have, bool last);
    void _progress(const QString& step, uint64_t done, uint64_t total) const;

    api::proto::xband_module& _xband;
    progress_fn _progress_fn;
};

} // namespace kq::gui
