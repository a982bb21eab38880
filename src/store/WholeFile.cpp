// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/WholeFile.h"

#include "store/Failure.h"
#include "store/FileErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace roradaza {

QByteArray readWholeFile(const QString &path, qint64 limit)
{
    // Looked at before opening: opening a FIFO would wait for a writer.
    const QFileInfo info(path);
    if (!info.isFile()) {
        const bool there = info.exists() || info.isSymLink();
        throw Failure(cannotOpenMessage(path, there ? notRegularReason(path) : QStringLiteral("il file non c'è")));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(cannotOpenMessage(path, file.errorString()));
    if (file.size() > limit) {
        throw Failure(cannotOpenMessage(
            path, QStringLiteral("è di %1 byte, più dei %2 che può avere").arg(file.size()).arg(limit)));
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(ioErrorMessage(file.error(), path, file.errorString()));
    return bytes;
}

void writeWholeFile(const QString &path, const QByteArray &bytes)
{
    const QFileInfo target(path);
    const bool existed = target.exists() || target.isSymLink();
    const QString unchanged = existed ? previousFileUnchanged() : QString();
    // A folder, a FIFO or a device in the file's place is left alone.
    if (existed && !target.isFile())
        throw Failure(cannotCreateMessage(path, notRegularReason(path)) + unchanged);

    // Unbuffered, so that a write the disk cannot take fails here and not
    // unseen in a flush at commit(), which would still rename the cut file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Failure(cannotCreateMessage(path, file.errorString()) + unchanged);
    const auto failure = [&](QFileDevice::FileError error, const QString &reason) {
        file.cancelWriting();
        return Failure(ioErrorMessage(error, path, reason) + unchanged);
    };
    // A disk that fills up takes part of a write without a word: the rest
    // is written again, to meet the error itself.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            if (file.error() != QFileDevice::NoError)
                throw failure(file.error(), file.errorString());
            throw failure(QFileDevice::WriteError, qt_error_string(errno));
        }
        done += written;
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0)
        throw failure(errno == ENOSPC ? QFileDevice::ResourceError : QFileDevice::WriteError, qt_error_string(errno));
#endif
    if (!file.commit())
        throw failure(file.error() == QFileDevice::NoError ? QFileDevice::RenameError : file.error(),
                      file.errorString());
}

void removeFile(const QString &path)
{
    QFile file(path);
    if (file.exists() && !file.remove())
        throw Failure(ioErrorMessage(file.error(), path, file.errorString()) + previousFileUnchanged());
}

} // namespace roradaza
