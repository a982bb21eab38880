// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/EventRecord.h"
#include "store/Failure.h"

#include "StoreTest.h"

using namespace roradaza;

namespace {

// "1000001" ticks Monday and Sunday.
std::array<bool, 7> weekdays(const char *ticks)
{
    std::array<bool, 7> days{};
    for (std::size_t i = 0; i < days.size(); ++i)
        days[i] = ticks[i] == '1';
    return days;
}

EditorChoices annual(int month, const char *day, const char *advance, bool autoDelete = false, bool important = false)
{
    EditorChoices choices;
    choices.name = "Evento";
    choices.monthIndex = month;
    choices.dayText = day;
    choices.advanceText = advance;
    choices.autoDelete = autoDelete;
    choices.important = important;
    return choices;
}

EditorChoices weekly(const char *ticks, const char *advance, bool autoDelete = false, bool important = false)
{
    EditorChoices choices = annual(0, "", advance, autoDelete, important);
    choices.weekly = true;
    choices.weekdays = weekdays(ticks);
    return choices;
}

} // namespace

Q_DECLARE_METATYPE(EditorChoices)

class TestEventRecord : public QObject
{
    Q_OBJECT

private slots:
    void encodeFields_data()
    {
        QTest::addColumn<EditorChoices>("choices");
        QTest::addColumn<QByteArray>("month");
        QTest::addColumn<QByteArray>("day");
        QTest::addColumn<QByteArray>("advance");
        const auto row = [](const char *name, const EditorChoices &choices, const char *month, const char *day,
                            const char *advance) {
            QTest::newRow(name) << choices << QByteArray(month) << QByteArray(day) << QByteArray(advance);
        };
        row("day 5, auto-delete", annual(3, "5", "7", true), "03", "05A", "07");
        row("09 auto-delete again", annual(3, "09", "07", true), "03", "09A", "07");
        row("09A never 09AA", annual(3, "09A", "07", true), "03", "09A", "07");
        row("auto-delete off", annual(3, "09A", "07"), "03", "09", "07");
        row("advance 7 important", annual(3, "10", "7", false, true), "03", "10", "07i");
        row("advance 0 important", annual(3, "10", "0", false, true), "03", "10", "00i");
        row("important off", annual(3, "10", "12i"), "03", "10", "12");
        row("one-digit day", annual(3, "1", "07"), "03", "01", "07");
        row("TUTTI", annual(0, "15", "03"), "00", "15", "03");
        row("January", annual(1, "15", "03"), "01", "15", "03");
        row("December", annual(12, "15", "03"), "12", "15", "03");
        row("Monday Sunday auto-delete", weekly("1000001", "", true), "##", "Luned\xEC;Domenica;A", "");
        row("Tuesday Friday", weekly("0100100", ""), "##", "Marted\xEC;Venerd\xEC;", "");
        row("every day", weekly("1111111", "05"), "##",
            "Luned\xEC;Marted\xEC;Mercoled\xEC;Gioved\xEC;Venerd\xEC;Sabato;Domenica;", "05");
        row("weekly important, empty advance", weekly("0000010", "", false, true), "##", "Sabato;", "0i");
    }
    void encodeFields()
    {
        QFETCH(EditorChoices, choices);
        const EventRecord record = encode(choices);
        QTEST(record.month, "month");
        QTEST(record.day, "day");
        QTEST(record.advance, "advance");
        QCOMPARE(record.year, QByteArray("0000"));
        choices.specificYear = true;
        choices.year = 2031;
        QCOMPARE(encode(choices).year, QByteArray("2031"));
    }

    void encodeName()
    {
        EditorChoices choices = annual(5, "01", "00");
        for (const auto &[typed, stored] : {std::pair{"compleanno di Anna", "Compleanno di Anna"},
                                            {"\xE0 Nicol\xF2", "\xE0 Nicol\xF2"},
                                            {"1 maggio", "1 maggio"}}) {
            choices.name = typed;
            QCOMPARE(encode(choices).name, QByteArray(stored));
        }
    }

    void decodeForCheck_data()
    {
        QTest::addColumn<EventRecord>("record");
        QTest::addColumn<QList<int>>("fields"); // weekly, important, auto-delete, year; month, day, advance
        QTest::addColumn<QString>("error");
        const auto row = [](const char *name, const EventRecord &record, const QList<int> &fields,
                            const char *refused = nullptr) {
            QTest::newRow(name) << record << fields
                                << (refused ? QStringLiteral("'%1' is not a valid integer value").arg(refused)
                                            : QString());
        };
        row("sample", EventRecord::sampleRecord(), {0, 0, 0, 0, 7, 23, 7});
        row("markers", {"E", "00", "15A", "03i", "2031"}, {0, 1, 1, 2031, 0, 15, 3});
        row("weekly", {"E", "##", "Sabato;Domenica;A", "0i", "0000"}, {1, 1, 1, 0});
        row("weekly advance unread", {"E", "##", "Luned\xEC;", "xyz", "2030"}, {1, 0, 0, 2030});
        row("month", {"E", "ab", "01", "07", "0000"}, {}, "ab");
        row("day", {"E", "01", "3x", "07", "0000"}, {}, "3x");
        row("day only the marker", {"E", "01", "A", "07", "0000"}, {}, "");
        row("advance only the marker", {"E", "01", "01", "i", "0000"}, {}, "");
        row("weekly year", {"E", "##", "Sabato;", "", "20x1"}, {}, "20x1");
        // Past nine digits the number may not fit an int: the full rule decides.
        row("year of ten digits", {"E", "01", "01", "07", "0000002031"}, {0, 0, 0, 2031, 1, 1, 7});
        row("year past any int", {"E", "01", "01", "07", "000066666666666666666"}, {}, "000066666666666666666");
        // Two and four bytes are read at once when they are digits; the bytes
        // either side of the digits, and what only the full rule reads, are not.
        row("two bytes just outside the digits", {"E", "/1", "01", "07", "0000"}, {}, "/1");
        row("two bytes just past the digits", {"E", "01", "1:", "07", "0000"}, {}, "1:");
        row("two bytes the full rule reads", {"E", " 3", "+5", "$A", "0000"}, {0, 0, 0, 0, 3, 5, 10});
        row("four bytes just outside the digits", {"E", "01", "01", "07", "20/5"}, {}, "20/5");
        row("four bytes the full rule reads", {"E", "01", "01", "07", "$7EB"}, {0, 0, 0, 2027, 1, 1, 7});
        row("every field just past the digits", {"E", "1:", "0:", "0:", "200:"}, {}, "1:");
    }
    void decodeForCheck()
    {
        QFETCH(EventRecord, record);
        QFETCH(QString, error);
        // The check's inline reading gives the same.
        for (const auto decode : {&roradaza::decodeForCheck, &roradaza::decodeForCheckInline}) {
            try {
                const CheckFields f = decode(record);
                QList<int> fields{f.weekly, f.important, f.autoDelete, f.year};
                if (!f.weekly)
                    fields << f.month << f.day << f.advance;
                QTEST(fields, "fields");
                QCOMPARE(QString(), error);
            } catch (const Failure &failure) {
                QCOMPARE(failure.message(), error);
            }
        }
    }

    void decodeForEditor()
    {
        const EditorChoices annual = roradaza::decodeForEditor({"Esame", "12", "09A", "07i", "0000"}, 2026).choices;
        QVERIFY(!annual.weekly && annual.autoDelete && annual.important && !annual.specificYear);
        QCOMPARE(annual.monthIndex, 12);
        QCOMPARE(annual.dayText, QByteArray("09"));
        QCOMPARE(annual.advanceText, QByteArray("07"));
        QCOMPARE(annual.year, 2026);

        const EditorChoices weekly =
            roradaza::decodeForEditor({"Corso", "##", "Luned\xEC;Domenica;A", "0i", "2031"}, 2026).choices;
        QVERIFY(weekly.weekly && weekly.autoDelete && weekly.important && weekly.specificYear);
        QCOMPARE(weekly.weekdays, weekdays("1000001"));
        QCOMPARE(weekly.year, 2031);

        // Month 13 has no entry; 1999 is below the year box.
        const EditorLoad outOfRange = roradaza::decodeForEditor({"E", "13", "01", "07", "1999"}, 2026);
        QCOMPARE(outOfRange.error, QString());
        QCOMPARE(outOfRange.choices.monthIndex, -1);
        QCOMPARE(outOfRange.choices.year, 2000);

        // A field that cannot be read leaves no month chosen, so that "&Ok"
        // cannot save what the load never set.
        for (const EventRecord &record : {EventRecord{"E", "ab", "01", "07", "0000"}, {"E", "05", "01", "07", "x"}}) {
            const EditorLoad load = roradaza::decodeForEditor(record, 2026);
            QCOMPARE(load.error, QStringLiteral("'%1' is not a valid integer value")
                                     .arg(QString::fromLatin1(record.month == "ab" ? "ab" : "x")));
            QCOMPARE(load.choices.monthIndex, -1);
        }
    }

    void editorRoundTrip_data()
    {
        QTest::addColumn<EventRecord>("stored");
        QTest::addColumn<EventRecord>("saved");
        const EventRecord yearly{"Compleanno di Nicol\xF2", "10", "04A", "15i", "0000"};
        const EventRecord weekly{"Perch\xE8 s\xEC, citt\xE0", "##", "Luned\xEC;Mercoled\xEC;Gioved\xEC;Venerd\xEC;A",
                                 "05i", "2027"};
        QTest::newRow("yearly") << yearly << yearly;
        QTest::newRow("weekly") << weekly << weekly;
        QTest::newRow("new record") << EventRecord{"Esame di storia", "0", "1", "7", "0000"}
                                    << EventRecord{"Esame di storia", "00", "01", "07", "0000"};
    }
    void editorRoundTrip()
    {
        QFETCH(EventRecord, stored);
        const EditorLoad load = roradaza::decodeForEditor(stored, 2026);
        QCOMPARE(load.error, QString());
        QTEST(encode(load.choices), "saved");
    }

    void weekdayTest_data()
    {
        QTest::addColumn<QByteArray>("dayField");
        QTest::addColumn<QByteArray>("weekday");
        QTest::addColumn<bool>("found");
        QTest::newRow("Sunday before marker") << QByteArray("Sabato;Domenica;A") << QByteArray("Domenica") << true;
        QTest::newRow("Monday absent") << QByteArray("Marted\xEC;Mercoled\xEC;") << QByteArray("Luned\xEC") << false;
        QTest::newRow("A to Z without case") << QByteArray("SABATO;") << QByteArray("Sabato") << true;
        QTest::newRow("capital accent differs") << QByteArray("LUNED\xCC;") << QByteArray("Luned\xEC") << false;
        QTest::newRow("empty name") << QByteArray("Sabato;") << QByteArray() << false;
    }
    void weekdayTest()
    {
        QFETCH(QByteArray, dayField);
        QFETCH(QByteArray, weekday);
        QTEST(hasWeekday(dayField, weekday), "found");
    }
};

QTEST_APPLESS_MAIN(TestEventRecord)
#include "tst_eventrecord.moc"
