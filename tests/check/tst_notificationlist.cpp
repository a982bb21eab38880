// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/NotificationList.h"

#include <QTest>

using namespace roradaza;

namespace {

// Texts starting with "!" stand for important reminders (red); with "=",
// for lines appended as they come, in any order.
QByteArrayList shown(const NotificationList &list)
{
    QByteArrayList result;
    for (const NotificationList::Line &line : list.lines()) {
        if (line.colour == colours::red)
            result << '!' + line.text;
        else if (line.colour == colours::blue)
            result << line.text;
        else
            result << "?" + line.text;
    }
    return result;
}

void add(NotificationList &list, const QByteArray &entry)
{
    if (entry.startsWith('!'))
        list.addNotice(entry.mid(1), true);
    else if (entry.startsWith('='))
        list.append(entry.mid(1));
    else
        list.addNotice(entry, false);
}

} // namespace

class TestNotificationList : public QObject
{
    Q_OBJECT

private slots:
    void addNotice_data();
    void addNotice();
    void importantBetweenExistingLines();
    void model();
};

void TestNotificationList::addNotice_data()
{
    QTest::addColumn<QByteArrayList>("added");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::newRow("one line, blue") << QByteArrayList{"OGGI:  Zeno !"} << QByteArrayList{"OGGI:  Zeno !"};
    QTest::newRow("one line, red") << QByteArrayList{"!OGGI:  Zeno !"} << QByteArrayList{"!OGGI:  Zeno !"};
    QTest::newRow("greatest goes last") << QByteArrayList{"DOMANI:  b !", "Tra 02 giorni"}
                                        << QByteArrayList{"DOMANI:  b !", "Tra 02 giorni"};
    QTest::newRow("groups") << QByteArrayList{"Tra 04 giorni", "!OGGI:  Palestra !", "DOMANI:  x !"}
                            << QByteArrayList{"DOMANI:  x !", "!OGGI:  Palestra !", "Tra 04 giorni"};
    QTest::newRow("days ahead") << QByteArrayList{"Tra 10 giorni", "Tra 02 giorni", "Tra 09 giorni"}
                                << QByteArrayList{"Tra 02 giorni", "Tra 09 giorni", "Tra 10 giorni"};
    QTest::newRow("upper before lower") << QByteArrayList{"OGGI:  anna !", "OGGI:  Zeno !"}
                                        << QByteArrayList{"OGGI:  Zeno !", "OGGI:  anna !"};
    QTest::newRow("euro is 0x80, after z")
        << QByteArrayList{"\x80", "\xC9", "z"} << QByteArrayList{"z", "\x80", "\xC9"};
    QTest::newRow("accented after plain")
        << QByteArrayList{"OGGI:  \xC8lia !", "OGGI:  Zoe !"} << QByteArrayList{"OGGI:  Zoe !", "OGGI:  \xC8lia !"};
    QTest::newRow("prefix first") << QByteArrayList{"OGGI:  Anna !x", "OGGI:  Anna !"}
                                  << QByteArrayList{"OGGI:  Anna !", "OGGI:  Anna !x"};
    QTest::newRow("equal goes before existing") << QByteArrayList{"OGGI:  a !", "!OGGI:  a !", "OGGI:  a !"}
                                                << QByteArrayList{"OGGI:  a !", "!OGGI:  a !", "OGGI:  a !"};
    QTest::newRow("equal, newest red first") << QByteArrayList{"x", "y", "!x"} << QByteArrayList{"!x", "x", "y"};
    QTest::newRow("first, between and last at once")
        << QByteArrayList{"m", "c", "x", "a", "!m", "z", "c"} << QByteArrayList{"a", "c", "c", "!m", "m", "x", "z"};
    // Lines appended out of order: each reminder goes before the first line
    // not below it, counted from the top, wherever halving would land.
    QTest::newRow("after appended lines out of order")
        << QByteArrayList{"=z", "=a", "=b", "m", "c"} << QByteArrayList{"c", "m", "z", "a", "b"};
}

// Added one by one or gathered in a batch, the list must read the same.
void TestNotificationList::addNotice()
{
    QFETCH(QByteArrayList, added);
    QFETCH(QByteArrayList, expected);

    NotificationList immediate;
    for (const QByteArray &entry : added)
        add(immediate, entry);
    QCOMPARE(shown(immediate), expected);

    NotificationList batch;
    batch.beginBatch();
    for (const QByteArray &entry : added)
        add(batch, entry);
    batch.endBatch();
    QCOMPARE(shown(batch), expected);

    NotificationList settled;
    settled.beginBatch();
    for (qsizetype i = 0; i < added.size(); ++i) {
        add(settled, added[i]);
        if (i % 2 == 0)
            settled.settle();
    }
    settled.endBatch();
    QCOMPARE(shown(settled), expected);
}

void TestNotificationList::importantBetweenExistingLines()
{
    const QByteArray ahead = "Tra 04 giorni  (Luned\xEC 02 Aprile):  Compleanno di Zozadevi";
    NotificationList list;
    list.append("Calendario:  Guglielmo", colours::green);
    list.addNotice("DOMANI:  Pagare affitto !", true);
    list.addNotice(ahead, false);
    list.addNotice("OGGI:  Palestra !", true);

    const std::vector<NotificationList::Line> expected = {
        {"Calendario:  Guglielmo", colours::green},
        {"DOMANI:  Pagare affitto !", colours::red},
        {"OGGI:  Palestra !", colours::red},
        {ahead, colours::blue},
    };
    QVERIFY(list.lines() == expected);
}

void TestNotificationList::model()
{
    NotificationList list;
    list.addNotice("OGGI:  Luned\xEC !", true);
    list.insert(0, "-");
    QCOMPARE(list.rowCount(), 2);
    const QModelIndex first = list.index(0);
    QCOMPARE(list.data(first, NotificationList::ColourRole).value<quint32>(), colours::blue);
    const QModelIndex second = list.index(1);
    QCOMPARE(list.data(second, Qt::DisplayRole).toString(), QStringLiteral("OGGI:  Luned\u00EC !"));
    QCOMPARE(list.data(second, NotificationList::BytesRole).toByteArray(), QByteArray("OGGI:  Luned\xEC !"));
    QCOMPARE(list.data(second, NotificationList::ColourRole).value<quint32>(), colours::red);
    list.clear();
    QCOMPARE(list.rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestNotificationList)
#include "tst_notificationlist.moc"
