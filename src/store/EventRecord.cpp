// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/EventRecord.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/Text.h"

#include <algorithm>
#include <cstring>

namespace roradaza {
namespace {

// The editor's rule for a marker: with the choice on, a one-character text is
// padded first and the marker appended unless present; with it off, every
// copy of the marker goes. Padding before appending makes "5" become "05A".
QByteArray applyMarker(QByteArray text, char marker, bool chosen)
{
    if (!chosen)
        return text::without(text, marker);
    if (text.size() == 1)
        text.prepend('0');
    if (!text.contains(marker))
        text.append(marker);
    return text;
}

// Marker tests as cheap as they can be: the check makes three for every record.
bool holds(QByteArrayView field, char marker)
{
    return std::find(field.cbegin(), field.cend(), marker) != field.cend();
}

bool isWeeklyMarker(QByteArrayView field)
{
    constexpr std::size_t size = sizeof markers::weekly - 1;
    return field.size() == qsizetype(size) && std::memcmp(field.constData(), markers::weekly, size) == 0;
}

QByteArray padOne(QByteArray text)
{
    if (text.size() == 1)
        text.prepend('0');
    return text;
}

} // namespace

EventRecord EventRecord::newRecord()
{
    return {QByteArray(), "0", "1", "7", markers::everyYear};
}

EventRecord EventRecord::sampleRecord()
{
    return {"Compleanno di Zozadevi", "07", "23", "07", markers::everyYear};
}

const std::array<QByteArray, 7> &weekdayListNames()
{
    static const std::array<QByteArray, 7> names = {
        "Luned\xEC", "Marted\xEC", "Mercoled\xEC", "Gioved\xEC", "Venerd\xEC", "Sabato", "Domenica",
    };
    return names;
}

EventRecord encode(const EditorChoices &choices)
{
    const QByteArray dayText = padOne(applyMarker(choices.dayText, markers::autoDelete, choices.autoDelete));
    const QByteArray advanceText = padOne(applyMarker(choices.advanceText, markers::important, choices.important));

    EventRecord record;
    record.name = choices.name;
    if (!record.name.isEmpty() && record.name[0] >= 'a' && record.name[0] <= 'z')
        record.name[0] = char(record.name[0] - 'a' + 'A');

    if (choices.weekly) {
        for (std::size_t i = 0; i < choices.weekdays.size(); ++i) {
            if (choices.weekdays[i])
                record.day += weekdayListNames()[i] + ';';
        }
        if (choices.autoDelete)
            record.day += markers::autoDelete;
        record.month = markers::weekly;
    } else {
        record.month = QByteArray::number(choices.monthIndex);
        record.day = dayText;
    }
    record.advance = advanceText;
    record.year = choices.specificYear ? QByteArray::number(choices.year) : QByteArray(markers::everyYear);

    record.month = padOne(record.month);
    record.advance = padOne(record.advance);
    return record;
}

namespace {

// What toInteger gives for a field with every copy of marker taken out, when
// what is left is one to nine plain digits; marker -1 takes nothing out.
// Whether the marker was there goes to marked. The check asks this of
// every field of every record, so it reads the field once and copies nothing.
bool plainDigits(QByteArrayView field, int marker, bool &marked, int &value)
{
    // Nearly every field is two digits, or four for a year: read at once.
    const auto digit = [&field](qsizetype at) { return unsigned(static_cast<unsigned char>(field[at])) - '0'; };
    if (field.size() == 2 && digit(0) <= 9 && digit(1) <= 9) {
        value = int(digit(0) * 10 + digit(1));
        return true;
    }
    if (field.size() == 4 && digit(0) <= 9 && digit(1) <= 9 && digit(2) <= 9 && digit(3) <= 9) {
        value = int(((digit(0) * 10 + digit(1)) * 10 + digit(2)) * 10 + digit(3));
        return true;
    }
    int number = 0;
    qsizetype digits = 0;
    for (const char c : field) {
        if (c >= '0' && c <= '9') {
            // Ten digits or more may not fit: the full rule decides those.
            if (++digits > 9)
                return false;
            number = number * 10 + (c - '0');
        } else if (static_cast<unsigned char>(c) == marker) {
            marked = true;
        } else {
            return false;
        }
    }
    value = number;
    return digits > 0;
}

// The rule in full, for a field that is not plain digits: the conversion's
// error comes from here.
CheckFields decodeEveryField(const RecordView &record)
{
    CheckFields fields;
    fields.weekly = isWeeklyMarker(record.month);
    if (!fields.weekly)
        fields.month = toInteger(record.month);

    // Most fields carry no marker: they convert as they stand, without a copy.
    fields.important = holds(record.advance, markers::important);
    if (!fields.weekly)
        fields.advance =
            toInteger(fields.important ? text::without(record.advance, markers::important) : record.advance);

    fields.autoDelete = holds(record.day, markers::autoDelete);
    if (!fields.weekly)
        fields.day = toInteger(fields.autoDelete ? text::without(record.day, markers::autoDelete) : record.day);

    fields.year = toInteger(record.year);
    return fields;
}

} // namespace

CheckFields decodeForCheck(const RecordView &record)
{
    CheckFields fields;
    bool unused = false;
    fields.weekly = isWeeklyMarker(record.month);
    if (fields.weekly) {
        fields.important = holds(record.advance, markers::important);
        fields.autoDelete = holds(record.day, markers::autoDelete);
        if (plainDigits(record.year, -1, unused, fields.year))
            return fields;
    } else if (plainDigits(record.month, -1, unused, fields.month) &&
               plainDigits(record.advance, markers::important, fields.important, fields.advance) &&
               plainDigits(record.day, markers::autoDelete, fields.autoDelete, fields.day) &&
               plainDigits(record.year, -1, unused, fields.year)) {
        return fields;
    }
    return decodeEveryField(record);
}

EditorLoad decodeForEditor(const RecordView &record, int todayYear)
{
    EditorLoad load;
    EditorChoices &choices = load.choices;
    choices.name = record.name.toByteArray();
    choices.weekly = record.month == markers::weekly;
    choices.monthIndex = -1;
    const auto remember = [&load](const Failure &failure) {
        if (load.error.isEmpty())
            load.error = failure.message();
    };

    if (!choices.weekly) {
        try {
            const int month = toInteger(record.month);
            choices.monthIndex = month >= 0 && month <= 12 ? month : -1;
        } catch (const Failure &failure) {
            remember(failure);
        }
        choices.dayText = text::without(record.day, markers::autoDelete);
    }
    choices.advanceText = text::without(record.advance, markers::important);
    choices.important = record.advance.contains(markers::important);
    choices.autoDelete = record.day.contains(markers::autoDelete);

    choices.specificYear = record.year != markers::everyYear;
    choices.year = std::clamp(todayYear, 2000, 2999);
    if (choices.specificYear) {
        try {
            choices.year = std::clamp(toInteger(record.year), 2000, 2999);
        } catch (const Failure &failure) {
            remember(failure);
            // A year that could not be read must not be saved as if it had
            // been: the month stays unchosen until the user picks one.
            choices.monthIndex = -1;
        }
    }
    if (choices.weekly) {
        for (std::size_t i = 0; i < choices.weekdays.size(); ++i)
            choices.weekdays[i] = hasWeekday(record.day, weekdayListNames()[i]);
    }
    return load;
}

bool hasWeekday(QByteArrayView dayField, QByteArrayView weekdayName)
{
    return text::containsIgnoringAsciiCase(dayField, weekdayName);
}

} // namespace roradaza
