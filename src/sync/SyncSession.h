// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventList.h"
#include "sync/Engine.h"

#include <QString>

#include <optional>
#include <unordered_map>
#include <vector>

// The sync's side of the list in memory: the state kept between syncs, the
// UID each record is known by on the server (followed by the list's keys,
// so that a rename still updates the same event), and how a sync's outcome
// reaches the list. No widgets and no network: the window drives it.
namespace roradaza::sync {

class SyncSession
{
public:
    // Roradaza.sync, beside the list's file.
    static QString statePathFor(const QString &databasePath);

    explicit SyncSession(QString statePath) : m_statePath(std::move(statePath)) {}

    const QString &statePath() const { return m_statePath; }
    // Reads the state file (a missing one is an empty state). Throws a
    // message naming the file when it is damaged; the state is then empty
    // and the sync stays off, so that nothing is sent from a state lost.
    void load();
    // Writes the state file, only once the sync has been set up: a user who
    // never asked for it gets no file of it.
    void write() const;
    bool isSetUp() const { return !m_state.address.isEmpty(); }
    bool isOn() const { return m_state.enabled && isSetUp() && !m_damaged; }

    const SyncState &state() const { return m_state; }
    // The address, the user and on/off as the settings window sets them.
    // Another collection (or another user) starts from nothing: what the
    // state holds belongs to the collection it was made with.
    void configure(const QUrl &address, const QString &user, bool enabled);
    void pin(const QByteArray &fingerprint) { m_state.pinnedFingerprint = fingerprint; }
    Account account(const QString &password) const;

    // The UIDs of a list just loaded, by matching its records with the state.
    void matchList(const EventList &list);
    QByteArray uidOf(quint32 key) const;

    // The list as the sync sees it now.
    std::vector<LocalRecord> snapshot(const EventList &list) const;

    // What applying an outcome did to the list.
    struct Applied
    {
        int changed = 0; // records replaced, removed or added
        int kept = 0;    // changes not made: the user changed or deleted that record meanwhile
    };
    // A sync's outcome: the state is taken whatever happened (it records
    // every action already done); the list is changed only when the sync
    // went through, and a record the user changed or deleted since sent
    // stays as the user has it, for the next sync to see.
    Applied apply(EventList &list, const std::vector<LocalRecord> &sent, Outcome outcome);

    // After the list was saved: the state learns what the file now holds.
    void noteListSaved(const EventList &list);

    // The user's choice in a conflict; the list takes the server's version
    // when that was chosen. False when the conflict is no longer there.
    bool resolveConflict(EventList &list, const QByteArray &uid, bool keepLocal);
    // The record of the list known by uid, if it is there.
    std::optional<EventRecord> localRecordOf(const EventList &list, const QByteArray &uid) const;

private:
    QString m_statePath;
    SyncState m_state;
    bool m_damaged = false;
    std::unordered_map<quint32, QByteArray> m_uids; // key -> UID
};

} // namespace roradaza::sync
