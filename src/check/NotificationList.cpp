// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/NotificationList.h"

#include "store/Text.h"

#include <algorithm>
#include <cstring>

namespace roradaza {
namespace {

// Unsigned byte order; the shorter text first when one begins the other.
bool before(const QByteArray &a, const QByteArray &b)
{
    const qsizetype common = std::min(a.size(), b.size());
    const int order = std::memcmp(a.constData(), b.constData(), std::size_t(common));
    return order != 0 ? order < 0 : a.size() < b.size();
}

} // namespace

int NotificationList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant NotificationList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Line &entry = line(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return text::fromCp1252(entry.text);
    case ColourRole:
        return entry.colour;
    case BytesRole:
        return entry.text;
    default:
        return {};
    }
}

void NotificationList::clear()
{
    m_pending.clear();
    m_ordered = true;
    if (m_lines.empty())
        return;
    beginResetModel();
    m_lines.clear();
    endResetModel();
}

void NotificationList::append(QByteArray text, quint32 colour)
{
    settle();
    if (!m_lines.empty() && before(text, m_lines.back().text))
        m_ordered = false;
    beginInsertRows({}, count(), count());
    m_lines.push_back({std::move(text), colour});
    endInsertRows();
}

void NotificationList::insert(int row, QByteArray text)
{
    settle();
    const auto at = std::size_t(row);
    if ((at > 0 && before(text, m_lines[at - 1].text)) || (at < m_lines.size() && before(m_lines[at].text, text)))
        m_ordered = false;
    beginInsertRows({}, row, row);
    m_lines.insert(m_lines.begin() + row, Line{std::move(text), colours::blue});
    endInsertRows();
}

void NotificationList::addNotice(QByteArray text, bool important)
{
    m_pending.push_back({std::move(text), important ? colours::red : colours::blue});
    if (!m_batching)
        settle();
}

void NotificationList::endBatch()
{
    m_batching = false;
    settle();
}

void NotificationList::settle()
{
    if (m_pending.empty())
        return;
    // Each reminder goes before the lines equal to it that were there first:
    // newest first among equals, then ahead of the older lines in the merge.
    std::reverse(m_pending.begin(), m_pending.end());
    const auto byText = [](const Line &a, const Line &b) { return before(a.text, b.text); };
    if (m_pending.size() > 1)
        std::stable_sort(m_pending.begin(), m_pending.end(), byText);

    if (m_ordered) {
        // Before each delete prompt a few reminders found since the last one
        // join a list of thousands: find each one's place by halving and move
        // only the lines after it, from the greatest reminder down. The result
        // is the merge below, as a reminder goes before the lines equal to it.
        const std::size_t kept = m_lines.size();
        // Growing is the only step that can fail; it doubles, as push_back would.
        if (m_lines.capacity() < kept + m_pending.size())
            m_lines.reserve(std::max(kept + m_pending.size(), 2 * kept));
        beginResetModel();
        m_lines.resize(kept + m_pending.size());
        auto unmoved = m_lines.begin() + std::ptrdiff_t(kept);
        auto out = m_lines.end();
        for (auto it = m_pending.rbegin(); it != m_pending.rend(); ++it) {
            const auto place = std::lower_bound(m_lines.begin(), unmoved, *it, byText);
            out = std::move_backward(place, unmoved, out);
            *--out = std::move(*it);
            unmoved = place;
        }
    } else {
        std::vector<Line> merged;
        merged.reserve(m_lines.size() + m_pending.size());
        std::merge(std::make_move_iterator(m_pending.begin()), std::make_move_iterator(m_pending.end()),
                   std::make_move_iterator(m_lines.begin()), std::make_move_iterator(m_lines.end()),
                   std::back_inserter(merged), byText);
        beginResetModel();
        m_lines = std::move(merged);
    }
    m_pending.clear();
    endResetModel();
}

} // namespace roradaza
