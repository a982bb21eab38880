// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventRecord.h"

#include <QDate>

#include <array>
#include <optional>

namespace roradaza {

// The days on which the check announces a record "OGGI", worked out once
// from its fields by the same rules the check applies day by day.
struct Schedule
{
    enum class Kind {
        Never,   // no day ever: day 00 every month, 31 April, a weekly list without a weekday
        Yearly,  // month and day every year; day 29 of February falls on the 28th in common years
        Monthly, // day of every month, a day the month lacks falling on its last day
        Weekly,  // the weekdays named, every week of every year
        Once,    // one date
    };
    Kind kind = Kind::Never;
    int month = 0;                  // Yearly: 1..12; Monthly in a single year: 0
    int day = 0;                    // Yearly: 1..31, or lastDay; Monthly: 1..31 (31 meaning the last day)
    bool lastDay = false;           // Yearly: the month's last day, whatever its length
    int year = 0;                   // Monthly: 0 every year, or the only year
    QDate date;                     // Once
    std::array<bool, 7> weekdays{}; // Weekly, Monday first

    // Whether the record falls due on this day.
    bool fallsOn(QDate day) const;
    // The first day on or after from when it falls due; invalid when none.
    QDate nextOn(QDate from) const;
};

// Throws the conversion error of a field that does not convert, as the check does.
Schedule scheduleOf(const RecordView &record);

} // namespace roradaza
