// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/Exchange.h"
#include "store/EventRecord.h"
#include "sync/Collection.h"

#include <QDate>
#include <QDateTime>

#include <optional>
#include <utility>
#include <vector>

// The two-way sync: from what both sides held at the last sync and what each
// holds now, it tells a change here, a change there, a deletion and a
// conflict, and carries each across. It never touches the list itself: it
// says what to change, and the caller changes it once the sync went through.
namespace roradaza::sync {

// One event both sides agreed on at the last sync.
struct SyncedItem
{
    QByteArray uid;
    QString href;
    QByteArray etag;    // the server's, as last seen
    EventRecord synced; // the record as both sides had it then
    EventRecord saved;  // the record as the list last saved it (its identity after a restart)
};

// Both sides changed one event since the last sync. The local version stays
// in the list, the server's waits here, and neither side is written until
// the user chooses.
struct Conflict
{
    QByteArray uid;
    EventRecord server;
    QByteArray etag; // the server's version's
};

// Everything the sync keeps between runs, in a file of its own beside the
// list (never a password).
struct SyncState
{
    QUrl address;
    QString user;
    bool enabled = false;
    QByteArray pinnedFingerprint;
    QByteArray token;
    std::vector<SyncedItem> items;
    std::vector<Conflict> conflicts;
};

// The state file: a missing file is an empty state; a damaged one throws a
// message naming the file. Written through the list's checked saving path.
SyncState readSyncState(const QString &path);
void writeSyncState(const QString &path, const SyncState &state);

// A record of the list as the sync sees it: its key in the list and the UID
// it is known by on the server (empty: never synced).
struct LocalRecord
{
    quint32 key = 0;
    QByteArray uid;
    EventRecord record;
};

// The UIDs of a list just loaded, row for row (empty where none): each
// record takes the UID of an item whose saved record (else synced record)
// has its five fields, each item at most once.
std::vector<QByteArray> matchUids(const SyncState &state, const std::vector<EventRecord> &records);

// After a save: every item's saved record becomes the list's record of that UID.
void noteSaved(SyncState &state, const std::vector<LocalRecord> &local);

struct Outcome
{
    SyncState state; // to write whatever happened: it holds every action done
    // What to change in the list; empty when the sync failed.
    std::vector<std::pair<quint32, EventRecord>> replaced; // key, record
    std::vector<quint32> removed;                          // keys
    std::vector<std::pair<QByteArray, EventRecord>> added; // uid, record
    std::vector<std::pair<quint32, QByteArray>> uidsGiven; // key, uid given to a record sent up
    // Events of the server that cannot become records: listed, left there.
    std::vector<exchange::Refusal> leftOnServer;
    std::optional<Failure> failure;
    int sent = 0;     // events created, changed or deleted on the server
    int received = 0; // records added, changed or deleted here
};

// One sync. today and stamp as for an export.
Outcome synchronize(Collection &server, SyncState state, const std::vector<LocalRecord> &local, QDate today,
                    const QDateTime &stamp);

// The user's choice in a conflict: keep the local version (sent at the next
// sync over the server's) or the server's (given back, to replace the local
// record of that UID).
std::optional<EventRecord> resolve(SyncState &state, const QByteArray &uid, bool keepLocal);

} // namespace roradaza::sync
