// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/Schedule.h"

#include <algorithm>

namespace roradaza {

bool Schedule::fallsOn(QDate day) const
{
    switch (kind) {
    case Kind::Never:
        return false;
    case Kind::Yearly:
        return day.month() == month && day.day() == (lastDay ? day.daysInMonth() : this->day);
    case Kind::Monthly:
        return (year == 0 || day.year() == year) && day.day() == std::min(this->day, day.daysInMonth());
    case Kind::Weekly:
        return weekdays[std::size_t(day.dayOfWeek() - 1)];
    case Kind::Once:
        return day == date;
    }
    return false;
}

QDate Schedule::nextOn(QDate from) const
{
    switch (kind) {
    case Kind::Never:
        return {};
    case Kind::Once:
        return date >= from ? date : QDate();
    case Kind::Yearly:
        for (int year = from.year();; ++year) {
            const QDate first(year, month, 1);
            const QDate day = first.addDays((lastDay ? first.daysInMonth() : this->day) - 1);
            if (day.month() == month && day >= from)
                return day;
        }
    case Kind::Monthly: {
        if (year != 0 && year < from.year())
            return {};
        QDate first = year > from.year() ? QDate(year, 1, 1) : QDate(from.year(), from.month(), 1);
        for (;; first = first.addMonths(1)) {
            const QDate day = first.addDays(std::min(this->day, first.daysInMonth()) - 1);
            if (year != 0 && day.year() != year)
                return {};
            if (day >= from)
                return day;
        }
    }
    case Kind::Weekly:
        for (QDate day = from;; day = day.addDays(1)) {
            if (fallsOn(day))
                return day;
        }
    }
    return {};
}

Schedule scheduleOf(const RecordView &record)
{
    const CheckFields fields = decodeForCheck(record);
    Schedule schedule;
    if (fields.weekly) {
        bool any = false;
        for (std::size_t i = 0; i < schedule.weekdays.size(); ++i) {
            schedule.weekdays[i] = hasWeekday(record.day, weekdayListNames()[i]);
            any = any || schedule.weekdays[i];
        }
        schedule.kind = any ? Schedule::Kind::Weekly : Schedule::Kind::Never;
        return schedule;
    }

    // The check's numbers are 16-bit: take them as it does.
    const int month = quint16(fields.month);
    const int day = quint16(fields.day);
    const int window = quint16(quint32(fields.advance) + 1u);
    const int year = quint16(fields.year);
    const bool everyYear = year == 0;
    // The check reads today's year from four digits.
    if (!everyYear && year > 9999)
        return schedule;

    if (month == 0) {
        if (day == 0)
            return schedule;
        schedule.kind = Schedule::Kind::Monthly;
        schedule.day = std::min(day, 31);
        schedule.year = year;
        return schedule;
    }
    if (month > 12)
        return schedule;

    if (day == 0) {
        // Day 00 is counted across the month end as the day before the 1st,
        // on the last day of the month before, as long as there is any warning window.
        if (window == 0)
            return schedule;
        if (everyYear) {
            schedule.kind = Schedule::Kind::Yearly;
            schedule.month = month == 1 ? 12 : month - 1;
            schedule.lastDay = true;
        } else {
            schedule.kind = Schedule::Kind::Once;
            schedule.date = QDate(year, month, 1).addDays(-1);
        }
        return schedule;
    }

    if (everyYear) {
        if (month == 2 && day == 29) {
            schedule.kind = Schedule::Kind::Yearly;
            schedule.month = 2;
            schedule.lastDay = true;
        } else if (day <= QDate(2001, month, 1).daysInMonth()) {
            schedule.kind = Schedule::Kind::Yearly;
            schedule.month = month;
            schedule.day = day;
        }
        return schedule;
    }
    const QDate date(year, month, day);
    if (date.isValid()) {
        schedule.kind = Schedule::Kind::Once;
        schedule.date = date;
    }
    return schedule;
}

} // namespace roradaza
