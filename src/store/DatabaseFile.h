// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventList.h"
#include "store/LineBuffer.h"

#include <QString>

#include <functional>

namespace roradaza {

// Roradaza.dat: a count line (records minus one), then five lines per record
// (name, month, day, advance, year); the older layout has four, without the
// year. Written whole with CR LF, replaced atomically, removed when the list
// is empty.
class DatabaseFile
{
public:
    enum class Layout { Current, Older };
    enum class Outcome { Loaded, Sample, Declined };

    // The largest file read: 65 535 records with 255-byte names and the
    // longest weekday lists take about 22 MB, so no real list comes near it,
    // and anything larger is refused before it is read.
    static constexpr qint64 maxBytes = 32 * 1024 * 1024;

    explicit DatabaseFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    bool exists() const;

    // Reads the whole file into the line buffer. Throws "Cannot open file %s"
    // for anything but a regular file of at most maxBytes.
    void read();
    // The layout of the file read: the older one has no number on its sixth
    // line (the first record's year in the current layout). Known from the
    // reading on, also once filling has let the file's bytes go.
    Layout layout() const { return m_layout; }
    // Fills the list from the line buffer. Stops at the end of the file: no
    // record is made from lines that are not there. Throws the conversion
    // error of a count line that does not convert, and a clear message when
    // the file does not hold the records its count line promises (fewer,
    // more lines after them, the last one cut short, which is not loaded) or
    // holds more than the list can take; the whole records before are loaded.
    // Whatever fails, in reading or filling, the file is kept as a copy at
    // the first save.
    void fill(EventList &list, Layout layout);
    // Re-reads the file and fills the emptied list from the older layout,
    // every record every year. Nothing is written until the next save, which
    // first keeps the original as a copy.
    void convert(EventList &list);

    // The whole loading: the sample record without a file, the older layout
    // converted only when askConvert agrees (Declined leaves the list empty).
    Outcome load(EventList &list, const std::function<bool()> &askConvert);

    // Writes the list, or removes the file when the list is empty (a link
    // stays, and the file it points to is emptied). A file that failed to
    // load is first kept as a copy beside it, with its owner and mode, so
    // nothing the user had is lost; a failed save leaves the previous file
    // whole. A list the loader could not read back is not written.
    void save(const EventList &list);

    // Whether the next save will first keep the present file as a copy.
    bool needsBackup() const { return m_needsBackup; }
    // Where that copy went, once made.
    const QString &backupPath() const { return m_backupPath; }

    static QByteArray serialize(const EventList &list);

private:
    QString nextBackupPath() const;
    // What to do with a file too large to read, when it is one; else empty.
    QString tooLargeAdvice() const;
    // Refuses a list whose file the loader would refuse: too large, or a
    // field with a line break.
    void checkLoadable(const EventList &list, const QByteArray &bytes) const;
    Layout layoutOfBuffer() const;
    void fillRecords(EventList &list, Layout layout);

    QString m_path;
    LineBuffer m_buffer;
    Layout m_layout = Layout::Older;
    bool m_needsBackup = false;
    QString m_backupPath;
};

} // namespace roradaza
