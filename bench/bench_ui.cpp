// SPDX-License-Identifier: GPL-3.0-or-later
// What the user waits for in the event list at its full size: one search
// keystroke, the sort after an edit and opening the editor. Needs a display;
// run with QT_QPA_PLATFORM=offscreen. Files go to a temporary folder.

#include "generate.h"

#include "calendar/Clock.h"
#include "calendar/SaintsCalendar.h"
#include "store/StartupRegistration.h"
#include "store/Text.h"
#include "ui/ImportWindow.h"
#include "ui/Platform.h"
#include "ui/Prompts.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

using namespace roradaza;

namespace {

// Every question declined, every message dismissed.
class DecliningPrompts final : public Prompts
{
public:
    Answer ask(QWidget *, const QString &, const QString &, QMessageBox::Icon, Buttons buttons) override
    {
        return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    void tell(QWidget *, const QString &, const QString &, QMessageBox::Icon) override {}
    std::optional<QString> askText(QWidget *, const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    QString askFile(QWidget *, const QString &, const QString &, bool) override { return file; }

    QString file; // the file every choice gives
};

class NoRegistration final : public StartupRegistration
{
public:
    void registerProgram(const QString &) override {}
};

// The expanded main window holding a full list, and its editor.
class Session
{
public:
    Session()
    {
        const Platform platform{clock,
                                prompts,
                                registration,
                                folder.filePath(QStringLiteral("Roradaza")),
                                [](const QUrl &) {},
                                [] { return false; }};
        form1 = std::make_unique<TForm1>(platform);
        form1->FormCreate();
        form2 = std::make_unique<TForm2>(form1->calendar(), SaintsCalendar::standard(), prompts, form1->editorOwner(),
                                         form1->title());
        form1->attach(form2.get(), nullptr, nullptr);
        form1->events().clear();
        form1->events().appendAll(bench::generatedRecords(EventList::capacity));
        form1->show();
        form1->Button4Click();
        QCoreApplication::processEvents();
    }

    QTemporaryDir folder;
    FixedClock clock{QDate(2025, 3, 29)};
    DecliningPrompts prompts;
    NoRegistration registration;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
};

// Shows what changed, as the next pass of the event loop would.
void paint(QTreeView *view)
{
    QCoreApplication::processEvents();
    view->viewport()->repaint();
}

const char *const searchTexts[] = {"a", "rossi", "zzz"};

// One key typed or deleted in the search box, the filtered list rebuilt and
// painted. The text alternates between the search text and the same without
// its last character. range(0) picks the text: nearly every name, one in
// twelve, none.
void BM_SearchKeystroke(benchmark::State &state)
{
    Session session;
    QLineEdit *box = session.form1->searchBox()->lineEdit();
    const QString full = QString::fromLatin1(searchTexts[state.range(0)]);
    // "a" alternates with "ab", both real filters.
    const QString other = full.size() > 1 ? full.chopped(1) : full + QLatin1Char('b');
    box->setText(other);
    paint(session.form1->filteredView());
    bool typed = false;
    for (auto _ : state) {
        typed = !typed;
        box->setText(typed ? full : other);
        paint(session.form1->filteredView());
    }
    box->setText(full);
    state.counters["found"] = double(session.form1->filtered().size());
    state.SetLabel(full.toStdString());
}
BENCHMARK(BM_SearchKeystroke)->ArgName("text")->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

// One name replaced, then the list sorted again. range(0): 1 the program's
// list with its model and view following, 0 a bare list.
void BM_SortAfterEdit(benchmark::State &state)
{
    std::unique_ptr<Session> session;
    EventList bare;
    EventList *events = &bare;
    if (state.range(0) != 0) {
        session = std::make_unique<Session>();
        events = &session->form1->events();
    } else {
        bare.appendAll(bench::generatedRecords(EventList::capacity));
    }
    std::mt19937 random(20070329);
    std::uniform_int_distribution<int> row(0, EventList::capacity - 1);
    std::uint32_t nameNumber = EventList::capacity;
    for (auto _ : state) {
        const int edited = row(random);
        EventRecord record = events->at(edited).toRecord();
        record.name = bench::generatedName(nameNumber++);
        events->replace(edited, record);
        benchmark::DoNotOptimize(events->sort());
        if (session)
            paint(session->form1->eventView());
    }
}
BENCHMARK(BM_SortAfterEdit)->ArgName("shown")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// "&Modifica" on a record: the editor loads it and is shown and painted.
// Closing it is not timed.
void BM_OpenEditor(benchmark::State &state)
{
    Session session;
    QTreeView *view = session.form1->eventView();
    std::mt19937 random(20070329);
    std::uniform_int_distribution<int> row(0, EventList::capacity - 1);
    for (auto _ : state) {
        view->setCurrentIndex(view->model()->index(row(random), 0));
        QElapsedTimer clock;
        clock.start();
        session.form1->Edit1Click();
        QCoreApplication::processEvents();
        session.form2->repaint();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        session.form2->reject();
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_OpenEditor)->Unit(benchmark::kMillisecond)->UseManualTime();

// "Da rubrica (.vcf)..." on an address book of 65535 birthdays into an empty
// list: the file read, the import window shown and "&Ok" pressed, the
// records added, sorted and shown.
void BM_ImportThroughWindow(benchmark::State &state)
{
    Session session;
    QByteArray book;
    for (int k = 0; k < EventList::capacity; ++k) {
        const QByteArray name = text::fromCp1252(bench::generatedName(std::uint32_t(k))).toUtf8();
        book += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nBDAY:1980-" + bench::twoDigitField(1 + k % 12) + '-' +
                bench::twoDigitField(1 + k % 28) + "\r\nEND:VCARD\r\n";
    }
    session.prompts.file = session.folder.filePath(QStringLiteral("rubrica.vcf"));
    QFile file(session.prompts.file);
    if (!file.open(QIODevice::WriteOnly) || file.write(book) != book.size())
        state.SkipWithError("cannot write the address book");
    file.close();
    for (auto _ : state) {
        session.form1->events().clear();
        QCoreApplication::processEvents();
        QTimer::singleShot(0, [] {
            if (auto *window = qobject_cast<ImportWindow *>(QApplication::activeModalWidget()))
                window->findChild<QPushButton *>(QStringLiteral("Ok"))->click();
        });
        QElapsedTimer clock;
        clock.start();
        session.form1->DaRubrica1Click();
        paint(session.form1->eventView());
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
    state.counters["added"] = double(session.form1->events().size());
}
BENCHMARK(BM_ImportThroughWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(2);

} // namespace

int main(int argc, char **argv)
{
    // Names are ordered by the user's locale: pin it before anything reads it.
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    setenv("LANG", "it_IT.UTF-8", 1);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
