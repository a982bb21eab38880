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
        return QStringLiteral("File access denied");
    case QFileDevice::ResourceError:
        return QStringLiteral("Disk full");
    default:
        return QStringLiteral("I/O error %1").arg(int(error));
    }
}

} // namespace roradaza
