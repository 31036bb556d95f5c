#pragma once

#include "cp_worker.h"

#include "satcmd/obc_types.h"

#include <QList>
#include <QString>

namespace kq::api::proto {
class obc_module;
}

namespace radcfg {

// Runs the OBC panel's file transfers, listing, erase, flash, boot mode and
// clock in the worker thread.
class obc_worker : public cp_worker
{
    Q_OBJECT

public:
    enum obc_parameter : uint32_t { date = 0, time = 1, boot_mode = 4, directory = 6 };

    static QString parameter_name(uint32_t id);

    obc_worker(QObject* parent, kq::api::proto::obc_module* module);

signals:
    // `remote` names the file on the OBC; empty: the local file's name.
    void upload(const QString& file, uint32_t pos = 0, bool checkexists = true,
                const QString& remote = QString());
    void download(const QString& src, const QString& dst, uint32_t pos = 0,
                  bool checkexists = true);
    void erase(const QString& file);
    void flash(const QString& file);
    void dir();
    // The upload target is on the OBC already; `size` counts the local file's
    // bytes it holds.
    void obc_file_exists(const QString& file, uint32_t size, const QString& remote);
    // The download target, or an unfinished download of it, is on this
    // computer already; `srcsize` counts the bytes of the OBC file's content.
    // `dstsize` counts the bytes of an unfinished download of it (NAME.part),
    // which a resume continues.
    void local_file_exists(const QString& src, const QString& dst, uint32_t srcsize,
                           uint32_t dstsize);
    // A transfer had to do more than asked (a resume started over).
    void transfer_notice(const QString& text);

private slots:
    void _upload(const QString& filename, uint32_t pos, bool checkexists, const QString& remote);
    void _download(const QString& src, const QString& dst, uint32_t pos, bool checkexists);
    void _erase(const QString& filename);
    void _flash(const QString& filename);
    void _dir();

protected:
    void _get_param(uint32_t id) override;
    void _set_param(uint32_t id, const QVariant& value) override;
    void _execute_pre_ops() override;

private:
    kq::api::proto::obc_module& _obc() const;
    // The OBC size of a file, asked once; 0 when it is not there.
    uint32_t _probe_size(const QString& name);
    void _refresh_listing();
    void _put(const QString& filename, const QString& name, bool resume);
    void _get(const QString& src, const QString& dst, bool resume);
};

} // namespace radcfg
