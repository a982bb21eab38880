// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventRecord.h"

#include <QCollator>

#include <array>
#include <iterator>
#include <unordered_map>
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
//
// The records' text lies in one block, each record's five fields end to end,
// with sixteen bytes a record saying where, and its key: a full list is a
// few allocations, not five per record. Records are read as views (valid until the list next
// changes) and come in as EventRecord values or views, copied into the block.
class EventList
{
    struct Entry
    {
        quint32 start = 0; // the name's first byte in the block
        quint32 nameSize = 0;
        // Month, day, advance and year; wide (255 first) when one of them is
        // longer, their sizes then in m_wide by start.
        std::array<quint8, 4> sizes{};
        quint32 key = 0;
    };
    static constexpr quint8 wide = 0xFF;
    using WideSizes = std::unordered_map<quint32, std::array<quint32, 4>>;

public:
    static constexpr int capacity = 65535;

    // The rows front to back, as views.
    class Iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = RecordView;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = RecordView;

        Iterator() = default;
        Iterator(const EventList *list, int row) : m_list(list), m_row(row) {}
        RecordView operator*() const { return m_list->at(m_row); }
        Iterator &operator++()
        {
            ++m_row;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++m_row;
            return before;
        }
        friend bool operator==(const Iterator &, const Iterator &) = default;

    private:
        const EventList *m_list = nullptr;
        int m_row = 0;
    };
    struct Records
    {
        const EventList *list;
        Iterator begin() const { return {list, 0}; }
        Iterator end() const { return {list, list->size()}; }
        int size() const { return list->size(); }
    };

    EventList() = default;
    EventList(EventList &&) = default;
    EventList &operator=(EventList &&) = default;
    EventList(const EventList &) = delete;
    EventList &operator=(const EventList &) = delete;

    int size() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.empty(); }
    bool isFull() const { return size() >= capacity; }
    RecordView at(int row) const { return view(m_entries[std::size_t(row)]); }
    Records records() const { return {this}; }
    // A record's key: given when it goes into the list, kept while it is
    // edited or moved by a sort, never given twice in one run. What the sync
    // knows a record by while its fields change.
    quint32 keyAt(int row) const { return m_entries[std::size_t(row)].key; }
    // The row of the record with that key, or -1 when it is gone.
    int rowOfKey(quint32 key) const;

    // Owned copies of every record, in list order.
    std::vector<EventRecord> copies() const;

    // Adds a record at its place in name order (automatic sorting on) or at
    // the end (off) and gives its row. A full list throws and keeps every record.
    int append(RecordView record);
    void removeAt(int row);
    // Changes a record in place; the list is not sorted again. The record
    // may be a view of this list's own.
    void replace(int row, RecordView record);
    void clear();

    bool autoSort() const { return m_autoSort; }
    void setAutoSort(bool on) { m_autoSort = on; }
    // Stable sort by name; gives each old row's new row.
    std::vector<int> sort();

    // Many records at once (loading, an import): appended, then sorted once
    // when automatic sorting is on, so that a view keeps its current record.
    // Stops at the capacity and gives how many went in.
    int appendAll(const std::vector<EventRecord> &records);
    int appendAll(EventList &&records);

    // The records whose names hold the search text, letters A to Z compared
    // without case, in list order, in a list of their own (automatic sorting
    // off). The first search after a change lowers every name into one
    // block, which the next searches reuse.
    EventList matching(QByteArrayView search) const;

    // The records of a list in the same name order, moved in as they stand,
    // in place of this list's (a loading done elsewhere: no sort again).
    void adopt(EventList &&ordered);

    // Every record, moved out into a list of its own; this list is left
    // empty (its observer untold).
    EventList takeRecords();

    void setObserver(EventListObserver *observer) { m_observer = observer; }
    const NameOrder &order() const { return m_order; }

    // Builds a list in the bytes of a file as read, without a second copy of
    // its text: each record's fields are moved down over the line breaks
    // already passed, to lie end to end.
    class InPlaceBuilder
    {
    public:
        explicit InPlaceBuilder(QByteArray bytes);
        // Where the reader takes its lines from: the builder's own bytes.
        QByteArrayView bytes() const { return m_block; }
        // The fields, each a view into bytes(), in their order there, none
        // before the end of the record placed last.
        void place(const RecordView &fields);
        // Room for the records the file announces.
        void reserve(std::size_t count) { m_entries.reserve(count); }
        int size() const { return int(m_entries.size()); }
        // The records placed, in the order placed (automatic sorting off).
        EventList finish() &&;

    private:
        QByteArray m_block;
        char *m_data = nullptr;
        quint32 m_end = 0;
        std::vector<Entry> m_entries;
        WideSizes m_wide;
    };

private:
    static Entry entryOf(quint32 start, const RecordView &record, WideSizes &wideSizes);

    // Inline: a check pass reads every record through it.
    RecordView view(const Entry &entry) const
    {
        const char *at = m_block.constData() + entry.start;
        if (entry.sizes[0] == wide)
            return wideView(entry, at);
        return {QByteArrayView(at, entry.nameSize), QByteArrayView(at + entry.nameSize, entry.sizes[0]),
                QByteArrayView(at + entry.nameSize + entry.sizes[0], entry.sizes[1]),
                QByteArrayView(at + entry.nameSize + entry.sizes[0] + entry.sizes[1], entry.sizes[2]),
                QByteArrayView(at + entry.nameSize + entry.sizes[0] + entry.sizes[1] + entry.sizes[2], entry.sizes[3])};
    }
    RecordView wideView(const Entry &entry, const char *at) const;
    // The record's text added at the block's end; the entry saying where.
    Entry store(const RecordView &record);
    // Drops the text of removed and replaced records once it outweighs the rest.
    void dropUnused(qsizetype incoming);
    void forgetLowered() const;
    void lowerNames() const;
    // Fresh keys for the entries from first on.
    void giveKeys(std::size_t first);

    QByteArray m_block;
    std::vector<Entry> m_entries;
    // The short sizes of records with a month, day, advance or year field of
    // 255 bytes or more (only a hand-made file has them), by their start.
    WideSizes m_wide;
    quint32 m_nextKey = 1;
    // Bytes of the block no record uses any more.
    qsizetype m_unused = 0;
    // Every name with A to Z lowered, end to end, and where each ends: a
    // search reads one block front to back. Built by matching(), dropped by
    // every change to the records.
    mutable QByteArray m_lowered;
    mutable std::vector<quint32> m_loweredEnds;
    mutable bool m_loweredValid = false;
    bool m_autoSort = true;
    NameOrder m_order;
    EventListObserver *m_observer = nullptr;
};

QString fullListMessage();

} // namespace roradaza
