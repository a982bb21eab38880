// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/EventList.h"
#include "store/Failure.h"

#include "StoreTest.h"

#include <algorithm>
#include <random>

using namespace roradaza;

namespace {

EventRecord named(const QByteArray &name, const QByteArray &day = "01")
{
    return {name, "01", day, "07", "0000"};
}

QByteArrayList names(const EventList &list)
{
    QByteArrayList result;
    for (const EventRecord &record : list.copies())
        result << record.name;
    return result;
}

std::vector<EventRecord> many(int count)
{
    return std::vector<EventRecord>(std::size_t(count), named("Evento"));
}

} // namespace

class TestEventList : public QObject
{
    Q_OBJECT

private slots:
    void nameOrder_data()
    {
        QTest::addColumn<QByteArrayList>("appended");
        QTest::newRow("reversed") << QByteArrayList{"Zeno", "Anna", "anna", "\xE4ndrea", "Andrea", "andrea"};
        QTest::newRow("shuffled") << QByteArrayList{"anna", "Zeno", "andrea", "Anna", "\xE4ndrea", "Andrea"};
        QTest::newRow("sorted") << QByteArrayList{"andrea", "Andrea", "\xE4ndrea", "anna", "Anna", "Zeno"};
    }
    // Case and accents count only between otherwise equal names, and "Zeno"
    // follows every "a", as it would not in code-point order.
    void nameOrder()
    {
        QFETCH(QByteArrayList, appended);
        const QByteArrayList expected{"andrea", "Andrea", "\xE4ndrea", "anna", "Anna", "Zeno"};
        EventList oneByOne;
        std::vector<EventRecord> records;
        for (const QByteArray &name : appended) {
            QCOMPARE(oneByOne.at(oneByOne.append(named(name))).name, name);
            records.push_back(named(name));
        }
        QCOMPARE(names(oneByOne), expected);

        EventList atOnce;
        QCOMPARE(atOnce.appendAll(std::move(records)), 6);
        QCOMPARE(names(atOnce), expected);
    }

    // Enough records that an unstable sort would show.
    void equalNamesKeepTheirOrder()
    {
        EventList list;
        for (int i = 0; i < 20; ++i)
            list.append(named(i % 2 ? "Anna" : "Marco", QByteArray::number(i)));
        std::vector<EventRecord> more;
        for (int i = 20; i < 60; ++i)
            more.push_back(named(i % 3 ? "Marco" : "Bruno", QByteArray::number(i)));
        list.appendAll(std::move(more));
        list.sort();

        QMap<QByteArray, int> lastDay;
        for (const EventRecord &record : list.copies()) {
            QVERIFY2(record.day.toInt() > lastDay.value(record.name, -1), record.name + ' ' + record.day);
            lastDay[record.name] = record.day.toInt();
        }
        QCOMPARE(lastDay.size(), 3);
    }

    // The sort merges the ordered runs it finds; whatever the runs, the result
    // and the old-to-new rows must be those of a plain stable sort.
    void sortMatchesAStableSort_data()
    {
        QTest::addColumn<QByteArrayList>("order");
        QByteArrayList sorted;
        for (int i = 0; i < 300; ++i)
            sorted << "Evento " + QByteArray::number(1000 + i / 3);
        QByteArrayList oneMoved = sorted;
        oneMoved.move(250, 10);
        QByteArrayList reversed(sorted.rbegin(), sorted.rend());
        QByteArrayList sawTooth; // many short runs, equal names across them
        for (int i = 0; i < 300; ++i)
            sawTooth << "Evento " + QByteArray::number(1000 + (i * 37) % 11);
        QByteArrayList shuffled = sorted;
        std::mt19937 random(7);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        QTest::newRow("sorted") << sorted;
        QTest::newRow("one record out of place") << oneMoved;
        QTest::newRow("reversed") << reversed;
        QTest::newRow("saw-tooth") << sawTooth;
        QTest::newRow("shuffled") << shuffled;
        QTest::newRow("odd number of runs") << QByteArrayList{"c", "a", "b", "a", "c", "b", "a"};
    }
    void sortMatchesAStableSort()
    {
        QFETCH(QByteArrayList, order);
        EventList list;
        list.setAutoSort(false);
        std::vector<int> reference;
        for (int row = 0; row < order.size(); ++row) {
            // The day tells equal names apart.
            list.append(named(order[row], QByteArray::number(row)));
            reference.push_back(row);
        }
        std::stable_sort(reference.begin(), reference.end(), [&](int a, int b) {
            return list.order().compare(QByteArrayView(order[a]), QByteArrayView(order[b])) < 0;
        });

        const std::vector<int> newRowOf = list.sort();
        for (int newRow = 0; newRow < int(reference.size()); ++newRow) {
            QCOMPARE(list.at(newRow).day, QByteArray::number(reference[std::size_t(newRow)]));
            QCOMPARE(newRowOf[std::size_t(reference[std::size_t(newRow)])], newRow);
        }
    }

    void autoSortOff()
    {
        EventList list;
        list.setAutoSort(false);
        QCOMPARE(list.append(named("Zeno")), 0);
        QCOMPARE(list.append(named("Marco")), 1);
        QCOMPARE(list.append(named("anna")), 2);
        list.replace(1, named("Bruno"));
        QCOMPARE(names(list), (QByteArrayList{"Zeno", "Bruno", "anna"}));

        QCOMPARE(list.sort(), (std::vector<int>{2, 1, 0}));
        QCOMPARE(names(list), (QByteArrayList{"anna", "Bruno", "Zeno"}));

        list.setAutoSort(true);
        QCOMPARE(list.append(named("Carla")), 2);
        QCOMPARE(list.sort(), (std::vector<int>{0, 1, 2, 3}));
    }

    void fullListRefusesOneMore()
    {
        EventList list;
        QCOMPARE(list.appendAll(many(EventList::capacity)), EventList::capacity);
        QVERIFY(list.isFull());
        for (bool autoSort : {true, false}) {
            list.setAutoSort(autoSort);
            try {
                list.append(named("Ultimo"));
                QFAIL("a full list took one more record");
            } catch (const Failure &failure) {
                QVERIFY2(failure.message().contains(u"65535"), qPrintable(failure.message()));
            }
            QCOMPARE(list.size(), EventList::capacity);
            QVERIFY(!names(list).contains("Ultimo"));
        }
    }

    void appendAllStopsAtCapacity()
    {
        EventList list;
        list.append(named("Primo"));
        QCOMPARE(list.appendAll(many(EventList::capacity)), EventList::capacity - 1);
        QCOMPARE(list.size(), EventList::capacity);
        QCOMPARE(list.at(list.size() - 1).name, QByteArray("Primo"));
        QCOMPARE(list.appendAll({named("Altro")}), 0);
        QCOMPARE(list.size(), EventList::capacity);
    }

    // A search after any change sees the records as they are now, whatever
    // the search before it kept.
    void matchingFollowsChanges_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<QByteArray>("search");
        QTest::addColumn<QByteArrayList>("found");
        // What the record with Zeno's key holds after the change; empty: no record has it.
        QTest::addColumn<QByteArray>("keyed");
        const auto row = [](const char *name, const char *keyed, const char *change, const char *search,
                            QByteArrayList found) {
            QTest::newRow(name) << QByteArray(change) << QByteArray(search) << found << QByteArray(keyed);
        };
        row("unchanged", "Zeno", "", "ANNA", {"Anna"});
        row("accent kept, capitals folded", "Zeno", "", "NICCOL\xF2", {"Niccol\xF2"});
        row("accented capital not folded", "Zeno", "", "\xE0ndrea", {});
        row("no match across two names", "Zeno", "", "xxanna", {});
        row("empty search", "Zeno", "", "", {});
        row("name edited", "Giovanna", "replace", "anna", {"Anna", "Giovanna"});
        row("name added", "Zeno", "append", "anna", {"Anna", "Susanna"});
        row("name deleted", "Zeno", "remove", "anna", {});
        row("names imported", "Zeno", "appendAll", "anna", {"Anna", "Marianna"});
        row("list sorted", "Zeno", "sort", "ru", {"Bruno"});
        row("list adopted", "", "adopt", "o", {"Ottavio"});
        row("list emptied, one added", "", "clear", "n", {"Nadia"});
        row("records taken, one added", "", "take", "n", {"Nadia"});
        // Records copied from the list's own text into the same list, whose
        // block moves as it grows; edits that leave enough unused text to be dropped.
        row("name copied within the list", "Niccol\xF2", "copy", "n",
            {"Anna", "Niccol\xF2", "Niccol\xF2", "\xC0ndrea", "Xxan", "naYY", "Bruno"});
        row("record appended from the list", "Zeno", "append own", "anna", {"Anna", "Anna"});
        row("name edited many times", "Giovanna", "edit often", "n",
            {"Anna", "Giovanna", "Niccol\xF2", "\xC0ndrea", "Xxan", "naYY", "Bruno"});
    }
    void matchingFollowsChanges()
    {
        QFETCH(QByteArray, change);
        QFETCH(QByteArray, search);
        EventList list;
        list.setAutoSort(false);
        list.appendAll({named("Anna"), named("Zeno"), named("Niccol\xF2"), named("\xC0ndrea"), named("Xxan"),
                        named("naYY"), named("Bruno")});
        // A search's records share the list's text, which the change may move.
        const EventList earlier = list.matching("n");
        const std::vector<EventRecord> earlierFound = earlier.copies();
        QCOMPARE(earlier.size(), 7);
        const quint32 zeno = list.keyAt(1);
        if (change == "replace") {
            list.replace(1, named("Giovanna"));
        } else if (change == "copy") {
            list.replace(1, list.at(2));
        } else if (change == "append own") {
            list.append(list.at(0));
        } else if (change == "edit often") {
            for (int k = 0; k < 400; ++k)
                list.replace(1, named(QByteArray(200, 'x') + QByteArray::number(k), QByteArray(300, '1')));
            list.replace(1, named("Giovanna", QByteArray(300, '1')));
        } else if (change == "append") {
            list.append(named("Susanna"));
        } else if (change == "remove") {
            list.removeAt(0);
        } else if (change == "appendAll") {
            list.appendAll({named("Marianna")});
        } else if (change == "sort") {
            QVERIFY(list.sort().back() != 6);
        } else if (change == "adopt") {
            EventList other;
            other.append(named("Ottavio"));
            list.adopt(std::move(other));
        } else if (change == "clear" || change == "take") {
            if (change == "clear")
                list.clear();
            else
                QCOMPARE(list.takeRecords().size(), 7);
            list.append(named("Nadia"));
        }
        QByteArrayList found;
        const std::vector<EventRecord> all = list.copies();
        for (const EventRecord &record : list.matching(search).copies()) {
            found << record.name;
            // Found whole, every field as the list holds it.
            QVERIFY(std::find(all.begin(), all.end(), record) != all.end());
        }
        QTEST(found, "found");
        QCOMPARE(earlier.copies(), earlierFound);
        // Keys follow their records, and no two records share one.
        const int keyedRow = list.rowOfKey(zeno);
        QTEST(keyedRow < 0 ? QByteArray() : list.at(keyedRow).name.toByteArray(), "keyed");
        for (int row = 0; row < list.size(); ++row)
            QCOMPARE(list.rowOfKey(list.keyAt(row)), row);
    }
};

QTEST_APPLESS_MAIN(TestEventList)
#include "tst_eventlist.moc"
