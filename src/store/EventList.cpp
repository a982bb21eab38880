// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/EventList.h"

#include "store/Failure.h"
#include "store/Text.h"

#include <QLocale>

#include <algorithm>
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

// The names of a list as text, all in one block: a sort compares each name
// many times, and a text per record would cost an allocation each.
class NameTexts
{
public:
    explicit NameTexts(const std::vector<EventRecord> &records)
    {
        std::size_t length = 0;
        for (const EventRecord &record : records)
            length += std::size_t(record.name.size());
        m_text.reserve(qsizetype(length));
        m_ends.reserve(records.size());
        for (const EventRecord &record : records) {
            text::appendFromCp1252(record.name, m_text);
            m_ends.push_back(m_text.size());
        }
    }

    QStringView at(std::size_t row) const
    {
        const qsizetype begin = row == 0 ? 0 : m_ends[row - 1];
        return QStringView(m_text).sliced(begin, m_ends[row] - begin);
    }

private:
    QString m_text;
    std::vector<qsizetype> m_ends;
};

// Copying a record counts one more user of its name's heap block, which
// lies anywhere once the list has been sorted: a loop copying many records
// fetches the block a few rows on, so that the misses overlap.
constexpr std::size_t fetchAhead = 8;
void fetchName(const EventRecord &record)
{
    __builtin_prefetch(const_cast<QByteArray &>(record.name).data_ptr().d_ptr(), 1);
}

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

int EventList::append(EventRecord record)
{
    if (isFull())
        throw Failure(fullListMessage());

    auto at = m_records.end();
    if (m_autoSort) {
        const QString name = text::fromCp1252(record.name);
        at = std::upper_bound(m_records.begin(), m_records.end(), name,
                              [this](const QString &key, const EventRecord &existing) {
                                  return m_order.compare(key, text::fromCp1252(existing.name)) < 0;
                              });
    }
    const int row = int(at - m_records.begin());
    forgetLowered();
    if (m_observer)
        m_observer->beginInsert(row, 1);
    m_keys.insert(m_keys.begin() + row, m_nextKey++);
    m_records.insert(at, std::move(record));
    if (m_observer)
        m_observer->endInsert();
    return row;
}

void EventList::removeAt(int row)
{
    if (m_observer)
        m_observer->beginRemove(row);
    forgetLowered();
    m_records.erase(m_records.begin() + row);
    m_keys.erase(m_keys.begin() + row);
    if (m_observer)
        m_observer->endRemove();
}

void EventList::replace(int row, EventRecord record)
{
    forgetLowered();
    m_records[std::size_t(row)] = std::move(record);
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
    m_records.clear();
    m_keys.clear();
    if (m_observer)
        m_observer->endReset();
}

std::vector<int> EventList::sort()
{
    std::vector<int> oldRowAt(m_records.size());
    std::iota(oldRowAt.begin(), oldRowAt.end(), 0);

    // A list loaded from its own file is already in order, and one edited or
    // written by hand is nearly so: one pass over neighbours finds where each
    // ordered run begins, with two names in hand at a time.
    std::vector<std::size_t> runStarts{0};
    QString previous, current;
    for (std::size_t row = 0; row < m_records.size(); ++row) {
        current.resize(0); // keeps its capacity
        text::appendFromCp1252(m_records[row].name, current);
        if (row > 0 && m_order.compare(current, previous) < 0)
            runStarts.push_back(row);
        std::swap(previous, current);
    }
    if (runStarts.size() == 1)
        return oldRowAt; // in order: every row keeps its place

    // Every name converted once, into one block of text, for the merges.
    const NameTexts names(m_records);
    const auto before = [&](int a, int b) {
        return m_order.compare(names.at(std::size_t(a)), names.at(std::size_t(b))) < 0;
    };

    // Natural merge sort: neighbouring runs are merged in pairs until one is
    // left, n log(runs) comparisons. Merging keeps equal names in order.
    runStarts.push_back(m_records.size());
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

    std::vector<int> newRowOf(m_records.size());
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
        EventRecord moving = std::move(m_records[start]);
        const quint32 movingKey = m_keys[start];
        std::size_t at = start;
        while (true) {
            const auto from = std::size_t(oldRowAt[at]);
            oldRowAt[at] = int(at); // placed
            if (from == start) {
                m_records[at] = std::move(moving);
                m_keys[at] = movingKey;
                break;
            }
            m_records[at] = std::move(m_records[from]);
            m_keys[at] = m_keys[from];
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
    for (const EventRecord &record : m_records)
        length += record.name.size();
    // Offsets of 32 bits hold the names of a full list many times over (a
    // file is at most 32 MiB, a name typed or imported at most 32767 bytes);
    // past that the block stays empty and each name is searched where it lies.
    if (length > qsizetype(std::numeric_limits<quint32>::max()))
        return;
    m_lowered.resize(length);
    m_loweredEnds.reserve(m_records.size());
    char *const block = m_lowered.data();
    quint32 at = 0;
    for (const EventRecord &record : m_records) {
        for (const char c : record.name)
            block[at++] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        m_loweredEnds.push_back(at);
    }
}

std::vector<EventRecord> EventList::matching(QByteArrayView search) const
{
    std::vector<EventRecord> found;
    if (search.isEmpty())
        return found;
    if (!m_loweredValid)
        lowerNames();
    if (m_loweredEnds.size() != m_records.size()) {
        for (const EventRecord &record : m_records) {
            if (text::containsIgnoringAsciiCase(record.name, search))
                found.push_back(record);
        }
        return found;
    }

    // One search over the whole block; a hit that runs from one name into
    // the next is no match, and the search goes on from the byte after it.
    const QByteArray wanted = text::lowerAscii(search);
    const std::string_view names(m_lowered.constData(), std::size_t(m_lowered.size()));
    const std::string_view needle(wanted.constData(), std::size_t(wanted.size()));
    std::vector<std::size_t> rows;
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
    // Copied once each into room of the right size.
    found.reserve(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (k + fetchAhead < rows.size())
            fetchName(m_records[rows[k + fetchAhead]]);
        found.push_back(m_records[rows[k]]);
    }
    return found;
}

void EventList::adopt(EventList &&ordered)
{
    if (m_observer)
        m_observer->beginReset();
    forgetLowered();
    m_records = ordered.takeRecords();
    m_keys.clear();
    giveKeys(m_records.size());
    if (m_observer)
        m_observer->endReset();
}

void EventList::giveKeys(std::size_t count)
{
    for (std::size_t k = 0; k < count; ++k)
        m_keys.push_back(m_nextKey++);
}

int EventList::rowOfKey(quint32 key) const
{
    const auto found = std::find(m_keys.cbegin(), m_keys.cend(), key);
    return found == m_keys.cend() ? -1 : int(found - m_keys.cbegin());
}

int EventList::appendAll(std::vector<EventRecord> records)
{
    const std::size_t room = std::size_t(capacity - size());
    const std::size_t taken = std::min(room, records.size());
    if (taken == 0)
        return 0;
    if (m_observer)
        m_observer->beginInsert(size(), int(taken));
    forgetLowered();
    if (m_records.empty() && taken == records.size())
        m_records = std::move(records);
    else
        m_records.insert(m_records.end(), std::make_move_iterator(records.begin()),
                         std::make_move_iterator(records.begin() + std::ptrdiff_t(taken)));
    giveKeys(taken);
    if (m_observer)
        m_observer->endInsert();
    if (m_autoSort)
        sort();
    return int(taken);
}

} // namespace roradaza
