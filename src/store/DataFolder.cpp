#include "store/DataFolder.h"

#include <QDir>
#include <QFileInfo>

namespace roradaza {

QString dataFolderFor(const QString &executableFolder)
{
    // A program installed with the system stays out of its folder even for
    // root, who could write there.
    const QString canonical = QFileInfo(executableFolder).canonicalFilePath();
    const bool systemFolder = canonical.startsWith(QLatin1String("/usr/")) || canonical == QLatin1String("/bin") ||
                              canonical == QLatin1String("/sbin");
    if (!systemFolder && QFileInfo(executableFolder).isWritable())
        return executableFolder;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/roradaza");
}

} // namespace roradaza
