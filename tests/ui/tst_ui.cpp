// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiFixture.h"

#include "calendar/SaintsCalendar.h"
#include "store/Text.h"
#include "ui/ImportWindow.h"
#include "ui/Screens.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>
#include <QTreeView>
#include <QTreeWidget>
#include <QWheelEvent>

using namespace roradaza;
using namespace Qt::StringLiterals;
using Answer = Prompts::Answer;
using Box = ScriptedPrompts::Box;
using Kind = ScriptedPrompts::Kind;

Q_DECLARE_METATYPE(Prompts::Answer)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// A database file with CR LF line ends, count line first.
QByteArray database(const QList<QByteArrayList> &records)
{
    QByteArray bytes = QByteArray::number(records.size() - 1) + "\r\n";
    for (const QByteArrayList &fields : records)
        bytes += fields.join("\r\n") + "\r\n";
    return bytes;
}

const QByteArray saintsOff = "0\r\n1200000\r\n0\r\n";
const QByteArray notDue = database({{"Zeta", "06", "15", "00", "0000"}});

QByteArray testData(const char *name)
{
    QFile file(QDir(qEnvironmentVariable("RORADAZA_TEST_DATA")).filePath(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList lines(const QString &text)
{
    return QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n'));
}

Box errorBox(const QString &text, const QString &caption = u"Roradaza"_s)
{
    return {Kind::Tell, caption, text, QMessageBox::Critical, {}};
}

Box deleteQuestion(const QString &name)
{
    return {Kind::Ask, u"Warning"_s, u"Cancellare "_s + name + u" ?"_s, QMessageBox::Warning, {}};
}

Box intervalQuestion(const QString &minutes)
{
    return {Kind::AskText, u"Configura"_s, u"Controlla ogni [Minuti]:"_s, QMessageBox::NoIcon, minutes};
}

QColor lineColour(const QTextEdit *box, int line)
{
    return box->document()->findBlockByNumber(line).begin().fragment().charFormat().foreground().color();
}

} // namespace

class TestUi : public QObject, private ProgramTests
{
    Q_OBJECT

private:
    // The boxes shown so far, claimed by the test.
    QList<Box> boxes() { return program->prompts.take(); }

private slots:
    void initTestCase()
    {
        ProgramTests::initTestCase();
        // As the program does: Qt's own parts speak Italian.
        QVERIFY(installQtItalian());
    }
    void init() { ProgramTests::init(); }
    void cleanup() { ProgramTests::cleanup(); }

    void startupWithNothingDueEnds()
    {
        program->setUp(saintsOff, notDue);
        const auto before = program->files();
        QVERIFY(program->start());

        TForm1 &form1 = *program->form1;
        QVERIFY(!program->form4->isVisible());
        QVERIFY(form1.isEnabled());
        QVERIFY(form1.countdown()->isActive());
        QVERIFY(form1.stopButton()->isEnabled());
        QCOMPARE(form1.progressBar()->value(), 0);

        int midway = -1;
        bool visibleMidway = false;
        QTimer::singleShot(1300, &form1, [&] {
            midway = form1.progressBar()->value();
            visibleMidway = form1.isVisible();
        });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runUntilExit(8000), 0);
        QVERIFY2(clock.elapsed() >= 2300, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(visibleMidway);
        QVERIFY2(midway > 0 && midway < 100, qPrintable(QString::number(midway)));
        QVERIFY(!form1.isVisible());
        QCOMPARE(program->files(), before); // nothing modified, nothing saved
    }

    // "&Ok" dismisses the notification, clicked or by Escape.
    void startupWithReminders_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("clicked") << false;
        QTest::newRow("Escape") << true;
    }

    void startupWithReminders()
    {
        QFETCH(bool, escape);
        const auto dismiss = [&](QPushButton *ok) {
            if (escape)
                QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : program->form4.get(),
                                Qt::Key_Escape);
            else
                QTest::mouseClick(ok, Qt::LeftButton);
        };
        program->setUp("0\r\n1200000\r\n-1\r\n", database({{"Anna", "03", "29", "00", "0000"},
                                                           {"Bollo", "03", "30", "02i", "0000"},
                                                           {"Zeta", "06", "15", "00", "0000"}}));
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        TForm4 &form4 = *program->form4;

        QVERIFY(form4.isVisible());
        QVERIFY(!form1.isEnabled());
        QVERIFY(!form1.countdown()->isActive());
        QVERIFY(!form1.stopButton()->isEnabled());
        QVERIFY(form4.button1()->isVisible());
        QVERIFY(!form4.button2()->isVisible());
        const QByteArray saints = "Calendario:  " + SaintsCalendar::standard().saint(29, 3);
        QCOMPARE(lines(form4.listBox()->toPlainText()),
                 QStringList({text::fromCp1252(saints), u"DOMANI:  Bollo !"_s, u"OGGI:  Anna !"_s}));
        QCOMPARE(lineColour(form4.listBox(), 0), QColor(0, 0x80, 0));
        QCOMPARE(lineColour(form4.listBox(), 1), QColor(Qt::red));
        QCOMPARE(lineColour(form4.listBox(), 2), QColor(Qt::blue));

        // The picture behind the disabled main window is not greyed.
        auto *picture = form1.findChild<QWidget *>(u"Image1"_s);
        QVERIFY(picture);
        const QImage whileDisabled = picture->grab().toImage();

        QVERIFY(QTest::qWaitForWindowActive(&form4));
        dismiss(form4.button1());
        QVERIFY(!form4.isVisible());
        QVERIFY(form1.isEnabled());
        QCOMPARE(picture->grab().toImage(), whileDisabled);
        QVERIFY(form1.countdown()->isActive());
        QVERIFY(form1.stopButton()->isEnabled());
        QVERIFY(form4.button1()->isHidden());
        QVERIFY(!form4.button2()->isHidden());

        // Keep the window, then let a later check show the reminders again.
        QTest::mouseClick(form1.stopButton(), Qt::LeftButton);
        program->trigger("CheckBirthday1");
        QVERIFY(form4.isVisible());
        QVERIFY(!form1.isEnabled());
        QVERIFY(form4.button2()->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&form4));
        dismiss(form4.button2());
        QVERIFY(!form4.isVisible());
        QVERIFY(form1.isEnabled());
        QVERIFY(!form1.countdown()->isActive());
        QTest::qWait(700);
        QCOMPARE(form1.progressBar()->value(), 0);
        QVERIFY(form1.isVisible());
    }

    void stopButtonExpands()
    {
        program->setUp(saintsOff, notDue);
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        QCOMPARE(form1.client()->height(), TForm1::compactClientHeight);
        QTRY_VERIFY_WITH_TIMEOUT(form1.progressBar()->value() >= 20, 5000);
        const QPoint before = form1.pos();

        QTest::mouseClick(form1.stopButton(), Qt::LeftButton);
        QCOMPARE(form1.client()->height(), TForm1::expandedClientHeight);
        QCOMPARE(form1.pos(), before - QPoint(0, 168));
        QVERIFY(!form1.countdown()->isActive());
        QCOMPARE(form1.progressBar()->value(), 0);
        QVERIFY(form1.stopButton()->isHidden());
        QVERIFY(form1.progressBar()->isHidden());
        QVERIFY(form1.eventView()->isVisible());
        QCOMPARE(form1.eventView()->height(), 369);
        QCOMPARE(form1.eventView()->model()->rowCount(), 1);
        QVERIFY(form1.isModified());
        QVERIFY(!form1.isCompact());
    }

    // The tray menu beside the pointer, never under it; opened over the
    // notification window by the end-to-end runs.
    void trayMenuPlace_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QPoint>("corner");
        // A menu of 150 by 120 on a screen of 1024 by 768 under a panel 32 high.
        QTest::newRow("room to the right and below") << QPoint(100, 100) << QPoint(101, 101);
        QTest::newRow("at the right edge") << QPoint(1000, 100) << QPoint(850, 101);
        QTest::newRow("tray at the top right") << QPoint(1010, 10) << QPoint(860, 32);
        QTest::newRow("tray at the bottom right") << QPoint(1010, 760) << QPoint(860, 640);
        QTest::newRow("just fits") << QPoint(873, 647) << QPoint(874, 648);
        QTest::newRow("one pixel short") << QPoint(874, 648) << QPoint(724, 528);
    }

    void trayMenuPlace()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QPoint, corner);
        const QSize size(150, 120);
        const QPoint place = popupPlace(pointer, size, QRect(0, 32, 1024, 768 - 32));
        QCOMPARE(place, corner);
        QVERIFY(!QRect(place, size).contains(pointer));
    }

    // With the option on, closing goes to the tray; without a tray every exit
    // command ends the program, and only the countdown keeps it, in the task bar.
    void closeWithMinimiseToTray_data()
    {
        QTest::addColumn<bool>("trayAtStart");
        QTest::addColumn<bool>("trayAtClose");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("tray, close box") << true << true << u"close box"_s << u"tray"_s;
        QTest::newRow("tray, countdown") << true << true << u"countdown"_s << u"tray"_s;
        QTest::newRow("no tray, close box") << false << false << u"close box"_s << u"ended"_s;
        QTest::newRow("no tray, Esci button") << false << false << u"BitBtn1"_s << u"ended"_s;
        QTest::newRow("no tray, Funzioni > Esci") << false << false << u"Exit1"_s << u"ended"_s;
        QTest::newRow("no tray, countdown") << false << false << u"countdown"_s << u"task bar"_s;
        QTest::newRow("tray come since, close box") << false << true << u"close box"_s << u"tray"_s;
        QTest::newRow("tray come while in the task bar") << false << false << u"countdown"_s << u"task bar, tray"_s;
    }

    void closeWithMinimiseToTray()
    {
        QFETCH(bool, trayAtStart);
        QFETCH(bool, trayAtClose);
        QFETCH(QString, way);
        QFETCH(QString, outcome);
        program->trayAvailable = trayAtStart;
        // Written differently from how a save writes it, so that the save shows.
        program->setUp("-1\n$124F80\n-1\n", "1\nZeta\n06\n15\n00\n0000\nAlfa\n06\n16\n00\n0000\n");
        const auto files = program->files();
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        QAction *option = program->find<QAction>("IconizzainbarraperpcATX1");
        QVERIFY(option->isChecked());
        // "Configura" tells when the desktop has no tray, asked as it opens.
        const auto configura = [&] {
            emit program->find<QMenu>("Extra2")->aboutToShow();
            return option->text();
        };
        QCOMPARE(configura(), trayAtStart ? u"&Riduci a icona invece di chiudere"_s
                                          : u"&Riduci a icona invece di chiudere (questo desktop non ha "
                                            u"l'area di notifica)"_s);
        QTest::mouseClick(program->form4->button1(), Qt::LeftButton); // the saints line; the countdown starts
        program->trayAvailable = trayAtClose;
        QCOMPARE(configura().endsWith(u"chiudere"_s), trayAtClose);

        const int code = runUntilExit(way == u"countdown"_s ? 4000 : 300, [&] {
            if (way == u"close box"_s)
                form1.close();
            else if (way == u"BitBtn1"_s)
                program->find<QPushButton>("BitBtn1")->click();
            else if (way == u"Exit1"_s)
                program->trigger("Exit1");
        });
        QCOMPARE(code, outcome == u"ended"_s ? 0 : -2);
        QCOMPARE(form1.hasEnded(), outcome == u"ended"_s);
        QVERIFY(!form1.countdown()->isActive());
        QCOMPARE(form1.isTrayIconShown(), outcome == u"tray"_s);
        if (outcome == u"ended"_s) {
            QVERIFY(!form1.isVisible());
            QCOMPARE(program->files(), files); // ended as with the option off: nothing changed, nothing saved
            return;
        }
        QCOMPARE(program->read(u"Roradaza.ini"_s), QByteArray("-1\r\n1200000\r\n-1\r\n"));
        QCOMPARE(program->read(u"Roradaza.dat"_s),
                 database({{"Alfa", "06", "16", "00", "0000"}, {"Zeta", "06", "15", "00", "0000"}}));
        if (outcome == u"tray"_s) {
            QVERIFY(!form1.isVisible());
            return;
        }
        // Without a tray the task bar keeps it reachable.
        QVERIFY(form1.isVisible());
        QVERIFY(form1.isMinimized());
        if (outcome == u"task bar, tray"_s) {
            // A tray that appears meanwhile takes the program at the next automatic check.
            program->trayAvailable = true;
            form1.loopCheck()->start(1);
            QTRY_VERIFY(form1.isTrayIconShown());
            form1.loopCheck()->start(1200000);
            QVERIFY(!form1.isVisible());
            program->form4->button2()->click(); // the check's saints line
            return;
        }
        // Bringing it back restores it.
        form1.showNormal();
        QTRY_VERIFY(!form1.isCompact());
        QVERIFY(form1.isVisible());
        QVERIFY(!form1.isMinimized());
    }

    void failedSaveStillAddsTrayIcon()
    {
        program->setUp("-1\r\n1200000\r\n0\r\n", notDue);
        QVERIFY(program->start());
        // A folder where the database file should be: the save cannot write it.
        QVERIFY(QFile::remove(program->path(u"Roradaza.dat"_s)));
        QVERIFY(QDir(program->folder.path()).mkdir(u"Roradaza.dat"_s));

        program->form1->close();
        QCOMPARE(boxes(),
                 QList<Box>{errorBox(u"Cannot create file %1 (è una cartella, non un file). Il file precedente "
                                     "è rimasto intatto."_s.arg(program->path(u"Roradaza.dat"_s)))});
        QVERIFY(program->form1->isTrayIconShown());
        QVERIFY(!program->form1->isVisible());
    }

    // Every save fails (a folder stands where the database file should be):
    // after the error, the user may still end the program, leaving the files be.
    void failedSaveOnExit_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("tray's E&sci, Yes") << u"Exit2"_s << Answer::Yes;
        QTest::newRow("tray's E&sci, No") << u"Exit2"_s << Answer::No;
        QTest::newRow("&Esci, Yes") << u"Exit1"_s << Answer::Yes;
        QTest::newRow("&Esci, No") << u"Exit1"_s << Answer::No;
    }

    void failedSaveOnExit()
    {
        QFETCH(QString, way);
        QFETCH(Answer, answer);
        program->setUp(saintsOff, notDue);
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        QTest::mouseClick(form1.stopButton(), Qt::LeftButton);
        QVERIFY(QFile::remove(program->path(u"Roradaza.dat"_s)));
        QVERIFY(QDir(program->folder.path()).mkdir(u"Roradaza.dat"_s));
        const auto files = program->files();

        program->prompts.answers << answer;
        const int code = runUntilExit(1000, [&] { program->trigger(qPrintable(way)); });
        QCOMPARE(code, answer == Answer::Yes ? 0 : -2);
        const QList<Box> shown = boxes();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].icon, QMessageBox::Critical);
        QVERIFY2(shown[0].text.startsWith(u"Cannot create file"_s), qPrintable(shown[0].text));
        QCOMPARE(shown[1], (Box{Kind::Ask,
                                u"Confirm"_s,
                                u"Il salvataggio non è riuscito. Uscire comunque senza salvare le modifiche?"_s,
                                QMessageBox::Question,
                                {}}));
        QCOMPARE(program->files(), files);
        QVERIFY(QFileInfo(program->path(u"Roradaza.dat"_s)).isDir());
        QCOMPARE(form1.hasEnded(), answer == Answer::Yes);
        if (answer == Answer::No)
            QVERIFY(form1.isVisible());
    }

    void restoreFromTray()
    {
        program->setUp("-1\r\n1200000\r\n0\r\n", notDue);
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        const QPoint compactAt = form1.pos();
        form1.close();
        QVERIFY(form1.isTrayIconShown());

        // Switched off in the tray, the automatic check comes back with the window.
        program->trigger("AutoCheck1");
        QVERIFY(!form1.loopCheck()->isActive());
        QVERIFY(!program->find<QAction>("AutoCheck1")->isChecked());

        program->trigger("Restore1");
        QVERIFY(form1.isVisible());
        QVERIFY(!form1.isCompact());
        QVERIFY(!form1.isTrayIconShown());
        QVERIFY(form1.isModified());
        QVERIFY(!form1.countdown()->isActive());
        QCOMPARE(form1.client()->height(), TForm1::expandedClientHeight);
        QCOMPARE(form1.pos(), compactAt - QPoint(0, 168));
        QVERIFY(form1.loopCheck()->isActive());
        QVERIFY(program->find<QAction>("AutoCheck1")->isChecked());

        const QRect expanded = form1.geometry();
        for (int round = 0; round < 2; ++round) {
            form1.close();
            QVERIFY(form1.isTrayIconShown());
            program->trigger("Restore1");
            QCOMPARE(form1.geometry(), expanded);
        }
    }

    void exitSavesOnlyWhenModified_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QByteArray>("settings"); // empty: nothing saved
        QTest::newRow("nothing done") << QString() << QByteArray();
        QTest::newRow("interval changed") << u"imerControlloAutomatico1"_s << QByteArray();
        QTest::newRow("minimise option changed") << u"IconizzainbarraperpcATX1"_s << QByteArray();
        QTest::newRow("saints option changed") << u"tmCheckSaint"_s << QByteArray("0\r\n1200000\r\n-1\r\n");
        QTest::newRow("NON chiudere!") << u"Button4"_s << saintsOff;
    }

    void exitSavesOnlyWhenModified()
    {
        QFETCH(QString, before);
        QFETCH(QByteArray, settings);
        program->setUp(saintsOff, "0\nZeta\n06\n15\n00\n0000\n");
        const auto files = program->files();
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;

        if (before == QLatin1String("Button4")) {
            QTest::mouseClick(form1.stopButton(), Qt::LeftButton);
        } else if (!before.isEmpty()) {
            if (before == QLatin1String("imerControlloAutomatico1"))
                program->prompts.texts << u"5"_s;
            program->trigger(qPrintable(before));
        }
        boxes();
        QCOMPARE(runUntilExit(5000, [this] { program->trigger("Exit2"); }), 0);
        QVERIFY(!form1.isTrayIconShown());
        if (settings.isEmpty()) {
            QCOMPARE(program->files(), files);
            return;
        }
        QCOMPARE(program->read(u"Roradaza.dat"_s), notDue);
        QCOMPARE(program->read(u"Roradaza.ini"_s), settings);
    }

    void intervalBox_data()
    {
        QTest::addColumn<std::optional<QString>>("typed");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("error");

        const QString range = u"L'intervallo deve essere fra 0 e 35791 minuti."_s;
        // The settings file starts it at a minute and a half.
        QTest::newRow("five minutes") << std::optional(u"5"_s) << 300000 << QString();
        QTest::newRow("Cancel keeps whole minutes") << std::optional<QString>() << 60000 << QString();
        QTest::newRow("not a number") << std::optional(u"abc"_s) << 90000 << u"'abc' is not a valid integer value."_s;
        QTest::newRow("empty") << std::optional(QString()) << 90000 << u"'' is not a valid integer value."_s;
        QTest::newRow("zero: never fires") << std::optional(u"0"_s) << 0 << QString();
        QTest::newRow("negative") << std::optional(u"-1"_s) << 90000 << range;
        QTest::newRow("too large for the timer") << std::optional(u"35792"_s) << 90000 << range;
        QTest::newRow("largest") << std::optional(u"35791"_s) << 35791 * 60000 << QString();
    }

    void intervalBox()
    {
        QFETCH(std::optional<QString>, typed);
        QFETCH(int, interval);
        QFETCH(QString, error);
        program->setUp("0\r\n90000\r\n0\r\n", notDue);
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;

        program->prompts.texts << typed;
        program->trigger("imerControlloAutomatico1");
        QList<Box> expected = {intervalQuestion(u"1"_s)};
        if (!error.isEmpty())
            expected << errorBox(error);
        QCOMPARE(boxes(), expected);
        QCOMPARE(form1.checkInterval(), interval);
        QCOMPARE(form1.loopCheck()->isActive(), interval > 0);
        if (interval > 0)
            QCOMPARE(form1.loopCheck()->interval(), interval);
        QVERIFY(form1.isAutoCheckEnabled());
        QVERIFY(program->find<QAction>("AutoCheck1")->isChecked());
        QVERIFY(!form1.isModified());
    }

    void saintsOption()
    {
        program->setUp(saintsOff, notDue);
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        QAction *item = program->find<QAction>("tmCheckSaint");
        QVERIFY(!item->isChecked());

        item->trigger();
        QVERIFY(item->isChecked());
        QVERIFY(form1.saintsOption());
        QVERIFY(form1.isModified());
        program->trigger("CheckBirthday1");
        QVERIFY(program->form4->isVisible());
        QVERIFY(program->form4->listBox()->toPlainText().startsWith(u"Calendario:  "_s));
        QTest::mouseClick(program->form4->button2(), Qt::LeftButton);

        item->trigger();
        QVERIFY(!item->isChecked());
        QVERIFY(!form1.saintsOption());
        QVERIFY(form1.isModified());
    }

    void deletePrompt_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("Yes deletes") << Answer::Yes << 1;
        QTest::newRow("No keeps") << Answer::No << 2;
    }

    void deletePrompt()
    {
        QFETCH(Answer, answer);
        QFETCH(int, left);
        program->setUp(saintsOff,
                       database({{"Visita Nicol\xF2", "03", "29A", "00", "0000"}, {"Zeta", "06", "15", "00", "0000"}}));
        program->prompts.answers << answer;
        QString shownWhileAsking;
        program->prompts.whileOpen = [&] {
            if (program->form4->isVisible())
                shownWhileAsking = program->form4->listBox()->toPlainText();
        };
        QVERIFY(program->start());

        QCOMPARE(boxes(), QList<Box>{deleteQuestion(u"Visita Nicol\u00F2"_s)});
        // The reminder is on screen before the question.
        QCOMPARE(shownWhileAsking, u"OGGI:  Visita Nicol\u00F2 !  (Auto-Cancellazione)"_s);
        QCOMPARE(program->form1->events().size(), left);
        QCOMPARE(program->form1->eventView()->model()->rowCount(), left);
        QCOMPARE(program->form1->isModified(), answer == Answer::Yes);
    }

    void tickDuringDeletePromptStartsNoPass()
    {
        program->setUp("0\r\n60000\r\n0\r\n",
                       database({{"Alfa", "03", "29A", "00", "0000"}, {"Beta", "03", "29A", "00", "0000"}}));
        program->prompts.answers << Answer::Yes << Answer::Yes;
        int ticks = 0;
        program->prompts.whileOpen = [&] {
            // The prompt's own loop delivers the automatic check's ticks.
            QTimer *loopCheck = program->form1->loopCheck();
            const auto counting = connect(loopCheck, &QTimer::timeout, [&] { ++ticks; });
            loopCheck->setInterval(1);
            QTRY_VERIFY(ticks >= 2);
            disconnect(counting);
            loopCheck->setInterval(60000);
        };
        QVERIFY(program->start());

        QVERIFY(ticks >= 2);
        QCOMPARE(boxes(), QList<Box>({deleteQuestion(u"Alfa"_s), deleteQuestion(u"Beta"_s)}));
        QVERIFY(program->form1->events().isEmpty());
    }

    void errorBoxCaption_data()
    {
        QTest::addColumn<QString>("executable");
        QTest::addColumn<QString>("title");
        QTest::newRow("mixed case, one dot") << u"RoRADAza.bin"_s << u"Roradaza"_s;
        QTest::newRow("first letter kept as it is") << u"roRADAza.bin"_s << u"roradaza"_s;
        QTest::newRow("two dots") << u"ZEVIVEZ.old.exe"_s << u"Zevivez"_s;
        QTest::newRow("no dot") << u"RORADAZA"_s << u"Roradaza"_s;
    }

    void errorBoxCaption()
    {
        QFETCH(QString, executable);
        QFETCH(QString, title);
        program->executableName = executable;
        program->write(u"Roradaza.ini"_s, saintsOff);
        QVERIFY(program->start());

        program->prompts.texts << u"abc"_s;
        program->trigger("imerControlloAutomatico1");
        program->trigger("About1");
        QCOMPARE(boxes(), QList<Box>({intervalQuestion(u"20"_s),
                                      errorBox(u"'abc' is not a valid integer value."_s, title),
                                      {Kind::Tell, title, QString::fromLatin1(aboutText), QMessageBox::NoIcon, {}}}));
    }

    void fullStop_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << u"Cannot open file x"_s << u"Cannot open file x."_s;
        QTest::newRow("full stop") << u"Fatto."_s << u"Fatto."_s;
        QTest::newRow("quote") << u"'abc' is not '"_s << u"'abc' is not '"_s;
        QTest::newRow("exclamation mark") << u"Attenzione!"_s << u"Attenzione!"_s;
        // Above the full stop in code: these get one.
        QTest::newRow("digit") << u"I/O error 5"_s << u"I/O error 5."_s;
        QTest::newRow("question mark") << u"Come?"_s << u"Come?."_s;
        QTest::newRow("accented") << u"perch\u00E9"_s << u"perch\u00E9."_s;
        QTest::newRow("empty") << QString() << QString();
    }

    void fullStop()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(withFullStop(text), shown);
    }

    void conversionQuestion_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("Yes converts") << Answer::Yes;
        QTest::newRow("No ends") << Answer::No;
    }

    void conversionQuestion()
    {
        QFETCH(Answer, answer);
        const QByteArray older = testData("older-layout-three-records.dat");
        QVERIFY(!older.isEmpty());
        program->write(u"Roradaza.dat"_s, older);
        const auto before = program->files();
        program->prompts.answers << answer;

        QCOMPARE(program->create(), answer == Answer::Yes);
        const Box question{Kind::Ask,
                           u"Confirm"_s,
                           u"Convertire l'archivio per essere utilizzato con la nuova versione?"_s,
                           QMessageBox::Question,
                           {}};
        QCOMPARE(boxes(), QList<Box>{question});
        QCOMPARE(program->files(), before); // nothing is written before a save
        if (answer == Answer::No) {
            QVERIFY(!program->form1->isVisible());
            return;
        }
        const EventList &events = program->form1->events();
        QCOMPARE(events.size(), 3);
        for (const EventRecord &record : events.copies())
            QCOMPARE(record.year, QByteArray("0000"));
        QCOMPARE(events.at(0).name, QByteArray("Bollo auto"));
        QCOMPARE(events.at(1).day, QByteArray("Luned\xEC;"));
    }

    void damagedSettingsStillLoadEvents()
    {
        program->setUp("True\r\n1200000\r\n0\r\n",
                       database({{"Alfa", "06", "16", "00", "0000"}, {"Zeta", "06", "15", "00", "0000"}}));
        QVERIFY(program->start());
        QCOMPARE(boxes(), QList<Box>{errorBox(u"'True' is not a valid boolean value (%1, riga 1)"_s.arg(
                              program->path(u"Roradaza.ini"_s)))});
        QCOMPARE(program->form1->events().size(), 2);
        QVERIFY(!program->form1->minimiseToTray());
        QVERIFY(!program->find<QAction>("tmCheckSaint")->isChecked()); // the third line still read
        QVERIFY(!program->find<QAction>("IconizzainbarraperpcATX1")->isChecked());
    }

    // Answers the import window once it is open: unticks the rows given, then Ok or Annulla.
    static void answerImportWindow(QList<int> untick, bool accept, QStringList *shown)
    {
        QTimer::singleShot(0, [=] {
            auto *window = qobject_cast<ImportWindow *>(QApplication::activeModalWidget());
            QVERIFY(window);
            QAbstractItemModel *rows = window->candidates()->model();
            for (int row = 0; row < rows->rowCount(); ++row) {
                QStringList texts;
                for (int column = 0; column < 4; ++column)
                    texts << rows->index(row, column).data().toString();
                QCOMPARE(rows->index(row, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
                *shown << texts.join(u'|');
            }
            *shown << window->refusals()->toPlainText() << window->duplicates()->toPlainText();
            for (const int row : untick)
                rows->setData(rows->index(row, 0), int(Qt::Unchecked), Qt::CheckStateRole);
            window->findChild<QPushButton *>(accept ? u"Ok"_s : u"Annulla"_s)->click();
        });
    }

    void eventsThroughCalendarsAndAddressBooks()
    {
        program->setUp(saintsOff, notDue);
        QVERIFY(program->start());
        const auto texts = [](QMenu *menu) {
            QStringList found;
            for (const QAction *item : menu->actions())
                found << item->text();
            return found;
        };
        QCOMPARE(texts(program->find<QMenu>("Archivio1")),
                 (QStringList{u"&Salva"_s, u"&Esporta calendario (.ics)..."_s, QString(), u"&Importa"_s}));
        QCOMPARE(texts(program->find<QMenu>("Carica1")),
                 (QStringList{u"Da &calendario (.ics)..."_s, u"Da r&ubrica (.vcf)..."_s, u"Da &Roradaza"_s,
                              u"Importa da &vecchio Zevivez"_s}));

        // From an address book: the second birthday unticked is not added,
        // and the current record stays current.
        const QString contacts = qEnvironmentVariable("RORADAZA_TEST_DATA") + u"/exchange/contacts-30.vcf"_s;
        QTreeView *view = program->form1->eventView();
        view->selectionModel()->setCurrentIndex(view->model()->index(0, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(program->form1->events().at(program->form1->currentRow()).name, QByteArray("Zeta"));
        QStringList shown;
        program->prompts.files = {contacts};
        answerImportWindow({1}, true, &shown);
        program->trigger("DaRubrica1");
        QCOMPARE(shown.mid(0, 3), (QStringList{u"Compleanno di Rossi, Mario|19 Marzo|7 giorni|"_s,
                                               u"Anniversario di Rossi, Mario|30 Giugno|7 giorni|"_s,
                                               u"Compleanno di Chiara Esposito|25 Dicembre|7 giorni|"_s}));
        QCOMPARE(lines(shown[3]).size(), 2);
        QVERIFY(program->form1->isModified());
        QStringList names;
        for (const EventRecord &record : program->form1->events().copies())
            names << text::fromCp1252(record.name);
        QCOMPARE(names, (QStringList{u"Compleanno di Chiara Esposito"_s, u"Compleanno di Rossi, Mario"_s, u"Zeta"_s}));
        QCOMPARE(program->form1->currentRow(), 2);

        // Again: what is already there is not offered twice; Annulla adds nothing.
        shown.clear();
        program->prompts.files = {contacts};
        answerImportWindow({}, false, &shown);
        program->trigger("DaRubrica1");
        QCOMPARE(shown.size(), 3);
        QCOMPARE(lines(shown[2]), (QStringList{u"Compleanno di Rossi, Mario: è già nell'elenco"_s,
                                               u"Compleanno di Chiara Esposito: è già nell'elenco"_s}));
        QCOMPARE(program->form1->events().size(), 3);

        // Out to a calendar: how many went, and which did not.
        program->form1->events().append({"Mai", "04", "31", "05", "0000"});
        program->prompts.files = {program->path(u"promemoria"_s)};
        program->trigger("EsportaCalendario1");
        const QList<Box> expected{
            {Kind::AskFile, u"Importa da una rubrica"_s, u"Rubriche vCard (*.vcf *.vcard);;Tutti i file (*)"_s,
             QMessageBox::NoIcon, u"open"_s},
            {Kind::AskFile, u"Importa da una rubrica"_s, u"Rubriche vCard (*.vcf *.vcard);;Tutti i file (*)"_s,
             QMessageBox::NoIcon, u"open"_s},
            {Kind::AskFile, u"Esporta calendario"_s, u"Calendario iCalendar (*.ics)"_s, QMessageBox::NoIcon, u"save"_s},
            {Kind::Tell,
             u"Roradaza"_s,
             u"Esportati 3 eventi in "_s + program->path(u"promemoria.ics"_s) +
                 u".\n\nNon esportati (1):\nMai: non cade mai in un giorno del calendario"_s,
             QMessageBox::NoIcon,
             {}}};
        QCOMPARE(boxes(), expected);
        QVERIFY(program->read(u"promemoria.ics"_s).startsWith("BEGIN:VCALENDAR\r\n"));
        QCOMPARE(exchange::readCalendarFile(program->path(u"promemoria.ics"_s)).records.size(), std::size_t(4));
        // "promemoria" again names the same file: it is replaced only when the user agrees.
        program->write(u"promemoria.ics"_s, "mine");
        program->prompts.files = {program->path(u"promemoria"_s), program->path(u"promemoria"_s)};
        program->prompts.answers << Answer::No << Answer::Yes;
        program->trigger("EsportaCalendario1");
        QCOMPARE(program->read(u"promemoria.ics"_s), QByteArray("mine"));
        program->trigger("EsportaCalendario1");
        QVERIFY(program->read(u"promemoria.ics"_s).startsWith("BEGIN:VCALENDAR\r\n"));
        QCOMPARE(boxes().size(), 5); // two file choices, two questions, one report
        // Qt's own dialog adds the suffix itself, before it asks about replacing.
        QString suffix;
        QTimer::singleShot(0, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                suffix = dialog->defaultSuffix();
                dialog->reject();
            }
        });
        DialogPrompts().askFile(nullptr, u"Esporta calendario"_s, u"Calendario iCalendar (*.ics)"_s, true);
        QCOMPARE(suffix, u"ics"_s);

        // Failures reach the one error box; a cancelled file choice does nothing.
        program->prompts.files = {QString(), u"/nonexistent/calendario.ics"_s,
                                  qEnvironmentVariable("RORADAZA_TEST_DATA") + u"/exchange/binary.ics"_s};
        program->trigger("DaCalendario1");
        program->trigger("EsportaCalendario1");
        program->trigger("DaCalendario1");
        const QList<Box> failures = boxes();
        QCOMPARE(failures.size(), 5);
        // The system's reason in Qt's Italian.
        QCOMPARE(failures[2],
                 errorBox(u"Cannot create file /nonexistent/calendario.ics (File o cartella non trovati)"_s));
        QVERIFY2(failures[4].text.endsWith(u"binary.ics: non è un file di testo."_s), qPrintable(failures[4].text));
        QCOMPARE(program->form1->events().size(), 4);
    }

    void unreadableDatabaseIsKept()
    {
        const QByteArray broken = testData("broken-count-line.dat");
        QVERIFY(!broken.isEmpty());
        program->setUp(saintsOff, broken);
        QVERIFY(program->start());
        // The damaged count line is named with its file, and hides none of the records after it.
        const QList<Box> shown = boxes();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.startsWith(u"L'archivio "_s + program->path(u"Roradaza.dat"_s) +
                                          u" ha la prima riga danneggiata"_s),
                 qPrintable(shown[0].text));
        QVERIFY(program->form1->isVisible());
        QCOMPARE(program->form1->events().size(), 2);

        program->form1->events().append({"Nuovo", "07", "01", "00", "0000"});
        program->trigger("SaveDatabase1");
        QCOMPARE(program->read(u"Roradaza.dat.bak"_s), broken);
        QCOMPARE(program->read(u"Roradaza.dat"_s), database({{"Compleanno di Anna", "05", "14", "07", "0000"},
                                                             {"Esame", "06", "20", "10i", "2026"},
                                                             {"Nuovo", "07", "01", "00", "0000"}}));
        // Only the first save keeps a copy.
        program->trigger("SaveDatabase1");
        QCOMPARE(program->files().size(), 3);
    }

    // The real boxes, opened while the notification window is up, stand in
    // front of it: its children, and on top themselves.
    // Qt's Italian is loaded: the boxes keep the buttons the program names, and
    // the file dialog, Qt's own, speaks Italian.
    void boxesInFrontOfNotification_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("buttons");
        QTest::newRow("delete prompt") << int(Kind::Ask) << QStringList{u"&Yes"_s, u"&No"_s};
        QTest::newRow("error box") << int(Kind::Tell) << QStringList{u"OK"_s};
        QTest::newRow("input box") << int(Kind::AskText) << QStringList{u"OK"_s, u"Cancel"_s};
        QTest::newRow("file dialog") << int(Kind::AskFile) << QStringList{u"&Apri"_s, u"Annulla"_s};
    }

    void boxesInFrontOfNotification()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, buttons);
        program->setUp("0\r\n1200000\r\n-1\r\n", notDue);
        QVERIFY(program->start());
        QVERIFY(program->form4->isVisible());
        // The notification window holds the focus on its visible "&Ok".
        QVERIFY(QTest::qWaitForWindowActive(program->form4.get()));
        QCOMPARE(QApplication::focusWidget(), program->form4->button1());
        QWidget *owner = nullptr;
        bool onTop = false;
        QStringList shown;
        QTimer::singleShot(0, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            owner = box->parentWidget();
            onTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            for (const QDialogButtonBox *row : box->findChildren<QDialogButtonBox *>()) {
                for (const QAbstractButton *button : row->buttons())
                    shown << button->text();
            }
            QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
        });
        DialogPrompts prompts;
        if (Kind(kind) == Kind::Ask)
            prompts.ask(nullptr, u"Warning"_s, u"Cancellare Anna ?"_s, QMessageBox::Warning, Prompts::Buttons::YesNo);
        else if (Kind(kind) == Kind::Tell)
            prompts.tell(nullptr, u"Roradaza"_s, u"Errore."_s, QMessageBox::Critical);
        else if (Kind(kind) == Kind::AskText)
            prompts.askText(nullptr, u"Configura"_s, u"Controlla ogni [Minuti]:"_s, u"20"_s);
        else
            prompts.askFile(nullptr, u"Importa da un calendario"_s, u"Calendari iCalendar (*.ics)"_s, false);
        QCOMPARE(shown, buttons);
        if (Kind(kind) != Kind::AskFile) {
            QCOMPARE(owner, program->form4.get());
            QVERIFY(onTop);
        }
        program->form4->button1()->click();
    }

    // Lines beyond the box's height are reached with a scroll bar, shown only then.
    void notificationScrollBar_data()
    {
        QTest::addColumn<int>("events");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("a few lines") << 3 << false;
        QTest::newRow("42 lines") << 41 << true;
    }

    void notificationScrollBar()
    {
        QFETCH(int, events);
        QFETCH(bool, scrolls);
        QList<QByteArrayList> due;
        for (int event = 0; event < events; ++event)
            due << QByteArrayList{"Evento " + QByteArray::number(event), "03", "29", "00", "0000"};
        program->setUp("0\r\n1200000\r\n-1\r\n", database(due));
        QVERIFY(program->start());
        QTextEdit *box = program->form4->listBox();
        QCOMPARE(box->document()->blockCount(), events + 1);
        QTRY_COMPARE(box->verticalScrollBar()->isVisible(), scrolls);
        QWheelEvent wheel(QPointF(50, 50), box->viewport()->mapToGlobal(QPointF(50, 50)), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box->viewport(), &wheel);
        QCOMPARE(box->verticalScrollBar()->value() > 0, scrolls);
        program->form4->button1()->click();
    }

    // On a dark desktop palette the reminders and the lists keep their light
    // background and dark text, "NON chiudere!" its black text on a light face.
    void lightListsOnDarkPalette()
    {
        const QPalette before = QApplication::palette();
        QPalette dark(Qt::white, QColor(0x20, 0x20, 0x20), Qt::black, Qt::black, Qt::gray, Qt::white, Qt::white,
                      QColor(0x20, 0x20, 0x20), QColor(0x30, 0x30, 0x30));
        QApplication::setPalette(dark);
        program->setUp("0\r\n1200000\r\n-1\r\n", notDue);
        const bool started = program->start();
        QList<QColor> colours; // background, then text, of each
        for (const auto &[widget, back, fore] :
             {std::tuple<QWidget *, QPalette::ColorRole, QPalette::ColorRole>{program->form4->listBox()->viewport(),
                                                                              QPalette::Base, QPalette::Text},
              {program->form1->eventView()->viewport(), QPalette::Base, QPalette::Text},
              {program->form1->stopButton(), QPalette::Button, QPalette::ButtonText}})
            colours << widget->palette().color(back) << widget->palette().color(fore);
        QApplication::setPalette(before);
        QVERIFY(started);
        // The main window is disabled behind the notification: greyed, still dark on light.
        for (int at = 0; at < colours.size(); at += 2)
            QVERIFY2(colours[at].lightness() > 200 && colours[at].lightness() - colours[at + 1].lightness() > 120,
                     qPrintable(colours[at].name() + u" behind "_s + colours[at + 1].name()));
        program->form4->button1()->click();
    }

    void backgroundPicture()
    {
        QVERIFY2(QImageReader::supportedImageFormats().contains("jpeg"), "Qt's JPEG plugin (qjpeg) is not installed");
        program->write(u"Roradaza.ini"_s, saintsOff);
        QVERIFY(program->start());
        QVERIFY2(!program->form1->background().isNull(), "the background picture did not decode");
        const auto *notificationPicture = program->form4->findChild<QLabel *>(u"Image1"_s);
        QVERIFY(notificationPicture);
        QVERIFY(!notificationPicture->pixmap().isNull());
        // 509 by 395 at 1, 1 inside the bevels of the panel's two-pixel edge.
        QCOMPARE(QRect(notificationPicture->mapTo(program->form4.get(), QPoint(0, 0)), notificationPicture->size()),
                 QRect(3, 3, 509, 395));
    }

    // Each picture is read under its own format: a wrong name or format
    // leaves an icon with no picture, and nothing else would tell.
    void icons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("sizes");
        QTest::newRow("window") << u"roradaza"_s << QList<int>{16, 32, 48};
        QTest::newRow("tray") << u"tray"_s << QList<int>{16, 22, 32};
        QTest::newRow("exit button") << u"exit"_s << QList<int>{16, 24, 32};
    }
    void icons()
    {
        QFETCH(QString, name);
        QFETCH(QList<int>, sizes);
        const QIcon icon = programIcon(name);
        QList<int> found;
        for (const QSize &size : icon.availableSizes())
            found.append(size.width());
        QCOMPARE(found, sizes);
        if (name != u"exit"_s)
            return;
        QCOMPARE(icon.availableSizes(QIcon::Disabled), (QList<QSize>{{16, 16}, {24, 24}, {32, 32}}));
        // Sharp at scale 1, 1.5 and 2: the button's 16 pixels are drawn from
        // the picture made for the size, never an enlarged one.
        for (const int size : sizes) {
            for (const auto &[mode, picture] :
                 {std::pair{QIcon::Normal, u"exit"_s}, {QIcon::Disabled, u"exit-disabled"_s}}) {
                const QImage drawn = icon.pixmap(QSize(16, 16), size / 16.0, mode).toImage();
                const QImage stored(u":/icons/png/%1-%2.png"_s.arg(picture).arg(size));
                QCOMPARE(drawn.size(), QSize(size, size));
                QVERIFY2(drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
                             stored.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                         qPrintable(u"%1 at %2 pixels"_s.arg(picture).arg(size)));
            }
        }
    }

    void versionHistory()
    {
        program->write(u"Roradaza.ini"_s, saintsOff);
        QVERIFY(program->start());
        QPlainTextEdit *memo = program->history->versionHistory();
        QVERIFY(memo->isReadOnly());
        const QStringList log = lines(memo->toPlainText());
        QCOMPARE(log.first(), u"Roradaza - VERSION HISTORY:"_s);
        QCOMPARE(log.at(1), QString());
        QCOMPARE(log.last(), u"4.9d: added free search!"_s);

        // Opened from the menu it waits for the user, as many times as asked.
        for (int round = 0; round < 2; ++round) {
            QWidget *opened = nullptr;
            QTimer::singleShot(50, program->history.get(), [&] {
                opened = QApplication::activeModalWidget();
                if (opened)
                    opened->close();
            });
            program->trigger("VersionHistory1");
            QCOMPARE(opened, program->history.get());
            QCOMPARE(lines(memo->toPlainText()), log);
        }
    }

    void helpCommands()
    {
        program->write(u"Roradaza.ini"_s, saintsOff);
        QVERIFY(program->start());
        QCOMPARE(program->registration.registered, QStringList{program->path(u"Roradaza"_s)});
        QVERIFY(!program->find<QAction>("RunOnStartup")->isVisible());
        QVERIFY(!program->find<QAction>("ImportadavecchioZevivez1")->isEnabled());

        program->trigger("About1");
        program->trigger("ImportadaRoradaza1");
        const QList<Box> shown = boxes();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].caption, u"Roradaza"_s);
        QCOMPARE(shown[0].text, u"Roradaza  Ver 4.9d  -  Promemoria di compleanni, onomastici e ricorrenze"_s);
        QCOMPARE(shown[1].caption, u"Roradaza"_s);
        QCOMPARE(lines(shown[1].text),
                 QStringList({u"Per importare un archivio di Roradaza \u00E8 sufficiente"_s,
                              u"copiare il file \"Roradaza.dat\" nella cartella del programma."_s, QString(),
                              u"Nota: Mentre lo fai assicurati che Roradaza NON sia in esecuzione!"_s}));

        program->trigger("Homepage1");
        program->trigger("Contattami1");
        QCOMPARE(program->opened, QList<QUrl>({QUrl(u"https://roradaza.example/"_s),
                                               QUrl(u"mailto:roradaza@roradaza.example?subject=Riguardo Roradaza"_s)}));
        QCOMPARE(program->registration.registered.size(), 1);
    }

    // The sync beside the program: a save starts one, the save that applies
    // its changes starts none, a failure is told once and touches no record,
    // and the way out waits for the sync under way and keeps what it brought.
    void syncAroundSaves_data()
    {
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("answer"); // "add", "fail"
        QTest::addColumn<int>("saves");
        QTest::addColumn<int>("runs");
        QTest::addColumn<int>("told");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("off: a save starts none") << false << "add" << 1 << 0 << 0 << QStringList{"Zeta"};
        QTest::newRow("a server's event comes in, saved once")
            << true << "add" << 1 << 1 << 0 << QStringList{"Dario", "Zeta"};
        QTest::newRow("a failure is told once and changes nothing")
            << true << "fail" << 3 << 3 << 1 << QStringList{"Zeta"};
    }

    void syncAroundSaves()
    {
        QFETCH(bool, on);
        QFETCH(QString, answer);
        QFETCH(int, saves);
        QFETCH(int, runs);
        QFETCH(int, told);
        QFETCH(QStringList, names);
        program->setUp(saintsOff, "0\nZeta\n06\n15\n00\n0000\n");
        QVERIFY(program->start());
        TForm1 &form1 = *program->form1;
        QTest::qWait(200);
        if (on)
            form1.syncSession().configure(QUrl(u"http://127.0.0.1:1/cal/"_s), QString(), true);
        int ran = 0;
        QStringList captions;
        QStringList tips;
        form1.syncRunner().setWork([&](const sync::SyncJob &job) {
            ++ran;
            QThread::msleep(100);
            sync::Outcome outcome;
            outcome.state = job.state;
            if (answer == u"fail"_s)
                outcome.failure =
                    sync::Failure(sync::Failure::Kind::InsufficientStorage, u"Il server non ha più spazio (507)"_s);
            else
                outcome.added.emplace_back("uid-dario", EventRecord{"Dario", "05", "01", "00", "0000"});
            return outcome;
        });
        QTest::mouseClick(form1.stopButton(), Qt::LeftButton);
        for (int save = 0; save < saves; ++save) {
            program->trigger("SaveDatabase1");
            captions << form1.windowTitle();
            tips << form1.findChild<QSystemTrayIcon *>(u"TrayIcon"_s)->toolTip();
            QTRY_VERIFY_WITH_TIMEOUT(!form1.syncRunner().isBusy(), 5000);
        }
        QTest::qWait(300);
        QCOMPARE(ran, runs);
        if (runs > 0) {
            QCOMPARE(captions.first(), u"Roradaza - sincronizzazione in corso..."_s);
            QCOMPARE(tips.first(), u"Roradaza\nSincronizzazione in corso..."_s);
            QCOMPARE(form1.windowTitle(), u"Roradaza"_s);
            QVERIFY2(form1.findChild<QSystemTrayIcon *>(u"TrayIcon"_s)->toolTip().contains(form1.syncStatus()),
                     qPrintable(form1.syncStatus()));
        }
        QStringList listed;
        for (const RecordView record : form1.events().records())
            listed << QString::fromLatin1(record.name);
        QCOMPARE(listed, names);
        const QList<Box> shown = boxes();
        QCOMPARE(shown.size(), told);
        if (told) {
            QVERIFY2(shown.first().text.contains(u"Il server non ha più spazio (507)"_s),
                     qPrintable(shown.first().text));
            QVERIFY(form1.syncStatus().contains(u"(507)"_s));
        }
        // What the sync brought is in the file already, without waiting for the way out.
        QCOMPARE(program->read(u"Roradaza.dat"_s).contains("Dario"), names.contains(u"Dario"_s));

        // The way out waits for a sync under way and saves what it brought.
        if (on && answer == u"add"_s) {
            program->trigger("SincronizzaOra1");
            QVERIFY(form1.syncRunner().isBusy());
            QCOMPARE(runUntilExit(5000, [this] { program->trigger("Exit2"); }), 0);
            QCOMPARE(ran, runs + 1);
            QCOMPARE(program->read(u"Roradaza.dat"_s).count("Dario"), 2);
        }
    }

    // "Prova": one calendar fills the address, several are listed to pick one,
    // a certificate the system does not trust is pinned only when accepted,
    // and OK refuses an address that would send the password in the clear.
    void syncWindowTry_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("found");      // calendars found; -1: untrusted certificate
        QTest::addColumn<bool>("accept");    // the certificate's question
        QTest::addColumn<QString>("filled"); // the address afterwards
        QTest::addColumn<QByteArray>("pin");
        QTest::addColumn<bool>("okCloses");
        QTest::newRow("one calendar") << "https://dav.example/" << 1 << false << "https://dav.example/anna/a/"
                                      << QByteArray() << true;
        QTest::newRow("several, the first picked")
            << "https://dav.example/" << 2 << false << "https://dav.example/anna/a/" << QByteArray() << true;
        QTest::newRow("certificate accepted")
            << "https://casa.example/" << -1 << true << "https://casa.example/anna/a/" << QByteArray("AB:CD") << true;
        QTest::newRow("certificate refused")
            << "https://casa.example/" << -1 << false << "https://casa.example/" << QByteArray() << true;
        QTest::newRow("http to another computer")
            << "http://dav.example/" << 1 << false << "http://dav.example/anna/a/" << QByteArray() << false;
        QTest::newRow("http to this computer")
            << "http://127.0.0.1:5232/" << 1 << false << "http://127.0.0.1:5232/anna/a/" << QByteArray() << true;
    }

    void syncWindowTry()
    {
        QFETCH(QString, address);
        QFETCH(int, found);
        QFETCH(bool, accept);
        QFETCH(QString, filled);
        QFETCH(QByteArray, pin);
        QFETCH(bool, okCloses);
        sync::SyncRunner runner([] { return std::optional<sync::SyncJob>(); });
        QList<QByteArray> pinsTried;
        runner.setDiscovery([&](const sync::Account &account) -> std::vector<sync::CalendarInfo> {
            pinsTried << account.pinnedFingerprint;
            const QString root = account.address.toString();
            if (found < 0 && account.pinnedFingerprint.isEmpty())
                throw sync::Failure(sync::Failure::Kind::UntrustedCertificate,
                                    u"Il certificato del server non è riconosciuto: impronta SHA-256 AB:CD"_s, "AB:CD");
            std::vector<sync::CalendarInfo> calendars{{QUrl(root + u"anna/a/"_s), u"a"_s}};
            if (found > 1)
                calendars.push_back({QUrl(root + u"anna/b/"_s), u"b"_s});
            return calendars;
        });
        ScriptedPrompts prompts;
        prompts.answers << (accept ? Answer::Yes : Answer::No);
        SyncWindow window({QUrl(address), u"anna"_s, u"segreta"_s, true, {}}, runner, prompts);
        window.show();
        QTest::mouseClick(window.tryButton(), Qt::LeftButton);
        QTRY_VERIFY(window.tryButton()->isEnabled() && !runner.isBusy());
        QTRY_COMPARE(window.addressBox()->text(), filled);
        QCOMPARE(window.settings().pinnedFingerprint, pin);
        QCOMPARE(window.calendars()->isVisible(), found > 1);
        QCOMPARE(window.calendars()->count(), found > 1 ? found : 0);
        QCOMPARE(prompts.take().size(), found < 0 ? 1 : 0);
        QCOMPARE(pinsTried.size(), accept ? 2 : 1);
        static_cast<QDialog &>(window).accept(); // "OK"
        QCOMPARE(window.result() == QDialog::Accepted, okCloses);
        if (!okCloses)
            QVERIFY2(window.status()->text().contains(u"https"_s), qPrintable(window.status()->text()));
        QVERIFY(!window.settings().password.isEmpty());
    }
};

QTEST_MAIN(TestUi)
#include "tst_ui.moc"
