#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

#include <cstdint>
#include <functional>

class QFile;
class QIODevice;

namespace kq::api::proto {
class obc_module;
}

namespace kq::gui {

// Moves one file between the workstation and the on-board computer so that
// neither copy is damaged and success means the computer's checksum of the
// file matches the local bytes.
//
// A download is written to a partial file beside the target (`NAME.part`)
// and replaces the target only once verified; a download that fails before
// its first byte leaves no partial file behind. A resume continues only
// from a prefix of the source: an upload's is checked against the computer's
// checksum first, a download's with the whole file at its end; when the
// check fails the transfer starts over from the beginning, once, and says so
// through the notice.
class PANELKIT_EXPORT obc_transfer
{
public:
    struct outcome
    {
        uint32_t crc = 0;        // the computer's CRC-32 of the file, as verified
        uint32_t size = 0;       // the computer's size of the file
        uint32_t resumed_at = 0; // where the last pass began, 0 when from the start
        bool started_over = false;
        bool already_there = false; // an upload found the whole file there already
    };
    using notice_fn = std::function<void(const QString&)>;

    explicit obc_transfer(api::proto::obc_module& obc, notice_fn notice = {});

    // Uploads local's bytes as name; with resume, continues after what the
    // computer holds of them.
    outcome upload(QIODevice* local, const QString& name, bool resume);
    // Downloads name to target; with resume, continues the partial file.
    outcome download(const QString& name, const QString& target, bool resume);

    static QString partial_path(const QString& target);
    // The target and its partial file may be written: asked before the
    // route is set up. Throws local_file_error.
    static void check_target(const QString& target);

private:
    // The computer's CRC-32 and size of name; false when it has no such file.
    bool _probe(const QString& name, uint32_t& crc, uint32_t& size);
    uint32_t _upload_start(QIODevice* local, const QString& name, outcome& result);
    uint32_t _download_start(const QString& name, QFile& part, outcome& result);
    // Runs one pass from `from`; a resumed pass whose result does not verify
    // is run again from the beginning.
    void _run_verified(uint32_t from, outcome& result, const QString& name,
                       const std::function<void(uint32_t)>& pass);
    void _notice(const QString& text) const;

    api::proto::obc_module& _obc;
    notice_fn _notice_fn;
};

} // namespace kq::gui
