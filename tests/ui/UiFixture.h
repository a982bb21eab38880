// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calendar/Clock.h"
#include "calendar/SaintsCalendar.h"
#include "store/StartupRegistration.h"
#include "ui/Platform.h"
#include "ui/Prompts.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/Unit4.h"
#include "ui/Unit5.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

// Answers questions and the input box from queues and records every box.
// A question with no answer queued fails the test instead of waiting.
class ScriptedPrompts final : public roradaza::Prompts
{
public:
    enum class Kind { Tell, Ask, AskText, AskFile };
    struct Box
    {
        Kind kind;
        QString caption;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString initial; // the input box's starting text
        friend bool operator==(const Box &, const Box &) = default;
        // Found by QCOMPARE through the type, for readable failures.
        friend char *toString(const Box &box)
        {
            return qstrdup(qPrintable(QStringLiteral("[%1 \"%2\" icon %3] \"%4\" %5")
                                          .arg(int(box.kind))
                                          .arg(box.caption)
                                          .arg(int(box.icon))
                                          .arg(box.text, box.initial)));
        }
    };

    QList<Answer> answers;
    QList<std::optional<QString>> texts; // nullopt: Cancel
    QList<QString> files;                // empty: Cancel
    // Runs once while the next box is open, as its nested event loop would.
    std::function<void()> whileOpen;
    QList<Box> boxes;
    QList<Buttons> askedButtons; // the buttons of every question, in order

    QList<Box> take() { return std::exchange(boxes, {}); }

    Answer ask(QWidget *, const QString &caption, const QString &text, QMessageBox::Icon icon, Buttons buttons) override
    {
        askedButtons.append(buttons);
        const Answer refused = buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
        return next(answers, {Kind::Ask, caption, text, icon, {}}, refused);
    }

    void tell(QWidget *, const QString &caption, const QString &text, QMessageBox::Icon icon) override
    {
        boxes.append({Kind::Tell, caption, text, icon, {}});
        runWhileOpen();
    }

    std::optional<QString> askText(QWidget *, const QString &caption, const QString &prompt,
                                   const QString &initial) override
    {
        return next(texts, {Kind::AskText, caption, prompt, QMessageBox::NoIcon, initial}, std::nullopt);
    }

    QString askFile(QWidget *, const QString &caption, const QString &filter, bool save) override
    {
        return next(files, {Kind::AskFile, caption, filter, QMessageBox::NoIcon, save ? "save" : "open"}, QString());
    }

private:
    void runWhileOpen()
    {
        if (const auto hook = std::exchange(whileOpen, nullptr))
            hook();
    }

    template <typename T> T next(QList<T> &queue, const Box &box, std::type_identity_t<T> refused)
    {
        boxes.append(box);
        runWhileOpen();
        if (!queue.isEmpty())
            return queue.takeFirst();
        QTest::qFail(qPrintable(QStringLiteral("unexpected box: ") + box.text), __FILE__, __LINE__);
        return refused;
    }
};

class RecordingRegistration final : public roradaza::StartupRegistration
{
public:
    QStringList registered;
    void registerProgram(const QString &executablePath) override { registered << executablePath; }
};

// One run of the program in a folder of its own: the executable's place is
// where it keeps Roradaza.dat and Roradaza.ini.
class Program
{
public:
    QTemporaryDir folder;
    roradaza::FixedClock clock{QDate(2007, 3, 29)};
    ScriptedPrompts prompts;
    RecordingRegistration registration;
    QList<QUrl> opened;
    bool trayAvailable = true;
    QString executableName = QStringLiteral("Roradaza");

    // Destroyed in the reverse order of their making.
    std::unique_ptr<roradaza::TForm1> form1;
    std::unique_ptr<roradaza::TForm2> form2;
    std::unique_ptr<roradaza::TForm4> form4;
    std::unique_ptr<roradaza::TVersionHistoryForm> history;

    QString path(const QString &name) const { return folder.filePath(name); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    void setUp(const QByteArray &settings, const QByteArray &events) const
    {
        write(QStringLiteral("Roradaza.ini"), settings);
        write(QStringLiteral("Roradaza.dat"), events);
    }

    QByteArray read(const QString &name) const
    {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Every file of the folder with its bytes.
    QMap<QString, QByteArray> files() const
    {
        QMap<QString, QByteArray> all;
        for (const QString &name : QDir(folder.path()).entryList(QDir::Files))
            all.insert(name, read(name));
        return all;
    }

    // The main window and its FormCreate, then the other windows, as the program does.
    bool create()
    {
        const roradaza::Platform platform{clock,
                                          prompts,
                                          registration,
                                          path(executableName),
                                          [this](const QUrl &url) { opened << url; },
                                          [this] { return trayAvailable; }};
        form1 = std::make_unique<roradaza::TForm1>(platform);
        if (!form1->FormCreate())
            return false;
        form2 = std::make_unique<roradaza::TForm2>(form1->calendar(), roradaza::SaintsCalendar::standard(), prompts,
                                                   form1->editorOwner(), form1->title());
        form4 = std::make_unique<roradaza::TForm4>(form1->notices(), form1->notificationOwner(), form1->background());
        history = std::make_unique<roradaza::TVersionHistoryForm>();
        form1->attach(form2.get(), form4.get(), history.get());
        return true;
    }

    bool start()
    {
        if (!create())
            return false;
        form1->show();
        return true;
    }

    // In the main window, or in the tray menu, which belongs to no window.
    template <typename T> T *find(const char *name) const
    {
        if (T *found = form1->findChild<T *>(QLatin1String(name)))
            return found;
        return form1->trayMenu()->findChild<T *>(QLatin1String(name));
    }

    void trigger(const char *actionName) const
    {
        QAction *item = find<QAction>(actionName);
        QVERIFY2(item, actionName);
        item->trigger();
    }
};

// Runs the event loop until the program ends it (gives 0) or the time is up
// (gives -2). A QCoreApplication::exec of our own also clears the "quit now"
// state that exit() leaves behind, so the next test's loops still run.
// A fresh program for every test, in a home folder of its own. At the end of
// each test every box the program showed must have been claimed, and every
// scripted answer used.
class ProgramTests
{
protected:
    std::unique_ptr<Program> program;

    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".config"))));
        // As in the program: hiding the last window must not end the loop.
        QApplication::setQuitOnLastWindowClosed(false);
        m_workingDirectory = QDir::currentPath();
    }

    void init()
    {
        program = std::make_unique<Program>();
        QVERIFY(program->folder.isValid());
    }

    void cleanup()
    {
        const QList<ScriptedPrompts::Box> left = program->prompts.take();
        const bool answersLeft = !program->prompts.answers.isEmpty() || !program->prompts.texts.isEmpty();
        program.reset();
        QDir::setCurrent(m_workingDirectory);
        for (const ScriptedPrompts::Box &box : left)
            qWarning("box nobody expected: [%s] %s", qPrintable(box.caption), qPrintable(box.text));
        QVERIFY2(left.isEmpty(), "the program showed boxes the test did not expect");
        QVERIFY2(!answersLeft, "a scripted answer was never asked for");
    }

private:
    QTemporaryDir m_home;
    QString m_workingDirectory;
};

inline int runUntilExit(int timeoutMs, const std::function<void()> &first = {})
{
    QTimer timeout; // ours, so that it cannot end a later test's loop
    timeout.callOnTimeout([] { QCoreApplication::exit(-2); });
    timeout.start(timeoutMs);
    if (first)
        QTimer::singleShot(0, first);
    return QCoreApplication::exec();
}
