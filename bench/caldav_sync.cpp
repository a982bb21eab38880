// SPDX-License-Identifier: GPL-3.0-or-later
// Times whole syncs through the engine against a CalDAV collection given by
// its address: a first sync of COUNT generated records (each sent up), the
// next sync with nothing changed, and another computer's first sync (empty
// list, every event fetched). With COUNT 0 the collection's own events make
// the first sync. bench/caldav.py starts a local Radicale and runs it.

#include "generate.h"
#include "sync/CalDav.h"
#include "sync/Engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

using namespace roradaza;
using namespace roradaza::sync;

namespace {

// The list as it stands after the outcome was applied, as the next sync sees it.
std::vector<LocalRecord> applied(std::vector<LocalRecord> local, const Outcome &outcome)
{
    for (const auto &[key, uid] : outcome.uidsGiven) {
        for (LocalRecord &record : local) {
            if (record.key == key)
                record.uid = uid;
        }
    }
    quint32 next = 0;
    for (const LocalRecord &record : local)
        next = std::max(next, record.key + 1);
    for (const auto &[uid, record] : outcome.added)
        local.push_back(LocalRecord{next++, uid, record});
    return local;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "Uso: caldav_sync INDIRIZZO UTENTE PASSWORD [IMPRONTA [SECONDI [RECORD]]]\n");
        return 2;
    }
    SyncState fresh;
    Account account;
    account.address = QUrl(QString::fromLocal8Bit(argv[1]));
    account.user = QString::fromLocal8Bit(argv[2]);
    account.password = QString::fromLocal8Bit(argv[3]);
    if (argc > 4)
        account.pinnedFingerprint = argv[4];
    if (argc > 5)
        account.timeoutSeconds = std::atoi(argv[5]);
    const int count = argc > 6 ? std::atoi(argv[6]) : 0;
    fresh.address = account.address;
    fresh.user = account.user;
    fresh.enabled = true;
    fresh.pinnedFingerprint = account.pinnedFingerprint;

    std::vector<LocalRecord> local;
    for (int k = 0; k < count; ++k)
        local.push_back(LocalRecord{quint32(k), {}, bench::generatedRecord(quint32(k))});
    const QDate today(2026, 6, 15);
    const QDateTime stamp(today, QTime(12, 0), Qt::UTC);

    QElapsedTimer timer;
    const auto run = [&](const char *what, const SyncState &state, const std::vector<LocalRecord> &records) {
        std::unique_ptr<Collection> collection = openCollection(account);
        timer.start();
        Outcome outcome = synchronize(*collection, state, records, today, stamp);
        std::printf("%-30s %6zu records %6d sent %6d received %4zu kept here %9.3f s%s\n", what, records.size(),
                    outcome.sent, outcome.received, outcome.keptHere.size(), double(timer.nsecsElapsed()) / 1e9,
                    outcome.failure ? " FAILED" : "");
        if (outcome.failure)
            std::fprintf(stderr, "%s\n", outcome.failure->what());
        if (!outcome.keptHere.empty())
            std::fprintf(stderr, "  kept here, for one: %s\n", qUtf8Printable(outcome.keptHere.front().text()));
        std::fflush(stdout);
        return outcome;
    };
    const Outcome first = run("first sync", fresh, local);
    if (first.failure)
        return 1;
    const Outcome again = run("next sync, nothing changed", first.state, applied(local, first));
    if (again.failure || again.sent != 0 || again.received != 0)
        return 1;
    if (count > 0) {
        const Outcome other = run("another computer's first sync", fresh, {});
        if (other.failure)
            return 1;
    }
    return 0;
}
