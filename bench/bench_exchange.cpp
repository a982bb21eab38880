// SPDX-License-Identifier: GPL-3.0-or-later
// Events in and out at size: an address book of many contacts read, the full
// list exported as a calendar and that calendar read back.

#include "generate.h"

#include "exchange/Exchange.h"
#include "store/Text.h"

#include <benchmark/benchmark.h>

using namespace roradaza;
using namespace roradaza::bench;

namespace {

// Contacts as phones and address books write them: every third a vCard 2.1
// with quoted-printable names, the others 3.0 with a photo folded over lines.
QByteArray addressBook(int contacts)
{
    QByteArray book;
    for (int k = 0; k < contacts; ++k) {
        const QByteArray name = text::fromCp1252(generatedName(std::uint32_t(k))).toUtf8();
        const QByteArray date =
            QByteArray::number(1950 + k % 60) + twoDigitField(1 + k % 12) + twoDigitField(1 + k % 28);
        if (k % 3 == 0) {
            book += "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" +
                    name.toPercentEncoding(" ", QByteArray(), '=') + ";;;;\r\nTEL;CELL:+39 333 " +
                    QByteArray::number(k) + "\r\nBDAY:" + date + "\r\nEND:VCARD\r\n";
        } else {
            book += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nN:" + name + ";;;;\r\nEMAIL:x" +
                    QByteArray::number(k) + "@example.com\r\nBDAY:" + date.left(4) + '-' + date.mid(4, 2) + '-' +
                    date.mid(6) + "\r\nX-ANNIVERSARY:2010-06-12\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
            for (int line = 0; line < 20; ++line)
                book += QByteArray(74, 'A') + "\r\n ";
            book += "AAAA\r\nEND:VCARD\r\n";
        }
    }
    return book;
}

void BM_ReadContacts(benchmark::State &state)
{
    const QByteArray book = addressBook(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(exchange::readContacts(book));
    state.counters["bytes"] = double(book.size());
}
BENCHMARK(BM_ReadContacts)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

const QDateTime stamp(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);

void BM_ExportCalendar(benchmark::State &state)
{
    EventList records;
    records.setAutoSort(false);
    records.appendAll(generatedRecords(EventList::capacity));
    for (auto _ : state)
        benchmark::DoNotOptimize(exchange::exportCalendar(records, QDate(2027, 1, 1), stamp));
}
BENCHMARK(BM_ExportCalendar)->Unit(benchmark::kMillisecond);

void BM_ReadCalendar(benchmark::State &state)
{
    EventList records;
    records.setAutoSort(false);
    records.appendAll(generatedRecords(EventList::capacity));
    const QByteArray calendar = exchange::exportCalendar(records, QDate(2027, 1, 1), stamp).text;
    for (auto _ : state)
        benchmark::DoNotOptimize(exchange::readCalendar(calendar));
    state.counters["bytes"] = double(calendar.size());
}
BENCHMARK(BM_ReadCalendar)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
