// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/SyncSession.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <unordered_set>

namespace roradaza::sync {

QString SyncSession::statePathFor(const QString &databasePath)
{
    const QFileInfo database(databasePath);
    return QDir(database.absolutePath()).filePath(database.completeBaseName() + QStringLiteral(".sync"));
}

void SyncSession::load()
{
    m_uids.clear();
    try {
        m_state = readSyncState(m_statePath);
        m_damaged = false;
    } catch (...) {
        // The address may be gone with the rest: the user sets it up again,
        // and until then nothing is sent or deleted on the server's behalf.
        m_state = {};
        m_damaged = true;
        throw;
    }
}

void SyncSession::write() const
{
    if (isSetUp() && !m_damaged)
        writeSyncState(m_statePath, m_state);
}

void SyncSession::configure(const QUrl &address, const QString &user, bool enabled)
{
    if (address != m_state.address || user != m_state.user) {
        SyncState fresh;
        // A fingerprint accepted for the same server still holds.
        if (address.host() == m_state.address.host() && address.port() == m_state.address.port())
            fresh.pinnedFingerprint = m_state.pinnedFingerprint;
        m_state = std::move(fresh);
        m_uids.clear();
    }
    m_state.address = address;
    m_state.user = user;
    m_state.enabled = enabled;
    m_damaged = false;
}

Account SyncSession::account(const QString &password) const
{
    return Account{m_state.address, m_state.user, password, m_state.pinnedFingerprint};
}

void SyncSession::matchList(const EventList &list)
{
    m_uids.clear();
    const std::vector<QByteArray> uids = matchUids(m_state, list.copies());
    for (int row = 0; row < list.size() && std::size_t(row) < uids.size(); ++row) {
        if (!uids[std::size_t(row)].isEmpty())
            m_uids.emplace(list.keyAt(row), uids[std::size_t(row)]);
    }
}

QByteArray SyncSession::uidOf(quint32 key) const
{
    const auto found = m_uids.find(key);
    return found == m_uids.end() ? QByteArray() : found->second;
}

std::vector<LocalRecord> SyncSession::snapshot(const EventList &list) const
{
    std::vector<LocalRecord> local;
    local.reserve(std::size_t(list.size()));
    for (int row = 0; row < list.size(); ++row) {
        const quint32 key = list.keyAt(row);
        local.push_back(LocalRecord{key, uidOf(key), list.at(row).toRecord()});
    }
    return local;
}

SyncSession::Applied SyncSession::apply(EventList &list, const std::vector<LocalRecord> &sent, Outcome outcome)
{
    Applied applied;
    m_state = std::move(outcome.state);
    for (const auto &[key, uid] : outcome.uidsGiven)
        m_uids[key] = uid;
    if (outcome.failure)
        return applied;

    std::unordered_map<quint32, const EventRecord *> asSent;
    for (const LocalRecord &record : sent)
        asSent.emplace(record.key, &record.record);
    // Rows by key, found once: the list may hold 65 535 records, and this runs where the windows are drawn.
    // Replacing keeps every row where it is, and the removals go from the last row up.
    std::unordered_map<quint32, int> rowOf;
    rowOf.reserve(std::size_t(list.size()));
    for (int row = 0; row < list.size(); ++row)
        rowOf.emplace(list.keyAt(row), row);
    // The row of a record still as it was sent, or -1.
    const auto unchangedRow = [&](quint32 key) {
        const auto row = rowOf.find(key);
        const auto found = asSent.find(key);
        if (row == rowOf.end() || found == asSent.end() || !(list.at(row->second) == *found->second)) {
            ++applied.kept;
            return -1;
        }
        return row->second;
    };
    for (auto &[key, record] : outcome.replaced) {
        if (const int row = unchangedRow(key); row >= 0) {
            list.replace(row, std::move(record));
            ++applied.changed;
        } else {
            // The server's version is weighed again next time against the user's.
            notTaken(m_state, uidOf(key));
        }
    }
    std::vector<int> doomed;
    for (const quint32 key : outcome.removed) {
        if (const int row = unchangedRow(key); row >= 0) {
            doomed.push_back(row);
            m_uids.erase(key);
        }
    }
    std::sort(doomed.begin(), doomed.end(), std::greater<>());
    for (const int row : doomed) {
        list.removeAt(row);
        ++applied.changed;
    }
    if (!outcome.replaced.empty() && list.autoSort())
        list.sort();
    for (auto &[uid, record] : outcome.added) {
        if (list.isFull()) {
            // Not taken here: the next sync, with room made, takes it.
            notTaken(m_state, uid);
            ++applied.kept;
            continue;
        }
        const int row = list.append(std::move(record));
        m_uids[list.keyAt(row)] = uid;
        ++applied.changed;
    }
    // Keys of records gone from the list are of no more use.
    std::unordered_set<quint32> live;
    live.reserve(std::size_t(list.size()));
    for (int row = 0; row < list.size(); ++row)
        live.insert(list.keyAt(row));
    std::erase_if(m_uids, [&](const auto &known) { return !live.contains(known.first); });
    return applied;
}

void SyncSession::noteListSaved(const EventList &list)
{
    if (!isSetUp())
        return;
    noteSaved(m_state, snapshot(list));
    write();
}

std::optional<EventRecord> SyncSession::localRecordOf(const EventList &list, const QByteArray &uid) const
{
    for (const auto &[key, known] : m_uids) {
        if (known == uid) {
            const int row = list.rowOfKey(key);
            return row < 0 ? std::nullopt : std::optional(list.at(row).toRecord());
        }
    }
    return std::nullopt;
}

bool SyncSession::resolveConflict(EventList &list, const QByteArray &uid, bool keepLocal)
{
    const bool present = std::any_of(m_state.conflicts.begin(), m_state.conflicts.end(),
                                     [&](const Conflict &conflict) { return conflict.uid == uid; });
    if (!present)
        return false;
    const std::optional<EventRecord> server = resolve(m_state, uid, keepLocal);
    if (server) {
        quint32 key = 0;
        for (const auto &[known, itsUid] : m_uids) {
            if (itsUid == uid)
                key = known;
        }
        if (const int row = key ? list.rowOfKey(key) : -1; row >= 0) {
            list.replace(row, *server);
            if (list.autoSort())
                list.sort();
        } else {
            const int added = list.append(*server);
            m_uids[list.keyAt(added)] = uid;
        }
    }
    return true;
}

} // namespace roradaza::sync
