// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calendar/Clock.h"

#include <QByteArray>

namespace roradaza {

// Today's date and the small date services the check and the editor share.
class Calendar
{
public:
    explicit Calendar(const Clock &clock, char separator = regionalDateSeparator())
        : m_clock(clock), m_separator(separator)
    {
    }

    // Always dd/mm/yyyy, with "." in place of "/" when that is the regional separator.
    QByteArray todayText() const;
    int todayDay() const;
    int todayMonth() const;
    int todayYear() const;
    // The year of the clock, for which month lengths are computed.
    int currentYear() const;
    char separator() const { return m_separator; }

    // Days of a month (28 to 31); any month above 11 counts as December.
    // Month 0 throws "Invalid argument to date encode".
    static int monthDays(int month, int year);

    // The Italian weekday name of a date. A day beyond its month's length
    // (taken in the current year) names the matching day of the next month,
    // December carrying into January of the next year. A date that still does
    // not exist throws "'d/m/yyyy' is not a valid date".
    QByteArray whatDay(int day, int month, int year) const;

    // Sunday = 1 ... Saturday = 7.
    static const QByteArray &weekdayName(int index);
    // 0 "ogni mese", 1 "Gennaio" ... 12 "Decembre"; empty for any other number.
    static const QByteArray &monthName(int month);

private:
    const Clock &m_clock;
    char m_separator;
};

} // namespace roradaza
