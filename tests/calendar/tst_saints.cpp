// SPDX-License-Identifier: GPL-3.0-or-later
#include "calendar/SaintsCalendar.h"
#include "store/Failure.h"

#include <QTest>

using namespace roradaza;

class TestSaints : public QObject
{
    Q_OBJECT

private slots:
    void shape();
    void day_data();
    void day();
    void firstOfNovember();
    void daysOfTheirOwn();
    void noLine_data();
    void noLine();
    void shortMonthNeverReachesNextMarker();
    void refusesTableWithoutTwelveMonths();
};

void TestSaints::shape()
{
    const std::vector<QByteArray> &lines = SaintsCalendar::standard().lines();
    QCOMPARE(lines.size(), std::size_t(378));
    const QByteArrayList markers = {"@GENNAIO", "@FEBBRAIO", "@MARZO",     "@APRILE",  "@MAGGIO",   "@GIUGNO",
                                    "@LUGLIO",  "@AGOSTO",   "@SETTEMBRE", "@OTTOBRE", "@NOVEMBRE", "@DICEMBRE"};
    QByteArrayList found;
    qsizetype shortest = 1000;
    for (const QByteArray &line : lines) {
        QVERIFY(!line.isEmpty());
        if (line.startsWith('@'))
            found << line;
        shortest = std::min(shortest, line.size());
    }
    QCOMPARE(found, markers);
    QCOMPARE(shortest, 3);
    QCOMPARE(SaintsCalendar::standard().saint(31, 12), lines.back());
}

void TestSaints::day_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<QByteArray>("names");

    QTest::newRow("1/1") << 1 << 1 << QByteArray("Maria Madre di Dio");
    QTest::newRow("1/2") << 1 << 2 << QByteArray("Brigida, Veridiana, Brigida");
    QTest::newRow("1/3") << 1 << 3 << QByteArray("Albino, Alba, Ugo, Ermes, Ermete");
    QTest::newRow("1/4") << 1 << 4 << QByteArray("Dora, Irene, Ugo, Doriana");
    QTest::newRow("1/5") << 1 << 5 << QByteArray("Brunella, Giuseppe");
    QTest::newRow("1/6") << 1 << 6 << QByteArray("Giustino, Lia, Graziano, Lia");
    QTest::newRow("1/7") << 1 << 7 << QByteArray("Ester, Carolina");
    QTest::newRow("1/8") << 1 << 8 << QByteArray("Alfonso");
    QTest::newRow("1/9, Windows-1252") << 1 << 9 << QByteArray("Egidio, Giosu\xE8");
    QTest::newRow("1/10") << 1 << 10 << QByteArray("Teresa, Ariel, Ariele, Remigio");
    QTest::newRow("1/12") << 1 << 12 << QByteArray("Eligio, Natalia, Natalina, Mariano");
    QTest::newRow("14/2") << 14 << 2 << QByteArray("Valentino, Valentina");
    QTest::newRow("19/3") << 19 << 3 << QByteArray("Giuseppe, Giuseppina, Pino, Pina, Sibilla, Quartilla");
    QTest::newRow("29/6") << 29 << 6 << QByteArray("Pietro, Paolo, Paola, Piera, Piero, Pierina, Pieruccia");
    QTest::newRow("15/8") << 15 << 8 << QByteArray("Assunta, Tarcisio, Tarcisia");
    QTest::newRow("2/10") << 2 << 10 << QByteArray("===");
    QTest::newRow("4/10") << 4 << 10 << QByteArray("Francesco, Francesca, Berenice, Nice, Petronio, Petronia");
    QTest::newRow("2/11") << 2 << 11 << QByteArray("Tobia");
    QTest::newRow("26/12") << 26 << 12 << QByteArray("Stefano");
}

void TestSaints::day()
{
    QFETCH(int, day);
    QFETCH(int, month);
    QTEST(SaintsCalendar::standard().saint(day, month), "names");
}

void TestSaints::firstOfNovember()
{
    const QByteArray names = SaintsCalendar::standard().saint(1, 11);
    QCOMPARE(names.size(), 951);
    QVERIFY(names.startsWith("Cassandra, Allegra, Altea, Amina, Arabella"));
}

void TestSaints::daysOfTheirOwn()
{
    for (const auto &[day, month] : {std::pair{29, 2}, std::pair{31, 10}}) {
        const QByteArray names = SaintsCalendar::standard().saint(day, month);
        QVERIFY2(!names.isEmpty() && !names.startsWith('@'), names.constData());
    }
}

void TestSaints::noLine_data()
{
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");

    QTest::newRow("30/2") << 30 << 2;
    QTest::newRow("31/4") << 31 << 4;
    QTest::newRow("31/11") << 31 << 11;
    QTest::newRow("32/12") << 32 << 12;
    QTest::newRow("day 0") << 0 << 1;
    QTest::newRow("month 0") << 1 << 0;
    QTest::newRow("month 13") << 1 << 13;
}

void TestSaints::noLine()
{
    QFETCH(int, day);
    QFETCH(int, month);
    QCOMPARE(SaintsCalendar::standard().saint(day, month), QByteArray());
}

void TestSaints::shortMonthNeverReachesNextMarker()
{
    std::vector<QByteArray> lines;
    for (int month = 1; month <= 12; ++month) {
        lines.push_back("@M" + QByteArray::number(month));
        for (int day = 1; day <= (month == 2 ? 28 : 31); ++day)
            lines.push_back(QByteArray::number(day) + '/' + QByteArray::number(month));
    }
    const SaintsCalendar calendar(lines);
    QCOMPARE(calendar.saint(28, 2), QByteArray("28/2"));
    QCOMPARE(calendar.saint(29, 2), QByteArray());
    QCOMPARE(calendar.saint(1, 3), QByteArray("1/3"));
}

void TestSaints::refusesTableWithoutTwelveMonths()
{
    QVERIFY_THROWS_EXCEPTION(Failure, SaintsCalendar({"@GENNAIO", "Maria Madre di Dio"}));
}

QTEST_GUILESS_MAIN(TestSaints)
#include "tst_saints.moc"
