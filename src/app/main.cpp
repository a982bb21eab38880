// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/SessionEnd.h"
#include "app/SingleInstance.h"
#include "calendar/Clock.h"
#include "calendar/SaintsCalendar.h"
#include "store/DataFolder.h"
#include "store/Failure.h"
#include "store/StartupRegistration.h"
#include "ui/Accessibility.h"
#include "ui/Prompts.h"
#include "ui/Screens.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit4.h"
#include "ui/Unit5.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QSystemTrayIcon>
#include <QWindow>

#include <cstdio>

using namespace roradaza;

namespace {

// A word to the user in a box, and on the terminal for whoever started the program there.
void tell(Prompts &prompts, const QString &text, QMessageBox::Icon icon)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    prompts.tell(nullptr, QApplication::applicationName(), text, icon);
}

} // namespace

int main(int argc, char *argv[])
{
    if (const auto status = answerCommandLine(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setStyle(new ProgramStyle);
    installAccessibility();
    installQtItalian();
    // The program lives on in the tray with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("example.roradaza.Roradaza"));
    QApplication::setApplicationName(applicationTitle(QApplication::applicationFilePath()));
    QApplication::setWindowIcon(programIcon(QStringLiteral("roradaza")));
    // Menus and boxes are windows of their own: they take the program's font from here.
    QApplication::setFont(uiFont(QStringLiteral("MS Sans Serif"), 11));

    DialogPrompts prompts;
    const QString programFolder = QApplication::applicationDirPath();
    const QString dataFolder = dataFolderFor(programFolder);
    QDir().mkpath(dataFolder);
    SingleInstance instance(dataFolder);
    // A socket folder another user holds is named, so that a start that cannot call this one is understood.
    const QString distrust = instance.distrust().join(u'\n');
    switch (instance.claim()) {
    case SingleInstance::Claim::Run:
        if (!distrust.isEmpty())
            tell(prompts, distrust, QMessageBox::Warning);
        break;
    case SingleInstance::Claim::Forwarded:
        if (!distrust.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(distrust));
        return 0;
    case SingleInstance::Claim::Unreachable:
        tell(prompts,
             QStringLiteral("Roradaza \u00E8 gi\u00E0 in esecuzione su questa cartella (processo %1), ma questo avvio "
                            "non pu\u00F2 richiamarlo.\n%2")
                 .arg(instance.holder())
                 .arg(distrust),
             QMessageBox::Warning);
        return 1;
    case SingleInstance::Claim::Busy:
        tell(prompts,
             QStringLiteral("Roradaza è già in esecuzione su questa cartella (processo %1), ma non risponde.\n"
                            "Chiudere quel programma, poi avviare di nuovo Roradaza.\n\nFile di blocco: %2")
                     .arg(instance.holder())
                     .arg(QDir::toNativeSeparators(instance.lockPath())) +
                 (instance.distrust().isEmpty() ? QString() : u'\n' + instance.distrust().join(u'\n')),
             QMessageBox::Warning);
        return 1;
    }

    try {
        if (bringEventsAlong(programFolder, dataFolder)) {
            tell(prompts,
                 QStringLiteral("La cartella del programma (%1) non è scrivibile: gli eventi sono stati copiati "
                                "in %2, dove d'ora in poi Roradaza li conserva.\n"
                                "I file nella cartella del programma non sono stati toccati.")
                     .arg(QDir::toNativeSeparators(programFolder), QDir::toNativeSeparators(dataFolder)),
                 QMessageBox::Information);
        }
    } catch (const Failure &failure) {
        // Going on would show an empty list, as if the events were lost.
        tell(prompts, failure.message(), QMessageBox::Critical);
        return 1;
    }

    SystemClock clock;
    const auto registration = makeStartupRegistration();
    const Platform platform{clock,
                            prompts,
                            *registration,
                            QApplication::applicationFilePath(),
                            [](const QUrl &url) { QDesktopServices::openUrl(url); },
                            [] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                            dataFolder};

    TForm1 form1(platform);
    // Logging out, or being told to end, goes the way of "E&sci".
    SessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &SessionEnd::endRequested, &form1, &TForm1::endSession);
    QObject::connect(&sessionEnd, &SessionEnd::saveRequested, &form1, &TForm1::saveForSession, Qt::DirectConnection);
    if (!form1.FormCreate())
        return 0;
    TForm2 form2(form1.calendar(), SaintsCalendar::standard(), prompts, form1.editorOwner(), form1.title());
    TForm4 form4(form1.notices(), form1.notificationOwner(), form1.background());
    TVersionHistoryForm versionHistoryForm;
    // Wayland has no "stay on top": the compositor keeps a window above the one it belongs to.
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        form1.winId();
        form4.winId();
        form4.windowHandle()->setTransientParent(form1.windowHandle());
    }
    form1.attach(&form2, &form4, &versionHistoryForm);

    QObject::connect(&instance, &SingleInstance::comeForwardRequested, &form1, &TForm1::comeForward);

    form1.show();
    // Showing runs the first check, whose questions may already have seen the end.
    if (form1.hasEnded())
        return form1.exitStatus();
    return QApplication::exec();
}
