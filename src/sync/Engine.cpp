// SPDX-License-Identifier: GPL-3.0-or-later
// The two-way sync keeps, for every event, the record both sides agreed on
// at the last sync and the server's ETag then. A side whose record (here) or
// ETag (there) differs from that changed; a side that no longer has it
// deleted it. Writes to the server are recorded in the state as they happen;
// what the server's changes do to the list is recorded only once the whole
// sync went through, since only then does the caller put it in the list.

#include "sync/Engine.h"

#include "store/Text.h"

#include <QHash>
#include <QUuid>

#include <functional>
#include <unordered_map>

namespace roradaza::sync {
namespace {

struct RecordHash
{
    std::size_t operator()(const EventRecord &record) const noexcept
    {
        return qHashMulti(0, record.name, record.month, record.day, record.advance, record.year);
    }
};

// Items of the state by the record they were last saved or synced as, each
// taken once, first come first served.
using RecordIndex = std::unordered_map<EventRecord, std::vector<std::size_t>, RecordHash>;

bool noRecord(const EventRecord &record)
{
    return record == EventRecord{};
}

QByteArray newUid()
{
    return QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "@roradaza";
}

// Hrefs are fetched this many at a time, so that no answer grows with the list.
constexpr std::size_t fetchBatch = 500;

// What the server holds of an item, as this sync found it.
struct ServerSide
{
    enum class State { Same, Changed, Gone } state = State::Same;
    QByteArray etag;
    std::optional<EventRecord> record; // Changed: the record, or none when it cannot be one
    exchange::Refusal refused;
};

class Sync
{
public:
    Sync(Collection &server, Outcome &outcome, const std::vector<LocalRecord> &local, QDate today,
         const QDateTime &stamp)
        : m_server(server), m_outcome(outcome), m_state(outcome.state), m_local(local), m_today(today), m_stamp(stamp)
    {}

    void run()
    {
        indexState();
        const Changes changes = m_server.changesSince(m_state.token);
        readChanges(changes);
        fetchChanged();
        claimLocal();
        decide();
        // Every write the server took is in the state by now; what follows
        // only holds when the list takes the changes too.
        finish(changes.token);
    }

private:
    void indexState()
    {
        m_byUid.reserve(qsizetype(m_state.items.size()));
        m_byHref.reserve(qsizetype(m_state.items.size()));
        for (std::size_t i = 0; i < m_state.items.size(); ++i) {
            m_byUid.insert(m_state.items[i].uid, i);
            m_byHref.insert(hrefKey(m_state.items[i].href), i);
        }
        for (std::size_t i = 0; i < m_state.leftOnServer.size(); ++i)
            m_leftByHref.insert(hrefKey(m_state.leftOnServer[i].href), i);
        for (std::size_t c = 0; c < m_state.conflicts.size(); ++c)
            m_conflictOf.insert(m_state.conflicts[c].uid, c);
        m_server_.resize(m_state.items.size());
        m_seen.assign(m_state.items.size(), false);
        m_gone.assign(m_state.items.size(), false);
        m_localOf.assign(m_state.items.size(), -1);
        m_leftSeen.assign(m_state.leftOnServer.size(), false);
        m_leftDropped.assign(m_state.leftOnServer.size(), false);
    }

    void readChanges(const Changes &changes)
    {
        for (const ItemTag &tag : changes.changed) {
            const QString key = hrefKey(tag.href);
            if (const auto found = m_byHref.constFind(key); found != m_byHref.cend()) {
                const std::size_t i = *found;
                m_seen[i] = true;
                if (tag.etag != m_state.items[i].etag || tag.etag.isEmpty()) {
                    m_server_[i].state = ServerSide::State::Changed;
                    m_server_[i].etag = tag.etag;
                    toFetch(tag.href);
                }
            } else if (const auto left = m_leftByHref.constFind(key); left != m_leftByHref.cend()) {
                m_leftSeen[*left] = true;
                // Changed there: perhaps it can become a record now.
                if (tag.etag != m_state.leftOnServer[*left].etag || tag.etag.isEmpty())
                    toFetch(tag.href);
            } else {
                toFetch(tag.href);
            }
        }
        for (const QString &href : changes.removed) {
            const QString key = hrefKey(href);
            if (const auto found = m_byHref.constFind(key); found != m_byHref.cend())
                m_server_[*found].state = ServerSide::State::Gone;
            else if (const auto left = m_leftByHref.constFind(key); left != m_leftByHref.cend())
                m_leftDropped[*left] = true;
        }
        for (std::size_t i = 0; i < m_state.items.size(); ++i) {
            if (m_seen[i] || m_server_[i].state != ServerSide::State::Same)
                continue;
            if (changes.complete) {
                m_server_[i].state = ServerSide::State::Gone;
            } else if (m_state.items[i].etag.isEmpty()) {
                // Sent without an answer seen: whether the server has it is asked.
                m_server_[i].state = ServerSide::State::Changed;
                toFetch(m_state.items[i].href);
            }
        }
        if (changes.complete) {
            for (std::size_t i = 0; i < m_state.leftOnServer.size(); ++i)
                m_leftDropped[i] = m_leftDropped[i] || !m_leftSeen[i];
        }
    }

    void fetchChanged()
    {
        QHash<QString, bool> answered;
        for (std::size_t from = 0; from < m_toFetch.size(); from += fetchBatch) {
            const std::vector<QString> batch(m_toFetch.begin() + std::ptrdiff_t(from),
                                             m_toFetch.begin() +
                                                 std::ptrdiff_t(std::min(m_toFetch.size(), from + fetchBatch)));
            for (const Item &item : m_server.fetch(batch)) {
                if (m_queued.contains(hrefKey(item.href)) && !answered.contains(hrefKey(item.href))) {
                    answered.insert(hrefKey(item.href), true);
                    take(item);
                }
            }
        }
        for (const QString &href : m_toFetch) {
            const QString key = hrefKey(href);
            if (answered.contains(key))
                continue;
            // Gone between the listing and the fetch.
            if (const auto found = m_byHref.constFind(key);
                found != m_byHref.cend() && hrefKey(m_state.items[*found].href) == key)
                m_server_[*found].state = ServerSide::State::Gone;
            else if (const auto left = m_leftByHref.constFind(key); left != m_leftByHref.cend())
                m_leftDropped[*left] = true;
        }
    }

    void toFetch(const QString &href)
    {
        if (!m_queued.contains(hrefKey(href))) {
            m_queued.insert(hrefKey(href), true);
            m_toFetch.push_back(href);
        }
    }

    // A server may write a path's characters escaped or not, and differently
    // in a listing than in the path given: a path is known by its characters.
    static QString hrefKey(const QString &href)
    {
        return href.contains(u'%') ? QUrl::fromPercentEncoding(href.toUtf8()) : href;
    }

    // One fetched resource: an item's new version, a new event, or one
    // left on the server before.
    void take(const Item &item)
    {
        exchange::EventReading reading = exchange::readEvent(item.body);
        auto found = m_byHref.constFind(hrefKey(item.href));
        // An event the server now keeps at another path: the same event.
        if (const auto moved = m_byUid.constFind(reading.uid); found == m_byHref.cend() && reading.record &&
                                                               moved != m_byUid.cend() &&
                                                               m_server_[*moved].state == ServerSide::State::Gone) {
            m_state.items[*moved].href = item.href;
            found = m_byHref.insert(hrefKey(item.href), *moved);
        }
        if (found != m_byHref.cend()) {
            m_server_[*found] = {ServerSide::State::Changed, item.etag, std::move(reading.record),
                                 named(reading.refused, item.href)};
            return;
        }
        if (const auto left = m_leftByHref.constFind(hrefKey(item.href)); left != m_leftByHref.cend())
            m_leftDropped[*left] = true; // taken again below, as it is now
        if (reading.record && !m_byUid.contains(reading.uid) && !m_newUids.contains(reading.uid)) {
            m_newUids.insert(reading.uid, true);
            m_arrived.push_back({reading.uid, item.href, item.etag, *reading.record, *reading.record});
            return;
        }
        if (reading.record)
            reading.refused = {exchange::shownName(text::fromCp1252(reading.record->name)),
                               QStringLiteral("ha lo stesso UID di un altro evento del calendario")};
        m_newLeft.push_back(leftOf(item.href, item.etag, named(reading.refused, item.href)));
    }

    static exchange::Refusal named(exchange::Refusal refusal, const QString &href)
    {
        // Without a title, the resource's own name says which it is.
        if (refusal.what.isEmpty())
            refusal.what = QUrl::fromPercentEncoding(href.section(u'/', -1, -1, QString::SectionSkipEmpty).toUtf8());
        return refusal;
    }

    static ServerOnly leftOf(const QString &href, const QByteArray &etag, const exchange::Refusal &refused)
    {
        return {href, etag, refused.what, refused.why};
    }

    // Which record of the list each item is: by its UID, else (a record
    // whose new UID never reached the list, as after a failed sync) by the
    // record the item was sent as.
    void claimLocal()
    {
        std::vector<std::size_t> unknown;
        for (std::size_t l = 0; l < m_local.size(); ++l) {
            const auto found = m_local[l].uid.isEmpty() ? m_byUid.cend() : m_byUid.constFind(m_local[l].uid);
            if (found != m_byUid.cend() && m_localOf[*found] < 0)
                m_localOf[*found] = std::ptrdiff_t(l);
            else
                unknown.push_back(l);
        }
        RecordIndex unclaimed;
        for (std::size_t i = m_state.items.size(); i-- > 0;) {
            if (m_localOf[i] < 0)
                unclaimed[m_state.items[i].synced].push_back(i);
        }
        for (const std::size_t l : unknown) {
            const auto found = unclaimed.find(m_local[l].record);
            if (found != unclaimed.end() && !found->second.empty()) {
                const std::size_t i = found->second.back();
                found->second.pop_back();
                m_localOf[i] = std::ptrdiff_t(l);
                m_outcome.uidsGiven.emplace_back(m_local[l].key, m_state.items[i].uid);
            } else {
                m_fresh.push_back(l);
            }
        }
    }

    const LocalRecord *localOf(std::size_t i) const
    {
        return m_localOf[i] < 0 ? nullptr : &m_local[std::size_t(m_localOf[i])];
    }

    Conflict *conflictOf(const QByteArray &uid)
    {
        const auto found = m_conflictOf.constFind(uid);
        return found == m_conflictOf.cend() ? nullptr : &m_state.conflicts[*found];
    }

    void addConflict(Conflict conflict)
    {
        dropConflict(conflict.uid);
        m_conflictOf.insert(conflict.uid, m_state.conflicts.size());
        m_state.conflicts.push_back(std::move(conflict));
    }

    // Marked here, taken out of the state once at the end: a sync of many
    // conflicts stays linear.
    void dropConflict(const QByteArray &uid)
    {
        if (const auto found = m_conflictOf.constFind(uid); found != m_conflictOf.cend()) {
            m_state.conflicts[*found].uid.clear();
            m_conflictOf.erase(found);
        }
    }

    void decide()
    {

        const std::size_t known = m_state.items.size();
        for (std::size_t i = 0; i < known; ++i) {
            const LocalRecord *local = localOf(i);
            const ServerSide side = m_server_[i];
            if (const auto c = m_conflictOf.constFind(m_state.items[i].uid); c != m_conflictOf.cend()) {
                decideConflict(i, *c, local, side);
                continue;
            }
            const bool localChanged = local && local->record != m_state.items[i].synced;
            switch (side.state) {
            case ServerSide::State::Same:
                if (!local)
                    removeThere(i);
                else if (localChanged)
                    updateThere(i, *local);
                break;
            case ServerSide::State::Changed:
                serverChanged(i, local, localChanged, side);
                break;
            case ServerSide::State::Gone:
                // An event sent without an answer seen and not there is sent again.
                if (local && (localChanged || m_state.items[i].etag.isEmpty()))
                    createThere(local, i);
                else
                    later([this, i, local] {
                        if (local)
                            m_outcome.removed.push_back(local->key);
                        dropItem(i);
                    });
                break;
            }
        }
        // A record already on both sides (a copy of the list on a second
        // machine, a calendar uploaded before) is paired, not doubled.
        RecordIndex arrivedAs;
        for (std::size_t k = m_arrived.size(); k-- > 0;)
            arrivedAs[m_arrived[k].synced].push_back(k);
        std::vector<bool> paired(m_arrived.size(), false);
        for (const std::size_t l : m_fresh) {
            const auto found = arrivedAs.find(m_local[l].record);
            if (found == arrivedAs.end() || found->second.empty()) {
                createThere(&m_local[l], std::nullopt);
                continue;
            }
            const std::size_t k = found->second.back();
            found->second.pop_back();
            paired[k] = true;
            later([this, k, key = m_local[l].key] {
                m_outcome.uidsGiven.emplace_back(key, m_arrived[k].uid);
                m_state.items.push_back(m_arrived[k]);
            });
        }
        for (std::size_t k = 0; k < m_arrived.size(); ++k) {
            if (paired[k])
                continue;
            later([this, k] {
                m_outcome.added.emplace_back(m_arrived[k].uid, m_arrived[k].synced);
                m_state.items.push_back(m_arrived[k]);
            });
        }
    }

    // Both sides changed, or the server changed and the list no longer
    // has it: the server's version, unless that cannot become a record.
    void serverChanged(std::size_t i, const LocalRecord *local, bool localChanged, const ServerSide &side)
    {
        if (!side.record) {
            if (local && localChanged) {
                // A change made here is not lost with it: it goes up as an
                // event of its own, and the old one is left at once, so
                // that a sync failing after this create does not repeat it.
                leaveThere(i, side);
                createThere(local, std::nullopt);
                return;
            }
            later([this, i, local, side] {
                if (local)
                    m_outcome.removed.push_back(local->key);
                leaveThere(i, side);
            });
            return;
        }
        const EventRecord record = *side.record;
        later([this, i, local, localChanged, side, record] {
            SyncedItem &item = m_state.items[i];
            item.etag = side.etag;
            if (!local) {
                // Deleted here, changed there: the change is kept.
                m_outcome.added.emplace_back(item.uid, record);
            } else if (!localChanged) {
                if (record != local->record)
                    m_outcome.replaced.emplace_back(local->key, record);
            } else if (record != local->record) {
                addConflict({item.uid, record, side.etag});
                return;
            }
            item.synced = record;
            item.saved = record;
        });
    }

    void decideConflict(std::size_t i, std::size_t c, const LocalRecord *local, const ServerSide &side)
    {
        const QByteArray uid = m_state.items[i].uid;
        if (side.state == ServerSide::State::Gone || (side.state == ServerSide::State::Changed && !side.record)) {
            dropConflict(uid);
            if (side.state == ServerSide::State::Gone) {
                if (local)
                    createThere(local, i); // kept here, the only version left
                else
                    later([this, i] { dropItem(i); });
            } else {
                serverChanged(i, local, true, side);
            }
            return;
        }
        if (side.state == ServerSide::State::Changed) {
            later([this, i, uid, side, local] {
                SyncedItem &item = m_state.items[i];
                item.etag = side.etag;
                // The server now says what the list says: nothing is left to choose.
                if (local && *side.record == local->record) {
                    item.synced = item.saved = *side.record;
                    dropConflict(uid);
                } else if (Conflict *conflict = conflictOf(uid)) {
                    conflict->server = *side.record;
                    conflict->etag = side.etag;
                }
            });
        }
        if (!local) {
            // Deleted here while the server's version waited: that version comes back.
            const Conflict conflict = m_state.conflicts[c];
            later([this, i, conflict] {
                const EventRecord server =
                    conflictOf(conflict.uid) ? conflictOf(conflict.uid)->server : conflict.server;
                SyncedItem &item = m_state.items[i];
                item.synced = item.saved = server;
                m_outcome.added.emplace_back(item.uid, server);
                dropConflict(item.uid);
            });
        }
    }

    void dropItem(std::size_t i) { m_gone[i] = true; }

    void leaveThere(std::size_t i, const ServerSide &side)
    {
        m_newLeft.push_back(leftOf(m_state.items[i].href, side.etag, side.refused));
        dropConflict(m_state.items[i].uid);
        dropItem(i);
    }

    std::optional<QByteArray> bodyOf(const LocalRecord &local, const QByteArray &uid)
    {
        QString why;
        std::optional<QByteArray> body = exchange::exportEvent(local.record, uid, m_today, m_stamp, why);
        if (!body)
            m_outcome.keptHere.push_back({exchange::shownName(text::fromCp1252(local.record.name)), why});
        return body;
    }

    void updateThere(std::size_t i, const LocalRecord &local)
    {
        SyncedItem &item = m_state.items[i];
        const std::optional<QByteArray> body = bodyOf(local, item.uid);
        if (!body)
            return;
        try {
            item.etag = m_server.update(item.href, *body, item.etag);
            item.synced = local.record;
            ++m_outcome.sent;
        } catch (const Failure &failure) {
            if (failure.kind != Failure::Kind::PreconditionFailed)
                throw;
            changedMeanwhile(i, &local);
        }
    }

    void removeThere(std::size_t i)
    {
        const SyncedItem &item = m_state.items[i];
        try {
            m_server.remove(item.href, item.etag);
            ++m_outcome.sent;
            dropItem(i);
        } catch (const Failure &failure) {
            if (failure.kind != Failure::Kind::PreconditionFailed)
                throw;
            changedMeanwhile(i, nullptr);
        }
    }

    // A 412: the server changed the event since the listing. Its version is
    // fetched and weighed as a change of both sides.
    void changedMeanwhile(std::size_t i, const LocalRecord *local)
    {
        const std::vector<Item> now = m_server.fetch({m_state.items[i].href});
        if (now.empty()) {
            if (local)
                createThere(local, i);
            else
                dropItem(i);
            return;
        }
        serverChanged(i, local, local != nullptr, sideOf(now.front()));
    }

    static ServerSide sideOf(const Item &item)
    {
        exchange::EventReading reading = exchange::readEvent(item.body);
        return {ServerSide::State::Changed, item.etag, std::move(reading.record), named(reading.refused, item.href)};
    }

    // A new event, or one sent again: the item is in the state before the
    // request, so that a create whose answer was lost is found next time
    // instead of sent twice.
    void createThere(const LocalRecord *local, std::optional<std::size_t> known)
    {
        const QByteArray uid = known ? m_state.items[*known].uid : newUid();
        const std::optional<QByteArray> body = bodyOf(*local, uid);
        if (!body)
            return;
        std::size_t i;
        if (known) {
            i = *known;
            m_state.items[i].etag.clear();
        } else {
            i = m_state.items.size();
            const QString href = m_server.hrefFor(uid);
            m_state.items.push_back({uid, href, {}, local->record, local->record});
            m_gone.push_back(false);
            m_outcome.uidsGiven.emplace_back(local->key, uid);
        }
        SyncedItem &item = m_state.items[i];
        item.synced = local->record;
        item.saved = local->record;
        dropConflict(uid);
        try {
            item.etag = m_server.create(item.href, *body);
            ++m_outcome.sent;
        } catch (const Failure &failure) {
            // Put back there meanwhile: weighed as a change of both sides.
            if (failure.kind != Failure::Kind::PreconditionFailed)
                throw;
            const std::vector<Item> now = m_server.fetch({m_state.items[i].href});
            if (now.empty())
                throw;
            serverChanged(i, local, true, sideOf(now.front()));
        }
    }

    void later(std::function<void()> change) { m_later.push_back(std::move(change)); }

    void finish(const QByteArray &token)
    {
        for (const auto &change : m_later)
            change();
        std::vector<ServerOnly> left;
        for (std::size_t i = 0; i < m_state.leftOnServer.size(); ++i) {
            if (!m_leftDropped[i])
                left.push_back(std::move(m_state.leftOnServer[i]));
        }
        for (ServerOnly &added : m_newLeft)
            left.push_back(std::move(added));
        m_state.leftOnServer = std::move(left);
        m_state.token = token;
        m_outcome.received = int(m_outcome.replaced.size() + m_outcome.removed.size() + m_outcome.added.size());
    }

public:
    // The items the server took a deletion of, or that ended otherwise, out
    // of the state; called whether or not the sync went through.
    void compact()
    {
        std::size_t to = 0;
        for (std::size_t i = 0; i < m_state.items.size(); ++i) {
            if (i < m_gone.size() && m_gone[i])
                continue;
            if (to != i)
                m_state.items[to] = std::move(m_state.items[i]);
            ++to;
        }
        m_state.items.resize(to);
        std::erase_if(m_state.conflicts, [](const Conflict &conflict) { return conflict.uid.isEmpty(); });
        if (m_state.conflicts.empty())
            return;
        QHash<QByteArray, bool> uids;
        for (const SyncedItem &item : m_state.items)
            uids.insert(item.uid, true);
        std::erase_if(m_state.conflicts, [&](const Conflict &conflict) { return !uids.contains(conflict.uid); });
    }

    void forgetListChanges()
    {
        m_outcome.replaced.clear();
        m_outcome.removed.clear();
        m_outcome.added.clear();
        m_outcome.uidsGiven.clear();
        m_outcome.received = 0;
    }

private:
    Collection &m_server;
    Outcome &m_outcome;
    SyncState &m_state;
    const std::vector<LocalRecord> &m_local;
    QDate m_today;
    QDateTime m_stamp;

    QHash<QByteArray, std::size_t> m_byUid;
    QHash<QString, std::size_t> m_byHref;
    QHash<QString, std::size_t> m_leftByHref;
    QHash<QByteArray, std::size_t> m_conflictOf;
    std::vector<ServerSide> m_server_;
    std::vector<bool> m_seen;
    std::vector<bool> m_gone;
    std::vector<std::ptrdiff_t> m_localOf;
    std::vector<bool> m_leftSeen;
    std::vector<bool> m_leftDropped;
    std::vector<QString> m_toFetch;
    QHash<QString, bool> m_queued;
    std::vector<SyncedItem> m_arrived;
    QHash<QByteArray, bool> m_newUids;
    std::vector<ServerOnly> m_newLeft;
    std::vector<std::size_t> m_fresh;
    std::vector<std::function<void()>> m_later;
};

} // namespace

std::vector<QByteArray> matchUids(const SyncState &state, const std::vector<EventRecord> &records)
{
    std::vector<QByteArray> uids(records.size());
    RecordIndex bySaved;
    RecordIndex bySynced;
    for (std::size_t i = state.items.size(); i-- > 0;) {
        const SyncedItem &item = state.items[i];
        if (noRecord(item.saved))
            continue; // not in the list when it was last saved
        bySaved[item.saved].push_back(i);
        bySynced[item.synced].push_back(i);
    }
    std::vector<bool> taken(state.items.size(), false);
    const auto takeFrom = [&](RecordIndex &index, const EventRecord &record) -> std::optional<std::size_t> {
        const auto found = index.find(record);
        if (found == index.end())
            return std::nullopt;
        while (!found->second.empty()) {
            const std::size_t i = found->second.back();
            found->second.pop_back();
            if (!taken[i]) {
                taken[i] = true;
                return i;
            }
        }
        return std::nullopt;
    };
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (const auto i = takeFrom(bySaved, records[r]))
            uids[r] = state.items[*i].uid;
    }
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (!uids[r].isEmpty())
            continue;
        if (const auto i = takeFrom(bySynced, records[r]))
            uids[r] = state.items[*i].uid;
    }
    return uids;
}

void noteSaved(SyncState &state, const std::vector<LocalRecord> &local)
{
    QHash<QByteArray, std::size_t> byUid;
    byUid.reserve(qsizetype(local.size()));
    for (std::size_t l = 0; l < local.size(); ++l) {
        if (!local[l].uid.isEmpty())
            byUid.insert(local[l].uid, l);
    }
    for (SyncedItem &item : state.items) {
        const auto found = byUid.constFind(item.uid);
        item.saved = found == byUid.cend() ? EventRecord{} : local[*found].record;
    }
}

Outcome synchronize(Collection &server, SyncState state, const std::vector<LocalRecord> &local, QDate today,
                    const QDateTime &stamp)
{
    Outcome outcome;
    outcome.state = std::move(state);
    Sync sync(server, outcome, local, today, stamp);
    try {
        sync.run();
    } catch (const Failure &failure) {
        outcome.failure = failure;
        sync.forgetListChanges();
    }
    sync.compact();
    for (const ServerOnly &left : outcome.state.leftOnServer)
        outcome.leftOnServer.push_back({left.what, left.why});
    return outcome;
}

void notTaken(SyncState &state, const QByteArray &uid)
{
    // An unknown ETag has the next sync fetch the event and compare it anew.
    for (SyncedItem &item : state.items) {
        if (item.uid == uid)
            item.etag.clear();
    }
}

std::optional<EventRecord> resolve(SyncState &state, const QByteArray &uid, bool keepLocal)
{
    const auto conflict = std::find_if(state.conflicts.begin(), state.conflicts.end(),
                                       [&](const Conflict &each) { return each.uid == uid; });
    if (conflict == state.conflicts.end())
        return std::nullopt;
    const Conflict chosen = *conflict;
    state.conflicts.erase(conflict);
    for (SyncedItem &item : state.items) {
        if (item.uid != uid)
            continue;
        // The server's version becomes the agreed one: kept here, the local
        // record differs from it and goes up over it (If-Match its ETag).
        item.synced = chosen.server;
        item.saved = keepLocal ? item.saved : chosen.server;
        item.etag = chosen.etag;
    }
    if (keepLocal)
        return std::nullopt;
    return chosen.server;
}

} // namespace roradaza::sync
