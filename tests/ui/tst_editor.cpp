// SPDX-License-Identifier: GPL-3.0-or-later
// The event list with its search filter, and the event editor: what the user
// types and clicks, what the lists show and the bytes that reach the records.
#include "UiFixture.h"

#include "calendar/SaintsCalendar.h"
#include "store/Text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QToolTip>
#include <QTreeView>

using namespace roradaza;
using namespace Qt::StringLiterals;
using Answer = Prompts::Answer;
using Box = ScriptedPrompts::Box;
using Kind = ScriptedPrompts::Kind;

namespace {

// What the user, or the program, does at one point of a test.
using Step = std::function<void()>;

const QByteArray saintsOff = "0\r\n1200000\r\n0\r\n";
const QByteArray notDue = "0\r\nZeta\r\n06\r\n15\r\n00\r\n0000\r\n";

// Records written as their five fields joined by "|".
EventRecord record(const QByteArray &text)
{
    const QByteArrayList fields = text.split('|');
    return {fields.value(0), fields.value(1), fields.value(2), fields.value(3), fields.value(4)};
}

QByteArray joined(const EventRecord &record)
{
    return QByteArrayList{record.name, record.month, record.day, record.advance, record.year}.join('|');
}

EventRecord named(const QByteArray &name)
{
    return {name, "06", "15", "00", "0000"};
}

QByteArrayList joined(const EventList &list)
{
    QByteArrayList all;
    for (const EventRecord &each : list.copies())
        all << joined(each);
    return all;
}

QStringList shownNames(const QTreeView *view)
{
    QStringList names;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        names << view->model()->index(row, 0).data().toString();
    return names;
}

Box errorBox(const QString &text)
{
    return {Kind::Tell, u"Roradaza"_s, text, QMessageBox::Critical, {}};
}

const Box errorBang{Kind::Tell, u"Roradaza"_s, u"Error!"_s, QMessageBox::NoIcon, {}};

Box ask(const QString &caption, const QString &text, QMessageBox::Icon icon)
{
    return {Kind::Ask, caption, text, icon, {}};
}

} // namespace

Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Step)

class TestEditor : public QObject, private ProgramTests
{
    Q_OBJECT

    TForm1 &form1() { return *program->form1; }
    TForm2 &form2() { return *program->form2; }
    QList<Box> boxes() { return program->prompts.take(); }
    template <typename T> T *main(const char *name) { return program->find<T>(name); }
    template <typename T> T *editor(const char *name) { return form2().findChild<T *>(QLatin1String(name)); }

    // The expanded main window, its countdown stopped, holding these records.
    bool start(std::vector<EventRecord> records)
    {
        program->setUp(saintsOff, notDue);
        if (!program->start())
            return false;
        QTest::mouseClick(form1().stopButton(), Qt::LeftButton);
        form1().events().clear();
        form1().events().appendAll(std::move(records));
        return form1().eventView()->isVisible() && boxes().isEmpty();
    }

    static void click(QTreeView *view, int row, Qt::KeyboardModifiers modifiers = {})
    {
        const QRect place = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, place.center());
    }

    static void rightClick(QTreeView *view, QPoint at)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &event);
    }

    void openEditor(int row)
    {
        click(form1().eventView(), row);
        QTest::mouseClick(main<QPushButton>("Button2"), Qt::LeftButton);
    }

    // Replaces the whole text, as select-all and typing would.
    static void retype(QLineEdit *box, const QString &keys)
    {
        box->selectAll();
        if (keys.isEmpty())
            QTest::keyClick(box, Qt::Key_Backspace);
        else
            QTest::keyClicks(box, keys);
    }

    void search(const QString &text) { retype(form1().searchBox()->lineEdit(), text); }

    // "&Aggiungi", with act run inside the editor's modal loop; a dialog
    // that act left open is cancelled so that the test goes on.
    void add(const std::function<void()> &act)
    {
        bool ran = false;
        QTimer::singleShot(0, &form2(), [&] {
            ran = true;
            act();
            if (form2().isVisible())
                form2().reject();
        });
        QTest::mouseClick(main<QPushButton>("Button1"), Qt::LeftButton);
        QVERIFY(ran);
    }

    void addNamed(const QString &name)
    {
        add([&] {
            QTest::keyClicks(nameBox(), name);
            QTest::mouseClick(editor<QPushButton>("BitBtn1"), Qt::LeftButton);
        });
    }

    Step press(const char *name)
    {
        return [this, name] {
            QTest::mouseClick(form2().findChild<QAbstractButton *>(QLatin1String(name)), Qt::LeftButton);
        };
    }

    QLineEdit *nameBox() { return editor<QComboBox>("Nome")->lineEdit(); }

    // A press on the weekday's check box itself, as a person ticks it.
    void tickWeekday(int row)
    {
        auto *list = editor<QListWidget>("CheckListBox1");
        QStyleOptionViewItem option;
        option.initFrom(list->viewport());
        option.rect = list->visualItemRect(list->item(row));
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    }

    void toggleWeekday(int row)
    {
        auto *list = editor<QListWidget>("CheckListBox1");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        QTest::keyClick(list, Qt::Key_Space);
    }

    // What the editor's controls hold, in one line.
    QString shownInEditor()
    {
        QStringList weekdays;
        auto *list = editor<QListWidget>("CheckListBox1");
        for (int row = 0; row < list->count(); ++row) {
            if (list->item(row)->checkState() == Qt::Checked)
                weekdays << list->item(row)->text();
        }
        const bool annual = editor<QRadioButton>("rbAnn")->isChecked();
        const bool specificYear = editor<QCheckBox>("CheckBox2")->isChecked();
        auto *spin = editor<QSpinBox>("SpinEdit1");
        // The spin edit shows exactly while "Anno specifico" is checked.
        const QString year = (specificYear ? u"%1"_s : u"no(%1)"_s).arg(spin->value()) +
                             (spin->isHidden() == specificYear ? u" shown wrongly"_s : QString());
        const QString shown = u"%1 mese=%2 giorno=%3 anticipo=%4 A=%5 i=%6 anno=%7"_s.arg(
            annual ? u"Annuale"_s : u"Settimanale"_s, editor<QComboBox>("ComboBox1")->currentText(),
            editor<QLineEdit>("Edit3")->text(), editor<QLineEdit>("Edit2")->text(),
            QString::number(editor<QCheckBox>("CheckBox1")->isChecked()),
            QString::number(editor<QCheckBox>("CheckBox3")->isChecked()), year);
        return annual && weekdays.isEmpty() ? shown : shown + u" giorni="_s + weekdays.join(u',');
    }

    // Types over the year box and leaves it with Tab.
    void typeYear(const QString &keys)
    {
        auto *year = editor<QSpinBox>("SpinEdit1")->findChild<QLineEdit *>();
        QVERIFY(QTest::qWaitForWindowActive(&form2()));
        year->setFocus();
        retype(year, keys);
        QTest::keyClick(year, Qt::Key_Tab);
    }

    QStringList preview(int day, int month)
    {
        return {text::fromCp1252(form1().calendar().whatDay(day, month, 2007)),
                text::fromCp1252(SaintsCalendar::standard().saint(day, month))};
    }

    QStringList labels() { return {editor<QLabel>("Label5")->text(), editor<QLabel>("Label6")->text()}; }

private slots:
    void initTestCase() { ProgramTests::initTestCase(); }
    void init() { ProgramTests::init(); }
    void cleanup() { ProgramTests::cleanup(); }

    void search_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QStringList>("found");
        const QStringList marios{u"compleanno di mario"_s, u"Compleanno di Mario"_s};
        QTest::newRow("capitals") << u"Mario"_s << true << marios;
        QTest::newRow("lower case") << u"mario"_s << true << marios;
        QTest::newRow("with a blank") << u"DI m"_s << true << marios;
        QTest::newRow("TUTTO shows everything") << u"TUTTO"_s << false << QStringList();
        QTest::newRow("tutto is a filter") << u"tutto"_s << true << QStringList{u"Tutto fare"_s};
        QTest::newRow("empty") << QString() << false << QStringList();
        QTest::newRow("found nowhere") << u"zzz"_s << true << QStringList();
    }

    void search()
    {
        QFETCH(QString, text);
        QFETCH(bool, shown);
        QFETCH(QStringList, found);
        QVERIFY(start({record("Compleanno di Mario|05|10|03|0000"), record("compleanno di mario|##|Sabato;||2008"),
                       named("Tutto fare"), named("Anna")}));
        search(text);
        QCOMPARE(form1().filteredView()->isVisible(), shown);
        QCOMPARE(form1().eventView()->model()->rowCount(), 4);
        if (!shown)
            return;
        QCOMPARE(shownNames(form1().filteredView()), found);
        // Each row is a copy of its record, every field included.
        for (const EventRecord &copy : form1().filtered().copies())
            QVERIFY(std::ranges::count(form1().events().copies(), copy) == 1);
    }

    void emptyTextHidesAndOneCharacterRebuilds()
    {
        QVERIFY(start({named("Anna"), named("Bruno")}));
        QLineEdit *box = form1().searchBox()->lineEdit();
        search(u"an"_s);
        QCOMPARE(shownNames(form1().filteredView()), QStringList{u"Anna"_s});
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_Backspace);
        QVERIFY(!form1().filteredView()->isVisible());
        form1().events().append(named("Andrea"));
        QTest::keyClicks(box, u"a"_s);
        QVERIFY(form1().filteredView()->isVisible());
        QCOMPARE(shownNames(form1().filteredView()), QStringList({u"Andrea"_s, u"Anna"_s}));
    }

    void filteredSelectionMakesRecordCurrent_data()
    {
        QTest::addColumn<int>("filteredRow");
        QTest::addColumn<int>("current");
        QTest::newRow("first of two identical records") << 0 << 2;
        QTest::newRow("second of two identical records") << 2 << 2;
        QTest::newRow("differs in the day only") << 1 << 1;
    }

    void filteredSelectionMakesRecordCurrent()
    {
        QFETCH(int, filteredRow);
        QFETCH(int, current);
        QVERIFY(start({record("Anna|05|01|00|0000"), record("Anna|05|02|00|0000"), record("Anna|05|01|00|0000"),
                       named("Bruno")}));
        search(u"ann"_s);
        click(form1().filteredView(), filteredRow);
        QCOMPARE(form1().currentRow(), current);
        QCOMPARE(form1().eventView()->selectionModel()->selectedRows(),
                 QModelIndexList{form1().eventView()->model()->index(current, 0)});
    }

    void enablingRule()
    {
        QVERIFY(start({named("Anna"), named("Bruno")}));
        const auto state = [&] {
            return QList<bool>{main<QPushButton>("Button2")->isEnabled(), main<QPushButton>("Button3")->isEnabled(),
                               form1().isListMenuOn()};
        };
        const QList<bool> off{false, false, false}, on{true, true, true};
        QTreeView *list = form1().eventView();
        QCOMPARE(state(), off);
        rightClick(list, {20, list->viewport()->height() - 5});
        QVERIFY(!form1().listMenu()->isVisible());

        click(list, 1);
        QCOMPARE(state(), on);
        rightClick(list, list->visualRect(list->model()->index(1, 0)).center());
        QVERIFY(form1().listMenu()->isVisible());
        QCOMPARE(form1().listMenu()->defaultAction()->text(), u"&Modifica"_s);
        form1().listMenu()->hide();
        click(list, 1, Qt::ControlModifier); // deselects
        QCOMPARE(state(), off);

        search(u"bru"_s);
        click(form1().filteredView(), 0);
        QCOMPARE(state(), on);
        QCOMPARE(form1().currentRow(), 1);
        click(form1().filteredView(), 0, Qt::ControlModifier);
        QCOMPARE(state(), off);
    }

    // Enter presses the main window's default button that is shown and
    // enabled, the Delete key "&Cancella"; both act only on a record the
    // user can see.
    void enterPressesDefaultButton_data()
    {
        QTest::addColumn<bool>("compact");
        QTest::addColumn<int>("selected"); // the row clicked first, or -1
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("pressed"); // empty: nothing
        QTest::newRow("countdown: NON chiudere!") << true << -1 << QString() << int(Qt::Key_Return) << u"Button4"_s;
        QTest::newRow("countdown, keypad Enter") << true << -1 << QString() << int(Qt::Key_Enter) << u"Button4"_s;
        QTest::newRow("row selected: Modifica") << false << 0 << QString() << int(Qt::Key_Return) << u"Button2"_s;
        QTest::newRow("row selected, keypad Enter") << false << 1 << QString() << int(Qt::Key_Enter) << u"Button2"_s;
        QTest::newRow("no row selected: nothing") << false << -1 << QString() << int(Qt::Key_Return) << QString();
        QTest::newRow("row hidden by the search: nothing")
            << false << 0 << u"bru"_s << int(Qt::Key_Return) << QString();
        QTest::newRow("row the search shows: Modifica")
            << false << 1 << u"bru"_s << int(Qt::Key_Return) << u"Button2"_s;
        QTest::newRow("Delete key: Cancella") << false << 1 << QString() << int(Qt::Key_Delete) << u"Button3"_s;
        QTest::newRow("Delete key in the filtered list")
            << false << 1 << u"bru"_s << int(Qt::Key_Delete) << u"Button3"_s;
        QTest::newRow("Delete key, row hidden by the search: nothing")
            << false << 0 << u"bru"_s << int(Qt::Key_Delete) << QString();
        QTest::newRow("Delete key, no row selected: nothing")
            << false << -1 << QString() << int(Qt::Key_Delete) << QString();
    }

    void enterPressesDefaultButton()
    {
        QFETCH(bool, compact);
        QFETCH(int, selected);
        QFETCH(QString, search);
        QFETCH(int, key);
        QFETCH(QString, pressed);
        if (compact) {
            program->setUp(saintsOff, notDue);
            QVERIFY(program->start());
            QVERIFY(form1().countdown()->isActive());
        } else {
            QVERIFY(start({named("Anna"), named("Bruno")}));
            if (selected >= 0)
                click(form1().eventView(), selected);
        }
        if (!search.isEmpty()) {
            this->search(search);
            // Only the row the user sees may stay current, chosen in the filtered list.
            QCOMPARE(form1().currentRow(), pressed.isEmpty() ? -1 : selected);
            QCOMPARE(main<QPushButton>("Button3")->isEnabled(), !pressed.isEmpty());
            form1().filteredView()->setFocus();
        }
        program->prompts.answers << Answer::Cancel;
        QWidget *focused = form1().focusWidget();
        QTest::keyClick(focused ? focused : &form1(), Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        if (pressed == u"Button4"_s) {
            QVERIFY(!form1().isCompact());
            QVERIFY(!form1().countdown()->isActive());
        }
        QCOMPARE(form2().isVisible(), pressed == u"Button2"_s);
        if (pressed == u"Button2"_s)
            QCOMPARE(editor<QComboBox>("Nome")->currentText(), selected ? u"Bruno"_s : u"Anna"_s);
        if (form2().isVisible())
            form2().reject();
        if (pressed == u"Button3"_s) {
            QCOMPARE(boxes(),
                     QList<Box>{ask(u"Confirm"_s, u"Vuoi cancellare l'evento \"Bruno\" ?"_s, QMessageBox::Question)});
        } else {
            program->prompts.answers.clear();
        }
        QCOMPARE(form1().events().size(), compact ? 1 : 2);
    }

    void addThenCancel_data()
    {
        QTest::addColumn<Step>("close");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("refused");
        const Step ok = press("BitBtn1");
        QTest::newRow("Annulla") << press("BitBtn2") << QString() << false;
        QTest::newRow("Esc during a search")
            << Step([this] { QTest::keyClick(&form2(), Qt::Key_Escape); }) << u"an"_s << false;
        QTest::newRow("close box") << Step([this] { form2().close(); }) << QString() << false;
        QTest::newRow("Ok without a name") << ok << u"an"_s << true;
        QTest::newRow("Ok without a day") << Step([this, ok] {
            QTest::keyClicks(nameBox(), u"Maria"_s);
            retype(editor<QLineEdit>("Edit3"), {});
            ok();
        }) << QString() << true;
    }

    void addThenCancel()
    {
        QFETCH(Step, close);
        QFETCH(QString, search);
        QFETCH(bool, refused);
        QVERIFY(start({named("Anna"), named("Bruno")}));
        if (!search.isEmpty())
            this->search(search);
        const std::vector<EventRecord> before = form1().events().copies();
        const std::vector<EventRecord> filteredBefore = form1().filtered().copies();

        bool closed = false;
        add([&] {
            QVERIFY(form2().isModal());
            close();
            closed = !form2().isVisible(); // "&Ok" ends the new record's dialog, saved or not
        });
        QVERIFY(closed);
        QVERIFY(form1().isEnabled());
        QCOMPARE(boxes(), refused ? QList<Box>{errorBang} : QList<Box>());
        QCOMPARE(form1().events().copies(), before);
        QCOMPARE(form1().eventView()->model()->rowCount(), int(before.size()));
        QCOMPARE(form1().filtered().copies(), filteredBefore);
        QCOMPARE(form1().filteredView()->isVisible(), !search.isEmpty());
    }

    void addBeforeLastThenDelete_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::newRow("OK") << Answer::Ok;
        QTest::newRow("Cancel") << Answer::Cancel;
    }

    void addBeforeLastThenDelete()
    {
        QFETCH(Answer, answer);
        QVERIFY(start({named("Bruno"), named("Carla"), named("Zeno")}));
        addNamed(u"maria"_s);
        QCOMPARE(joined(form1().events()), QByteArrayList({"Bruno|06|15|00|0000", "Carla|06|15|00|0000",
                                                           "Maria|00|01|07|0000", "Zeno|06|15|00|0000"}));
        QCOMPARE(form1().currentRow(), 2);
        QCOMPARE(form1().eventView()->selectionModel()->selectedRows().value(0).row(), 2);

        program->prompts.answers << answer;
        QTest::mouseClick(main<QPushButton>("Button3"), Qt::LeftButton);
        const Box question = ask(u"Confirm"_s, u"Vuoi cancellare l'evento \"Maria\" ?"_s, QMessageBox::Question);
        QCOMPARE(boxes(), QList<Box>{question});
        QCOMPARE(program->prompts.askedButtons, QList<Prompts::Buttons>{Prompts::Buttons::OkCancel});
        QByteArrayList names;
        for (const EventRecord &each : form1().events().copies())
            names << each.name;
        QCOMPARE(names, answer == Answer::Ok ? QByteArrayList({"Bruno", "Carla", "Zeno"})
                                             : QByteArrayList({"Bruno", "Carla", "Maria", "Zeno"}));
        // No other record takes the deleted one's place.
        const bool kept = answer != Answer::Ok;
        QCOMPARE(form1().currentRow(), kept ? 2 : -1);
        QCOMPARE(main<QPushButton>("Button2")->isEnabled(), kept);
        QCOMPARE(main<QPushButton>("Button3")->isEnabled(), kept);
    }

    void addDuringSearch_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("filtered");
        QTest::newRow("matching") << u"Giovanna"_s << QStringList{u"Anna"_s, u"Giovanna"_s};
        QTest::newRow("not matching") << u"Bruno"_s << QStringList{u"Anna"_s};
    }

    void addDuringSearch()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, filtered);
        QVERIFY(start({named("Anna"), named("Zeno")}));
        search(u"ANN"_s);
        addNamed(name);
        QCOMPARE(form1().events().size(), 3);
        QVERIFY(form1().filteredView()->isVisible());
        QCOMPARE(shownNames(form1().filteredView()), filtered);
    }

    void inputRule_data()
    {
        QTest::addColumn<QByteArray>("box");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("readOnly");
        for (const QByteArray box : {"Edit3", "Edit2"}) {
            const auto row = [&](const char *name) -> QTestData & {
                return QTest::addRow("%s %s", box.constData(), name) << box;
            };
            row("a letter enters nothing") << u"a"_s << u"12"_s << true;
            row("a blank enters nothing") << u" "_s << u"12"_s << true;
            row("backspace") << u"\b"_s << u"1"_s << false;
            row("letter, then backspace") << u"x\b"_s << u"1"_s << false;
            row("emptied, then a letter") << u"\b\bx"_s << QString() << true;
            row("emptied, letter, then digit") << u"\b\bx5"_s << u"5"_s << false;
            row("two digits at most") << u"\b\b345"_s << u"34"_s << false;
            row("Tab is no character") << u"\t"_s << u"12"_s << false;
            row("Escape is no character") << u"\x1b"_s << u"12"_s << false;
            row("a letter, then Tab") << u"a\t"_s << u"12"_s << true;
        }
    }

    void inputRule()
    {
        QFETCH(QByteArray, box);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(bool, readOnly);
        QVERIFY(start({record("Prova|06|12|12|0000")}));
        openEditor(0);
        auto *edit = editor<QLineEdit>(box.constData());
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, keys);
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->isReadOnly(), readOnly);
        if (!readOnly)
            return;
        // Read-only against deletion and pasting too.
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QApplication::clipboard()->setText(u"9"_s);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->text(), text);
        QVERIFY(edit->isReadOnly());
        boxes(); // whatever the day's preview said
    }

    void preview_data()
    {
        QTest::addColumn<QByteArray>("month");
        QTest::addColumn<QByteArray>("year");
        QTest::addColumn<QString>("keys");   // typed over the loaded day "10"
        QTest::addColumn<int>("labelDay");   // 0: the labels keep what the load showed
        QTest::addColumn<QDate>("calendar"); // invalid: the calendar did not move
        QTest::addColumn<QString>("message");
        const auto row = [](const char *name, const char *month, const char *year, const char *keys, int labelDay,
                            QDate calendar, const QString &message = {}) {
            QTest::newRow(name) << QByteArray(month) << QByteArray(year) << QString::fromLatin1(keys) << labelDay
                                << calendar << message;
        };
        row("3 April", "04", "0000", "3", 3, QDate(2007, 4, 3));
        row("31 April", "04", "0000", "31", 31, QDate(2007, 4, 3), u"'31/04/2007' is not a valid date."_s);
        row("TUTTI", "00", "0000", "15", 0, QDate());
        row("empty day", "04", "0000", "", 0, QDate());
        row("day 0", "04", "0000", "0", 0, QDate());
        row("above 31", "04", "0000", "45", 4, QDate(2007, 4, 4));
        row("specific year 2030", "04", "2030", "15", 15, QDate(2030, 4, 15));
        row("day 00", "04", "0000", "00", 0, QDate(), u"'0/4/2007' is not a valid date."_s);
        // Saints' lines too long for one line of the label.
        row("2 April", "04", "0000", "2", 2, QDate(2007, 4, 2));
        row("10 April", "04", "0000", "10", 10, QDate(2007, 4, 10));
    }

    void preview()
    {
        QFETCH(QByteArray, month);
        QFETCH(QByteArray, year);
        QFETCH(QString, keys);
        QFETCH(int, labelDay);
        QFETCH(QDate, calendar);
        QFETCH(QString, message);
        QVERIFY(start({{"Prova", month, "10", "07", year}}));
        openEditor(0);
        QCOMPARE(boxes(), QList<Box>());
        auto *monthCalendar = editor<QCalendarWidget>("MonthCalendar1");
        const QStringList loaded = labels();
        const QDate shownBefore = monthCalendar->selectedDate();
        if (month == "04")
            QCOMPARE(loaded, preview(10, 4));

        retype(editor<QLineEdit>("Edit3"), keys);
        QCOMPARE(labels(), labelDay ? preview(labelDay, 4) : loaded);
        // Every name of the saints' line in sight, and whole in the tool tip.
        auto *saints = editor<QLabel>("Label6");
        const QRect needed =
            QFontMetrics(saints->font())
                .boundingRect(saints->contentsRect(), saints->wordWrap() ? Qt::TextWordWrap : 0, saints->text());
        QVERIFY2(saints->contentsRect().contains(needed), qPrintable(saints->text()));
        QCOMPARE(saints->toolTip(), saints->text());
        QCOMPARE(monthCalendar->selectedDate(), calendar.isValid() ? calendar : shownBefore);
        QCOMPARE(boxes(), message.isEmpty() ? QList<Box>() : QList<Box>{errorBox(message)});
    }

    void calendarPanel()
    {
        QVERIFY(start({record("Prova|13|05|07|0000")}));
        openEditor(0);
        TForm2 &dialog = form2();
        auto *button = editor<QPushButton>("Button1");
        auto *calendar = editor<QCalendarWidget>("MonthCalendar1");
        QCOMPARE(dialog.width(), 375);
        QVERIFY(!dialog.rect().contains(calendar->geometry()));
        const QPoint before = dialog.pos();

        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(dialog.width(), 575);
        QCOMPARE(dialog.pos(), before - QPoint(66, 0));
        QVERIFY(button->isHidden());
        QVERIFY(dialog.rect().contains(calendar->geometry()));
        QCOMPARE(calendar->selectedDate(), QDate(2007, 3, 29)); // no month chosen: today

        // The next use starts narrow again, centred across the screen.
        QTest::mouseClick(editor<QPushButton>("BitBtn2"), Qt::LeftButton);
        openEditor(0);
        QCOMPARE(dialog.width(), 375);
        QVERIFY(!button->isHidden());
        QCOMPARE(dialog.x(), dialog.screen()->geometry().width() / 2 - 375 / 2);
        QCOMPARE(dialog.y(), before.y());
    }

    void calendarClick_data()
    {
        QTest::addColumn<QByteArray>("month");
        QTest::addColumn<QByteArray>("day");
        QTest::addColumn<QDate>("clicked"); // invalid: the today label
        QTest::addColumn<QString>("monthShown");
        QTest::addColumn<int>("dayShown");
        QTest::newRow("31 March with April chosen") << "04"_ba
                                                    << "10"_ba << QDate(2008, 3, 31) << u"Marzo (03)"_s << 31;
        QTest::newRow("same day text as before") << "06"_ba
                                                 << "05"_ba << QDate(2009, 5, 5) << u"Maggio (05)"_s << 5;
        QTest::newRow("today label") << "04"_ba
                                     << "10"_ba << QDate() << u"Marzo (03)"_s << 29;
    }

    void calendarClick()
    {
        QFETCH(QByteArray, month);
        QFETCH(QByteArray, day);
        QFETCH(QDate, clicked);
        QFETCH(QString, monthShown);
        QFETCH(int, dayShown);
        QVERIFY(start({{"Prova", month, day, "07", "0000"}}));
        openEditor(0);
        QTest::mouseClick(editor<QPushButton>("Button1"), Qt::LeftButton);
        auto *calendar = editor<QCalendarWidget>("MonthCalendar1");
        auto *label8 = editor<QLabel>("Label8");
        QCOMPARE(label8->text(), u"Data di oggi: 29/03/2007"_s);
        if (clicked.isValid())
            emit calendar->clicked(clicked);
        else
            QTest::mouseClick(label8, Qt::LeftButton);

        QCOMPARE(editor<QLineEdit>("Edit3")->text(), QString::number(dayShown).rightJustified(2, u'0'));
        QCOMPARE(editor<QComboBox>("ComboBox1")->currentText(), monthShown);
        QCOMPARE(labels(), preview(dayShown, monthShown.mid(monthShown.size() - 3, 2).toInt()));
        QCOMPARE(calendar->selectedDate(), clicked.isValid() ? clicked : QDate(2007, 3, 29));
        QVERIFY(!editor<QCheckBox>("CheckBox2")->isChecked());
        QCOMPARE(boxes(), QList<Box>());
    }

    void loadAndSave_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<Step>("change");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("loadMessage");
        QTest::addColumn<QByteArray>("saved"); // empty: "Error!", nothing written
        QTest::addColumn<QString>("listed");   // a weekly event's "Giorno" in the list, as a pattern
        const auto row = [](
                             const char *name, const char *stored, const char *shown, const char *saved,
                             const char *loadMessage = "", const Step &change = [] {}, const char *listed = "") {
            QTest::newRow(name) << QByteArray(stored) << change << QString::fromUtf8(shown)
                                << QString::fromLatin1(loadMessage) << QByteArray(saved) << QString::fromLatin1(listed);
        };
        row("every month on the 1st", "Esame di storia|0|1|7|0000",
            "Annuale mese=TUTTI giorno=1 anticipo=7 A=0 i=0 anno=no(2007)", "Esame di storia|00|01|07|0000");
        row("auto-delete kept", "Festa|05|23A|03|0000",
            "Annuale mese=Maggio (05) giorno=23 anticipo=03 A=1 i=0 anno=no(2007)", "Festa|05|23A|03|0000");
        row("one-digit day with auto-delete", "Festa|05|9A|03|0000",
            "Annuale mese=Maggio (05) giorno=9 anticipo=03 A=1 i=0 anno=no(2007)", "Festa|05|09A|03|0000");
        row("auto-delete switched off", "Festa|05|09A|03|0000",
            "Annuale mese=Maggio (05) giorno=09 anticipo=03 A=1 i=0 anno=no(2007)", "Festa|05|09|03|0000", "",
            press("CheckBox1"));
        row("important switched off", "Bollo|12|10|07i|0000",
            "Annuale mese=Dicembre (12) giorno=10 anticipo=07 A=0 i=1 anno=no(2007)", "Bollo|12|10|07|0000", "",
            press("CheckBox3"));
        row(
            "weekly with auto-delete", "Palestra|##|Marted\xEC;Sabato;A|00|0000",
            "Settimanale mese= giorno= anticipo=00 A=1 i=0 anno=no(2007) giorni=Martedì,Sabato",
            "Palestra|##|Marted\xEC;Sabato;A|00|0000", "", [] {}, "(Mar? ?Sab? ?|MaS)A");
        row(
            "weekly without auto-delete", "Corsa|##|Luned\xEC;|00|0000",
            "Settimanale mese= giorno= anticipo=00 A=0 i=0 anno=no(2007) giorni=Lunedì", "Corsa|##|Luned\xEC;|00|0000",
            "", [] {}, "Lun?");
        row(
            "weekly, Monday to Friday", "Lavoro|##|Luned\xEC;Marted\xEC;Mercoled\xEC;Gioved\xEC;Venerd\xEC;|00|0000",
            "Settimanale mese= giorno= anticipo=00 A=0 i=0 anno=no(2007) "
            "giorni=Lunedì,Martedì,Mercoledì,Giovedì,Venerdì",
            "Lavoro|##|Luned\xEC;Marted\xEC;Mercoled\xEC;Gioved\xEC;Venerd\xEC;|00|0000", "", [] {}, "Lun?-Ven?");
        row(
            "weekly, three days apart", "Nuoto|##|Luned\xEC;Mercoled\xEC;Venerd\xEC;|00|0000",
            "Settimanale mese= giorno= anticipo=00 A=0 i=0 anno=no(2007) giorni=Lunedì,Mercoledì,Venerdì",
            "Nuoto|##|Luned\xEC;Mercoled\xEC;Venerd\xEC;|00|0000", "", [] {}, "Lun? ?Mer? ?Ven?|LMeV");
        row(
            "weekly, only Sunday", "Messa|##|Luned\xEC;|05|0000",
            "Settimanale mese= giorno= anticipo=05 A=0 i=0 anno=no(2007) giorni=Lunedì", "Messa|##|Domenica;||0000", "",
            [this] {
                toggleWeekday(6);
                toggleWeekday(0);
            },
            "Dom?");
        row("weekly, no weekday", "Messa|##|Luned\xEC;|05|0000",
            "Settimanale mese= giorno= anticipo=05 A=0 i=0 anno=no(2007) giorni=Lunedì", "", "",
            [this] { toggleWeekday(0); });
        row(
            "weekly by ticking check boxes", "Corsa|05|10|07|0000",
            "Annuale mese=Maggio (05) giorno=10 anticipo=07 A=0 i=0 anno=no(2007)",
            "Corsa|##|Marted\xEC;Venerd\xEC;||0000", "",
            [this] {
                QTest::mouseClick(editor<QRadioButton>("rbSett"), Qt::LeftButton);
                tickWeekday(1);
                tickWeekday(4);
            },
            "Mar? ?Ven?|MaV");
        row("important weekly by ticking a check box", "Corsa|05|10|07i|0000",
            "Annuale mese=Maggio (05) giorno=10 anticipo=07 A=0 i=1 anno=no(2007)", "Corsa|##|Sabato;|0i|0000", "",
            [this] {
                QTest::mouseClick(editor<QRadioButton>("rbSett"), Qt::LeftButton);
                tickWeekday(5);
            });
        row("weekday list only focused", "Corsa|##|Luned\xEC;|05|0000",
            "Settimanale mese= giorno= anticipo=05 A=0 i=0 anno=no(2007) giorni=Lunedì", "Corsa|##|Luned\xEC;|05|0000",
            "", [this] {
                QVERIFY(QTest::qWaitForWindowActive(&form2()));
                editor<QListWidget>("CheckListBox1")->setFocus(Qt::TabFocusReason);
                QVERIFY(editor<QListWidget>("CheckListBox1")->hasFocus());
            });
        row("weekly important, no advance", "Corsa|##|Gioved\xEC;|i|0000",
            "Settimanale mese= giorno= anticipo= A=0 i=1 anno=no(2007) giorni=Giovedì", "Corsa|##|Gioved\xEC;|0i|0000");
        row("this year", "Visita|03|29A|02|2007", "Annuale mese=Marzo (03) giorno=29 anticipo=02 A=1 i=0 anno=2007",
            "Visita|03|29A|02|2007");
        row("year typed before the range", "Visita|03|29|02|2007",
            "Annuale mese=Marzo (03) giorno=29 anticipo=02 A=0 i=0 anno=2007", "Visita|03|29|02|2000", "",
            [this] { typeYear(u"1999"_s); });
        row("year typed beyond the range", "Visita|03|29|02|2007",
            "Annuale mese=Marzo (03) giorno=29 anticipo=02 A=0 i=0 anno=2007", "Visita|03|29|02|2999", "",
            [this] { typeYear(u"3500"_s); });
        row("year box emptied", "Visita|03|29|02|2007",
            "Annuale mese=Marzo (03) giorno=29 anticipo=02 A=0 i=0 anno=2007", "Visita|03|29|02|2000", "",
            [this] { typeYear(QString()); });
        row("year before the range", "Visita|03|29|02|1999",
            "Annuale mese=Marzo (03) giorno=29 anticipo=02 A=0 i=0 anno=2000", "Visita|03|29|02|2000");
        row("month 13", "Strano|13|05|07|0000", "Annuale mese= giorno=05 anticipo=07 A=0 i=0 anno=no(2007)", "");
        row("name typed in lower case", "Prova|05|05|07|0000",
            "Annuale mese=Maggio (05) giorno=05 anticipo=07 A=0 i=0 anno=no(2007)", "Compleanno di Anna|05|05|07|0000",
            "", [this] { retype(nameBox(), u"compleanno di Anna"_s); });
        row("empty name", "Prova|05|05|07|0000", "Annuale mese=Maggio (05) giorno=05 anticipo=07 A=0 i=0 anno=no(2007)",
            "", "", [this] { retype(nameBox(), {}); });
        row("month not a number", "Strano|Mag|05|07|0000", "Annuale mese= giorno=05 anticipo=07 A=0 i=0 anno=no(2007)",
            "", "'Mag' is not a valid integer value.");
        row("month not a number, then May chosen", "Strano|Mag|05|07|0000",
            "Annuale mese= giorno=05 anticipo=07 A=0 i=0 anno=no(2007)", "Strano|05|05|07|0000",
            "'Mag' is not a valid integer value.",
            [this] { QTest::keyClicks(editor<QComboBox>("ComboBox1"), u"Mag"_s); });
        row("year not a number", "Strano|05|05|07|20x7", "Annuale mese= giorno=05 anticipo=07 A=0 i=0 anno=2007", "",
            "'20x7' is not a valid integer value.");
    }

    void loadAndSave()
    {
        QFETCH(QByteArray, stored);
        QFETCH(Step, change);
        QFETCH(QString, shown);
        QFETCH(QString, loadMessage);
        QFETCH(QByteArray, saved);
        QFETCH(QString, listed);
        // An earlier use leaves every control set: the load must reset what it owns.
        QVERIFY(start({record("Sporco|##|Luned\xEC;Domenica;A|05i|2030")}));
        openEditor(0);
        QTest::mouseClick(editor<QPushButton>("BitBtn2"), Qt::LeftButton);
        form1().events().clear();
        form1().events().append(record(stored));

        openEditor(0);
        QVERIFY(form2().isVisible());
        QCOMPARE(shownInEditor(), shown);
        QCOMPARE(boxes(), loadMessage.isEmpty() ? QList<Box>() : QList<Box>{errorBox(loadMessage)});

        change();
        QTest::mouseClick(editor<QPushButton>("BitBtn1"), Qt::LeftButton);

        if (saved.isEmpty()) {
            QCOMPARE(boxes(), QList<Box>{errorBang});
            QVERIFY(form2().isVisible()); // ready for correction
            QTest::mouseClick(editor<QPushButton>("BitBtn2"), Qt::LeftButton);
            QCOMPARE(joined(form1().events()), QByteArrayList{stored});
            return;
        }
        QCOMPARE(boxes(), QList<Box>());
        QVERIFY(!form2().isVisible());
        QVERIFY(form1().isEnabled());
        QCOMPARE(joined(form1().events()), QByteArrayList{saved});
        if (!listed.isEmpty()) {
            // Weekdays short enough to fit the column, each event's its own; the whole field in the tool tip.
            QTreeView *view = form1().eventView();
            const QModelIndex day = view->model()->index(0, 2);
            const QString shown = day.data().toString();
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(listed)).match(shown).hasMatch(),
                     qPrintable(shown));
            const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
            QVERIFY2(view->fontMetrics().horizontalAdvance(shown) <= view->columnWidth(2) - 2 * margin,
                     qPrintable(shown));
            QCOMPARE(day.data(Qt::ToolTipRole).toString(), text::fromCp1252(saved.split('|').at(2)));
        }
        program->trigger("SaveDatabase1");
        QCOMPARE(program->read(u"Roradaza.dat"_s), "0\r\n" + QByteArray(saved).replace('|', "\r\n") + "\r\n");
    }

    // Tab goes through the editor top to bottom, left to right: the chosen mode
    // before the controls of each mode; the controls of the other mode are disabled.
    void tabOrder_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("annual, specific year")
            << "Visita|03|29|02|2008"_ba
            << QStringList{u"rbAnn"_s,     u"ComboBox1"_s, u"Edit3"_s,   u"Edit2"_s,   u"CheckBox2"_s, u"SpinEdit1"_s,
                           u"CheckBox1"_s, u"CheckBox3"_s, u"Button1"_s, u"BitBtn2"_s, u"BitBtn1"_s,   u"Nome"_s};
        QTest::newRow("weekly") << "Corsa|##|Luned\xEC;|00|0000"_ba
                                << QStringList{u"rbSett"_s,  u"CheckListBox1"_s, u"CheckBox1"_s, u"CheckBox3"_s,
                                               u"BitBtn2"_s, u"BitBtn1"_s,       u"Nome"_s};
    }

    void tabOrder()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QStringList, order);
        QVERIFY(start({record(stored)}));
        openEditor(0);
        QVERIFY(QTest::qWaitForWindowActive(&form2()));
        nameBox()->setFocus();
        QStringList visited;
        for (int press = 0; press < order.size(); ++press) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focused = QApplication::focusWidget();
            // The text boxes inside the name box and the year box stand for them.
            while (focused && focused->objectName().isEmpty())
                focused = focused->parentWidget();
            visited << (focused ? focused->objectName() : QString());
        }
        QCOMPARE(visited, order);
        form2().reject();
    }

    void nameCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("refused"); // said beside the box
        QTest::newRow("ł typed") << u"ł"_s << false << "Prova"_ba << true;
        QTest::newRow("ł pasted") << u"ł"_s << true << "Prova"_ba << true;
        QTest::newRow("emoji typed") << u"😀"_s << false << "Prova"_ba << true;
        QTest::newRow("emoji among letters pasted") << u"a😀b"_s << true << "Prova"_ba << true;
        QTest::newRow("ì typed") << u"ì"_s << false << "Prova\xEC"_ba << false;
        QTest::newRow("€ pasted") << u"€"_s << true << "Prova\x80"_ba << false;
    }

    void nameCharacters()
    {
        QFETCH(QString, text);
        QFETCH(bool, pasted);
        QFETCH(QByteArray, name);
        QFETCH(bool, refused);
        QVERIFY(start({named("Prova")}));
        openEditor(0);
        QToolTip::hideText();
        QLineEdit *box = nameBox();
        box->end(false);
        if (pasted) {
            QApplication::clipboard()->setText(text);
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        } else {
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, text, Qt::NoModifier);
        }
        QCOMPARE(box->text(), text::fromCp1252(name));
        QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), refused ? refusedCharacterText() : QString());
        QTest::mouseClick(editor<QPushButton>("BitBtn1"), Qt::LeftButton);
        QCOMPARE(form1().events().at(0).name, name);
    }

    void recordGoneWhileOpen_data()
    {
        QTest::addColumn<Step>("meanwhile");
        QTest::addColumn<QByteArrayList>("after");
        QTest::addColumn<bool>("warned");
        const QByteArray alfa = "Alfa|06|15|00|0000", zeta = "Zeta|06|15|00|0000", edited = "Oggi|03|29A|05|0000";
        const Step check = [this] {
            program->prompts.answers << Answer::Yes;
            program->trigger("Controlla1");
            QCOMPARE(boxes(), QList<Box>{ask(u"Warning"_s, u"Cancellare Oggi ?"_s, QMessageBox::Warning)});
        };
        const auto remove = [this](int row) { return Step([this, row] { form1().events().removeAt(row); }); };
        const Step otherCurrent = [this] {
            form1().eventView()->setCurrentIndex(form1().eventView()->model()->index(2, 0));
        };
        QTest::newRow("deleted by the check") << check << QByteArrayList{alfa, zeta} << true;
        QTest::newRow("removed from the list") << remove(1) << QByteArrayList{alfa, zeta} << true;
        QTest::newRow("an earlier record removed") << remove(0) << QByteArrayList{edited, zeta} << false;
        QTest::newRow("another record made current") << otherCurrent << QByteArrayList{alfa, edited, zeta} << false;
    }

    void recordGoneWhileOpen()
    {
        QFETCH(Step, meanwhile);
        QFETCH(QByteArrayList, after);
        QFETCH(bool, warned);
        QVERIFY(start({named("Alfa"), record("Oggi|03|29A|00|0000"), named("Zeta")}));
        openEditor(1);
        retype(editor<QLineEdit>("Edit2"), u"05"_s);
        meanwhile();
        QVERIFY(form2().isVisible());
        QTest::mouseClick(editor<QPushButton>("BitBtn1"), Qt::LeftButton);
        QVERIFY(!form2().isVisible());
        QCOMPARE(joined(form1().events()), after);
        const Box gone{Kind::Tell,
                       u"Roradaza"_s,
                       u"L'evento è stato cancellato nel frattempo: le modifiche non sono state salvate."_s,
                       QMessageBox::Warning,
                       {}};
        QCOMPARE(boxes(), warned ? QList<Box>{gone} : QList<Box>());
    }

    void saveSortsAndFilters()
    {
        QVERIFY(start({named("Anna"), named("Bruno"), named("Carla")}));
        search(u"a"_s);
        QCOMPARE(shownNames(form1().filteredView()), QStringList({u"Anna"_s, u"Carla"_s}));
        click(form1().filteredView(), 0);
        QTest::mouseClick(main<QPushButton>("Button2"), Qt::LeftButton);
        QVERIFY(form2().isVisible());
        QVERIFY(!form1().isEnabled());
        retype(nameBox(), u"Zoe"_s);
        QTest::mouseClick(editor<QPushButton>("BitBtn1"), Qt::LeftButton);

        QVERIFY(form1().isEnabled());
        QCOMPARE(shownNames(form1().eventView()), QStringList({u"Bruno"_s, u"Carla"_s, u"Zoe"_s}));
        // The search hides the saved record: it is no longer current.
        QCOMPARE(form1().currentRow(), -1);
        QVERIFY(!main<QPushButton>("Button3")->isEnabled());
        QVERIFY(form1().filteredView()->isVisible());
        QCOMPARE(shownNames(form1().filteredView()), QStringList{u"Carla"_s});
    }

    void fullListRefusesAdd()
    {
        std::vector<EventRecord> records;
        for (int number = 0; number < EventList::capacity; ++number)
            records.push_back(named("Evento " + QByteArray::number(number).rightJustified(5, '0')));
        QVERIFY(start(records));
        QCOMPARE(form1().events().size(), 65535);

        QTest::mouseClick(main<QPushButton>("Button1"), Qt::LeftButton);
        QVERIFY(!form2().isVisible());
        const Box full =
            errorBox(u"L'elenco contiene già 65535 eventi, il massimo: non se ne possono aggiungere altri."_s);
        QCOMPARE(boxes(), QList<Box>{full});
        QCOMPARE(form1().events().copies(), records);
        QCOMPARE(form1().eventView()->model()->rowCount(), 65535);
        QVERIFY(form1().events().autoSort());
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
