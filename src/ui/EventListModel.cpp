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
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() || index.row() >= m_events.size())
        return {};
    const RecordView record = m_events.at(index.row());
    if (index.column() == Day && record.month == markers::weekly) {
        // The whole list of days, which the column has no room for, in the tool tip.
        if (role == Qt::ToolTipRole)
            return text::fromCp1252(record.day);
        return weekdaysShown(record.day);
    }
    if (role != Qt::DisplayRole)
        return {};
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

QString EventListModel::weekdaysShown(QByteArrayView day) const
{
    const auto &names = weekdayListNames();
    std::array<bool, 7> on{};
    for (std::size_t weekday = 0; weekday < names.size(); ++weekday)
        on[weekday] = hasWeekday(day, names[weekday]);
    const bool autoDelete = day.endsWith(markers::autoDelete);

    // Three letters, two, then the shortest that tells the days apart: one
    // letter, two for the two days that begin with M.
    const auto abbreviation = [&](int form, std::size_t weekday) {
        const QString name = text::fromCp1252(names[weekday]);
        return name.left(form == 0 ? 3 : form == 1 || name.startsWith(QLatin1Char('M')) ? 2 : 1);
    };
    QString shown;
    for (int form = 0; form < 3; ++form) {
        QStringList parts;
        for (std::size_t first = 0; first < on.size(); ++first) {
            if (!on[first])
                continue;
            std::size_t last = first;
            while (last + 1 < on.size() && on[last + 1])
                ++last;
            if (last - first >= 2) {
                parts << abbreviation(form, first) + QLatin1Char('-') + abbreviation(form, last);
                first = last;
            } else {
                parts << abbreviation(form, first);
            }
        }
        if (autoDelete)
            parts << QStringLiteral("A");
        shown = parts.join(form < 2 ? QStringLiteral(" ") : QString());
        if (!m_dayFits || m_dayFits(shown))
            break;
    }
    return shown;
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
