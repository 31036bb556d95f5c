#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

#include <cstdint>

namespace kq::gui {

// Rules for names and positions of files moved to and from the on-board
// computer, shared by every front end.
namespace obc_files {

// Why the on-board computer cannot take this as a file name, in plain
// words; empty when it can. It takes "8.3" names: a base name of 1 to 8
// characters and an optional suffix of 1 to 3, in ASCII letters, digits and
// the punctuation its listing shows (_ - ~ ! # $ % & ' ( ) @ ^ { }), so no
// path, blank, wildcard or control character ever reaches it.
PANELKIT_EXPORT QString short_name_problem(const QString& name);
// True when short_name_problem finds nothing (NAME.TXT yes; LONGNAME1.TXT,
// DATA.JSON and ../X.TXT no).
PANELKIT_EXPORT bool is_short_name(const QString& name);

// The local file name for an OBC entry: the entry's own name, refused
// (empty result, `error` says why) when it is empty, ".", "..", or holds a
// path separator or a NUL, so that a listing can never steer a download out
// of the chosen directory.
PANELKIT_EXPORT QString local_name_for(const QString& obc_name, QString* error = nullptr);

// A ".BIN" file, which the OBC keeps behind a 4-byte checksum header.
PANELKIT_EXPORT bool has_header(const QString& obc_name);
// Bytes of the OBC's stored size that are file contents: a ".BIN" file
// carries a 4-byte checksum header in front.
PANELKIT_EXPORT uint32_t content_size(const QString& obc_name, uint32_t obc_size);

// Where a resumed upload starts: 128 bytes before what the OBC already
// holds, so that the last block is repeated (1000 -> 872; below 128 the
// position modulo 16: 100 -> 4).
PANELKIT_EXPORT uint32_t upload_resume_position(uint32_t local_bytes_on_obc);

} // namespace obc_files

} // namespace kq::gui
