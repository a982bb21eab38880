// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/Exchange.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

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

QByteArray recordKey(const EventRecord &record)
{
    // No field holds a line break.
    return record.name + '\n' + record.month + '\n' + record.day + '\n' + record.advance + '\n' + record.year;
}

const char *const monthNames[] = {"Gennaio", "Febbraio", "Marzo",     "Aprile",  "Maggio",   "Giugno",
                                  "Luglio",  "Agosto",   "Settembre", "Ottobre", "Novembre", "Dicembre"};

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
    QSet<QByteArray> present;
    present.reserve(list.size());
    for (const EventRecord &record : list.records())
        present.insert(recordKey(record));

    Conversion plan;
    plan.refused = std::move(conversion.refused);
    plan.changed = std::move(conversion.changed);
    qsizetype room = EventList::capacity - list.size();
    for (EventRecord &record : conversion.records) {
        const QString name = text::fromCp1252(record.name);
        if (present.contains(recordKey(record))) {
            plan.refused.push_back({name, QStringLiteral("è già nell'elenco")});
        } else if (room == 0) {
            plan.refused.push_back(
                {name, QStringLiteral("l'elenco è pieno (al massimo %1 eventi)").arg(EventList::capacity)});
        } else {
            plan.records.push_back(std::move(record));
            --room;
        }
    }
    return plan;
}

std::optional<QByteArray> recordName(const QString &name, QString &why)
{
    if (name.trimmed().isEmpty()) {
        why = QStringLiteral("non ha un nome");
        return std::nullopt;
    }
    if (name.contains(u'\n') || name.contains(u'\r')) {
        why = QStringLiteral("il nome occupa più righe");
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = text::toCp1252(name);
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

QString describeWhen(const EventRecord &record)
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
