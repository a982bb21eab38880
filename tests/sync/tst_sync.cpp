// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/Engine.h"

#include "store/Failure.h"
#include "store/Text.h"

#include "MemoryCollection.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <map>

using namespace roradaza;
using namespace roradaza::sync;

namespace {

QByteArray storeBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QDate today(2024, 3, 1);
const QDateTime stamp(today, QTime(9, 0), Qt::UTC);

// "Name|MM|DD" (seven days of warning, every year) or all five fields; names in UTF-8.
EventRecord recordOf(const QString &line)
{
    const QStringList parts = line.trimmed().split(u'|');
    EventRecord record{*text::toCp1252(parts.value(0)), parts.value(1).toLatin1(), parts.value(2).toLatin1(),
                       parts.size() > 3 ? parts[3].toLatin1() : "07", parts.size() > 4 ? parts[4].toLatin1() : "0000"};
    return record;
}

QString lineOf(const EventRecord &record)
{
    QString line = text::fromCp1252(record.name) + u'|' + QString::fromLatin1(record.month) + u'|' +
                   QString::fromLatin1(record.day);
    if (record.advance != "07" || record.year != "0000")
        line += u'|' + QString::fromLatin1(record.advance) + u'|' + QString::fromLatin1(record.year);
    return line;
}

QString sorted(QStringList lines)
{
    lines.sort();
    return lines.join(QStringLiteral(", "));
}

// An event as a phone writes it: no record of ours, a yearly rule, an alarm a week before.
QByteArray phoneEvent(const QByteArray &uid, const EventRecord &record)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Telefono//IT\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:" + text::fromCp1252(record.name).toUtf8() +
           "\r\nDTSTART;VALUE=DATE:2000" + record.month + record.day +
           "\r\nRRULE:FREQ=YEARLY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-P7D\r\nEND:VALARM\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
}

// One program folder: its list (a key per record, as the list gives them),
// its state file, and what the last sync said.
struct Machine
{
    std::vector<LocalRecord> rows;
    quint32 nextKey = 1;
    QString statePath;
    SyncState state;
    Outcome last;
    bool full = false; // takes no record a sync adds

    LocalRecord *find(const std::function<bool(const LocalRecord &)> &wanted)
    {
        const auto found = std::find_if(rows.begin(), rows.end(), wanted);
        return found == rows.end() ? nullptr : &*found;
    }
    LocalRecord *named(const QString &name)
    {
        return find([&](const LocalRecord &row) { return row.record.name == *text::toCp1252(name.trimmed()); });
    }
    LocalRecord *keyed(quint32 key)
    {
        return find([&](const LocalRecord &row) { return row.key == key; });
    }
    QString list() const
    {
        QStringList lines;
        for (const LocalRecord &row : rows)
            lines << lineOf(row.record);
        return sorted(lines);
    }
    // A failed sync has nothing for the list: applied all the same, so that
    // the test sees it. The state goes through its file every time.
    void sync(Collection &server)
    {
        last = synchronize(server, state, rows, today, stamp);
        for (const auto &[key, record] : last.replaced)
            keyed(key)->record = record;
        for (const quint32 key : last.removed)
            std::erase_if(rows, [key](const LocalRecord &row) { return row.key == key; });
        for (const auto &[uid, record] : last.added) {
            if (full)
                notTaken(last.state, uid);
            else
                rows.push_back({nextKey++, uid, record});
        }
        for (const auto &[key, uid] : last.uidsGiven)
            keyed(key)->uid = uid;
        if (!last.failure)
            noteSaved(last.state, rows); // the program saves after a sync
        writeSyncState(statePath, last.state);
        state = readSyncState(statePath);
    }
    // Closed and started again: the list comes back without its UIDs, the
    // records as the file has them.
    void restart()
    {
        std::vector<EventRecord> records;
        for (const LocalRecord &row : rows)
            records.push_back(row.record);
        state = readSyncState(statePath);
        const std::vector<QByteArray> uids = matchUids(state, records);
        rows.clear();
        for (std::size_t i = 0; i < records.size(); ++i)
            rows.push_back({nextKey++, uids[i], records[i]});
    }
    void save()
    {
        noteSaved(state, rows);
        writeSyncState(statePath, state);
    }
};

struct World
{
    QTemporaryDir folder;
    MemoryCollection server;
    std::map<QString, Machine> machines;
    QSet<QByteArray> rememberedUids;

    Machine &machine(const QString &name)
    {
        Machine &machine = machines[name];
        if (machine.statePath.isEmpty())
            machine.statePath = folder.filePath(name + QStringLiteral(".sync"));
        return machine;
    }

    // The resource on the server whose event reads as a record of this name.
    QString hrefNamed(const QString &name)
    {
        for (const auto &[href, resource] : server.resources) {
            const exchange::EventReading reading = exchange::readEvent(resource.body);
            if (reading.record && text::fromCp1252(reading.record->name) == name.trimmed())
                return href;
            if (!reading.record && reading.refused.what == name.trimmed())
                return href;
        }
        return {};
    }

    QString serverList()
    {
        QStringList lines;
        for (const auto &[href, resource] : server.resources) {
            const exchange::EventReading reading = exchange::readEvent(resource.body);
            lines << (reading.record ? lineOf(*reading.record) : u'?' + reading.refused.what);
        }
        return sorted(lines);
    }

    QSet<QByteArray> serverUids()
    {
        QSet<QByteArray> uids;
        for (const auto &[href, resource] : server.resources)
            uids.insert(exchange::readEvent(resource.body).uid);
        return uids;
    }

    // A change on the server by another client.
    void serverStep(const QString &verb, const QString &argument)
    {
        const QString name = argument.section(u'>', 0, 0).trimmed();
        const QString to = argument.section(u'>', 1);
        const QString href = hrefNamed(name);
        const auto edit = [this, href, to] {
            server.put(href, phoneEvent(exchange::readEvent(server.resources[href].body).uid, recordOf(to)));
        };
        if (QStringList{"edit", "rename", "clash", "del", "undelete"}.contains(verb))
            QVERIFY2(!href.isEmpty(), qPrintable(name));
        if (verb == u"add") {
            const EventRecord record = recordOf(argument);
            const QByteArray uid = "telefono-" + record.name.toHex() + "@example.org";
            server.put(QStringLiteral("/calendars/anna/compleanni/") + QString::fromLatin1(uid) +
                           QStringLiteral(".ics"),
                       phoneEvent(uid, record));
        } else if (verb == u"edit") {
            edit();
        } else if (verb == u"rename") {
            // Only the title changed, the rest kept as it was, our record property included.
            QByteArray body = server.resources[href].body;
            const qsizetype at = body.indexOf("\r\nSUMMARY:") + 10;
            body.replace(at, body.indexOf("\r\n", at) - at, to.trimmed().toUtf8());
            server.put(href, body);
        } else if (verb == u"clash") {
            server.beforeWrite[href] = edit; // between our listing and our write
        } else if (verb == u"undelete") {
            // Deleted, and put back by another client between our listing and our write.
            const MemoryCollection::Resource deleted = server.resources[href];
            server.erase(href);
            server.beforeWrite[href] = [this, href, deleted] { server.put(href, deleted.body); };
        } else if (verb == u"del") {
            server.erase(href);
        } else if (verb.startsWith(u"odd")) {
            // Events a record cannot say: dates added to the rule, a task, one
            // day of a series moved, no UID.
            const QByteArray uid = "strano-" + name.toUtf8() + "@example.org";
            const QByteArray event = "BEGIN:VEVENT\r\nUID:" + uid +
                                     "\r\nDTSTAMP:20240101T000000Z\r\nSUMMARY:" + name.toUtf8() +
                                     "\r\nDTSTART;VALUE=DATE:20000105\r\nRRULE:FREQ=YEARLY\r\n";
            QByteArray body;
            if (verb == u"odd")
                body = event + "RDATE;VALUE=DATE:20000607\r\nEND:VEVENT\r\n";
            else if (verb == u"odd-task")
                body = "BEGIN:VTODO\r\nUID:" + uid + "\r\nSUMMARY:" + name.toUtf8() + "\r\nEND:VTODO\r\n";
            else if (verb == u"odd-moved")
                body = event + "END:VEVENT\r\n" +
                       QByteArray(event).replace("RRULE:FREQ=YEARLY", "RECURRENCE-ID;VALUE=DATE:20240105") +
                       "END:VEVENT\r\n";
            else
                body = QByteArray(event).replace("UID:" + uid + "\r\n", "") + "END:VEVENT\r\n";
            server.put(QStringLiteral("/calendars/anna/compleanni/") + QString::fromLatin1(uid) +
                           QStringLiteral(".ics"),
                       "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Telefono//IT\r\n" + body + "END:VCALENDAR\r\n");
        } else if (verb == u"fail" || verb == u"lose") {
            server.failAfter = argument.toInt();
            server.answerLost = verb == u"lose";
        } else if (verb == u"notoken" || verb == u"escapes") {
            (verb == u"notoken" ? server.tokens : server.escapes) = verb == u"escapes";
        } else if (verb == u"move") {
            const MemoryCollection::Resource moved = server.resources[href];
            server.erase(href);
            server.put(href + QStringLiteral("-spostato.ics"), moved.body);
        } else if (verb == u"has") {
            QCOMPARE(serverList(), argument.trimmed());
        } else if (verb == u"requests") {
            QCOMPARE(server.requests, argument.toInt());
        } else if (verb == u"uids") {
            rememberedUids = serverUids();
        } else if (verb == u"sameuids") {
            QCOMPARE(serverUids(), rememberedUids);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step: s ") + verb));
        }
    }

    void machineStep(Machine &machine, const QString &verb, const QString &argument)
    {
        const QString to = argument.section(u'>', 1);
        LocalRecord *row = machine.named(verb == u"keep" ? argument.section(u' ', 1) : argument.section(u'>', 0, 0));
        if (QStringList{"edit", "del", "outside", "keep"}.contains(verb))
            QVERIFY2(row, qPrintable(argument));
        if (verb == u"add") {
            machine.rows.push_back({machine.nextKey++, {}, recordOf(argument)});
        } else if (verb == u"edit" || verb == u"outside") {
            row->record = recordOf(to);
            if (verb == u"outside")
                machine.restart(); // the saved list changed by hand while the program was closed
        } else if (verb == u"del") {
            const quint32 key = row->key;
            std::erase_if(machine.rows, [key](const LocalRecord &row) { return row.key == key; });
        } else if (verb == u"sync" || verb == u"fails") {
            const QString before = machine.list();
            server.requests = 0;
            machine.sync(server);
            if (verb == u"fails") {
                QVERIFY(machine.last.failure);
                QCOMPARE(machine.list(), before);
                server.failAfter = -1;
            } else {
                QVERIFY2(!machine.last.failure, machine.last.failure ? machine.last.failure->what() : "");
            }
        } else if (verb == u"full") {
            machine.full = argument.trimmed() == u"yes";
        } else if (verb == u"save") {
            machine.save();
        } else if (verb == u"restart") {
            machine.restart();
        } else if (verb == u"keep") {
            const bool keepLocal = argument.section(u' ', 0, 0) == u"local";
            const std::optional<EventRecord> server = resolve(machine.state, row->uid, keepLocal);
            QCOMPARE(server.has_value(), !keepLocal);
            if (server)
                row->record = *server;
            machine.save();
        } else if (verb == u"has") {
            QCOMPARE(machine.list(), argument.trimmed());
        } else if (verb == u"conflicts") {
            QStringList lines;
            for (const Conflict &conflict : machine.state.conflicts)
                lines << lineOf(conflict.server);
            QCOMPARE(sorted(lines), argument.trimmed());
        } else if (verb == u"left") {
            QStringList whats;
            for (const exchange::Refusal &left : machine.last.leftOnServer)
                whats << left.what;
            QCOMPARE(sorted(whats), argument.trimmed());
        } else if (verb == u"sent") {
            QCOMPARE(QString::number(machine.last.sent) + u'/' + QString::number(machine.last.received),
                     argument.trimmed());
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step: ") + verb));
        }
    }
};

} // namespace

class SyncTest : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();
    void stateFile_data();
    void stateFile();
    void stateRoundTrip();
    void scale();
};

// Steps: "<side> <verb> <argument>", side a or b (two program folders) or
// s (the server, changed by another client). Records are "Name|MM|DD".
void SyncTest::scenario_data()
{
    QTest::addColumn<QString>("steps");

    QTest::newRow("first sync both ways") << QStringLiteral(
        "s add Bruno|01|02; a add Anna|05|14; a add Visita|05|20A|03i|0000; a add Esame|06|14|02|2025; a sync; a sent "
        "3/1; a has Anna|05|14, Bruno|01|02, Esame|06|14|02|2025, Visita|05|20A|03i|0000; s has Anna|05|14, "
        "Bruno|01|02, Esame|06|14|02|2025, Visita|05|20A|03i|0000; b sync; b has Anna|05|14, Bruno|01|02, "
        "Esame|06|14|02|2025, Visita|05|20A|03i|0000");
    QTest::newRow("a title with commas, semicolons, a backslash and the euro comes back whole")
        << QStringLiteral("a add  Caffè, tè;latte \\ 5 €|05|20A|03i|0000; a sync; b sync; "
                          "b has Caffè, tè;latte \\ 5 €|05|20A|03i|0000");
    QTest::newRow("an edit and a rename keep the UID") << QStringLiteral(
        "a add Niccolò|05|14; a sync; s uids; a edit Niccolò > Niccolò|05|15; a sync; s sameuids; a edit Niccolò > "
        "Compleanno di Niccolò|05|15; a sync; s sameuids; s has Compleanno di Niccolò|05|15; a sent 1/0");
    QTest::newRow("two records of one name: deleting one leaves one")
        << QStringLiteral("a add Palestra|01|10; a add Palestra|01|10; a sync; a del Palestra; a sync; s has "
                          "Palestra|01|10; a has Palestra|01|10; a restart; a sync; a sent 0/0");
    QTest::newRow("deleted here, deleted there")
        << QStringLiteral("a add Anna|05|14; a add Bruno|01|02; a sync; a del Anna; a sync; s has Bruno|01|02");
    QTest::newRow("deleted there, deleted here") << QStringLiteral(
        "a add Anna|05|14; a add Bruno|01|02; a sync; s del Anna; a sync; a sent 0/1; a has Bruno|01|02");
    QTest::newRow("a phone's event and its edit come down")
        << QStringLiteral("s add Carla|03|08; a sync; a has Carla|03|08; s edit Carla > Carla|03|09; a sync; a has "
                          "Carla|03|09; s edit Carla > Carla Rossi|03|09; a sync; a has Carla Rossi|03|09");
    QTest::newRow("our event renamed on the phone comes down renamed") << QStringLiteral(
        "a add Anna|05|14|03i|0000; a sync; s rename Anna > Anna Bianchi; a sync; a has Anna Bianchi|05|14|03i|0000");
    QTest::newRow("both changed: both kept, the local one chosen") << QStringLiteral(
        "a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|16; a sync; a has Anna|05|15; s has "
        "Anna|05|16; a conflicts Anna|05|16; a sync; a sent 0/0; a conflicts Anna|05|16; a keep local Anna; a sync; a "
        "sent 1/0; s has Anna|05|15; a conflicts; a has Anna|05|15");
    QTest::newRow("both changed: the server's chosen")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|16; a sync; a "
                          "keep server Anna; a has Anna|05|16; a sync; a sent 0/0; s has Anna|05|16; a conflicts");
    QTest::newRow("both changed alike is no conflict")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|15; a sync; a "
                          "conflicts; a sent 0/0; s has Anna|05|15");
    QTest::newRow("the server changed again while in conflict") << QStringLiteral(
        "a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|16; a sync; s edit Anna > "
        "Anna|05|17; a sync; a conflicts Anna|05|17; a keep local Anna; a sync; s has Anna|05|15");
    QTest::newRow("a conflict ends when the server comes to say what the list says")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|16; a sync; a "
                          "conflicts Anna|05|16; s edit Anna > Anna|05|15; a sync; a conflicts; a sync; a sent 0/0; a "
                          "edit Anna > Anna|05|17; a sync; s has Anna|05|17");
    QTest::newRow("deleted here while in conflict: the server's version comes back")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s edit Anna > Anna|05|16; a sync; a del "
                          "Anna; a sync; a has Anna|05|16; s has Anna|05|16; a conflicts");
    QTest::newRow("changed here, deleted there: sent again") << QStringLiteral(
        "a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s del Anna; a sync; s has Anna|05|15; a has Anna|05|15");
    QTest::newRow("deleted here, changed there: brought back") << QStringLiteral(
        "a add Anna|05|14; a sync; a del Anna; s edit Anna > Anna|05|16; a sync; a has Anna|05|16; s has Anna|05|16");
    QTest::newRow("412 on an update is a conflict, never an overwrite")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s clash Anna > Anna|05|16; a sync; s "
                          "has Anna|05|16; a has Anna|05|15; a conflicts Anna|05|16");
    QTest::newRow("412 on sending again an event deleted there: it was put back")
        << QStringLiteral("a add Anna|05|14; a sync; a edit Anna > Anna|05|15; s undelete Anna; a sync; "
                          "a conflicts Anna|05|14; s has Anna|05|14; a keep local Anna; a sync; s has Anna|05|15");
    QTest::newRow("412 on a deletion brings the server's version back") << QStringLiteral(
        "a add Anna|05|14; a sync; a del Anna; s clash Anna > Anna|05|16; a sync; s has Anna|05|16; a has Anna|05|16");
    QTest::newRow("a failure after two requests, then a clean retry")
        << QStringLiteral("s add Carla|03|08; a add Anna|05|14; a add Bruno|01|02; a add Dora|02|02; s fail 3; a "
                          "fails; a sync; a has Anna|05|14, Bruno|01|02, Carla|03|08, Dora|02|02; s has Anna|05|14, "
                          "Bruno|01|02, Carla|03|08, Dora|02|02; a sync; a sent 0/0; s requests 1");
    QTest::newRow("an answer lost after the server took the event")
        << QStringLiteral("a add Anna|05|14; a add Bruno|01|02; s lose 2; a fails; a sync; s has Anna|05|14, "
                          "Bruno|01|02; a has Anna|05|14, Bruno|01|02; a sync; a sent 0/0");
    QTest::newRow("lost answers to an update and a deletion")
        << QStringLiteral("a add Anna|05|14; a add Bruno|01|02; a sync; a edit Anna > Anna|05|15; a del Bruno; s lose "
                          "2; a fails; a sync; a conflicts; s has Anna|05|15; a has Anna|05|15");
    QTest::newRow("a failure leaves the server's changes for next time")
        << QStringLiteral("a add Anna|05|14; a sync; s edit Anna > Anna|05|16; s add Carla|03|08; a add Bruno|01|02; s "
                          "fail 2; a fails; a has Anna|05|14, Bruno|01|02; a sync; a has Anna|05|16, Bruno|01|02, "
                          "Carla|03|08; s has Anna|05|16, Bruno|01|02, Carla|03|08");
    QTest::newRow("an event no record can say stays on the server, listed")
        << QStringLiteral("s odd Festa; a add Anna|05|14; a sync; a left Festa; a has Anna|05|14; s has ?Festa, "
                          "Anna|05|14; a sync; s requests 1; a left Festa; s del Festa; a sync; a left");
    QTest::newRow("a task, a moved day of a series, no UID: all stay on the server")
        << QStringLiteral("s odd-task Compito; s odd-moved Riunione; s odd-nouid Cena; a sync; a left Cena, Riunione, "
                          "strano-Compito@example.org.ics; a has; a add Anna|05|14; a sync; s has ?, ?Cena, ?Riunione, "
                          "Anna|05|14; a sync; s requests 1");
    QTest::newRow("our event made odd on the phone leaves the list, not the server") << QStringLiteral(
        "a add Anna|05|14; a add Bruno|01|02; a sync; s del Anna; s odd Anna; a sync; a has Bruno|01|02; a left Anna");
    QTest::newRow("a complete listing without an item: deleted there")
        << QStringLiteral("s notoken; a add Anna|05|14; a add Bruno|01|02; a sync; s del Anna; a sync; a has "
                          "Bruno|01|02; s edit Bruno > Bruno|01|03; a sync; a has Bruno|01|03");
    QTest::newRow("paths escaped by the server, an event moved to another path")
        << QStringLiteral("s escapes; a add Anna|05|14; a add Bruno|01|02; a sync; a sync; a sent 0/0; s move Anna; "
                          "a sync; a has Anna|05|14, Bruno|01|02; a edit Anna > Anna|05|15; a sync; "
                          "s has Anna|05|15, Bruno|01|02; s notoken; s move Bruno; a sync; a sent 0/0; a del Bruno; "
                          "a sync; s has Anna|05|15");
    QTest::newRow("a restart after a rename offline keeps the UID")
        << QStringLiteral("a add Anna|05|14; a add Anna|05|14; a sync; s uids; a edit Anna > Anna Rossi|05|14; a save; "
                          "a restart; a sync; s sameuids; s has Anna Rossi|05|14, Anna|05|14");
    QTest::newRow("a restart before saving: the synced records identify") << QStringLiteral(
        "a add Anna|05|14; a sync; s uids; a restart; a edit Anna > Anna|05|20; a sync; s sameuids; s has Anna|05|20");
    QTest::newRow("edited outside the program: a deletion and an addition")
        << QStringLiteral("a add Anna|05|14; a add Bruno|01|02; a sync; s uids; a outside Anna > Anna|05|20; a sync; a "
                          "sent 2/0; s has Anna|05|20, Bruno|01|02");
    QTest::newRow("two machines converge") << QStringLiteral(
        "a add Anna|05|14; b add Bruno|01|02; a sync; b sync; a sync; a has Anna|05|14, Bruno|01|02; b has Anna|05|14, "
        "Bruno|01|02; b edit Anna > Anna|06|14; a del Bruno; a add Carla|03|08; b sync; a sync; b sync; a has "
        "Anna|06|14, Carla|03|08; b has Anna|06|14, Carla|03|08; s has Anna|06|14, Carla|03|08");
    QTest::newRow("two machines with a copy of one list") << QStringLiteral(
        "a add Anna|05|14; a add Anna|05|14; a add Bruno|01|02; b add Anna|05|14; b add Anna|05|14; b add Bruno|01|02; "
        "b add Carla|03|08; a sync; b sync; b sent 1/0; a sync; a has Anna|05|14, Anna|05|14, Bruno|01|02, "
        "Carla|03|08; s has Anna|05|14, Anna|05|14, Bruno|01|02, Carla|03|08; b edit Bruno > Bruno|01|03; b sync; a "
        "sync; a has Anna|05|14, Anna|05|14, Bruno|01|03, Carla|03|08");
    QTest::newRow("an event a full list did not take comes next time")
        << QStringLiteral("a add Anna|05|14; s add Carla|03|08; a full yes; a sync; a has Anna|05|14; a sync; "
                          "s has Anna|05|14, Carla|03|08; a full no; a sync; a has Anna|05|14, Carla|03|08");
    QTest::newRow("nothing changed is one request")
        << QStringLiteral("a add Anna|05|14; s add Bruno|01|02; a sync; a sync; s requests 1; a sent 0/0");
    QTest::newRow("a record no calendar can show stays here") << QStringLiteral(
        "a add Mai|02|31|07|2023; a add Anna|05|14; a sync; s has Anna|05|14; a has Anna|05|14, Mai|02|31|07|2023");
}

void SyncTest::scenario()
{
    QFETCH(QString, steps);
    World world;
    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QString side = step.section(u' ', 0, 0);
        const QString verb = step.section(u' ', 1, 1);
        const QString argument = step.section(u' ', 2);
        if (side == u"s")
            world.serverStep(verb, argument);
        else
            world.machineStep(world.machine(side), verb, argument);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(QStringLiteral("at step: ") + step));
    }
}

void SyncTest::stateFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error"); // a part of the message; empty: read
    QTest::addColumn<int>("items");
    QTest::addColumn<qint64>("size"); // the file made this long, with zero bytes (a hole)

    const QByteArray head = "Roradaza-sync 1\n";
    const QByteArray item = "item u1 /c/u1.ics %22e1%22 Anna 05 14 07 0000 Anna 05 14 07 0000\n";
    QTest::newRow("an item") << head + item << QString() << 1 << qint64(0);
    QTest::newRow("CR LF and comments") << QByteArray(head + "# a note\r\n" + item).replace("\n", "\r\n") << QString()
                                        << 1 << qint64(0);
    QTest::newRow("a word of a later version") << head + "colour blue\n" + item << QString() << 1 << qint64(0);
    QTest::newRow("empty") << QByteArray() << "riga 1" << 0 << qint64(0);
    QTest::newRow("no header") << item << "riga 1" << 0 << qint64(0);
    QTest::newRow("NUL bytes") << head + QByteArray(40, '\0') << "riga 2" << 0 << qint64(0);
    QTest::newRow("a value missing") << head + "item u1 /c/u1.ics e1 Anna 05 14 07 0000\n"
                                     << "riga 2" << 0 << qint64(0);
    QTest::newRow("a broken escape") << head + "user anna%2\n"
                                     << "riga 2" << 0 << qint64(0);
    QTest::newRow("an item twice") << head + item + item << "riga 3" << 0 << qint64(0);
    QTest::newRow("enabled neither 0 nor 1") << head + "enabled yes\n"
                                             << "riga 2" << 0 << qint64(0);
    QTest::newRow("cut in the middle of a line") << head + item.left(30) << "riga 2" << 0 << qint64(0);
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(1000, '\xFF') << "riga 1" << 0
                            << qint64(0);
    QTest::newRow("too large") << head + item << "più dei" << 0 << qint64(256 * 1024 * 1024 + 1);
    QTest::newRow("ends in zero bytes") << head + item << "riga 3" << 0 << qint64(4096);
}

void SyncTest::stateFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QFETCH(int, items);
    QFETCH(qint64, size);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Roradaza.sync"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        QVERIFY(size == 0 || file.resize(size));
    }
    bytes.clear();
    try {
        const SyncState state = readSyncState(path);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(int(state.items.size()), items);
    } catch (const roradaza::Failure &failure) {
        QVERIFY2(!error.isEmpty(), qPrintable(failure.message()));
        QVERIFY2(failure.message().contains(error), qPrintable(failure.message()));
        QVERIFY2(failure.message().contains(path), qPrintable(failure.message()));
    }
}

void SyncTest::stateRoundTrip()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Roradaza.sync"));
    QVERIFY(readSyncState(path).items.empty()); // none yet: nothing synced
    QByteArray every;
    for (int byte = 1; byte < 256; ++byte)
        every += char(byte);
    const EventRecord odd{every, "-", "", "%41", "0000"};
    SyncState state{QUrl(QStringLiteral("https://dav.example.org/cal/anna/compleanni con spazi/")),
                    QStringLiteral("anna maria"),
                    true,
                    "AB:CD:EF",
                    "http://radicale.org/ns/sync/1 2%-",
                    {{"u 1", QStringLiteral("/c/ä b.ics"), "\"e 1\"", odd, EventRecord{}}},
                    {{"u 1", EventRecord{"x\xF2", "05", "14", "07i", "0000"}, "W/\"2\""}},
                    {{QStringLiteral("/c/x.ics"), "e3", QStringLiteral("Festa è"), QStringLiteral("ha date")}}};
    writeSyncState(path, state);
    const SyncState back = readSyncState(path);
    QVERIFY(back.items.at(0).synced == odd && back.conflicts.at(0).server == state.conflicts[0].server);
    QCOMPARE(back.address, state.address);
    // Whatever was read is written again byte for byte.
    writeSyncState(path + u'2', back);
    QCOMPARE(storeBytes(path + u'2'), storeBytes(path));
}

// Request counts at the list's largest size, and how long synchronize takes
// (printed, not asserted). RORADAZA_SYNC_SCALE sets the size.
void SyncTest::scale()
{
    const int size = qEnvironmentVariableIntValue("RORADAZA_SYNC_SCALE") > 0
                         ? qEnvironmentVariableIntValue("RORADAZA_SYNC_SCALE")
                         : 2000;
    MemoryCollection server;
    std::vector<LocalRecord> local;
    for (int i = 0; i < size; ++i) {
        local.push_back({quint32(i + 1),
                         {},
                         {"Evento " + QByteArray::number(i), QByteArray::number(1 + i % 12).rightJustified(2, '0'),
                          QByteArray::number(1 + i % 28).rightJustified(2, '0'), "07", "0000"}});
    }
    QElapsedTimer timer;
    const auto sync = [&](const SyncState &state, const std::vector<LocalRecord> &records, const char *what) {
        server.requests = 0;
        timer.start();
        Outcome outcome = synchronize(server, state, records, today, stamp);
        qInfo("%s: %d records, %d requests, %lld ms", what, size, server.requests, timer.elapsed());
        return outcome;
    };
    Outcome first = sync(SyncState{}, local, "first sync");
    QVERIFY(!first.failure);
    QCOMPARE(server.requests, 1 + size);
    QCOMPARE(first.uidsGiven.size(), std::size_t(size));
    for (const auto &[key, uid] : first.uidsGiven)
        local[key - 1].uid = uid;

    QTemporaryDir folder;
    timer.start();
    writeSyncState(folder.filePath(QStringLiteral("Roradaza.sync")), first.state);
    QCOMPARE(readSyncState(folder.filePath(QStringLiteral("Roradaza.sync"))).items.size(), std::size_t(size));
    qInfo("state file written and read: %lld ms, %lld bytes", timer.elapsed(),
          QFileInfo(folder.filePath(QStringLiteral("Roradaza.sync"))).size());

    Outcome same = sync(first.state, local, "nothing changed");
    QCOMPARE(server.requests, 1);
    QCOMPARE(same.sent + same.received, 0);

    local[size / 2].record.day = "29";
    Outcome one = sync(same.state, local, "one change here");
    QCOMPARE(server.requests, 2);
    QCOMPARE(one.sent, 1);

    // Both sides changed every event: as many conflicts, in linear time.
    for (auto &[href, resource] : server.resources)
        server.put(href, QByteArray(resource.body).replace("SUMMARY:", "SUMMARY:Altro "));
    for (LocalRecord &record : local)
        record.record.advance = "03";
    Outcome clash = sync(one.state, local, "every event changed on both sides");
    QCOMPARE(int(clash.state.conflicts.size()), size);
    for (auto &[href, resource] : server.resources)
        server.put(href, QByteArray(resource.body).replace("SUMMARY:", "SUMMARY:Ancora "));
    Outcome again = sync(clash.state, local, "changed there again while in conflict");
    QCOMPARE(int(again.state.conflicts.size()), size);

    // Another machine, empty, takes them all.
    Outcome other = sync(SyncState{}, {}, "another machine's first sync, its list empty");
    QCOMPARE(int(other.added.size()), size);
}

QTEST_GUILESS_MAIN(SyncTest)
#include "tst_sync.moc"
