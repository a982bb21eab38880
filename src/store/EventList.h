// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventRecord.h"

#include <QCollator>

#include <utility>
#include <vector>

namespace roradaza {

// Told of every change, so that a view over the list can follow it.
class EventListObserver
{
public:
    virtual ~EventListObserver() = default;
    // count records go in, the first at row.
    virtual void beginInsert(int row, int count) = 0;
    virtual void endInsert() = 0;
    virtual void beginRemove(int row) = 0;
    virtual void endRemove() = 0;
    virtual void rowChanged(int row) = 0;
    virtual void beginReorder() = 0;
    // newRowOf[oldRow] gives each record's place after the reorder.
    virtual void endReorder(const std::vector<int> &newRowOf) = 0;
    virtual void beginReset() = 0;
    virtual void endReset() = 0;
};

// The order of names: case ignored first, a lower-case letter before the same
// capital only when the names are otherwise equal (andrea < Andrea < anna).
// Uses the user's locale, and Italian when that is C or POSIX.
class NameOrder
{
public:
    NameOrder();
    int compare(QByteArrayView a, QByteArrayView b) const;
    int compare(QStringView a, QStringView b) const { return m_collator.compare(a, b); }

private:
    QCollator m_collator;
};

// The event list: every record the program holds, kept in name order while
// automatic sorting is on. Records with equal names keep their relative order.
class EventList
{
public:
    static constexpr int capacity = 65535;

    int size() const { return int(m_records.size()); }
    bool isEmpty() const { return m_records.empty(); }
    bool isFull() const { return size() >= capacity; }
    const EventRecord &at(int row) const { return m_records[std::size_t(row)]; }
    const std::vector<EventRecord> &records() const { return m_records; }

    // A record's key: given when it goes into the list, kept while it is
    // edited or moved by a sort, never given twice in one run. What the sync
    // knows a record by while its fields change.
    quint32 keyAt(int row) const { return m_keys[std::size_t(row)]; }
    // The row of the record with that key, or -1 when it is gone.
    int rowOfKey(quint32 key) const;

    // Adds a record at its place in name order (automatic sorting on) or at
    // the end (off) and gives its row. A full list throws and keeps every record.
    int append(EventRecord record);
    void removeAt(int row);
    // Changes a record in place; the list is not sorted again.
    void replace(int row, EventRecord record);
    void clear();

    bool autoSort() const { return m_autoSort; }
    void setAutoSort(bool on) { m_autoSort = on; }
    // Stable sort by name; gives each old row's new row.
    std::vector<int> sort();

    // Many records at once (loading, an import): appended, then sorted once
    // when automatic sorting is on, so that a view keeps its current record.
    // Stops at the capacity and gives how many went in.
    int appendAll(std::vector<EventRecord> records);

    // Copies of the records whose names hold the search text, letters A to Z
    // compared without case, in list order. The first search after a change
    // lowers every name into one block, which the next searches reuse.
    std::vector<EventRecord> matching(QByteArrayView search) const;

    // The records of a list in the same name order, moved in as they stand,
    // in place of this list's (a loading done elsewhere: no sort again).
    void adopt(EventList &&ordered);

    // Every record, moved out; the list is left empty (its observer untold).
    std::vector<EventRecord> takeRecords()
    {
        forgetLowered();
        m_keys.clear();
        return std::exchange(m_records, {});
    }

    void setObserver(EventListObserver *observer) { m_observer = observer; }
    const NameOrder &order() const { return m_order; }

private:
    void forgetLowered() const;
    void lowerNames() const;
    void giveKeys(std::size_t count);

    std::vector<EventRecord> m_records;
    std::vector<quint32> m_keys; // beside m_records, row for row
    quint32 m_nextKey = 1;
    // Every name with A to Z lowered, end to end, and where each ends: a
    // search reads one block front to back instead of a heap block per
    // name. Built by matching(), dropped by every change to the records.
    mutable QByteArray m_lowered;
    mutable std::vector<quint32> m_loweredEnds;
    mutable bool m_loweredValid = false;
    bool m_autoSort = true;
    NameOrder m_order;
    EventListObserver *m_observer = nullptr;
};

QString fullListMessage();

} // namespace roradaza
