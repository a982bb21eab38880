// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QByteArray>

#include <vector>

namespace roradaza {

// Windows colour values, 0x00BBGGRR, as the notification lines carry them.
namespace colours {
inline constexpr quint32 green = 0x008000;
inline constexpr quint32 red = 0x0000FF;
inline constexpr quint32 blue = 0xFF0000; // also the list's default
} // namespace colours

// The reminder lines of one check, each with one colour, as a model the
// notification window shows. Lines are Windows-1252 text.
class NotificationList : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role { ColourRole = Qt::UserRole + 1, BytesRole };

    struct Line
    {
        QByteArray text;
        quint32 colour = colours::blue;
        friend bool operator==(const Line &, const Line &) = default;
    };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void clear();
    void append(QByteArray text, quint32 colour = colours::blue);
    // Inserts before the line at row, in the list's default colour.
    void insert(int row, QByteArray text);
    // Puts a reminder at its place in ascending byte order (a line equal to
    // an existing one goes before it), red when important, else blue.
    void addNotice(QByteArray text, bool important);

    // Between these, reminders are gathered and put in place together when
    // the batch ends or settle() is called: a pass of 65535 events costs one
    // sort, not one shift of the whole list per reminder.
    void beginBatch() { m_batching = true; }
    void endBatch();
    void settle();

    int count() const { return int(m_lines.size()); }
    bool isEmpty() const { return m_lines.empty(); }
    const Line &line(int row) const { return m_lines[std::size_t(row)]; }
    const std::vector<Line> &lines() const { return m_lines; }

private:
    std::vector<Line> m_lines;
    std::vector<Line> m_pending; // newest last
    bool m_batching = false;
    // Whether m_lines is in ascending byte order; only then can a reminder's
    // place be found by halving instead of walking the list.
    bool m_ordered = true;
};

} // namespace roradaza
