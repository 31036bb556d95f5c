#include "panelkit/local_file.h"

#include "panelkit/local_file_error.h"
#include "satcmd/local_file_kind.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kq::gui {

QByteArray local_file::read_whole(const QString& path, qint64 max_size)
{
    QFile file(path);
    QString why = api::proto::local_file_kind::reading_problem(path);
    if (why.isEmpty() && !file.open(QIODevice::ReadOnly))
        why = file.errorString();
    if (!why.isEmpty())
        throw local_file_error(QStringLiteral("cannot read %1: %2").arg(path, why));
    if (file.size() > max_size)
        throw local_file_error(QStringLiteral("%1: %2 bytes; at most %3 can be taken")
                                   .arg(path)
                                   .arg(file.size())
                                   .arg(max_size));
    const QByteArray data = file.readAll();
    if (data.size() != file.size())
        throw local_file_error(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

void local_file::check_folder_of(const QString& path)
{
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir() || !folder.isWritable())
        throw local_file_error(
            QStringLiteral("cannot write %1: the folder %2 is missing or not writable")
                .arg(path, folder.filePath()));
}

void local_file::write_whole(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw local_file_error(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

} // namespace kq::gui
