// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/Exchange.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace roradaza::exchange {
namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

template <typename Reader> Conversion readNamed(const QString &path, bool allowStreams, qint64 limit, Reader reader)
{
    const QByteArray bytes = readFile(path, allowStreams, limit);
    try {
        return reader(bytes);
    } catch (const Failure &failure) {
        throw Failure(shown(path) + QStringLiteral(": ") + failure.message());
    }
}

// A field that is a number, as that number: "3" and "03" are one month.
QByteArray numberOf(QByteArrayView field)
{
    try {
        return QByteArray::number(toInteger(field));
    } catch (const Failure &) {
        return field.toByteArray();
    }
}

// What makes two records one event: the name and the date (month, day and
// year, or the weekdays), whatever the days of warning and the markers.
QByteArray sameEventKey(const RecordView &record)
{
    // No field holds a line break.
    QByteArray key = record.name.toByteArray() + '\n';
    if (record.month == markers::weekly) {
        key += markers::weekly;
        for (const QByteArray &weekday : weekdayListNames())
            key += hasWeekday(record.day, weekday) ? '1' : '0';
    } else {
        key += numberOf(record.month) + '/' + numberOf(text::without(record.day, markers::autoDelete));
    }
    return key + '\n' + numberOf(record.year);
}

// The days of warning and the markers, in words, when they tell two
// records of one event apart.
QString warningOf(const RecordView &record)
{
    const QByteArray advance = text::without(record.advance, markers::important);
    bool number = false;
    const int days = advance.toInt(&number);
    QString words =
        QStringLiteral("%1 giorni di anticipo").arg(number ? QString::number(days) : text::fromCp1252(advance));
    if (record.advance.contains(markers::important))
        words += QStringLiteral(", importante");
    if (record.day.contains(markers::autoDelete))
        words += QStringLiteral(", da cancellare dopo l'avviso");
    return words;
}

const char *const monthNames[] = {"Gennaio", "Febbraio", "Marzo",     "Aprile",  "Maggio",   "Giugno",
                                  "Luglio",  "Agosto",   "Settembre", "Ottobre", "Novembre", "Dicembre"};

// A pictograph that Windows-1252 cannot hold, or what joins and styles one.
bool pictograph(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return (category == QChar::Symbol_Other || category == QChar::Symbol_Modifier) &&
           !text::toCp1252(QString::fromUcs4(&c, 1));
}

bool joiner(char32_t c)
{
    return c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F);
}

QString withoutDecoration(const QString &name, QString &dropped)
{
    const QList<uint> points = name.toUcs4();
    const auto atEdge = [](char32_t c) { return pictograph(c) || joiner(c) || QChar::isSpace(c); };
    qsizetype first = 0;
    qsizetype end = points.size();
    while (first < end && atEdge(points[first]))
        ++first;
    while (end > first && atEdge(points[end - 1]))
        --end;
    dropped.clear();
    for (qsizetype at = 0; at < points.size(); ++at) {
        if ((at < first || at >= end) && pictograph(points[at]))
            dropped += QString::fromUcs4(reinterpret_cast<const char32_t *>(&points[at]), 1);
    }
    if (dropped.isEmpty() || first == end)
        return name;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(points.constData()) + first, end - first);
}

} // namespace

QByteArray readFile(const QString &path, bool allowStreams, qint64 limit)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw Failure(QStringLiteral("%1: il file non esiste").arg(shown(path)));
    if (info.isDir() || (!allowStreams && !info.isFile()))
        throw Failure(QStringLiteral("%1: non è un file normale").arg(shown(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(cannotOpenMessage(path, file.errorString()));
    // A stream has no size: read one byte past the limit to know it is too big.
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        throw Failure(ioErrorMessage(file.error(), path, file.errorString()));
    if (bytes.size() > limit)
        throw Failure(QStringLiteral("%1: il file è troppo grande (più di %2 MB)").arg(shown(path)).arg(limit >> 20));
    return bytes;
}

QByteArrayView plainText(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        throw Failure(QStringLiteral("non è un file di testo"));
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    return text;
}

Conversion readCalendarFile(const QString &path, bool allowStreams)
{
    return readNamed(path, allowStreams, calendarFileLimit, readCalendar);
}

Conversion readContactsFile(const QString &path, bool allowStreams)
{
    return readNamed(path, allowStreams, fileLimit, readContacts);
}

Conversion planImport(const EventList &list, Conversion conversion)
{
    // Each key knows the record it came from: the list's row, or -1 for one of this file's.
    QHash<QByteArray, int> present;
    present.reserve(list.size());
    for (int row = 0; row < list.size(); ++row)
        present.insert(sameEventKey(list.at(row)), row);

    Conversion plan;
    plan.refused = std::move(conversion.refused);
    plan.changed = std::move(conversion.changed);
    plan.duplicates = std::move(conversion.duplicates);
    qsizetype room = EventList::capacity - list.size();
    const QString full = QStringLiteral("l'elenco è pieno (al massimo %1 eventi)").arg(EventList::capacity);
    // Records of one contact share their name: it is shown once, not made again for each.
    QByteArray lastName;
    QString lastShown;
    const auto shownOf = [&](const QByteArray &name) {
        if (!lastName.isSharedWith(name)) {
            lastName = name;
            lastShown = text::fromCp1252(name);
        }
        return lastShown;
    };
    for (EventRecord &record : conversion.records) {
        const QByteArray key = sameEventKey(record);
        if (const auto there = present.constFind(key); there != present.cend()) {
            QString why;
            if (there.value() < 0)
                why = QStringLiteral("compare più volte nel file");
            else if (const RecordView listed = list.at(there.value());
                     listed.advance != record.advance || listed.day != record.day)
                why = QStringLiteral("è già nell'elenco (con %1)").arg(warningOf(listed));
            else
                why = QStringLiteral("è già nell'elenco");
            plan.duplicates.push_back({shownOf(record.name), why});
        } else if (room == 0) {
            plan.refused.push_back({shownOf(record.name), full});
        } else {
            plan.records.push_back(std::move(record));
            present.insert(key, -1);
            --room;
        }
    }
    return plan;
}

std::optional<QByteArray> recordName(const QString &text, QString &why, QString *dropped)
{
    const QString name = dropped ? withoutDecoration(text, *dropped) : text;
    if (name.trimmed().isEmpty()) {
        why = QStringLiteral("non ha un nome");
        return std::nullopt;
    }
    if (name.size() > nameLengthLimit) {
        why = QStringLiteral("il nome è troppo lungo (%1 caratteri, al massimo %2)")
                  .arg(name.size())
                  .arg(nameLengthLimit);
        return std::nullopt;
    }
    if (name.contains(u'\n') || name.contains(u'\r')) {
        why = QStringLiteral("il nome occupa più righe");
        return std::nullopt;
    }
    // Most names are plain ASCII, the same bytes in Windows-1252.
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    std::optional<QByteArray> bytes = ascii ? std::optional(name.toLatin1()) : text::toCp1252(name);
    if (!bytes) {
        QString lacking;
        for (const QChar c : name) {
            if (!text::toCp1252(QString(c)) && !lacking.contains(c))
                lacking += c;
        }
        why = QStringLiteral("il nome contiene caratteri che Roradaza non sa scrivere (%1)").arg(lacking);
        return std::nullopt;
    }
    if (bytes->front() >= 'a' && bytes->front() <= 'z')
        (*bytes)[0] = char(bytes->front() - 'a' + 'A');
    return bytes;
}

QString shownName(const QString &name)
{
    constexpr qsizetype shown = 80;
    return name.size() <= shown ? name : name.left(shown) + QStringLiteral("… (%1 caratteri)").arg(name.size());
}

QString describeWhen(const RecordView &record)
{
    if (record.month == markers::weekly) {
        QStringList days;
        for (const QByteArray &name : weekdayListNames()) {
            if (hasWeekday(record.day, name))
                days << text::fromCp1252(name);
        }
        return days.join(QStringLiteral(", "));
    }
    const QString day = text::fromCp1252(text::without(record.day, markers::autoDelete));
    QString when;
    try {
        const int month = toInteger(record.month);
        if (month == 0)
            when = QStringLiteral("il %1 di ogni mese").arg(day);
        else if (month >= 1 && month <= 12)
            when = day + u' ' + QLatin1String(monthNames[month - 1]);
        else
            when = day + QStringLiteral(" del mese ") + text::fromCp1252(record.month);
    } catch (const Failure &) {
        when = day + u'/' + text::fromCp1252(record.month);
    }
    if (record.year != markers::everyYear)
        when += u' ' + text::fromCp1252(record.year);
    return when;
}

} // namespace roradaza::exchange
