// SPDX-License-Identifier: GPL-3.0-or-later
// The core's hot paths at the list's full size: a check pass, loading (beside
// a plain pass over the same bytes), sorting and saving. Run from anywhere; files go to a temporary folder.

#include "generate.h"

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "check/CheckEngine.h"
#include "store/DatabaseFile.h"
#include "store/LineBuffer.h"
#include "store/WholeFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>

using namespace roradaza;

namespace {

// The check as the program runs it, with every delete prompt declined.
class DecliningHost final : public CheckHost
{
public:
    int prompts = 0;
    bool askDelete(const QByteArray &) override
    {
        ++prompts;
        return false;
    }
    void showNotificationWindow() override {}
    void disableMainWindow() override {}
    void setModified() override {}
};

EventList listOf(std::vector<EventRecord> records, bool sorted)
{
    EventList list;
    list.setAutoSort(sorted);
    list.appendAll(std::move(records));
    return list;
}

// The list as the program holds it after loading its file.
EventList loadedList(std::vector<EventRecord> records)
{
    QTemporaryDir folder;
    DatabaseFile file(folder.filePath(QStringLiteral("Roradaza.dat")));
    file.save(listOf(std::move(records), true));
    EventList list;
    file.read();
    file.fill(list, DatabaseFile::Layout::Current);
    return list;
}

// range(0) records; range(1): 1 loaded from a file, 0 generated and sorted in
// memory, which leaves their fields spread over the heap.
void BM_CheckPass(benchmark::State &state)
{
    std::vector<EventRecord> records = bench::generatedRecords(int(state.range(0)));
    EventList events = state.range(1) != 0 ? loadedList(std::move(records)) : listOf(std::move(records), true);
    NotificationList notices;
    // Late in the month, so that early next month's events roll over too.
    const FixedClock clock(QDate(2025, 3, 29));
    const Calendar calendar(clock, '/');
    DecliningHost host;
    CheckEngine engine(events, notices, calendar, SaintsCalendar::standard(), host);
    for (auto _ : state) {
        const CheckEngine::Result result = engine.run();
        benchmark::DoNotOptimize(result.ran);
    }
    state.counters["reminders"] = double(notices.count());
    // Each prompt puts the reminders gathered so far in place first.
    state.counters["prompts"] = double(host.prompts) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CheckPass)
    ->ArgNames({"records", "loaded"})
    ->Args({1000, 1})
    ->Args({10000, 1})
    ->Args({EventList::capacity, 1})
    ->Args({EventList::capacity, 0})
    ->Unit(benchmark::kMillisecond);

// The floor of any load: the file's bytes read and each line found once.
qsizetype linesOf(const QString &path)
{
    const QByteArray bytes = readWholeFile(path, DatabaseFile::maxBytes);
    LineReader lines(bytes);
    qsizetype count = 0;
    for (QByteArrayView line; lines.next(line);)
        ++count;
    return count;
}

// range(0): 1 sorts on loading as the program does, 0 keeps file order as
// the terminal check does. Each load follows a plain pass over the same file,
// so "x_plain" (load time over the plain pass's, taken side by side) rises
// when a change has the load walk lines more than once.
void BM_ReadFile(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Roradaza.dat"));
    DatabaseFile(path).save(listOf(bench::generatedRecords(EventList::capacity), true));
    std::chrono::duration<double> plain{0};
    std::chrono::duration<double> load{0};
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        benchmark::DoNotOptimize(linesOf(path));
        const Clock::time_point between = Clock::now();
        {
            DatabaseFile file(path);
            EventList list;
            list.setAutoSort(state.range(0) != 0);
            file.read();
            file.fill(list, DatabaseFile::Layout::Current);
            benchmark::DoNotOptimize(list.size());
        }
        const Clock::time_point end = Clock::now();
        plain += between - start;
        load += end - between;
        state.SetIterationTime(std::chrono::duration<double>(end - between).count());
    }
    state.counters["plain_ms"] = benchmark::Counter(plain.count() * 1000, benchmark::Counter::kAvgIterations);
    state.counters["x_plain"] = load / plain;
    state.SetItemsProcessed(state.iterations() * EventList::capacity);
}
BENCHMARK(BM_ReadFile)->ArgName("sorted")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_SortNames(benchmark::State &state)
{
    std::vector<EventRecord> shuffled = bench::generatedRecords(EventList::capacity);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(20070329));
    for (auto _ : state) {
        state.PauseTiming();
        EventList list = listOf(shuffled, false);
        state.ResumeTiming();
        benchmark::DoNotOptimize(list.sort());
    }
    state.SetItemsProcessed(state.iterations() * EventList::capacity);
}
BENCHMARK(BM_SortNames)->Unit(benchmark::kMillisecond);

void BM_SaveFile(benchmark::State &state)
{
    QTemporaryDir folder;
    DatabaseFile file(folder.filePath(QStringLiteral("Roradaza.dat")));
    const EventList list = loadedList(bench::generatedRecords(EventList::capacity));
    for (auto _ : state)
        file.save(list);
    state.SetItemsProcessed(state.iterations() * EventList::capacity);
}
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // Names are ordered by the user's locale, read when the first list is
    // made: pin it before anything else runs.
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    setenv("LANG", "it_IT.UTF-8", 1);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
