#include "store/FileErrors.h"

#include <QDir>

namespace roradaza {

QString cannotOpenMessage(const QString &path)
{
    return QStringLiteral("Cannot open file %1").arg(QDir::toNativeSeparators(path));
}

QString cannotCreateMessage(const QString &path)
{
    return QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path));
}

QString ioErrorMessage(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::PermissionsError:
    case QFileDevice::OpenError:
    case QFileDevice::RemoveError:
    case QFileDevice::RenameError:
        return QStringLiteral("File access denied");
    case QFileDevice::ResourceError:
        return QStringLiteral("Disk full");
    case QFileDevice::WriteError:
        return QStringLiteral("Disk write error");
    case QFileDevice::ReadError:
        return QStringLiteral("Disk read error");
    default:
        return QStringLiteral("I/O error %1").arg(int(error));
    }
}

} // namespace roradaza
