#include "store/DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace roradaza {

QString dataFolderFor(const QString &executableFolder)
{
    if (QFileInfo(executableFolder).isWritable())
        return executableFolder;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/roradaza");
}

} // namespace roradaza
