#pragma once

#include "sim_node.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

namespace kq::satsim {

// A simulated on-board computer behind the radio relays.
//
// Its file store lives in memory and, when a directory is given, is loaded
// from and written back to it (on every close and delete). One file is open
// at a time. Blocks are read and written with their sum byte; a written
// block with a wrong sum is refused ("ERR+SUM"), a read past the end too
// ("ERR+RANGE"), and so is a write that would make a file larger than
// max_file_size. A name with a path, a parent or a control character is
// refused ("ERR+NAME"): the store's folder is never left, and only its own
// regular files are written there: a close or delete that cannot write the
// folder (a link, a FIFO, a device or a hard-linked file of that name, a
// failed write) answers "ERR+STORE". The listing command writes DIRLIST.TXT;
// the checksum command answers the CRC-32 and size of the stored bytes (a ".BIN" file keeps its
// 4-byte header as uploaded).
//
// A boot-mode change answers with its restart lines, ending with an "OK+"
// line that speaks of "initialisation", then stays silent for restart_ms
// (which may be made to outlast the relays' pipe timeout). Flashing prints
// "__FLASHING__", the progress texts, `stars` single "*" one every
// star_interval_ms, "OK+ Flashing completed" and some start-up output, on
// its own after the command; with fail_flash set it prints an "ERR+" line
// instead of completing.
//
// Faults for tests: the next blocks written are stored with one byte
// changed (the answer still "OK"), the next blocks read are sent with one
// byte changed and a sum that fits it; the flash's stars come in one piece,
// and run on into the completion line.
class obc_computer : public sim_node
{
public:
    explicit obc_computer(uint8_t address = 0x11, const QString& store_dir = QString());

    QStringList handle(const QString& payload) override;
    QByteArray unsolicited() override;

    QMap<QString, QByteArray>& files() { return _files; }
    QString mode() const { return _mode; }
    void set_mode(const QString& mode) { _mode = mode; }
    QDateTime clock() const;

    int restart_ms = 300;
    bool silent_restart = false; // a mode switch restarts without a word
    int stars = 12;
    int star_interval_ms = 60;
    bool fail_flash = false;
    int spoil_stored = 0; // blocks written from now on that store a wrong byte
    int spoil_sent = 0;   // blocks read from now on that carry a wrong byte
    bool stars_together = false;
    int max_file_size = 16 * 1024 * 1024;
    QStringList flashed; // names flashed so far

    // Sizes as the listing writes them: "12 B", "3 KB", "~3 KB" when rounded.
    static QString size_text(qint64 size);

private:
    QStringList _file_command(const QString& letters, const QString& argument);
    QStringList _read_block(const QString& argument);
    QStringList _write_block(const QString& argument);
    QStringList _flash(const QString& name);
    QStringList _set_mode(int code);
    void _schedule(int after_ms, const QByteArray& bytes);
    // Writes or removes the file in the store folder; false when it cannot.
    bool _store(const QString& name);
    void _write_dirlist(const QString& path);

    uint8_t _address;
    QString _dir;
    QMap<QString, QByteArray> _files;
    QString _open_name;
    bool _open_for_write = false;
    QString _mode = QStringLiteral("APPL");
    qint64 _clock_offset_ms = 0;
    QElapsedTimer _since;
    int64_t _muted_until = 0;
    QList<QPair<int64_t, QByteArray>> _outgoing; // due time, bytes
};

} // namespace kq::satsim
