// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScriptedHost.h"

#include "calendar/SaintsCalendar.h"
#include "check/CheckEngine.h"

#include <QTest>

using namespace roradaza;

namespace {

// One event list, one notification list and one engine on a set day.
struct Pass
{
    explicit Pass(QDate today) : clock(today) { events.setAutoSort(false); }

    FixedClock clock;
    Calendar calendar{clock, '/'};
    EventList events;
    NotificationList notices;
    ScriptedHost host{notices};
    CheckEngine engine{events, notices, calendar, SaintsCalendar::standard(), host};

    QByteArrayList texts() const
    {
        QByteArrayList result;
        for (const NotificationList::Line &line : notices.lines())
            result << line.text;
        return result;
    }
    QByteArrayList names() const
    {
        QByteArrayList result;
        for (const EventRecord &record : events.copies())
            result << record.name;
        return result;
    }
};

QByteArray saintsLine(QDate day)
{
    return "Calendario:  " + SaintsCalendar::standard().saint(day.day(), day.month());
}

const QDate workedExampleDay(2007, 3, 29);

} // namespace

class TestCheckEngine : public QObject
{
    Q_OBJECT

private slots:
    void workedExample_data();
    void workedExample();
    void singleRecord_data();
    void singleRecord();
    void badRecordIsSkipped_data();
    void badRecordIsSkipped();
    void consecutiveAutoDeletes_data();
    void consecutiveAutoDeletes();
    void emptyList_data();
    void emptyList();
    void onceADayGuard();
    void secondPassDuringPromptDoesNothing();
};

void TestCheckEngine::workedExample_data()
{
    QTest::addColumn<bool>("answer");
    QTest::newRow("Yes deletes") << true;
    QTest::newRow("No keeps") << false;
}

void TestCheckEngine::workedExample()
{
    QFETCH(bool, answer);
    Pass pass(workedExampleDay);
    pass.events.append({"Compleanno di Zozadevi", "04", "02", "05", "0000"});
    pass.events.append({"Pagare affitto", "00", "30", "03i", "0000"});
    pass.events.append({"Palestra", "##", "Marted\xEC;Gioved\xEC;", "00", "0000"});
    pass.events.append({"Visita medica", "03", "29A", "02", "2007"});
    pass.host.answers = {answer};

    const CheckEngine::Result result = pass.engine.run();
    QVERIFY(result.ran);
    QVERIFY(result.failures.isEmpty());

    const QByteArray ahead = "Tra 04 giorni  (Luned\xEC 02 Aprile):  Compleanno di Zozadevi";
    const std::vector<NotificationList::Line> expected = {
        {saintsLine(workedExampleDay), colours::green},
        {"DOMANI:  Pagare affitto !", colours::red},
        {"OGGI:  Palestra !", colours::blue},
        {"OGGI:  Visita medica !  (Auto-Cancellazione)", colours::blue},
        {"-", colours::blue},
        {ahead, colours::blue},
    };
    QVERIFY(pass.notices.lines() == expected);

    QCOMPARE(pass.host.asked, QByteArrayList{"Visita medica"});
    // Shown behind the prompt with what was gathered so far, then once at the end.
    QCOMPARE(pass.host.shows, 2);
    QCOMPARE(pass.host.shownLines.first(),
             (QByteArrayList{saintsLine(workedExampleDay), "DOMANI:  Pagare affitto !", "OGGI:  Palestra !",
                             "OGGI:  Visita medica !  (Auto-Cancellazione)", ahead}));
    QCOMPARE(pass.host.shownLines.last(), pass.texts());
    QCOMPARE(pass.host.disables, 1);

    QByteArrayList kept = {"Compleanno di Zozadevi", "Pagare affitto", "Palestra"};
    if (!answer)
        kept << "Visita medica";
    QCOMPARE(pass.names(), kept);
    QCOMPARE(pass.host.modifications, answer ? 1 : 0);
}

void TestCheckEngine::singleRecord_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<EventRecord>("record");
    QTest::addColumn<bool>("saints");
    QTest::addColumn<QByteArrayList>("expected"); // after the saints line, when there is one
    QTest::addColumn<int>("prompts");

    const auto add = [](const char *tag, QDate today, EventRecord record, QByteArrayList expected, bool saints = false,
                        int prompts = 0) { QTest::newRow(tag) << today << record << saints << expected << prompts; };
    const auto day = [](int d, int m, int y = 2026) { return QDate(y, m, d); };
    const QByteArray today = "OGGI:  Ev !";
    const QByteArray tomorrow = "DOMANI:  Ev !";
    const QByteArray weekdays = "Marted\xEC;Gioved\xEC;";

    add("advance 00, on the day", day(10, 5), {"Ev", "05", "10", "00", "0000"}, {today});
    add("advance 00, day before", day(9, 5), {"Ev", "05", "10", "00", "0000"}, {});
    add("advance 01, day before", day(9, 5), {"Ev", "05", "10", "01", "0000"}, {tomorrow});
    add("advance 01, two days before", day(8, 5), {"Ev", "05", "10", "01", "0000"}, {});
    add("Tra 02", day(8, 5), {"Ev", "05", "10", "02", "0000"}, {"Tra 02 giorni  (Domenica 10 Maggio):  Ev"});
    add("Tra 09", day(1, 5), {"Ev", "05", "10", "09", "0000"}, {"Tra 09 giorni  (Domenica 10 Maggio):  Ev"});
    add("Tra 10", day(1, 5), {"Ev", "05", "11", "10", "0000"}, {"Tra 10 giorni  (Luned\xEC 11 Maggio):  Ev"});
    add("one day beyond the advance", day(1, 5), {"Ev", "05", "11", "09", "0000"}, {});
    add("past", day(11, 5), {"Ev", "05", "10", "05", "0000"}, {});
    add("important is red", day(9, 5), {"Ev", "05", "10", "03i", "0000"}, {tomorrow});

    add("roll-over, advance 5", day(29, 3, 2007), {"Ev", "04", "02", "05", "0000"},
        {"Tra 04 giorni  (Luned\xEC 02 Aprile):  Ev"});
    add("roll-over, advance 3", day(29, 3, 2007), {"Ev", "04", "02", "03", "0000"}, {});
    add("roll-over, tomorrow", day(30, 4), {"Ev", "05", "01", "01", "0000"}, {tomorrow});
    add("no roll-over two months on", day(30, 4), {"Ev", "06", "01", "05", "0000"}, {});

    add("every month 02 on the 30th", day(30, 4), {"Ev", "00", "02", "05", "0000"}, {});
    add("every month 02 on the 1st", day(1, 5), {"Ev", "00", "02", "05", "0000"}, {tomorrow});
    add("every month 02 on the 2nd", day(2, 5), {"Ev", "00", "02", "05", "0000"}, {today});
    add("every month 05 on the 1st", day(1, 5), {"Ev", "00", "05", "05", "0000"},
        {"Tra 04 giorni  (Marted\xEC 05 ogni mese):  Ev"});

    add("specific year, other year, on the day", day(10, 5), {"Ev", "05", "10", "03", "2025"}, {});
    add("specific year, other year, tomorrow", day(9, 5), {"Ev", "05", "10", "03", "2025"}, {});
    add("specific year, other year, ahead", day(8, 5), {"Ev", "05", "10", "03", "2025"}, {});
    add("specific year, its year", day(9, 5), {"Ev", "05", "10", "03", "2026"}, {tomorrow});

    add("weekly, Thursday", day(29, 3, 2007), {"Ev", "##", weekdays, "05", "2001"}, {today});
    add("weekly, Tuesday", day(27, 3, 2007), {"Ev", "##", weekdays, "05", "2001"}, {today});
    add("weekly, never ahead", day(28, 3, 2007), {"Ev", "##", weekdays, "05", "2001"}, {});
    add("weekly auto-delete", day(29, 3, 2007), {"Ev", "##", weekdays + 'A', "00", "0000"},
        {"OGGI:  Ev !  (Auto-Cancellazione)"}, false, 1);
    add("auto-delete ahead keeps marker", day(29, 3, 2007), {"Ev", "04", "02A", "05", "0000"},
        {"Tra 04 giorni  (Luned\xEC 02A Aprile):  Ev"});

    add("29 February, common year", day(28, 2), {"Ev", "02", "29", "00", "0000"}, {today});
    add("29 February, common year, tomorrow", day(27, 2), {"Ev", "02", "29", "01", "0000"}, {tomorrow});
    add("29 February, leap year, 28th", day(28, 2, 2024), {"Ev", "02", "29", "00", "0000"}, {});
    add("29 February, leap year, 29th", day(29, 2, 2024), {"Ev", "02", "29", "00", "0000"}, {today});
    add("every month 31 on 30 April", day(30, 4), {"Ev", "00", "31", "00", "0000"}, {today});
    add("every month 31 on 29 April", day(29, 4), {"Ev", "00", "31", "01", "0000"}, {tomorrow});
    add("every month 31 on 31 May", day(31, 5), {"Ev", "00", "31", "00", "0000"}, {today});
    add("every month 30 on 28 February", day(28, 2), {"Ev", "00", "30", "00", "0000"}, {today});
    add("every month 45 on 30 April", day(30, 4), {"Ev", "00", "45", "00", "0000"}, {today});
    add("every month 31, ahead shows the field", day(27, 4), {"Ev", "00", "31", "03", "0000"},
        {"Tra 03 giorni  (Gioved\xEC 31 ogni mese):  Ev"});

    const QByteArray january = "Tra 05 giorni  (Sabato 02 Gennaio):  Ev";
    add("year end, every year", day(28, 12), {"Ev", "01", "02", "07", "0000"}, {january});
    add("year end, next year", day(28, 12), {"Ev", "01", "02", "07", "2027"}, {january});
    add("year end, this year", day(28, 12), {"Ev", "01", "02", "07", "2026"}, {});
    add("year end, tomorrow", day(31, 12), {"Ev", "01", "01", "01", "0000"}, {tomorrow});

    add("separator before first ahead line", day(8, 5), {"Ev", "05", "10", "02", "0000"},
        {"-", "Tra 02 giorni  (Domenica 10 Maggio):  Ev"}, true);
    add("separator before a name with Tra", day(10, 5), {"Tra Amici", "05", "10", "00", "0000"},
        {"-", "OGGI:  Tra Amici !"}, true);
    add("no separator when Tra is first", day(10, 5), {"Tra Amici", "05", "10", "00", "0000"}, {"OGGI:  Tra Amici !"});
    add("no separator without ahead line", day(10, 5), {"Ev", "05", "10", "00", "0000"}, {today}, true);
}

void TestCheckEngine::singleRecord()
{
    QFETCH(QDate, today);
    QFETCH(EventRecord, record);
    QFETCH(bool, saints);
    QFETCH(QByteArrayList, expected);
    QFETCH(int, prompts);

    Pass pass(today);
    pass.events.append(record);
    pass.engine.setSaintsOption(saints);
    const CheckEngine::Result result = pass.engine.run();
    QVERIFY(result.ran);
    QCOMPARE(result.failures, QStringList());

    if (saints)
        expected.prepend(saintsLine(today));
    QCOMPARE(pass.texts(), expected);
    const quint32 colour = record.advance.contains('i') ? colours::red : colours::blue;
    for (int row = saints ? 1 : 0; row < pass.notices.count(); ++row) {
        const NotificationList::Line &line = pass.notices.line(row);
        QCOMPARE(line.colour, line.text == "-" ? colours::blue : colour);
    }
    if (saints)
        QCOMPARE(pass.notices.line(0).colour, colours::green);

    QCOMPARE(pass.host.asked.size(), prompts);
    QCOMPARE(pass.host.shows, expected.isEmpty() ? 0 : 1 + prompts);
    QCOMPARE(pass.host.disables, expected.isEmpty() ? 0 : 1);
    QCOMPARE(pass.events.size(), 1); // every prompt answered No
}

void TestCheckEngine::badRecordIsSkipped_data()
{
    QTest::addColumn<EventRecord>("record");
    QTest::addColumn<QString>("message");

    QTest::newRow("month") << EventRecord{"Mezzo", "1x", "29", "00", "0000"}
                           << QStringLiteral("'1x' is not a valid integer value");
    QTest::newRow("empty month") << EventRecord{"Mezzo", "", "29", "00", "0000"}
                                 << QStringLiteral("'' is not a valid integer value");
    QTest::newRow("day") << EventRecord{"Mezzo", "03", "2O", "00", "0000"}
                         << QStringLiteral("'2O' is not a valid integer value");
    QTest::newRow("advance without its marker")
        << EventRecord{"Mezzo", "03", "29", "xi", "0000"} << QStringLiteral("'x' is not a valid integer value");
    QTest::newRow("year") << EventRecord{"Mezzo", "03", "29", "00", "20x7"}
                          << QStringLiteral("'20x7' is not a valid integer value");
    QTest::newRow("31 April after a roll-over")
        << EventRecord{"Mezzo", "04", "31", "33", "0000"} << QStringLiteral("'31/4/2007' is not a valid date");
}

void TestCheckEngine::badRecordIsSkipped()
{
    QFETCH(EventRecord, record);
    QFETCH(QString, message);

    Pass pass(workedExampleDay);
    pass.engine.setSaintsOption(false);
    pass.events.append({"Alfa", "03", "29", "00", "0000"});
    pass.events.append(record);
    pass.events.append({"Zeta", "##", "Gioved\xEC;", "00", "0000"});

    // The second pass proves that a failure leaves nothing behind for it.
    for (int round = 1; round <= 2; ++round) {
        const CheckEngine::Result result = pass.engine.run();
        QVERIFY(result.ran);
        QCOMPARE(result.failures, QStringList{message});
        QCOMPARE(pass.texts(), (QByteArrayList{"OGGI:  Alfa !", "OGGI:  Zeta !"}));
        QCOMPARE(pass.host.shows, round);
        QCOMPARE(pass.host.disables, round);
    }
    QCOMPARE(pass.events.size(), 3);
}

void TestCheckEngine::consecutiveAutoDeletes_data()
{
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QByteArrayList>("kept");

    QTest::newRow("Yes, No") << QList<bool>{true, false} << QByteArrayList{"Delta", "Beta", "Gamma"};
    QTest::newRow("No, Yes") << QList<bool>{false, true} << QByteArrayList{"Alfa", "Delta", "Gamma"};
    QTest::newRow("Yes, Yes") << QList<bool>{true, true} << QByteArrayList{"Delta", "Gamma"};
}

void TestCheckEngine::consecutiveAutoDeletes()
{
    QFETCH(QList<bool>, answers);
    QFETCH(QByteArrayList, kept);

    Pass pass(workedExampleDay);
    pass.engine.setSaintsOption(false);
    pass.events.append({"Alfa", "03", "29A", "00", "0000"});
    pass.events.append({"Delta", "03", "30", "01", "0000"});
    pass.events.append({"Beta", "03", "29A", "00", "0000"});
    pass.events.append({"Gamma", "03", "29", "00", "0000"});
    pass.host.answers = answers;

    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.host.asked, (QByteArrayList{"Alfa", "Beta"}));
    const QByteArray alfa = "OGGI:  Alfa !  (Auto-Cancellazione)";
    const QByteArray beta = "OGGI:  Beta !  (Auto-Cancellazione)";
    // Behind each prompt, what was gathered so far, each line in its place.
    QCOMPARE(pass.host.shownLines.size(), 3);
    QCOMPARE(pass.host.shownLines[0], QByteArrayList{alfa});
    QCOMPARE(pass.host.shownLines[1], (QByteArrayList{"DOMANI:  Delta !", alfa, beta}));
    QCOMPARE(pass.texts(), (QByteArrayList{"DOMANI:  Delta !", alfa, beta, "OGGI:  Gamma !"}));
    QCOMPARE(pass.names(), kept);
    QCOMPARE(pass.host.modifications, int(answers.count(true)));
}

void TestCheckEngine::emptyList_data()
{
    QTest::addColumn<bool>("saints");
    QTest::newRow("saints on") << true;
    QTest::newRow("saints off") << false;
}

void TestCheckEngine::emptyList()
{
    QFETCH(bool, saints);
    Pass pass(workedExampleDay);
    pass.engine.setSaintsOption(saints);

    QVERIFY(pass.engine.run().ran);
    if (saints) {
        const std::vector<NotificationList::Line> expected = {{saintsLine(workedExampleDay), colours::green}};
        QVERIFY(pass.notices.lines() == expected);
    } else {
        QVERIFY(pass.notices.isEmpty());
    }
    QCOMPARE(pass.host.shows, saints ? 1 : 0);
    QCOMPARE(pass.host.disables, saints ? 1 : 0);
}

void TestCheckEngine::onceADayGuard()
{
    Pass pass(workedExampleDay);
    pass.events.append({"Visita", "03", "29A", "00", "0000"}); // answered No every time
    pass.engine.setHiddenInTray(true);

    // Nothing recorded yet: the first pass runs even while hidden.
    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.engine.lastCheckedDay(), QByteArray("29"));
    QCOMPARE(pass.host.asked.size(), 1);

    const QByteArrayList lines = pass.texts();
    const int shows = pass.host.shows;
    const int disables = pass.host.disables;
    QVERIFY(!pass.engine.run().ran);
    QCOMPARE(pass.texts(), lines);
    QCOMPARE(pass.host.asked.size(), 1);
    QCOMPARE(pass.host.shows, shows);
    QCOMPARE(pass.host.disables, disables);

    pass.engine.forgetLastCheckedDay();
    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.host.asked.size(), 2);

    pass.engine.setHiddenInTray(false);
    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.host.asked.size(), 3);

    pass.engine.setHiddenInTray(true);
    pass.clock.setDate(workedExampleDay.addDays(1));
    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.engine.lastCheckedDay(), QByteArray("30"));
    QCOMPARE(pass.texts(), QByteArrayList{saintsLine(workedExampleDay.addDays(1))});
}

void TestCheckEngine::secondPassDuringPromptDoesNothing()
{
    Pass pass(workedExampleDay);
    pass.engine.setSaintsOption(false);
    pass.events.append({"Alfa", "03", "29A", "00", "0000"});
    pass.events.append({"Beta", "03", "29", "00", "0000"});
    pass.host.answers = {true};

    CheckEngine::Result inner;
    inner.ran = true;
    QByteArrayList linesAtPrompt;
    pass.host.duringPrompt = [&] {
        QVERIFY(pass.engine.isRunning());
        linesAtPrompt = pass.texts();
        inner = pass.engine.run();
        QCOMPARE(pass.texts(), linesAtPrompt);
    };

    const CheckEngine::Result outer = pass.engine.run();
    QVERIFY(!inner.ran);
    QVERIFY(outer.ran);
    QVERIFY(!pass.engine.isRunning());
    QCOMPARE(pass.host.asked, QByteArrayList{"Alfa"});
    QCOMPARE(pass.texts(), (QByteArrayList{"OGGI:  Alfa !  (Auto-Cancellazione)", "OGGI:  Beta !"}));
    QCOMPARE(pass.names(), QByteArrayList{"Beta"});
    QCOMPARE(pass.host.modifications, 1);

    // The next tick runs as usual.
    QVERIFY(pass.engine.run().ran);
    QCOMPARE(pass.texts(), QByteArrayList{"OGGI:  Beta !"});
}

QTEST_GUILESS_MAIN(TestCheckEngine)
#include "tst_checkengine.moc"
