// SPDX-License-Identifier: GPL-3.0-or-later
// Times what a sync asks of a CalDAV server, on a collection given by its
// address: optionally COUNT new events written one by one (a first sync),
// then a complete listing, a listing by token with nothing changed, and a
// multiget of every event. bench/caldav.py starts a local Radicale and runs it.

#include "sync/CalDav.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

using namespace roradaza::sync;

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "Uso: caldav_timing INDIRIZZO UTENTE PASSWORD [IMPRONTA [SECONDI [NUOVI]]]\n");
        return 2;
    }
    Account account;
    account.address = QUrl(QString::fromLocal8Bit(argv[1]));
    account.user = QString::fromLocal8Bit(argv[2]);
    account.password = QString::fromLocal8Bit(argv[3]);
    if (argc > 4)
        account.pinnedFingerprint = argv[4];
    if (argc > 5)
        account.timeoutSeconds = std::atoi(argv[5]);
    const int created = argc > 6 ? std::atoi(argv[6]) : 0;
    try {
        std::unique_ptr<Collection> collection = openCollection(account);
        QElapsedTimer timer;
        const auto report = [&](const char *what, std::size_t count) {
            std::printf("%-40s %8zu events %9.3f s\n", what, count, double(timer.nsecsElapsed()) / 1e9);
            std::fflush(stdout);
        };
        timer.start();
        for (int i = 0; i < created; ++i) {
            const QByteArray uid = "nuovo-" + QByteArray::number(i);
            collection->create(
                collection->hrefFor(uid),
                "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Roradaza//IT\r\nBEGIN:VEVENT\r\nUID:" + uid +
                    "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:20260315\r\n"
                    "RRULE:FREQ=YEARLY\r\nSUMMARY:Nuovo " +
                    QByteArray::number(i) + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
        }
        if (created > 0)
            report("new events, one request each", std::size_t(created));
        timer.start();
        const Changes first = collection->changesSince({});
        report("complete listing (first)", first.changed.size());
        timer.start();
        const Changes again = collection->changesSince({});
        report("complete listing (again)", again.changed.size());
        timer.start();
        const Changes none = collection->changesSince(again.token);
        report("listing by token, nothing changed", none.changed.size() + none.removed.size());
        std::vector<QString> hrefs;
        for (const ItemTag &tag : again.changed)
            hrefs.push_back(tag.href);
        timer.start();
        const std::vector<Item> items = collection->fetch(hrefs);
        report("multiget of every event", items.size());
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
