// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncRunner.h"
#include "sync/SyncSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace roradaza;
using namespace roradaza::sync;

namespace {

EventRecord record(const char *name, const char *month = "04")
{
    return EventRecord{name, month, "02", "05", "0000"};
}

QStringList names(const EventList &list)
{
    QStringList out;
    for (const RecordView each : list.records())
        out << QString::fromLatin1(each.name);
    return out;
}

int rowNamed(const EventList &list, const char *name)
{
    for (int row = 0; row < list.size(); ++row) {
        if (list.at(row).name == name)
            return row;
    }
    return -1;
}

} // namespace

class TestSync : public QObject
{
    Q_OBJECT

private slots:
    // A sync's outcome reaches the list by key; whatever the user did to a
    // record while the sync ran wins, for the next sync to carry.
    void applyOutcome_data()
    {
        QTest::addColumn<QString>("meanwhile"); // "", "edit NAME", "delete NAME"
        QTest::addColumn<QString>("result");    // "replace NAME", "remove NAME", "add NAME", "give NAME", "fail"
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("uidOf"); // NAME=UID the list knows afterwards ("" none)
        QTest::addColumn<int>("changed");
        QTest::addColumn<int>("kept");
        QTest::addColumn<QByteArray>("weighedAgain"); // the UID the next sync fetches anew

        const QStringList all{"Anna", "Bruno", "Carla"};
        QTest::newRow("server changed a record")
            << ""
            << "replace Bruno" << QStringList{"Anna", "Carla", "Zeno"} << "Zeno=uid-Bruno" << 1 << 0 << QByteArray();
        QTest::newRow("server changed one the user edited meanwhile")
            << "edit Bruno"
            << "replace Bruno" << QStringList{"Anna", "Bruno 2", "Carla"} << "Bruno 2=uid-Bruno" << 0 << 1
            << QByteArray("uid-Bruno");
        QTest::newRow("server changed one the user deleted meanwhile")
            << "delete Bruno"
            << "replace Bruno" << QStringList{"Anna", "Carla"} << "" << 0 << 1 << QByteArray("uid-Bruno");
        QTest::newRow("server deleted a record")
            << ""
            << "remove Carla" << QStringList{"Anna", "Bruno"} << "" << 1 << 0 << QByteArray();
        QTest::newRow("server deleted one the user edited meanwhile")
            << "edit Carla"
            << "remove Carla" << QStringList{"Anna", "Bruno", "Carla 2"} << "Carla 2=uid-Carla" << 0 << 1
            << QByteArray();
        QTest::newRow("server added an event") << ""
                                               << "add Dario" << QStringList{"Anna", "Bruno", "Carla", "Dario"}
                                               << "Dario=uid-Dario" << 1 << 0 << QByteArray();
        QTest::newRow("server added one while the user added another")
            << "add Elena"
            << "add Dario" << QStringList{"Anna", "Bruno", "Carla", "Dario", "Elena"} << "Dario=uid-Dario" << 1 << 0
            << QByteArray();
        QTest::newRow("a record sent up keeps its UID through a rename meanwhile")
            << "edit Anna"
            << "give Anna" << QStringList{"Anna 2", "Bruno", "Carla"} << "Anna 2=uid-Anna" << 0 << 0 << QByteArray();
        QTest::newRow("a full list leaves the server's new event for the next sync")
            << "fill"
            << "add Dario" << QStringList{} << "" << 0 << 1 << QByteArray("uid-Dario");
        QTest::newRow("a failed sync leaves the list alone")
            << ""
            << "fail" << all << "Bruno=uid-Bruno" << 0 << 0 << QByteArray();
    }

    void applyOutcome()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, result);
        QFETCH(QStringList, expected);
        QFETCH(QString, uidOf);
        QFETCH(int, changed);
        QFETCH(int, kept);
        QFETCH(QByteArray, weighedAgain);

        EventList list;
        list.appendAll({record("Anna"), record("Bruno"), record("Carla")});
        QTemporaryDir folder;
        SyncSession session(folder.filePath(QStringLiteral("Roradaza.sync")));
        session.configure(QUrl(QStringLiteral("http://127.0.0.1:5232/anna/cal/")), QStringLiteral("anna"), true);
        // Bruno and Carla were synced before (uids given by an earlier outcome).
        Outcome earlier;
        earlier.uidsGiven = {{list.keyAt(1), "uid-Bruno"}, {list.keyAt(2), "uid-Carla"}};
        session.apply(list, session.snapshot(list), earlier);
        const std::vector<LocalRecord> sent = session.snapshot(list);
        const quint32 annaKey = list.keyAt(0);

        const QStringList what = meanwhile.split(u' ');
        if (what[0] == QLatin1String("edit")) {
            const int row = rowNamed(list, qPrintable(what[1]));
            list.replace(row, record(qPrintable(what[1] + QStringLiteral(" 2"))));
        } else if (what[0] == QLatin1String("delete")) {
            list.removeAt(rowNamed(list, qPrintable(what[1])));
        } else if (what[0] == QLatin1String("add")) {
            list.append(record(qPrintable(what[1])));
        } else if (what[0] == QLatin1String("fill")) {
            std::vector<EventRecord> more(std::size_t(EventList::capacity - list.size()), record("Riempitivo"));
            list.appendAll(std::move(more));
        }

        Outcome outcome;
        outcome.state = session.state();
        outcome.state.token = "token-2";
        for (const char *uid : {"uid-Bruno", "uid-Carla", "uid-Dario"})
            outcome.state.items.push_back(
                SyncedItem{uid, QString::fromLatin1(uid) + QStringLiteral(".ics"), "etag-1", {}, {}});
        const QStringList how = result.split(u' ');
        const auto keyOf = [&](const QString &name) {
            for (const LocalRecord &each : sent) {
                if (each.record.name == name.toLatin1())
                    return each.key;
            }
            return quint32(0);
        };
        if (how[0] == QLatin1String("replace"))
            outcome.replaced.emplace_back(keyOf(how[1]), record("Zeno"));
        else if (how[0] == QLatin1String("remove"))
            outcome.removed.push_back(keyOf(how[1]));
        else if (how[0] == QLatin1String("add"))
            outcome.added.emplace_back("uid-" + how[1].toLatin1(), record(qPrintable(how[1])));
        else if (how[0] == QLatin1String("give"))
            outcome.uidsGiven.emplace_back(annaKey, "uid-Anna");
        else if (how[0] == QLatin1String("fail"))
            outcome.failure = Failure(Failure::Kind::Unauthorized, QStringLiteral("401"));

        const SyncSession::Applied applied = session.apply(list, sent, std::move(outcome));
        if (!expected.isEmpty())
            QCOMPARE(names(list), expected);
        else
            QVERIFY(list.isFull() && rowNamed(list, "Dario") < 0);
        QCOMPARE(applied.changed, changed);
        QCOMPARE(applied.kept, kept);
        // The state is taken whether or not the sync went through: it holds what was done on the server.
        QCOMPARE(session.state().token, QByteArray("token-2"));
        for (const SyncedItem &item : session.state().items)
            QCOMPARE(item.etag, item.uid == weighedAgain ? QByteArray() : QByteArray("etag-1"));
        if (!uidOf.isEmpty()) {
            const QStringList pair = uidOf.split(u'=');
            const int row = rowNamed(list, qPrintable(pair[0]));
            QVERIFY(row >= 0);
            QCOMPARE(session.uidOf(list.keyAt(row)), pair[1].toLatin1());
        }
        // Every record appears once in the next snapshot, with the key it has in the list.
        const std::vector<LocalRecord> next = session.snapshot(list);
        QCOMPARE(int(next.size()), list.size());
    }

    // A collection or user changed in the window starts from nothing; the
    // same one keeps what was synced. A user who never set it up gets no file.
    void configure_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("user");
        QTest::addColumn<bool>("keepsToken");
        QTest::addColumn<bool>("keepsPin");
        QTest::newRow("same collection, switched off and on") << "https://dav.example/anna/cal/"
                                                              << "anna" << true << true;
        QTest::newRow("another collection on the same server") << "https://dav.example/anna/other/"
                                                               << "anna" << false << true;
        QTest::newRow("another user") << "https://dav.example/anna/cal/"
                                      << "bruno" << false << true;
        QTest::newRow("another server") << "https://other.example/anna/cal/"
                                        << "anna" << false << false;
    }

    void configure()
    {
        QFETCH(QString, address);
        QFETCH(QString, user);
        QFETCH(bool, keepsToken);
        QFETCH(bool, keepsPin);
        QTemporaryDir folder;
        SyncSession session(SyncSession::statePathFor(folder.filePath(QStringLiteral("Roradaza.dat"))));
        QCOMPARE(session.statePath(), folder.filePath(QStringLiteral("Roradaza.sync")));
        EventList list;
        session.noteListSaved(list);
        QVERIFY(!QFile::exists(session.statePath()));
        QVERIFY(!session.isOn());

        session.configure(QUrl(QStringLiteral("https://dav.example/anna/cal/")), QStringLiteral("anna"), true);
        session.pin("AB:CD");
        Outcome outcome;
        outcome.state = session.state();
        outcome.state.token = "t";
        session.apply(list, {}, outcome);
        session.configure(QUrl(address), user, false);
        QVERIFY(!session.isOn());
        session.configure(QUrl(address), user, true);
        QVERIFY(session.isOn());
        QCOMPARE(session.state().token, keepsToken ? QByteArray("t") : QByteArray());
        QCOMPARE(session.state().pinnedFingerprint, keepsPin ? QByteArray("AB:CD") : QByteArray());
        QCOMPARE(session.account(QStringLiteral("segreta")).password, QStringLiteral("segreta"));
    }

    // One sync at a time on a thread of its own; a request while one runs
    // gives exactly one more, which takes the list as it is when it starts.
    void runnerQueues_data()
    {
        QTest::addColumn<int>("requestsWhileBusy");
        QTest::addColumn<int>("runs");
        QTest::newRow("one request") << 0 << 1;
        QTest::newRow("one more while busy") << 1 << 2;
        QTest::newRow("many more while busy") << 5 << 2;
    }

    void runnerQueues()
    {
        QFETCH(int, requestsWhileBusy);
        QFETCH(int, runs);
        int made = 0;
        SyncRunner runner([&]() -> std::optional<SyncJob> {
            SyncJob job;
            job.state.token = QByteArray::number(++made);
            return job;
        });
        QList<QThread *> threads;
        runner.setWork([&](const SyncJob &job) {
            threads << QThread::currentThread();
            QThread::msleep(150);
            Outcome outcome;
            outcome.state = job.state;
            return outcome;
        });
        QList<QByteArray> finished; // the token each finished job started from
        connect(&runner, &SyncRunner::syncFinished,
                [&](const SyncJob &, const Outcome &outcome) { finished << outcome.state.token; });
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        runner.request();
        QVERIFY(runner.isBusy());
        for (int i = 0; i < requestsWhileBusy; ++i)
            runner.request();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), runs, 5000);
        QTest::qWait(300);
        QCOMPARE(finished.size(), runs);
        QCOMPARE(made, runs);
        QVERIFY(!runner.isBusy());
        // The window's thread went on while the server was waited for.
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        for (QThread *thread : threads)
            QVERIFY(thread != QThread::currentThread());
        // Each job took the state as it was when it began.
        QCOMPARE(finished.last(), QByteArray::number(runs));
    }

    // A failure from the server is the outcome's, never an exception across the loop;
    // one ending the program still gives its state (what was done on the server).
    void runnerFailuresAndEnd()
    {
        SyncRunner runner([] { return std::optional<SyncJob>(SyncJob{}); });
        runner.setWork([](const SyncJob &) -> Outcome {
            QThread::msleep(100);
            throw Failure(Failure::Kind::TimedOut, QStringLiteral("Il server non ha risposto in tempo"));
        });
        std::optional<Failure> told;
        connect(&runner, &SyncRunner::syncFinished,
                [&](const SyncJob &, const Outcome &outcome) { told = outcome.failure; });
        runner.request();
        runner.request();
        runner.waitForIdle();
        QVERIFY(told);
        QCOMPARE(told->kind, Failure::Kind::TimedOut);
        QVERIFY(!runner.isBusy());
        told.reset();
        QTest::qWait(300);
        QVERIFY2(!told, "the request waiting when the program ended did not run");

        std::optional<Failure> found;
        connect(&runner, &SyncRunner::discovered,
                [&](const std::vector<CalendarInfo> &, const std::optional<Failure> &failure) {
                    found = failure ? failure : Failure(Failure::Kind::Other, QStringLiteral("none"));
                });
        runner.setDiscovery([](const Account &) -> std::vector<CalendarInfo> {
            throw Failure(Failure::Kind::Unauthorized, QStringLiteral("401"));
        });
        runner.discover(Account{});
        QTRY_VERIFY(found);
        QCOMPARE(found->kind, Failure::Kind::Unauthorized);
    }
};

QTEST_GUILESS_MAIN(TestSync)
#include "tst_syncsession.moc"
