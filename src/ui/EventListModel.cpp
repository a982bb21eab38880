// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EventListModel.h"

#include "store/Text.h"

#include <array>

namespace roradaza {

EventListModel::EventListModel(EventList &events, QObject *parent) : QAbstractTableModel(parent), m_events(events)
{
    m_events.setObserver(this);
}

EventListModel::~EventListModel()
{
    m_events.setObserver(nullptr);
}

int EventListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_events.size();
}

int EventListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant EventListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_events.size())
        return {};
    const EventRecord &record = m_events.at(index.row());
    switch (index.column()) {
    case Name:
        return text::fromCp1252(record.name);
    case Month:
        return text::fromCp1252(record.month);
    case Day:
        return text::fromCp1252(record.day);
    case Advance:
        return text::fromCp1252(record.advance);
    default:
        return {};
    }
}

QVariant EventListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const std::array<const char *, ColumnCount> titles = {"Evento", "Mese", "Giorno", "Anticipo"};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(titles[std::size_t(section)]);
}

int EventListModel::columnWidth(int column)
{
    static const std::array<int, ColumnCount> widths = {244, 42, 43, 50};
    return widths[std::size_t(column)];
}

void EventListModel::beginInsert(int row, int count)
{
    beginInsertRows({}, row, row + count - 1);
}

void EventListModel::endInsert()
{
    endInsertRows();
}

void EventListModel::beginRemove(int row)
{
    beginRemoveRows({}, row, row);
}

void EventListModel::endRemove()
{
    endRemoveRows();
}

void EventListModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void EventListModel::beginReorder()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
}

void EventListModel::endReorder(const std::vector<int> &newRowOf)
{
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after << index(newRowOf[std::size_t(old.row())], old.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void EventListModel::beginReset()
{
    beginResetModel();
}

void EventListModel::endReset()
{
    endResetModel();
}

} // namespace roradaza
