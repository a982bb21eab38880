// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventList.h"
#include "store/EventRecord.h"

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

// Events in and out: iCalendar files (through libical) and vCard address books.
namespace roradaza::exchange {

// Calendars and address books are read whole, and no bigger than this. A
// calendar costs libical some twenty times its size in memory: half the
// limit still holds the largest list exported.
inline constexpr qint64 fileLimit = 64 * 1024 * 1024;
inline constexpr qint64 calendarFileLimit = fileLimit / 2;
// Components nest three deep in a real calendar (VCALENDAR, VEVENT, VALARM;
// VTIMEZONE, STANDARD): a calendar nested deeper than this is not read at all.
inline constexpr int calendarDepthLimit = 32;

// An event of a file that could not become a record, or a record that could
// not go into a file, and why.
struct Refusal
{
    QString what;
    QString why;
    QString text() const { return what.isEmpty() ? why : what + QStringLiteral(": ") + why; }
};

// What a file gives: records in the file's order, what it could not give,
// and what it gave more than once (kept once). An import's plan adds the
// records left out because the list already has them.
struct Conversion
{
    std::vector<EventRecord> records;
    std::vector<Refusal> refused;
    std::vector<Refusal> duplicates;
    // Records taken with a change, and which: as another calendar has them
    // now, since it moved their days (what our own export had kept of them no
    // longer holds), or without the pictographs that decorated their title.
    std::vector<Refusal> changed;
};

// Reads a file whole. Only regular files, unless streams are allowed (a pipe
// or a device named on a command line), which are read up to the same limit.
// Throws a message naming the file.
QByteArray readFile(const QString &path, bool allowStreams, qint64 limit = fileLimit);

// A file's text without its UTF-8 byte order mark; throws when it holds a
// NUL byte, which no calendar or address book has.
QByteArrayView plainText(const QByteArray &bytes);

// The calendar: one VEVENT per record that has a day, in UTF-8 with CR LF.
struct CalendarExport
{
    QByteArray text;
    int exported = 0;
    std::vector<Refusal> leftOut;     // fields that do not convert
    std::vector<Refusal> unscheduled; // no day in any calendar: kept aside in the file for Roradaza alone
};
// today: an auto-delete event goes out as its next occurrence from this day.
// stamp: the moment the calendar is made (DTSTAMP).
CalendarExport exportCalendar(const EventList &records, QDate today, const QDateTime &stamp);

// One record as a calendar of its own, one VEVENT with this UID, for a
// server that keeps one event per resource: the same event as the whole
// export makes of it. Empty, with why, for a record no calendar can show.
std::optional<QByteArray> exportEvent(const EventRecord &record, const QByteArray &uid, QDate today,
                                      const QDateTime &stamp, QString &why);

// Throw a message for a file that is not a calendar or an address book at
// all, or is broken: nothing is taken from it then.
Conversion readCalendar(const QByteArray &bytes);
Conversion readContacts(const QByteArray &bytes);

// The same, read from a file; the message names the file.
Conversion readCalendarFile(const QString &path, bool allowStreams = false);
Conversion readContactsFile(const QString &path, bool allowStreams = false);

// One calendar of one event, read as an import reads it: its UID, and its
// record, or why it cannot become one (anything else beside the event, or a
// second event, counts against it: taking part of it would lose the rest).
struct EventReading
{
    QByteArray uid;
    std::optional<EventRecord> record;
    Refusal refused;
};
EventReading readEvent(const QByteArray &body);

// What an import adds to a list: every record not already in it, as far as
// the list has room; the rest join the refusals. A record is already there
// when one of the same name falls on the same date (month, day and year),
// whatever its days of warning and its markers; the second of two such
// records of one file is a duplicate too. Duplicates are listed apart.
Conversion planImport(const EventList &list, Conversion conversion);

// The name of a record made from a text: refused (empty, with why) when
// Windows-1252 cannot hold it, it has more than one line or it is longer
// than the editor takes; the first letter a-z upper-cased as the editor does.
// With dropped, pictographs that only decorate the text at its ends (the
// cake of a birthday calendar) are left out and returned there instead.
std::optional<QByteArray> recordName(const QString &name, QString &why, QString *dropped = nullptr);

// A name as a list of refusals shows it: cut short when it is very long.
QString shownName(const QString &name);

// A record's date or weekdays, in words, for the list of what an import adds.
QString describeWhen(const RecordView &record);

} // namespace roradaza::exchange
