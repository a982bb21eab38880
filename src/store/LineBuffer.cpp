#include "store/LineBuffer.h"

namespace roradaza {

void LineBuffer::scanTo(qsizetype index) const
{
    const qsizetype size = m_bytes.size();
    const char *data = m_bytes.constData();
    while (qsizetype(m_lines.size()) <= index && m_scanned < size) {
        const qsizetype start = m_scanned;
        qsizetype at = start;
        while (at < size && data[at] != '\r' && data[at] != '\n')
            ++at;
        m_lines.emplace_back(start, at);
        if (at < size && data[at] == '\r' && at + 1 < size && data[at + 1] == '\n')
            at += 2;
        else if (at < size)
            at += 1;
        m_scanned = at;
    }
}

bool LineBuffer::hasLine(qsizetype index) const
{
    if (index < 0)
        return false;
    scanTo(index);
    return index < qsizetype(m_lines.size());
}

QByteArrayView LineBuffer::line(qsizetype index) const
{
    if (!hasLine(index))
        return {};
    const auto [start, end] = m_lines[std::size_t(index)];
    return QByteArrayView(m_bytes.constData() + start, end - start);
}

} // namespace roradaza
