// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/LineBuffer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace roradaza {
namespace {

// The first CR or LF from "from" on, or end.
const char *lineBreak(const char *from, const char *end)
{
    if constexpr (std::endian::native == std::endian::little) {
        // Eight bytes at a time: each line is short, but a full file has a
        // third of a million of them. A byte equal to the one sought becomes
        // zero, and the lowest flagged byte is the first zero byte.
        constexpr quint64 ones = 0x0101010101010101ull;
        constexpr quint64 highs = 0x8080808080808080ull;
        for (; end - from >= 8; from += 8) {
            quint64 word;
            std::memcpy(&word, from, sizeof word);
            const quint64 cr = word ^ (ones * '\r');
            const quint64 lf = word ^ (ones * '\n');
            const quint64 found = (((cr - ones) & ~cr) | ((lf - ones) & ~lf)) & highs;
            if (found != 0)
                return from + std::countr_zero(found) / 8;
        }
    }
    while (from < end && *from != '\r' && *from != '\n')
        ++from;
    return from;
}

// Where the line after the one ending at "end" starts.
qsizetype afterBreak(QByteArrayView bytes, qsizetype end)
{
    if (end >= bytes.size())
        return end;
    return end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
}

} // namespace

bool LineReader::next(QByteArrayView &line)
{
    // An empty last line after the final line break does not count.
    if (atEnd())
        return false;
    const char *const data = m_bytes.data();
    const qsizetype end = lineBreak(data + m_at, data + m_bytes.size()) - data;
    line = m_bytes.sliced(m_at, end - m_at);
    m_at = afterBreak(m_bytes, end);
    return true;
}

bool LineBuffer::locate(qsizetype index) const
{
    if (index < 0 || (m_lineCount >= 0 && index >= m_lineCount))
        return false;
    if (index == m_cursor.line)
        return true;

    const char *const data = m_bytes.constData();
    const char *const end = data + m_bytes.size();
    if (m_bytes.isEmpty()) {
        m_lineCount = 0;
        return false;
    }
    if (m_marks.empty())
        m_marks.push_back(0);
    // From the last line taken when it comes before, else from the nearest mark.
    Place at = m_cursor;
    const bool forward = at.line >= 0 && at.line < index;
    const qsizetype mark = std::min(index / markEvery, qsizetype(m_marks.size()) - 1);
    if (!forward || mark * markEvery > at.line) {
        at.line = mark * markEvery;
        at.start = m_marks[std::size_t(mark)];
        at.end = lineBreak(data + at.start, end) - data;
    }
    while (at.line < index) {
        const qsizetype next = afterBreak(m_bytes, at.end);
        if (next >= m_bytes.size()) {
            // An empty last line after the final line break does not count.
            m_lineCount = at.line + 1;
            m_cursor = at;
            return false;
        }
        ++at.line;
        at.start = next;
        at.end = lineBreak(data + next, end) - data;
        if (at.line % markEvery == 0 && at.line / markEvery == qsizetype(m_marks.size()))
            m_marks.push_back(at.start);
    }
    m_cursor = at;
    return true;
}

bool LineBuffer::hasLine(qsizetype index) const
{
    return locate(index);
}

QByteArrayView LineBuffer::line(qsizetype index) const
{
    if (!locate(index))
        return {};
    return QByteArrayView(m_bytes.constData() + m_cursor.start, m_cursor.end - m_cursor.start);
}

} // namespace roradaza
