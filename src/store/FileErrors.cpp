// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/FileErrors.h"

#include <QDir>
#include <QFileInfo>

namespace roradaza {
namespace {

QString withReason(const QString &text, const QString &reason)
{
    return reason.isEmpty() ? text : text + QStringLiteral(" (%1)").arg(reason);
}

} // namespace

QString cannotOpenMessage(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path)), reason);
}

QString cannotCreateMessage(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path)), reason);
}

QString cannotReplaceMessage(const QString &path, const QString &reason)
{
    return withReason(QStringLiteral("Cannot replace file %1").arg(QDir::toNativeSeparators(path)), reason);
}

QString ioErrorMessage(QFileDevice::FileError error, const QString &path, const QString &reason)
{
    QString text;
    switch (error) {
    case QFileDevice::PermissionsError:
    case QFileDevice::OpenError:
    case QFileDevice::RemoveError:
        text = QStringLiteral("File access denied");
        break;
    case QFileDevice::ResourceError:
        text = QStringLiteral("Disk full");
        break;
    case QFileDevice::WriteError:
        text = QStringLiteral("Disk write error");
        break;
    case QFileDevice::ReadError:
        text = QStringLiteral("Disk read error");
        break;
    case QFileDevice::NoError:
        text = QStringLiteral("I/O error");
        break;
    default:
        text = QStringLiteral("I/O error %1").arg(int(error));
        break;
    }
    return withReason(text + QStringLiteral(": ") + QDir::toNativeSeparators(path), reason);
}

QString notRegularReason(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return QStringLiteral("è una cartella, non un file");
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("è un collegamento a un file che non c'è");
    return QStringLiteral("non è un file normale");
}

QString previousFileUnchanged()
{
    return QStringLiteral(". Il file precedente è rimasto intatto.");
}

} // namespace roradaza
