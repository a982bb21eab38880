// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DatabaseFile.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/Text.h"
#include "store/WholeFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace roradaza {

bool DatabaseFile::exists() const
{
    // A link to nothing is there too: it is refused, not taken for "no file".
    const QFileInfo info(m_path);
    return info.exists() || info.isSymLink();
}

DatabaseFile::Layout DatabaseFile::layoutOfBuffer() const
{
    const auto converts = [](QByteArrayView line) {
        try {
            toInteger(line);
            return true;
        } catch (const Failure &) {
            return false;
        }
    };
    // The count line and the first record's lines; those missing stay empty.
    std::array<QByteArrayView, 6> first;
    LineReader lines = m_buffer.reader();
    for (QByteArrayView &line : first) {
        if (!lines.next(line))
            break;
    }
    // The older layout has a count line too: an empty file, or bytes that
    // do not begin with a number, are not one, whatever their sixth line.
    if (m_buffer.isEmpty() || converts(first[5]) || !converts(first[0]))
        return Layout::Current;
    return Layout::Older;
}

void DatabaseFile::fill(EventList &list, Layout layout)
{
    // Whatever stops the filling, the file is kept as a copy at the next save.
    try {
        fillRecords(list, layout);
    } catch (...) {
        m_needsBackup = true;
        throw;
    }
}

void DatabaseFile::fillRecords(EventList &list, Layout layout)
{
    // No bytes at all hold no events: an empty list, not a damaged file.
    if (m_buffer.isEmpty())
        return;
    // One pass, each line taken once: a record's lines are gathered before
    // the record is made, which is how a record cut short is told. The
    // records are made in the file's own bytes, over the lines already read.
    const qint64 linesPerRecord = layout == Layout::Current ? 5 : 4;
    EventList::InPlaceBuilder inPlace(m_buffer.takeBytes());
    // The older layout's records gain a year line: they are copied.
    EventList converted;
    converted.setAutoSort(false);
    LineReader lines(inPlace.bytes());
    QByteArrayView countLine;
    lines.next(countLine);
    // A count line that is not a number, or negative with records after it,
    // was damaged: the records are taken as far as the lines hold whole ones.
    std::optional<int> count;
    try {
        count = toInteger(countLine);
    } catch (const Failure &) {
    }
    if (count && *count < 0 && (*count < -1 || !lines.atEnd()))
        count.reset();
    const bool damagedCount = !count;
    // The start of a damaged count line, for the message, taken before the
    // first record is made over it.
    QByteArray shown;
    if (damagedCount) {
        shown = countLine.first(std::min<qsizetype>(countLine.size(), 20)).toByteArray();
        if (countLine.size() > shown.size())
            shown += "...";
    }
    const int last = count.value_or(std::numeric_limits<int>::max() - 1);
    const qint64 room = EventList::capacity - list.size();
    if (layout == Layout::Current)
        inPlace.reserve(std::size_t(std::clamp<qint64>(damagedCount ? 1024 : qint64(last) + 1, 0, room)));
    qint64 made = 0;
    bool overflow = false;
    bool cutShort = false;
    // The older layout's records have no year line: every year.
    RecordView fields;
    fields.year = markers::everyYear;
    const std::array<QByteArrayView *, 5> order = {&fields.name, &fields.month, &fields.day, &fields.advance,
                                                   &fields.year};
    qint64 k = 0;
    for (; k <= last; ++k) {
        qint64 taken = 0;
        while (taken < linesPerRecord && lines.next(*order[std::size_t(taken)]))
            ++taken;
        if (taken == 0)
            break;
        if (taken < linesPerRecord) {
            cutShort = true;
            break;
        }
        if (made == room) {
            overflow = true;
            break;
        }
        if (layout == Layout::Current)
            inPlace.place(fields);
        else
            converted.append(fields);
        ++made;
    }
    const bool endedEarly = !damagedCount && !overflow && !cutShort && k <= last;
    // Lines after the records the count line promises mean that the count
    // was damaged (empty lines at the very end are only a loose line break).
    bool linesAfter = false;
    if (k > last) {
        for (QByteArrayView line; !linesAfter && lines.next(line);)
            linesAfter = !line.isEmpty();
    }
    // The lines are all taken: what is left of the file's bytes is the records' text.
    const qsizetype loaded = qsizetype(made);
    list.appendAll(layout == Layout::Current ? std::move(inPlace).finish() : std::move(converted));

    const QString file = QDir::toNativeSeparators(m_path);
    const QString kept = QStringLiteral(" Al primo salvataggio il file completo sarà conservato come copia.");
    if (overflow) {
        throw Failure(QStringLiteral("L'archivio %1 contiene più eventi dei %2 che il programma può tenere: "
                                     "sono stati caricati i primi %2.")
                          .arg(file)
                          .arg(EventList::capacity) +
                      kept);
    }
    if (damagedCount) {
        throw Failure(QStringLiteral("L'archivio %1 ha la prima riga danneggiata (\"%2\" non \u00E8 il numero degli "
                                     "eventi): sono stati caricati i %3 eventi completi che la seguono.")
                          .arg(file, text::fromCp1252(shown))
                          .arg(loaded) +
                      kept);
    }
    if (cutShort) {
        throw Failure(QStringLiteral("L'archivio %1 finisce a metà di un evento: l'evento incompleto non è stato "
                                     "caricato, i %2 prima di lui sì.")
                          .arg(file)
                          .arg(loaded) +
                      kept);
    }
    if (endedEarly) {
        throw Failure(QStringLiteral("L'archivio %1 finisce prima del previsto: la prima riga annuncia %2 eventi, "
                                     "ne sono stati caricati %3.")
                          .arg(file)
                          .arg(qint64(last) + 1)
                          .arg(loaded) +
                      kept);
    }
    if (linesAfter) {
        throw Failure(QStringLiteral("L'archivio %1 continua oltre gli eventi che la prima riga annuncia "
                                     "(%2): sono stati caricati solo quelli.")
                          .arg(file)
                          .arg(std::max(qint64(last) + 1, qint64(0))) +
                      kept);
    }
}

void DatabaseFile::convert(EventList &list)
{
    // A file of the current layout with a damaged year looks like the older
    // one: the original is kept, so that a wrong conversion can be undone.
    m_needsBackup = true;
    list.clear();
    m_buffer = LineBuffer();
    read();
    fill(list, Layout::Older);
}

DatabaseFile::Outcome DatabaseFile::load(EventList &list, const std::function<bool()> &askConvert)
{
    if (!exists()) {
        list.append(EventRecord::sampleRecord());
        return Outcome::Sample;
    }
    read();
    if (layout() == Layout::Older) {
        if (!askConvert())
            return Outcome::Declined;
        convert(list);
        return Outcome::Loaded;
    }
    fill(list, Layout::Current);
    return Outcome::Loaded;
}

QByteArray DatabaseFile::serialize(const EventList &list)
{
    qsizetype size = 16;
    for (const RecordView record : list.records())
        size += record.name.size() + record.month.size() + record.day.size() + record.advance.size() +
                record.year.size() + 10;

    QByteArray bytes;
    bytes.reserve(size);
    const auto line = [&bytes](QByteArrayView text) {
        bytes += text;
        bytes += "\r\n";
    };
    line(QByteArray::number(list.size() - 1));
    for (const RecordView record : list.records()) {
        line(record.name);
        line(record.month);
        line(record.day);
        line(record.advance);
        line(record.year);
    }
    return bytes;
}

QString DatabaseFile::nextBackupPath() const
{
    // A link to nothing holds nothing: its name is free for the copy.
    QString candidate = m_path + QStringLiteral(".bak");
    for (int number = 1; QFileInfo::exists(candidate); ++number)
        candidate = m_path + QStringLiteral(".bak.%1").arg(number);
    return candidate;
}

QString DatabaseFile::tooLargeAdvice() const
{
    const QFileInfo info(m_path);
    if (!info.isFile() || info.size() <= maxBytes)
        return {};
    return QStringLiteral("\nUn archivio cos\u00EC grande non viene da Roradaza: spostare %1 in un'altra cartella; "
                          "il programma ripartir\u00E0 allora con un elenco nuovo.")
        .arg(QDir::toNativeSeparators(m_path));
}

void DatabaseFile::read()
{
    try {
        m_buffer = LineBuffer(readWholeFile(m_path, maxBytes));
        m_layout = layoutOfBuffer();
    } catch (const Failure &failure) {
        m_needsBackup = true;
        throw Failure(failure.message() + tooLargeAdvice());
    } catch (...) {
        m_needsBackup = true;
        throw;
    }
}

void DatabaseFile::checkLoadable(const EventList &list, const QByteArray &bytes) const
{
    const QString unchanged = exists() ? previousFileUnchanged() : QString();
    // Every field is one line: a line break inside one would shift every
    // record after it. The bytes tell at once; the record is sought only then.
    const qsizetype lines = list.isEmpty() ? 0 : 1 + 5 * qsizetype(list.size());
    const bool whole = bytes.count('\n') == lines && bytes.count('\r') == lines;
    for (const RecordView record : list.records()) {
        if (whole)
            break;
        for (const QByteArrayView field : {record.name, record.month, record.day, record.advance, record.year}) {
            if (field.contains('\r') || field.contains('\n')) {
                throw Failure(QStringLiteral("Cannot create file %1: l'evento \"%2\" ha un a capo nel testo, che "
                                             "l'archivio non pu\u00F2 contenere")
                                  .arg(QDir::toNativeSeparators(m_path),
                                       text::fromCp1252(record.name.first(std::min<qsizetype>(record.name.size(), 80)))
                                           .simplified()) +
                              unchanged);
            }
        }
    }
    if (const qsizetype size = bytes.size(); size > maxBytes) {
        throw Failure(QStringLiteral("Cannot create file %1: l'archivio sarebbe di %2 byte, pi\u00F9 dei %3 che "
                                     "il programma sa rileggere. Accorciare i nomi pi\u00F9 lunghi o togliere "
                                     "qualche evento, poi salvare di nuovo")
                          .arg(QDir::toNativeSeparators(m_path))
                          .arg(size)
                          .arg(maxBytes) +
                      unchanged);
    }
}

void DatabaseFile::save(const EventList &list)
{
    const QByteArray bytes = list.isEmpty() ? QByteArray() : serialize(list);
    // Nothing is written that the next start would refuse.
    checkLoadable(list, bytes);

    if (m_needsBackup && exists()) {
        const QString backup = nextBackupPath();
        try {
            const QByteArray original = readWholeFile(m_path, maxBytes);
            // A link to nothing in the copy's place goes: the copy is a file of its own.
            if (QFileInfo(backup).isSymLink())
                removeFile(backup);
            writeWholeFile(backup, original, m_path);
        } catch (const Failure &failure) {
            // A file that cannot be kept is not replaced either.
            QString message = failure.message();
            if (!message.endsWith(previousFileUnchanged()))
                message += previousFileUnchanged();
            throw Failure(message + tooLargeAdvice());
        }
        m_backupPath = backup;
    }
    m_needsBackup = false;

    // A link stays a link: an emptied list empties the file it points to.
    if (list.isEmpty() && !QFileInfo(m_path).isSymLink())
        removeFile(m_path);
    else
        writeWholeFile(m_path, bytes);
}

} // namespace roradaza
