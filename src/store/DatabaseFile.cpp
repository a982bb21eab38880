// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DatabaseFile.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/WholeFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>

namespace roradaza {
namespace {

// A list's month, day, advance and year fields repeat a few short texts
// ("00", "0000", "07", the same weekday lists): loaded records share one copy
// of each, so a file costs one allocation per record instead of five and a
// check pass over its fields stays in cache. Sharing is invisible to the
// records: an edited field gets its own copy.
class FieldPool
{
public:
    QByteArray take(QByteArrayView text)
    {
        if (text.isEmpty())
            return text.toByteArray();
        if (text.size() <= qsizetype(sizeof(quint64)))
            return takeShort(text);
        const std::string_view key(text.data(), std::size_t(text.size()));
        if (const auto found = m_long.find(key); found != m_long.end())
            return found->second;
        QByteArray field = text.toByteArray();
        if (text.size() <= maxLength && m_long.size() < maxLong)
            m_long.emplace(std::string_view(field.constData(), std::size_t(field.size())), field);
        return field;
    }

private:
    // Texts of up to eight bytes, by their bytes and length, in a small
    // direct-mapped table: two texts that meet in a slot merely share less.
    QByteArray takeShort(QByteArrayView text)
    {
        quint64 bits = 0;
        std::memcpy(&bits, text.data(), std::size_t(text.size()));
        const quint64 hash = (bits ^ quint64(text.size())) * 0x9E3779B97F4A7C15ull;
        Slot &slot = m_short[hash >> (64 - shortBits)];
        if (slot.bits != bits || slot.field.size() != text.size())
            slot = {bits, text.toByteArray()};
        return slot.field;
    }

    struct Slot
    {
        quint64 bits = 0;
        QByteArray field; // empty until first used: never matches a text
    };
    static constexpr int shortBits = 8;
    static constexpr qsizetype maxLength = 64;
    static constexpr std::size_t maxLong = 1024;
    std::array<Slot, std::size_t(1) << shortBits> m_short;
    // The keys point into the pooled copies, which are never changed.
    std::unordered_map<std::string_view, QByteArray> m_long;
};

} // namespace

bool DatabaseFile::exists() const
{
    // A link to nothing is there too: it is refused, not taken for "no file".
    const QFileInfo info(m_path);
    return info.exists() || info.isSymLink();
}

void DatabaseFile::read()
{
    try {
        m_buffer = LineBuffer(readWholeFile(m_path, maxBytes));
        m_layout = layoutOfBuffer();
    } catch (...) {
        m_needsBackup = true;
        throw;
    }
}

DatabaseFile::Layout DatabaseFile::layoutOfBuffer() const
{
    try {
        toInteger(m_buffer.line(5));
        return Layout::Current;
    } catch (const Failure &) {
        return Layout::Older;
    }
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
    const int last = toInteger(m_buffer.line(0));
    const qint64 linesPerRecord = layout == Layout::Current ? 5 : 4;
    const qint64 room = EventList::capacity - list.size();
    std::vector<EventRecord> records;
    records.reserve(std::size_t(std::clamp<qint64>(qint64(last) + 1, 0, room)));
    bool overflow = false;
    bool cutShort = false;
    FieldPool pool;
    qint64 k = 0;
    for (; k <= last; ++k) {
        const qint64 first = linesPerRecord * k + 1;
        if (!m_buffer.hasLine(first))
            break;
        if (!m_buffer.hasLine(first + linesPerRecord - 1)) {
            cutShort = true;
            break;
        }
        if (qint64(records.size()) == room) {
            overflow = true;
            break;
        }
        EventRecord &record = records.emplace_back();
        record.name = m_buffer.line(first).toByteArray();
        record.month = pool.take(m_buffer.line(first + 1));
        record.day = pool.take(m_buffer.line(first + 2));
        record.advance = pool.take(m_buffer.line(first + 3));
        record.year =
            pool.take(layout == Layout::Current ? m_buffer.line(first + 4) : QByteArrayView(markers::everyYear));
    }
    const bool endedEarly = !overflow && !cutShort && k <= last;
    // Lines after the records the count line promises mean that the count
    // was damaged (empty lines at the very end are only a loose line break).
    bool linesAfter = false;
    if (k > last) {
        for (qint64 at = linesPerRecord * k + 1; !linesAfter && m_buffer.hasLine(at); ++at)
            linesAfter = !m_buffer.line(at).isEmpty();
    }
    // The lines are all taken: the file's bytes need not stay in memory.
    m_buffer = LineBuffer();
    const qsizetype loaded = qsizetype(records.size());
    list.appendAll(std::move(records));

    const QString file = QDir::toNativeSeparators(m_path);
    const QString kept = QStringLiteral(" Al primo salvataggio il file completo sarà conservato come copia.");
    if (overflow) {
        throw Failure(QStringLiteral("L'archivio %1 contiene più eventi dei %2 che il programma può tenere: "
                                     "sono stati caricati i primi %2.")
                          .arg(file)
                          .arg(EventList::capacity) +
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
    for (const EventRecord &record : list.records())
        size += record.name.size() + record.month.size() + record.day.size() + record.advance.size() +
                record.year.size() + 10;

    QByteArray bytes;
    bytes.reserve(size);
    const auto line = [&bytes](const QByteArray &text) {
        bytes += text;
        bytes += "\r\n";
    };
    line(QByteArray::number(list.size() - 1));
    for (const EventRecord &record : list.records()) {
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
    QString candidate = m_path + QStringLiteral(".bak");
    for (int number = 1; QFileInfo::exists(candidate); ++number)
        candidate = m_path + QStringLiteral(".bak.%1").arg(number);
    return candidate;
}

void DatabaseFile::save(const EventList &list)
{
    if (m_needsBackup && exists()) {
        const QString backup = nextBackupPath();
        try {
            writeWholeFile(backup, readWholeFile(m_path, maxBytes));
        } catch (const Failure &failure) {
            // A file that cannot be kept is not replaced either.
            throw Failure(failure.message() + previousFileUnchanged());
        }
        m_backupPath = backup;
    }
    m_needsBackup = false;

    if (list.isEmpty())
        removeFile(m_path);
    else
        writeWholeFile(m_path, serialize(list));
}

} // namespace roradaza
