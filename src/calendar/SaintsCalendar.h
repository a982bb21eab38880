// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <array>
#include <vector>

namespace roradaza {

// The Italian name-day calendar: for every day of the year (29 February
// included) the names whose onomastico falls on it, as Windows-1252 text.
class SaintsCalendar
{
public:
    // The table the program carries, read once.
    static const SaintsCalendar &standard();

    // Builds a calendar from its table: twelve sections, each a marker line
    // beginning with "@" followed by one line per day. Throws when the table
    // does not have that shape.
    explicit SaintsCalendar(const std::vector<QByteArray> &lines);

    // The names of a day; empty for a day or month that has no line.
    QByteArray saint(int day, int month) const;

    const std::vector<QByteArray> &lines() const { return m_lines; }

private:
    std::vector<QByteArray> m_lines;
    std::array<std::size_t, 12> m_markerAt{};
    std::array<int, 12> m_days{};
};

} // namespace roradaza
