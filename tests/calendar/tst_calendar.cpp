// SPDX-License-Identifier: GPL-3.0-or-later
#include "calendar/Calendar.h"
#include "store/Failure.h"

#include <QTest>

using namespace roradaza;

class TestCalendar : public QObject
{
    Q_OBJECT

private slots:
    void todayText_data();
    void todayText();
    void monthDays_data();
    void monthDays();
    void monthDaysRefusesMonthZero();
    void whatDay_data();
    void whatDay();
    void whatDayFailure_data();
    void whatDayFailure();
    void monthNames();
};

void TestCalendar::todayText_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<char>("separator");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");

    QTest::newRow("slash") << QDate(2007, 3, 29) << '/' << QByteArray("29/03/2007") << 29 << 3 << 2007;
    QTest::newRow("dot") << QDate(2007, 3, 29) << '.' << QByteArray("29.03.2007") << 29 << 3 << 2007;
    QTest::newRow("leading zeros") << QDate(2008, 1, 5) << '/' << QByteArray("05/01/2008") << 5 << 1 << 2008;
    QTest::newRow("year end") << QDate(2026, 12, 31) << '.' << QByteArray("31.12.2026") << 31 << 12 << 2026;
}

void TestCalendar::todayText()
{
    QFETCH(QDate, today);
    QFETCH(char, separator);
    const FixedClock clock(today);
    const Calendar calendar(clock, separator);
    QTEST(calendar.todayText(), "text");
    QTEST(calendar.todayDay(), "day");
    QTEST(calendar.todayMonth(), "month");
    QTEST(calendar.todayYear(), "year");
    QCOMPARE(calendar.currentYear(), today.year());
}

void TestCalendar::monthDays_data()
{
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("days");

    QTest::newRow("February 2007") << 2 << 2007 << 28;
    QTest::newRow("February 2008") << 2 << 2008 << 29;
    QTest::newRow("February 1900") << 2 << 1900 << 28;
    QTest::newRow("February 2000") << 2 << 2000 << 29;
    QTest::newRow("January") << 1 << 2007 << 31;
    QTest::newRow("April") << 4 << 2007 << 30;
    QTest::newRow("November") << 11 << 2007 << 30;
    QTest::newRow("December") << 12 << 2007 << 31;
    QTest::newRow("13 counts as December") << 13 << 2007 << 31;
    QTest::newRow("99 counts as December") << 99 << 2007 << 31;
}

void TestCalendar::monthDays()
{
    QFETCH(int, month);
    QFETCH(int, year);
    QTEST(Calendar::monthDays(month, year), "days");
}

void TestCalendar::monthDaysRefusesMonthZero()
{
    try {
        Calendar::monthDays(0, 2007);
        QFAIL("month 0 was accepted");
    } catch (const Failure &failure) {
        QCOMPARE(failure.message(), QStringLiteral("Invalid argument to date encode"));
    }
}

void TestCalendar::whatDay_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QByteArray>("name");

    for (const char separator : {'/', '.'}) {
        const QByteArray tag = separator == '/' ? " /" : " .";
        const QDate today(2007, 3, 29);
        QTest::newRow("29/3/2007" + tag) << today << separator << 29 << 3 << 2007 << QByteArray("Gioved\xEC");
        QTest::newRow("33/3/2007 is 2 April" + tag) << today << separator << 33 << 3 << 2007 << QByteArray("Luned\xEC");
        QTest::newRow("31/4/2007 is 1 May" + tag) << today << separator << 31 << 4 << 2007 << QByteArray("Marted\xEC");
    }
    QTest::newRow("Sunday is first") << QDate(2026, 5, 1) << '/' << 10 << 5 << 2026 << QByteArray("Domenica");
    QTest::newRow("Saturday is last") << QDate(2026, 5, 1) << '/' << 9 << 5 << 2026 << QByteArray("Sabato");
    QTest::newRow("33/12 is 2 January of next year")
        << QDate(2026, 12, 28) << '/' << 33 << 12 << 2026 << QByteArray("Sabato");
}

void TestCalendar::whatDay()
{
    QFETCH(QDate, today);
    QFETCH(char, separator);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, year);
    const FixedClock clock(today);
    const Calendar calendar(clock, separator);
    QTEST(calendar.whatDay(day, month, year), "name");
}

void TestCalendar::whatDayFailure_data()
{
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("message");

    QTest::newRow("day 0") << '/' << 0 << 4 << 2026 << QStringLiteral("'0/4/2026' is not a valid date");
    QTest::newRow("day 0, dots") << '.' << 0 << 4 << 2026 << QStringLiteral("'0.4.2026' is not a valid date");
    QTest::newRow("rolled once only") << '/' << 62 << 3 << 2026 << QStringLiteral("'31/4/2026' is not a valid date");
    QTest::newRow("month 13") << '/' << 5 << 13 << 2026 << QStringLiteral("'5/13/2026' is not a valid date");
    QTest::newRow("month 0") << '/' << 5 << 0 << 2026 << QStringLiteral("Invalid argument to date encode");
}

// A failed call must not cost the next one its name.
void TestCalendar::whatDayFailure()
{
    QFETCH(char, separator);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, year);
    const FixedClock clock(QDate(2026, 3, 29));
    const Calendar calendar(clock, separator);
    try {
        calendar.whatDay(day, month, year);
        QFAIL("an impossible date got a name");
    } catch (const Failure &failure) {
        QTEST(failure.message(), "message");
    }
    QCOMPARE(calendar.whatDay(29, 3, 2007), QByteArray("Gioved\xEC"));
    QCOMPARE(calendar.whatDay(29, 3, 2007), QByteArray("Gioved\xEC"));
}

void TestCalendar::monthNames()
{
    QCOMPARE(Calendar::monthName(0), QByteArray("ogni mese"));
    QCOMPARE(Calendar::monthName(1), QByteArray("Gennaio"));
    QCOMPARE(Calendar::monthName(12), QByteArray("Decembre"));
    QVERIFY(Calendar::monthName(13).isEmpty());
    QVERIFY(Calendar::monthName(-1).isEmpty());
}

QTEST_GUILESS_MAIN(TestCalendar)
#include "tst_calendar.moc"
