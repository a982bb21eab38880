// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

namespace roradaza {

// Lines front to back, each found once: the way to take a whole file, where
// asking a LineBuffer by index would search again. Line ends and the empty
// last line are taken as LineBuffer takes them.
class LineReader
{
public:
    explicit LineReader(QByteArrayView bytes) : m_bytes(bytes) {}

    // Puts the next line in "line"; false, leaving it as it was, after the last.
    bool next(QByteArrayView &line);
    // Whether no line follows the ones taken.
    bool atEnd() const { return m_at >= m_bytes.size(); }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

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
    LineReader reader() const { return LineReader(m_bytes); }
    // The bytes, handed on whole; the buffer is left empty.
    QByteArray takeBytes()
    {
        QByteArray bytes = std::move(m_bytes);
        *this = LineBuffer();
        return bytes;
    }

private:
    struct Place
    {
        qsizetype line = -1;
        qsizetype start = 0;
        qsizetype end = 0;
    };
    // Puts the cursor on the line; false when the file has no such line.
    bool locate(qsizetype index) const;

    static constexpr qsizetype markEvery = 64;

    QByteArray m_bytes;
    // The start of every markEvery-th line found so far, so that a line is at
    // most that many lines from a known place; readers go forward from the
    // last line they took, which costs nothing more.
    mutable std::vector<qsizetype> m_marks;
    mutable Place m_cursor;
    mutable qsizetype m_lineCount = -1; // known once the scan reached the end
};

} // namespace roradaza
