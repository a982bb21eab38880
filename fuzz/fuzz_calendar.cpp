// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as an iCalendar file: a clear failure or what could be read, every
// record read is one the check can read, and a calendar made of those records
// gives them back.

#include "FuzzSupport.h"

#include "exchange/Exchange.h"
#include "store/Failure.h"

#include <algorithm>

using namespace roradaza;

namespace {

QByteArrayList keys(const std::vector<EventRecord> &records)
{
    QByteArrayList list;
    for (const EventRecord &r : records)
        list << QByteArrayList{r.name, r.month, r.day, r.advance, r.year}.join('\n');
    std::sort(list.begin(), list.end());
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    exchange::Conversion read;
    try {
        read = exchange::readCalendar(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    } catch (const Failure &) {
        return 0;
    }
    for (const EventRecord &record : read.records) {
        fuzz::require(!record.name.isEmpty(), "a record read has a name");
        try {
            decodeForCheck(record);
        } catch (const Failure &) {
            fuzz::fail("a record read is one the check can read");
        }
    }
    const QDateTime stamp(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);
    EventList list;
    list.setAutoSort(false);
    list.appendAll(read.records);
    const exchange::CalendarExport calendar = exchange::exportCalendar(list, QDate(2027, 1, 1), stamp);
    fuzz::require(calendar.leftOut.empty(), "every record read can be written");
    const exchange::Conversion back = exchange::readCalendar(calendar.text);
    fuzz::require(back.refused.empty() && keys(back.records) == keys(read.records),
                  "our own calendar gives back the records written");
    return 0;
}
