#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace roradaza {

// A whole file's bytes taken as lines by index. CR LF, a lone LF and a lone
// CR all end a line; an index past the last line reads as empty text.
// Lines are found only as far as they are asked for, so a file of millions
// of short lines costs nothing beyond the lines a reader takes.
class LineBuffer
{
public:
    LineBuffer() = default;
    explicit LineBuffer(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    QByteArrayView line(qsizetype index) const;
    // Whether the file has a line at this index (an empty last line after the
    // final line break does not count).
    bool hasLine(qsizetype index) const;
    bool isEmpty() const { return m_bytes.isEmpty(); }

private:
    void scanTo(qsizetype index) const;

    QByteArray m_bytes;
    // Start and end of every line found so far.
    mutable std::vector<std::pair<qsizetype, qsizetype>> m_lines;
    mutable qsizetype m_scanned = 0;
};

} // namespace roradaza
