// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

namespace roradaza {

// One reminder: a name and four short fields, all Windows-1252 text, kept
// exactly as stored so that a load and a save never change a byte.
struct EventRecord
{
    QByteArray name;
    QByteArray month;   // "01".."12", "00" every month, "##" weekly
    QByteArray day;     // two digits or a weekday list, optionally ending in "A"
    QByteArray advance; // two digits of warning, optionally ending in "i"
    QByteArray year;    // "0000" every year, or a year

    friend bool operator==(const EventRecord &, const EventRecord &) = default;

    // The record "&Aggiungi" starts the editor with, and the one a new user sees.
    static EventRecord newRecord();
    static EventRecord sampleRecord();
};

// A record read where it lies, without a copy: in an event list's block, or
// in an EventRecord. It holds only while what it looks at is unchanged: an
// event list's views go with the list's next change.
struct RecordView
{
    QByteArrayView name;
    QByteArrayView month;
    QByteArrayView day;
    QByteArrayView advance;
    QByteArrayView year;

    RecordView() = default;
    RecordView(QByteArrayView name, QByteArrayView month, QByteArrayView day, QByteArrayView advance,
               QByteArrayView year)
        : name(name), month(month), day(day), advance(advance), year(year)
    {}
    RecordView(const EventRecord &record) // NOLINT: a record is read through its view
        : name(record.name), month(record.month), day(record.day), advance(record.advance), year(record.year)
    {}

    // An owned copy, for a record about to be edited or kept past a change.
    EventRecord toRecord() const
    {
        return {name.toByteArray(), month.toByteArray(), day.toByteArray(), advance.toByteArray(), year.toByteArray()};
    }

    friend bool operator==(const RecordView &a, const RecordView &b)
    {
        return a.name == b.name && a.month == b.month && a.day == b.day && a.advance == b.advance && a.year == b.year;
    }
};

// The longest name a record takes: what the editor's name box holds, and
// what an import lets in.
inline constexpr int nameLengthLimit = 32767;

namespace markers {
inline constexpr char weekly[] = "##";
inline constexpr char everyMonth[] = "00";
inline constexpr char everyYear[] = "0000";
inline constexpr char autoDelete = 'A';
inline constexpr char important = 'i';
} // namespace markers

// The weekdays in the order a weekday list names them, Monday first.
const std::array<QByteArray, 7> &weekdayListNames();

// What the editor's controls hold; Encode turns it into the four fields.
struct EditorChoices
{
    QByteArray name;
    bool weekly = false;
    int monthIndex = 0;             // 0 "TUTTI", 1..12 January..December; -1 nothing chosen
    QByteArray dayText;             // as typed: at most two digits, possibly empty
    QByteArray advanceText;         // as typed
    std::array<bool, 7> weekdays{}; // Monday first
    bool autoDelete = false;
    bool important = false;
    bool specificYear = false;
    int year = 2000; // 2000..2999
};

EventRecord encode(const EditorChoices &choices);

// What a check pass needs of a record. Throws the conversion error on a
// field that does not convert.
struct CheckFields
{
    bool weekly = false;
    bool important = false;
    bool autoDelete = false;
    int month = 0;   // annual only; 0 every month
    int day = 0;     // annual only
    int advance = 0; // annual only
    int year = 0;    // 0 every year
};

CheckFields decodeForCheck(const RecordView &record);

// The same, with the shape nearly every yearly or monthly record has (two
// digits each, a four-digit year, no markers) read where it is called: the
// check asks it of every record.
inline CheckFields decodeForCheckInline(const RecordView &record)
{
    const auto digit = [](QByteArrayView field, qsizetype at) {
        return unsigned(static_cast<unsigned char>(field[at])) - '0';
    };
    const auto twoDigits = [&digit](QByteArrayView field) {
        return field.size() == 2 && digit(field, 0) <= 9 && digit(field, 1) <= 9;
    };
    if (twoDigits(record.month) && twoDigits(record.day) && twoDigits(record.advance) && record.year.size() == 4 &&
        digit(record.year, 0) <= 9 && digit(record.year, 1) <= 9 && digit(record.year, 2) <= 9 &&
        digit(record.year, 3) <= 9) {
        CheckFields fields;
        fields.month = int(digit(record.month, 0) * 10 + digit(record.month, 1));
        fields.day = int(digit(record.day, 0) * 10 + digit(record.day, 1));
        fields.advance = int(digit(record.advance, 0) * 10 + digit(record.advance, 1));
        fields.year = int(((digit(record.year, 0) * 10 + digit(record.year, 1)) * 10 + digit(record.year, 2)) * 10 +
                          digit(record.year, 3));
        return fields;
    }
    return decodeForCheck(record);
}

// The editor's view of a record. A month or year field that does not convert
// leaves the month unchosen (or the year at its default) and puts the
// conversion's message in error, so that nothing the load did not set is saved.
struct EditorLoad
{
    EditorChoices choices;
    QString error;
};

EditorLoad decodeForEditor(const RecordView &record, int todayYear);

// Whether a weekday name occurs in a day field, letters A to Z compared
// without case. An empty name never occurs.
bool hasWeekday(QByteArrayView dayField, QByteArrayView weekdayName);

} // namespace roradaza
