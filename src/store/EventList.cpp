// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/EventList.h"

#include "store/Failure.h"
#include "store/Text.h"

#include <QLocale>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <string_view>

namespace roradaza {
namespace {

QLocale collationLocale()
{
    const QLocale system = QLocale::system();
    if (system.language() == QLocale::C)
        return QLocale(QLocale::Italian, QLocale::Italy);
    return system;
}

// Every field of a record, in the order they lie in the block.
std::array<QByteArrayView, 5> fieldsOf(const RecordView &record)
{
    return {record.name, record.month, record.day, record.advance, record.year};
}

qsizetype textSize(const RecordView &record)
{
    qsizetype size = 0;
    for (const QByteArrayView field : fieldsOf(record))
        size += field.size();
    return size;
}

// The most text a block holds: offsets are 32 bits.
constexpr qsizetype maxBlock = qsizetype(std::numeric_limits<quint32>::max());

} // namespace

NameOrder::NameOrder() : m_collator(collationLocale())
{
    m_collator.setCaseSensitivity(Qt::CaseSensitive);
}

int NameOrder::compare(QByteArrayView a, QByteArrayView b) const
{
    return m_collator.compare(text::fromCp1252(a), text::fromCp1252(b));
}

QString fullListMessage()
{
    return QStringLiteral("L'elenco contiene già %1 eventi, il massimo: non se ne possono aggiungere altri.")
        .arg(EventList::capacity);
}

EventList::Entry EventList::entryOf(quint32 start, const RecordView &record, WideSizes &wideSizes)
{
    Entry entry;
    entry.start = start;
    entry.nameSize = quint32(record.name.size());
    const std::array<qsizetype, 4> sizes = {record.month.size(), record.day.size(), record.advance.size(),
                                            record.year.size()};
    if (std::all_of(sizes.begin(), sizes.end(), [](qsizetype size) { return size < wide; })) {
        for (std::size_t field = 0; field < sizes.size(); ++field)
            entry.sizes[field] = quint8(sizes[field]);
    } else {
        entry.sizes[0] = wide;
        wideSizes[start] = {quint32(sizes[0]), quint32(sizes[1]), quint32(sizes[2]), quint32(sizes[3])};
    }
    return entry;
}

RecordView EventList::wideView(const Entry &entry, const char *at) const
{
    const std::array<quint32, 4> &sizes = m_wide.at(entry.start);
    RecordView record;
    record.name = QByteArrayView(at, entry.nameSize);
    at += entry.nameSize;
    record.month = QByteArrayView(at, sizes[0]);
    at += sizes[0];
    record.day = QByteArrayView(at, sizes[1]);
    at += sizes[1];
    record.advance = QByteArrayView(at, sizes[2]);
    at += sizes[2];
    record.year = QByteArrayView(at, sizes[3]);
    return record;
}

EventList::Entry EventList::store(const RecordView &record)
{
    // A view of this list's own text would move with the block as it grows:
    // such a record is copied out first.
    const std::less<const char *> before;
    const char *const begin = m_block.constData();
    const char *const end = begin + m_block.size();
    for (const QByteArrayView field : fieldsOf(record)) {
        if (!field.isEmpty() && !before(field.data(), begin) && before(field.data(), end))
            return store(RecordView(record.toRecord()));
    }
    const qsizetype size = textSize(record);
    dropUnused(size);
    if (m_block.size() + size > maxBlock)
        throw Failure(fullListMessage());
    const auto start = quint32(m_block.size());
    for (const QByteArrayView field : fieldsOf(record))
        m_block.append(field);
    return entryOf(start, record, m_wide);
}

void EventList::dropUnused(qsizetype incoming)
{
    const qsizetype used = m_block.size() - m_unused;
    if (m_unused == 0 || (m_unused < std::max<qsizetype>(used, 64 * 1024) && m_block.size() + incoming <= maxBlock))
        return;
    // Rewritten in row order, which is also the order a check pass reads it.
    QByteArray block;
    block.reserve(used + incoming);
    WideSizes wideSizes;
    for (Entry &entry : m_entries) {
        const RecordView record = view(entry);
        const auto start = quint32(block.size());
        for (const QByteArrayView field : fieldsOf(record))
            block.append(field);
        const quint32 key = entry.key;
        entry = entryOf(start, record, wideSizes);
        entry.key = key;
    }
    m_block = std::move(block);
    m_wide = std::move(wideSizes);
    m_unused = 0;
}

void EventList::giveKeys(std::size_t first)
{
    for (std::size_t row = first; row < m_entries.size(); ++row)
        m_entries[row].key = m_nextKey++;
}

int EventList::rowOfKey(quint32 key) const
{
    const auto found =
        std::find_if(m_entries.cbegin(), m_entries.cend(), [key](const Entry &entry) { return entry.key == key; });
    return found == m_entries.cend() ? -1 : int(found - m_entries.cbegin());
}

std::vector<EventRecord> EventList::copies() const
{
    std::vector<EventRecord> records;
    records.reserve(m_entries.size());
    for (const RecordView record : this->records())
        records.push_back(record.toRecord());
    return records;
}

int EventList::append(RecordView record)
{
    if (isFull())
        throw Failure(fullListMessage());

    auto at = m_entries.end();
    if (m_autoSort) {
        const QString name = text::fromCp1252(record.name);
        QString existingName;
        at = std::upper_bound(m_entries.begin(), m_entries.end(), name, [&](const QString &key, const Entry &existing) {
            existingName.resize(0);
            text::appendFromCp1252(view(existing).name, existingName);
            return m_order.compare(key, existingName) < 0;
        });
    }
    const int row = int(at - m_entries.begin());
    Entry entry = store(record);
    entry.key = m_nextKey++;
    forgetLowered();
    if (m_observer)
        m_observer->beginInsert(row, 1);
    m_entries.insert(m_entries.begin() + row, entry);
    if (m_observer)
        m_observer->endInsert();
    return row;
}

void EventList::removeAt(int row)
{
    if (m_observer)
        m_observer->beginRemove(row);
    forgetLowered();
    m_unused += textSize(at(row));
    m_entries.erase(m_entries.begin() + row);
    if (m_observer)
        m_observer->endRemove();
}

void EventList::replace(int row, RecordView record)
{
    forgetLowered();
    const qsizetype replaced = textSize(at(row));
    Entry entry = store(record);
    entry.key = m_entries[std::size_t(row)].key;
    m_entries[std::size_t(row)] = entry;
    m_unused += replaced;
    if (m_observer)
        m_observer->rowChanged(row);
}

void EventList::clear()
{
    if (m_observer)
        m_observer->beginReset();
    forgetLowered();
    m_lowered = QByteArray();
    m_loweredEnds = {};
    m_block = QByteArray();
    m_entries = {};
    m_wide = {};
    m_unused = 0;
    if (m_observer)
        m_observer->endReset();
}

std::vector<int> EventList::sort()
{
    std::vector<int> oldRowAt(m_entries.size());
    std::iota(oldRowAt.begin(), oldRowAt.end(), 0);

    // A list loaded from its own file is already in order, and one edited or
    // written by hand is nearly so: one pass over neighbours finds where each
    // ordered run begins, with two names in hand at a time.
    std::vector<std::size_t> runStarts{0};
    QString previous, current;
    for (std::size_t row = 0; row < m_entries.size(); ++row) {
        current.resize(0); // keeps its capacity
        text::appendFromCp1252(view(m_entries[row]).name, current);
        if (row > 0 && m_order.compare(current, previous) < 0)
            runStarts.push_back(row);
        std::swap(previous, current);
    }
    if (runStarts.size() == 1)
        return oldRowAt; // in order: every row keeps its place

    // No second copy of every name: each comparison takes its names as text
    // from two buffers. A merge compares one name with several in a row, so
    // a name still in a buffer is not converted again.
    std::array<std::pair<int, QString>, 2> converted{std::pair{-1, std::move(previous)},
                                                     std::pair{-1, std::move(current)}};
    const auto textOf = [&](int row, std::size_t keep) -> std::size_t {
        for (std::size_t slot = 0; slot < converted.size(); ++slot) {
            if (converted[slot].first == row)
                return slot;
        }
        const std::size_t slot = keep == 0 ? 1 : 0;
        converted[slot].first = row;
        converted[slot].second.resize(0);
        text::appendFromCp1252(view(m_entries[std::size_t(row)]).name, converted[slot].second);
        return slot;
    };
    const auto before = [&](int a, int b) {
        // The first name may take either buffer; the second never the first's.
        const std::size_t first = textOf(a, converted[0].first == b ? 0 : 1);
        const std::size_t second = textOf(b, first);
        return m_order.compare(converted[first].second, converted[second].second) < 0;
    };
    // Natural merge sort: neighbouring runs are merged in pairs until one is
    // left, n log(runs) comparisons. Merging keeps equal names in order.
    runStarts.push_back(m_entries.size());
    while (runStarts.size() > 2) {
        std::vector<std::size_t> merged;
        merged.reserve(runStarts.size() / 2 + 2);
        std::size_t run = 0;
        for (; run + 2 < runStarts.size(); run += 2) {
            const auto at = [&](std::size_t index) { return oldRowAt.begin() + std::ptrdiff_t(runStarts[index]); };
            std::inplace_merge(at(run), at(run + 1), at(run + 2), before);
            merged.push_back(runStarts[run]);
        }
        // An odd run out waits for the next round.
        for (; run < runStarts.size(); ++run)
            merged.push_back(runStarts[run]);
        runStarts = std::move(merged);
    }

    std::vector<int> newRowOf(m_entries.size());
    for (std::size_t newRow = 0; newRow < oldRowAt.size(); ++newRow)
        newRowOf[std::size_t(oldRowAt[newRow])] = int(newRow);
    if (std::is_sorted(oldRowAt.begin(), oldRowAt.end()))
        return newRowOf;

    forgetLowered();
    if (m_observer)
        m_observer->beginReorder();
    // In place, one cycle of the permutation at a time: a second vector of
    // every record would double the list's memory at its largest.
    for (std::size_t start = 0; start < oldRowAt.size(); ++start) {
        if (oldRowAt[start] == int(start))
            continue;
        const Entry moving = m_entries[start];
        std::size_t at = start;
        while (true) {
            const auto from = std::size_t(oldRowAt[at]);
            oldRowAt[at] = int(at); // placed
            if (from == start) {
                m_entries[at] = moving;
                break;
            }
            m_entries[at] = m_entries[from];
            at = from;
        }
    }
    if (m_observer)
        m_observer->endReorder(newRowOf);
    return newRowOf;
}

void EventList::forgetLowered() const
{
    m_loweredValid = false;
}

void EventList::lowerNames() const
{
    m_lowered.resize(0);
    m_loweredEnds.clear();
    m_loweredValid = true;
    qsizetype length = 0;
    for (const Entry &entry : m_entries)
        length += entry.nameSize;
    // Offsets of 32 bits hold the names of a full list many times over (a
    // file is at most 32 MiB, a name typed or imported at most 32767 bytes);
    // past that the block stays empty and each name is searched where it lies.
    if (length > qsizetype(std::numeric_limits<quint32>::max()))
        return;
    m_lowered.resize(length);
    m_loweredEnds.reserve(m_entries.size());
    char *const block = m_lowered.data();
    quint32 at = 0;
    for (const Entry &entry : m_entries) {
        for (const char c : QByteArrayView(m_block.constData() + entry.start, entry.nameSize))
            block[at++] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        m_loweredEnds.push_back(at);
    }
}

EventList EventList::matching(QByteArrayView search) const
{
    EventList found;
    found.setAutoSort(false);
    if (search.isEmpty())
        return found;
    if (!m_loweredValid)
        lowerNames();
    std::vector<std::size_t> rows;
    if (m_loweredEnds.size() != m_entries.size()) {
        for (std::size_t row = 0; row < m_entries.size(); ++row) {
            if (text::containsIgnoringAsciiCase(view(m_entries[row]).name, search))
                rows.push_back(row);
        }
    } else {
        // One search over the whole block; a hit that runs from one name into
        // the next is no match, and the search goes on from the byte after it.
        const QByteArray wanted = text::lowerAscii(search);
        const std::string_view names(m_lowered.constData(), std::size_t(m_lowered.size()));
        const std::string_view needle(wanted.constData(), std::size_t(wanted.size()));
        auto end = m_loweredEnds.cbegin();
        for (std::size_t at = names.find(needle); at != std::string_view::npos;) {
            // The name the hit begins in: the first whose end lies beyond it.
            end = std::upper_bound(end, m_loweredEnds.cend(), quint32(at));
            if (at + needle.size() <= *end) {
                rows.push_back(std::size_t(end - m_loweredEnds.cbegin()));
                at = names.find(needle, *end);
            } else {
                at = names.find(needle, at + 1);
            }
        }
    }
    if (rows.empty())
        return found;
    // The records found share this list's block, which is copied only when
    // either list next adds to it: a search copies no text.
    found.m_block = m_block;
    found.m_entries.reserve(rows.size());
    qsizetype used = 0;
    for (const std::size_t row : rows) {
        const Entry &entry = m_entries[row];
        if (entry.sizes[0] == wide)
            found.m_wide.emplace(entry.start, m_wide.at(entry.start));
        used += textSize(view(entry));
        found.m_entries.push_back(entry);
    }
    found.m_unused = found.m_block.size() - used;
    found.giveKeys(0);
    return found;
}

void EventList::adopt(EventList &&ordered)
{
    if (m_observer)
        m_observer->beginReset();
    forgetLowered();
    EventList taken = ordered.takeRecords();
    m_block = std::move(taken.m_block);
    m_entries = std::move(taken.m_entries);
    giveKeys(0);
    m_wide = std::move(taken.m_wide);
    m_unused = taken.m_unused;
    if (m_observer)
        m_observer->endReset();
}

EventList EventList::takeRecords()
{
    forgetLowered();
    EventList taken;
    taken.m_block = std::exchange(m_block, {});
    taken.m_entries = std::exchange(m_entries, {});
    taken.m_nextKey = m_nextKey;
    taken.m_wide = std::exchange(m_wide, {});
    taken.m_unused = std::exchange(m_unused, 0);
    return taken;
}

int EventList::appendAll(const std::vector<EventRecord> &records)
{
    const std::size_t room = std::size_t(capacity - size());
    const std::size_t taken = std::min(room, records.size());
    if (taken == 0)
        return 0;
    qsizetype size = m_block.size();
    for (std::size_t k = 0; k < taken; ++k)
        size += textSize(records[k]);
    if (m_observer)
        m_observer->beginInsert(this->size(), int(taken));
    forgetLowered();
    m_block.reserve(std::min(size, maxBlock));
    const std::size_t first = m_entries.size();
    m_entries.reserve(first + taken);
    for (std::size_t k = 0; k < taken; ++k)
        m_entries.push_back(store(records[k]));
    giveKeys(first);
    if (m_observer)
        m_observer->endInsert();
    if (m_autoSort)
        sort();
    return int(taken);
}

int EventList::appendAll(EventList &&records)
{
    const std::size_t room = std::size_t(capacity - size());
    const std::size_t taken = std::min(room, records.m_entries.size());
    if (taken == 0)
        return 0;
    if (m_observer)
        m_observer->beginInsert(size(), int(taken));
    forgetLowered();
    const std::size_t first = m_entries.size();
    if (m_entries.empty() && taken == records.m_entries.size()) {
        EventList moved = records.takeRecords();
        m_block = std::move(moved.m_block);
        m_entries = std::move(moved.m_entries);
        m_wide = std::move(moved.m_wide);
        m_unused = moved.m_unused;
    } else {
        m_entries.reserve(m_entries.size() + taken);
        for (std::size_t k = 0; k < taken; ++k)
            m_entries.push_back(store(records.view(records.m_entries[k])));
    }
    giveKeys(first);
    if (m_observer)
        m_observer->endInsert();
    if (m_autoSort)
        sort();
    return int(taken);
}

EventList::InPlaceBuilder::InPlaceBuilder(QByteArray bytes) : m_block(std::move(bytes))
{
    // Made the builder's own now, before the reader takes any view of it.
    m_data = m_block.data();
}

void EventList::InPlaceBuilder::place(const RecordView &fields)
{
    const quint32 start = m_end;
    for (const QByteArrayView field : fieldsOf(fields)) {
        Q_ASSERT(field.isEmpty() ||
                 (field.data() >= m_data + m_end && field.data() + field.size() <= m_data + m_block.size()));
        std::memmove(m_data + m_end, field.data(), std::size_t(field.size()));
        m_end += quint32(field.size());
    }
    m_entries.push_back(entryOf(start, fields, m_wide));
}

EventList EventList::InPlaceBuilder::finish() &&
{
    // The line breaks passed over are let go.
    m_block.resize(m_end);
    m_block.squeeze();
    EventList list;
    list.setAutoSort(false);
    list.m_block = std::move(m_block);
    list.m_entries = std::move(m_entries);
    list.giveKeys(0);
    list.m_wide = std::move(m_wide);
    return list;
}

} // namespace roradaza
