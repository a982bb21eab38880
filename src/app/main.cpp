#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "calendar/Clock.h"
#include "calendar/SaintsCalendar.h"
#include "store/DataFolder.h"
#include "store/StartupRegistration.h"
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

using namespace roradaza;

int main(int argc, char *argv[])
{
    if (const auto status = answerCommandLine(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setStyle(new ProgramStyle);
    // The program lives on in the tray with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("example.roradaza.Roradaza"));
    QApplication::setApplicationName(applicationTitle(QApplication::applicationFilePath()));
    QApplication::setWindowIcon(programIcon(QStringLiteral("roradaza")));
    // Menus and boxes are windows of their own: they take the program's font from here.
    QApplication::setFont(uiFont(QStringLiteral("MS Sans Serif"), 11));

    const QString dataFolder = dataFolderFor(QApplication::applicationDirPath());
    QDir().mkpath(dataFolder);
    SingleInstance instance(dataFolder);
    if (!instance.claim())
        return 0;

    SystemClock clock;
    DialogPrompts prompts;
    const auto registration = makeStartupRegistration();
    const Platform platform{clock,
                            prompts,
                            *registration,
                            QApplication::applicationFilePath(),
                            [](const QUrl &url) { QDesktopServices::openUrl(url); },
                            [] { return QSystemTrayIcon::isSystemTrayAvailable(); },
                            dataFolder};

    TForm1 form1(platform);
    if (!form1.FormCreate())
        return 0;
    TForm2 form2(form1.calendar(), SaintsCalendar::standard(), prompts, form1.editorOwner(), form1.title());
    TForm4 form4(form1.notices(), form1.notificationOwner(), form1.background());
    TVersionHistoryForm versionHistoryForm;
    form1.attach(&form2, &form4, &versionHistoryForm);

    QObject::connect(&instance, &SingleInstance::comeForwardRequested, &form1, &TForm1::comeForward);

    form1.show();
    return QApplication::exec();
}
