// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/StartupRegistration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace roradaza {
namespace {

// Quoting of the Exec key of a desktop entry: the path in double quotes,
// with the characters special inside them escaped.
QString quotedExec(const QString &path)
{
    QString quoted;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The desktop entry format escapes backslashes once more, and "%" is a field code.
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    quoted.replace(QLatin1String("%"), QLatin1String("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// A string value of a desktop entry: backslashes and line breaks escaped.
QString escapedString(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    escaped.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    escaped.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return escaped;
}

// How the desktop's settings switch an autostart entry off: the rewrite at
// every start keeps that choice.
struct Switch
{
    bool hidden = false;
    bool disabled = false;
};

Switch switchOf(const QString &path)
{
    Switch found;
    QFile file(path);
    // Only a regular file, and no more of it than an entry can need.
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return found;
    bool inEntry = false;
    for (const QByteArray &raw : file.read(64 * 1024).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inEntry || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1).trimmed();
        if (key == "Hidden")
            found.hidden = value == "true";
        else if (key == "X-GNOME-Autostart-enabled")
            found.disabled = value == "false";
    }
    return found;
}

class AutostartEntry final : public StartupRegistration
{
public:
    void registerProgram(const QString &executablePath) override
    {
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty() || QDir::isRelativePath(config))
            config = QDir::homePath() + QStringLiteral("/.config");
        const QString folder = config + QStringLiteral("/autostart");
        if (!QDir().mkpath(folder))
            return;
        const QString name = QFileInfo(executablePath).fileName();
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".desktop");
        const Switch off = switchOf(path);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        // TryExec: once the program is removed, the entry starts nothing.
        QString entry = QStringLiteral("[Desktop Entry]\n"
                                       "Type=Application\n"
                                       "Name=%1\n"
                                       "Comment=Promemoria di compleanni, onomastici e ricorrenze\n"
                                       "TryExec=%2\n"
                                       "Exec=%3\n"
                                       "Terminal=false\n"
                                       "X-GNOME-Autostart-enabled=%4\n")
                            .arg(name, escapedString(executablePath), quotedExec(executablePath),
                                 off.disabled ? QStringLiteral("false") : QStringLiteral("true"));
        if (off.hidden)
            entry += QStringLiteral("Hidden=true\n");
        file.write(entry.toUtf8());
        file.commit();
    }
};

} // namespace

std::unique_ptr<StartupRegistration> makeStartupRegistration()
{
    return std::make_unique<AutostartEntry>();
}

} // namespace roradaza
