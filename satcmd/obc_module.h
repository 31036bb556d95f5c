#pragma once

#include "satcmd/kq_module.h"
#include "satcmd/obc_types.h"
#include "satcmd/satcmd_global.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QTime>

class QIODevice;

namespace kq::api::proto {

// What the application sees of an on-board computer: its files (listed,
// moved in blocks with progress and resume, deleted, checked, flashed), its
// boot mode, date and time.
class SATCMD_EXPORT obc_module : public kq_module
{
    Q_OBJECT

public:
    obc_module(media* m, const connect_props_t& props);
    ~obc_module() override;

    virtual QList<file_info_t> dir(const QString& path) = 0;
    virtual void put(const QString& name, QIODevice* source, const unsigned int& offset) = 0;
    virtual void get(const QString& name, QIODevice* target, const unsigned int& offset) = 0;
    virtual void flash(const QString& name) = 0;
    virtual void del(const QString& name) = 0;
    virtual void checksum(const QString& name, unsigned int& checksum, unsigned int& size) = 0;
    virtual uint32_t get_file_size(const QString& name) = 0;
    virtual obc_mode_e get_obc_mode() = 0;
    virtual void set_obc_mode(obc_mode_e mode) = 0;
    virtual QTime get_time() = 0;
    virtual void set_time(const QTime& time) = 0;
    virtual QDate get_date() = 0;
    virtual void set_date(const QDate& date) = 0;
    // Compares the computer's CRC-32 and size of a file with what it holds
    // for these local bytes (see expected_on_obc). On a match returns the CRC
    // and emits on_file_verified; otherwise throws a general_error, context
    // "verify_file", message "VERIFY_MISMATCH: ..." naming both.
    virtual uint32_t verify_file(const QString& name, QIODevice* local) = 0;

    // What the computer stores for these local bytes: the bytes themselves,
    // a ".BIN" image behind the 4-byte CRC-32 header its upload writes. With
    // a length, what it stores once that many of them have been uploaded.
    static void expected_on_obc(const QString& name, QIODevice* local, uint32_t& crc,
                                uint32_t& size, qint64 length = -1);

signals:
    void on_get_file_progress(const QString& file_name, uint32_t pos, uint32_t length);
    void on_put_file_progress(const QString& file_name, uint32_t pos, uint32_t length);
    void on_get_time(const QTime& value);
    void on_get_date(const QDate& value);
    void on_get_obc_mode(kq::api::proto::obc_mode_e mode);
    void on_set_obc_mode(kq::api::proto::obc_mode_e mode);
    // A file now on both sides holds the same bytes: the computer's CRC-32
    // and size of it.
    void on_file_verified(const QString& file_name, uint32_t crc, uint32_t size);
};

} // namespace kq::api::proto
