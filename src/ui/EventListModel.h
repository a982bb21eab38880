// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventList.h"

#include <QAbstractTableModel>

#include <functional>

namespace roradaza {

// Shows the event list as the columns "Evento", "Mese", "Giorno" and
// "Anticipo"; the year is held but has no column.
class EventListModel final : public QAbstractTableModel, private EventListObserver
{
    Q_OBJECT

public:
    enum Column { Name, Month, Day, Advance, ColumnCount };

    explicit EventListModel(EventList &events, QObject *parent = nullptr);
    ~EventListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static int columnWidth(int column);

    // Whether a text fits the "Giorno" column as the view draws it: the
    // weekdays of a weekly event are shortened until they do.
    void setDayFits(std::function<bool(const QString &)> fits) { m_dayFits = std::move(fits); }
    // A weekly event's days as the column shows them: the first that fits
    // of "Mar Sab", "Ma Sa" and "MaS" (three days or more in a row as "Lun-Ven").
    QString weekdaysShown(QByteArrayView day) const;

private:
    void beginInsert(int row, int count) override;
    void endInsert() override;
    void beginRemove(int row) override;
    void endRemove() override;
    void rowChanged(int row) override;
    void beginReorder() override;
    void endReorder(const std::vector<int> &newRowOf) override;
    void beginReset() override;
    void endReset() override;

    EventList &m_events;
    std::function<bool(const QString &)> m_dayFits;
};

} // namespace roradaza
