// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Generated events for the benchmarks. Record k depends only on k and the
// options, through the 32-bit mix below, so that a script in another language
// (bench/vs-remind.sh) can produce the very same events with a few lines.
//
// Per 20 records: 12 yearly, 2 in one specific year (2020..2030), 4 monthly
// (days 1..28) and 2 weekly (one or two weekdays). Yearly days stay within
// their month, 28 February at most, so that no event is shifted.

#include "store/EventRecord.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <vector>

namespace roradaza::bench {

struct GenerateOptions
{
    // The important and auto-delete markers on some records ("i" on one in
    // eight, "A" on one in sixteen). Off for the side-by-side comparison,
    // where the other program has no such notions.
    bool markers = true;
    // Days of advance of every yearly and specific-year record; -1 draws 0..14.
    int yearlyAdvance = -1;
};

// lowbias32 (Chris Wellons): a cheap mix with good avalanche.
inline std::uint32_t mix(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

inline QByteArray twoDigitField(int number)
{
    return QByteArray::number(number).rightJustified(2, '0');
}

inline QByteArray generatedName(std::uint32_t k)
{
    static const std::array<const char *, 10> what = {
        "Compleanno di", "Onomastico di", "Anniversario di", "Pagare",       "Visita da",
        "Telefonare a",  "Esame con",     "Cena da",         "Riunione con", "Regalo per",
    };
    static const std::array<const char *, 12> first = {
        "Andrea",    "anna",   "Niccol\xF2", "Zo\xEB", "Luca",     "Chiara",
        "\xC9lodie", "Giulia", "Federica",   "Mattia", "Beatrice", "Ettore",
    };
    static const std::array<const char *, 12> last = {
        "Rossi",    "Bianchi", "D'Amico",   "Esposito", "Ferrari", "Galli",
        "Lombardi", "Ricci",   "Marin\xF2", "Bruno",    "De Luca", "Conti",
    };
    const std::uint32_t h = mix(k ^ 0x9e3779b9u);
    QByteArray name = what[h % 10];
    name += ' ';
    name += first[(h >> 4) % 12];
    name += ' ';
    name += last[(h >> 8) % 12];
    name += ' ';
    name += QByteArray::number(k);
    return name;
}

inline EventRecord generatedRecord(std::uint32_t k, const GenerateOptions &options = {})
{
    static const std::array<int, 12> monthLength = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const std::uint32_t h = mix(k);
    const std::uint32_t kind = k % 20;
    const bool important = options.markers && (h >> 24) % 8 == 0;
    const bool autoDelete = options.markers && (h >> 27) % 16 == 0;

    EventRecord record;
    record.name = generatedName(k);
    record.year = "0000";
    if (kind < 14) {
        const int month = int(1 + h % 12);
        record.month = twoDigitField(month);
        record.day = twoDigitField(int(1 + (h >> 4) % std::uint32_t(monthLength[std::size_t(month - 1)])));
        record.advance = twoDigitField(options.yearlyAdvance >= 0 ? options.yearlyAdvance : int((h >> 9) % 15));
        if (kind >= 12)
            record.year = QByteArray::number(2020 + (h >> 13) % 11);
    } else if (kind < 18) {
        record.month = "00";
        record.day = twoDigitField(int(1 + (h >> 4) % 28));
        record.advance = twoDigitField(int((h >> 9) % 8));
    } else {
        const std::uint32_t firstDay = (h >> 4) % 7;
        const std::uint32_t secondDay = (h >> 7) % 7;
        record.month = "##";
        for (std::uint32_t day = 0; day < 7; ++day) {
            if (day == firstDay || (day == secondDay && (h >> 10) % 2 == 0))
                record.day += weekdayListNames()[day] + ';';
        }
        record.advance = "00";
    }
    if (autoDelete)
        record.day += 'A';
    if (important)
        record.advance += 'i';
    return record;
}

inline std::vector<EventRecord> generatedRecords(int count, const GenerateOptions &options = {})
{
    std::vector<EventRecord> records;
    records.reserve(std::size_t(count));
    for (int k = 0; k < count; ++k)
        records.push_back(generatedRecord(std::uint32_t(k), options));
    return records;
}

} // namespace roradaza::bench
