#pragma once

#include "satcmd/satcmd_global.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <cstdint>

namespace kq::api::proto {

enum obc_mode_e : int {
    obc_mode_appl = 10, // the application runs
    obc_mode_boot = 11, // the boot loader runs
};

enum obc_file_open_mode_e : int {
    open_read = 0,   // "I": an existing file; the answer carries its size
    open_write = 1,  // "O": from the start, created or overwritten
    open_append = 2, // "E": continuing an existing file
};

// One entry of the on-board computer's directory listing.
struct SATCMD_EXPORT file_info_t
{
    QString name;
    uint32_t size = 0;
    QString size_text; // the listed number, a blank and the unit, e.g. "12 KB"
};

} // namespace kq::api::proto

Q_DECLARE_METATYPE(kq::api::proto::obc_mode_e)
Q_DECLARE_METATYPE(kq::api::proto::file_info_t)
Q_DECLARE_METATYPE(QList<kq::api::proto::file_info_t>)
