// SPDX-License-Identifier: GPL-3.0-or-later
#include "calendar/SaintsCalendar.h"

#include "store/Failure.h"
#include "store/LineBuffer.h"
#include "store/Text.h"

#include <QFile>

namespace roradaza {
namespace {

std::vector<QByteArray> readTable()
{
    QFile file(QStringLiteral(":/saints.txt"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot open file %1").arg(file.fileName()));
    // The table is kept as UTF-8 for its editors and held as Windows-1252,
    // converted whole: a converter opened for each line costs start-up more.
    const QByteArray utf8 = file.readAll();
    const auto whole = text::toCp1252(QString::fromUtf8(utf8));
    if (!whole) {
        const LineBuffer utf8Lines(utf8);
        for (qsizetype i = 0; utf8Lines.hasLine(i); ++i) {
            if (!text::toCp1252(QString::fromUtf8(utf8Lines.line(i))))
                throw Failure(QStringLiteral("Saints table, line %1: a character Windows-1252 lacks").arg(i + 1));
        }
    }
    const LineBuffer buffer(whole.value_or(QByteArray()));
    std::vector<QByteArray> lines;
    for (qsizetype i = 0; buffer.hasLine(i); ++i)
        lines.push_back(buffer.line(i).toByteArray());
    return lines;
}

} // namespace

const SaintsCalendar &SaintsCalendar::standard()
{
    static const SaintsCalendar calendar(readTable());
    return calendar;
}

SaintsCalendar::SaintsCalendar(const std::vector<QByteArray> &lines) : m_lines(lines)
{
    int month = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].startsWith('@')) {
            if (++month == 12)
                break;
            m_markerAt[std::size_t(month)] = i;
        } else if (month >= 0) {
            ++m_days[std::size_t(month)];
        }
    }
    if (month != 11)
        throw Failure(QStringLiteral("Saints table: %1 months instead of 12").arg(month + 1));
}

QByteArray SaintsCalendar::saint(int day, int month) const
{
    if (month < 1 || month > 12 || day < 1 || day > m_days[std::size_t(month - 1)])
        return {};
    return m_lines[m_markerAt[std::size_t(month - 1)] + std::size_t(day)];
}

} // namespace roradaza
