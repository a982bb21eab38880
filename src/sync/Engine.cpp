// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/Engine.h"

namespace roradaza::sync {

SyncState readSyncState(const QString &)
{
    return {};
}

void writeSyncState(const QString &, const SyncState &) {}

std::vector<QByteArray> matchUids(const SyncState &, const std::vector<EventRecord> &records)
{
    return std::vector<QByteArray>(records.size());
}

void noteSaved(SyncState &, const std::vector<LocalRecord> &) {}

Outcome synchronize(Collection &, SyncState state, const std::vector<LocalRecord> &, QDate, const QDateTime &)
{
    Outcome outcome;
    outcome.state = std::move(state);
    outcome.failure = Failure(Failure::Kind::Other, QStringLiteral("La sincronizzazione non è ancora disponibile."));
    return outcome;
}

std::optional<EventRecord> resolve(SyncState &, const QByteArray &, bool)
{
    return std::nullopt;
}

} // namespace roradaza::sync
