#include "store/StartupRegistration.h"

#include <QDir>
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
        QSaveFile file(folder + QLatin1Char('/') + name + QStringLiteral(".desktop"));
        if (!file.open(QIODevice::WriteOnly))
            return;
        const QString entry = QStringLiteral("[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=%1\n"
                                             "Comment=Promemoria di compleanni, onomastici e ricorrenze\n"
                                             "Exec=%2\n"
                                             "Terminal=false\n"
                                             "X-GNOME-Autostart-enabled=true\n")
                                  .arg(name, quotedExec(executablePath));
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
