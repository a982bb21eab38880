// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/WholeFile.h"

#include "store/Failure.h"
#include "store/FileErrors.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <QDir>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
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
    // Read into room of the file's size: readAll grows its buffer past it.
    const qint64 size = file.size();
    QByteArray bytes(size, Qt::Uninitialized);
    const qint64 read = file.read(bytes.data(), size);
    if (read >= 0) {
        bytes.resize(read);
        // A file that grew since its size was taken is read to its end, as before.
        if (read == size)
            bytes += file.readAll();
    }
    if (file.error() != QFileDevice::NoError)
        throw Failure(ioErrorMessage(file.error(), path, file.errorString()));
    return bytes;
}

namespace {

#ifdef Q_OS_UNIX
QString userName(uid_t uid)
{
    const passwd *entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid)
{
    const group *entry = ::getgrgid(gid);
    return entry ? QString::fromLocal8Bit(entry->gr_name) : QString::number(gid);
}

// Gives the open file the owner, group and mode bits of the one it replaces
// or copies, or says why it cannot: a file of another user is not taken
// over, and a setgid bit is not dropped without a word.
QString takeOwnerAndMode(int handle, const QString &path, const QString &like)
{
    struct stat want = {};
    struct stat now = {};
    if (::stat(QFile::encodeName(like).constData(), &want) != 0 || ::fstat(handle, &now) != 0)
        return {};
    // The file itself is named by the message already; the one copied is named here.
    const QString file = like == path ? QStringLiteral("il file") : QDir::toNativeSeparators(like);
    const uid_t uid = now.st_uid == want.st_uid ? uid_t(-1) : want.st_uid;
    const gid_t gid = now.st_gid == want.st_gid ? gid_t(-1) : want.st_gid;
    if ((uid != uid_t(-1) || gid != gid_t(-1)) && ::fchown(handle, uid, gid) != 0) {
        return QStringLiteral("%1 \u00E8 dell'utente %2 e del gruppo %3: salvato dall'utente %4 diventerebbe suo. "
                              "Salvare come l'utente %2")
            .arg(file, userName(want.st_uid), groupName(want.st_gid), userName(::geteuid()));
    }
    const mode_t bits = want.st_mode & 07777;
    if (::fchmod(handle, bits) != 0 || ::fstat(handle, &now) != 0 || (now.st_mode & 07777) != bits) {
        return QStringLiteral("i permessi di %1 (%2) non si possono dare a un file nuovo")
            .arg(file)
            .arg(qulonglong(bits), 4, 8, QLatin1Char('0'));
    }
    return {};
}

// The file a path names once its links are followed, even when it is not there yet.
QString finalFile(const QString &path)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 128 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// A rename is on disk only once its folder is: until then a power cut can
// bring the old file back.
QString syncFolderOf(const QString &file)
{
    const QString folder = QFileInfo(file).absolutePath();
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return qt_error_string(errno);
    const bool synced = ::fsync(handle) == 0 || errno == EINVAL; // a folder that cannot be synced has nothing to sync
    const QString reason = synced ? QString() : qt_error_string(errno);
    ::close(handle);
    return reason;
}
#endif

} // namespace

void writeWholeFile(const QString &path, const QByteArray &bytes, const QString &ownerAndModeOf)
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
#ifdef Q_OS_UNIX
    // Owner and mode before the first byte: a private file's content is
    // never readable by others, not even in the new file not yet in place.
    const QString like = ownerAndModeOf.isEmpty() ? path : ownerAndModeOf;
    if (QFileInfo::exists(like)) {
        if (const QString refusal = takeOwnerAndMode(file.handle(), path, like); !refusal.isEmpty()) {
            file.cancelWriting();
            throw Failure(cannotCreateMessage(path, refusal) + unchanged);
        }
    }
#endif
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
    const QString written = finalFile(path);
#else
    Q_UNUSED(ownerAndModeOf);
#endif
    if (!file.commit()) {
        if (file.error() == QFileDevice::RenameError || file.error() == QFileDevice::NoError)
            throw Failure(cannotReplaceMessage(path, file.errorString()) + unchanged);
        throw failure(file.error(), file.errorString());
    }
#ifdef Q_OS_UNIX
    if (const QString reason = syncFolderOf(written); !reason.isEmpty())
        throw Failure(ioErrorMessage(QFileDevice::WriteError, QFileInfo(written).absolutePath(), reason) +
                      QStringLiteral(". Il file %1 \u00E8 stato scritto, ma il disco non ha confermato la cartella: "
                                     "salvare di nuovo")
                          .arg(QDir::toNativeSeparators(path)));
#endif
}

void removeFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return;
#ifdef Q_OS_UNIX
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        // Only a refusal is "access denied"; any other fault is named by its number.
        const int error = errno;
        const bool denied = error == EACCES || error == EPERM || error == EROFS;
        const QString text = denied ? ioErrorMessage(QFileDevice::RemoveError, path, qt_error_string(error))
                                    : QStringLiteral("I/O error %1: %2 (%3)")
                                          .arg(error)
                                          .arg(QDir::toNativeSeparators(path), qt_error_string(error));
        throw Failure(text + previousFileUnchanged());
    }
    if (const QString reason = syncFolderOf(path); !reason.isEmpty())
        throw Failure(ioErrorMessage(QFileDevice::WriteError, info.absolutePath(), reason));
#else
    QFile file(path);
    if (!file.remove())
        throw Failure(ioErrorMessage(file.error(), path, file.errorString()) + previousFileUnchanged());
#endif
}

} // namespace roradaza
