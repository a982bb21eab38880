// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DataFolder.h"

#include "store/Failure.h"
#include "store/SettingsFile.h"

#include <QDir>
#include <QFile>
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

namespace {

QByteArray contentOf(const QString &path, QString *error)
{
    QFile file(path);
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("non è un file");
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return {};
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        *error = file.errorString();
    return bytes;
}

void copyOver(const QString &from, const QString &to)
{
    const auto failed = [&](const QString &why) {
        QFile::remove(to);
        return Failure(QStringLiteral("Impossibile copiare %1 in %2: %3.\nIl file originale non è stato toccato.")
                           .arg(QDir::toNativeSeparators(from), QDir::toNativeSeparators(to), why));
    };
    QString error;
    const QByteArray original = contentOf(from, &error);
    if (!error.isEmpty())
        throw failed(error);
    QFile source(from);
    if (!source.copy(to))
        throw failed(source.errorString());
    // Read back: a copy that lost bytes on a full disk must not pass for whole.
    const QByteArray copied = contentOf(to, &error);
    if (!error.isEmpty())
        throw failed(error);
    if (copied != original)
        throw failed(QStringLiteral("la copia non è uguale all'originale"));
}

} // namespace

bool bringEventsAlong(const QString &executableFolder, const QString &dataFolder)
{
    const QDir from(executableFolder);
    const QDir to(dataFolder);
    const QString database = QStringLiteral("Roradaza.dat");
    const QString settings = QStringLiteral("Roradaza.ini");
    const auto there = [](const QString &path) {
        const QFileInfo info(path);
        return info.exists() || info.isSymLink();
    };
    // Either file in the data folder means the events live there already:
    // every save writes both, so a list emptied there (which removes
    // Roradaza.dat) still has its Roradaza.ini, and the old events beside
    // the program never come back.
    if (from.canonicalPath() == to.canonicalPath() || there(to.filePath(database)) || there(to.filePath(settings)) ||
        !from.exists(database))
        return false;
    // Roradaza.ini in place marks the move as done: it comes last, and goes
    // again when the events could not follow.
    copyOver(from.filePath(database), to.filePath(database));
    try {
        if (from.exists(settings))
            copyOver(from.filePath(settings), to.filePath(settings));
        else
            SettingsFile(to.filePath(settings)).write(Settings());
    } catch (...) {
        QFile::remove(to.filePath(database));
        throw;
    }
    return true;
}

} // namespace roradaza
