// SPDX-License-Identifier: GPL-3.0-or-later
// A check pass over arbitrary records on an arbitrary day. Input: two bytes
// for the day of the year, one for the year (1900 to 2155, so both kinds of
// century), one of flags, then lines taken five at a time as records. The
// pass must never throw: a record it cannot read is reported and skipped.

#include "FuzzSupport.h"

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "check/CheckEngine.h"
#include "store/LineBuffer.h"

#include <cstring>

using namespace roradaza;

namespace {

// Answers the delete prompts yes, no, yes, ...
class AlternatingHost final : public CheckHost
{
public:
    bool askDelete(const QByteArray &) override
    {
        m_answer = !m_answer;
        yes += m_answer ? 1 : 0;
        return m_answer;
    }
    void showNotificationWindow() override {}
    void disableMainWindow() override { ++disabled; }
    void setModified() override { modified = true; }

    int yes = 0;
    int disabled = 0;
    bool modified = false;

private:
    bool m_answer = false;
};

bool before(const QByteArray &a, const QByteArray &b)
{
    const int order = std::memcmp(a.constData(), b.constData(), std::size_t(std::min(a.size(), b.size())));
    return order != 0 ? order < 0 : a.size() < b.size();
}

bool isReminder(const QByteArray &text)
{
    return text.startsWith("OGGI:  ") || text.startsWith("DOMANI:  ") || text.startsWith("Tra ");
}

// Saints line first, reminders in byte order, and the separator, if any,
// just before the first line holding "Tra " when that is not the first line.
void checkLines(const NotificationList &notices, bool saints)
{
    if (saints) {
        fuzz::require(!notices.isEmpty() && notices.line(0).text.startsWith("Calendario:  ") &&
                          notices.line(0).colour == colours::green,
                      "the saints line comes first, in green");
    }
    int firstTra = -1;
    int separator = -1;
    const QByteArray *previous = nullptr;
    for (int row = 0; row < notices.count(); ++row) {
        const NotificationList::Line &line = notices.line(row);
        if (firstTra < 0 && line.text.contains("Tra "))
            firstTra = row;
        if (saints && row == 0)
            continue;
        if (line.text == "-") {
            fuzz::require(separator < 0, "one separator at most");
            separator = row;
            continue;
        }
        fuzz::require(isReminder(line.text), "every other line is a reminder");
        fuzz::require(line.colour == colours::red || line.colour == colours::blue, "reminders are red or blue");
        fuzz::require(!previous || !before(line.text, *previous), "reminders in byte order");
        previous = &line.text;
    }
    fuzz::require(firstTra <= 0 ? separator < 0 : separator == firstTra - 1, "the separator's place");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const QDate newYear(1900 + data[2], 1, 1);
    const QDate today = newYear.addDays((data[0] | data[1] << 8) % newYear.daysInYear());
    const bool saints = data[3] & 1;
    const char separator = data[3] & 2 ? '.' : '/';

    const LineBuffer lines(QByteArray(reinterpret_cast<const char *>(data) + 4, qsizetype(size) - 4));
    std::vector<EventRecord> records;
    for (qsizetype first = 0; lines.hasLine(first) && records.size() < 256; first += 5) {
        records.push_back({lines.line(first).toByteArray(), lines.line(first + 1).toByteArray(),
                           lines.line(first + 2).toByteArray(), lines.line(first + 3).toByteArray(),
                           lines.line(first + 4).toByteArray()});
    }
    EventList events;
    events.setAutoSort(data[3] & 4);
    events.appendAll(std::move(records));
    const int count = events.size();

    const FixedClock clock(today);
    const Calendar calendar(clock, separator);
    NotificationList notices;
    AlternatingHost host;
    CheckEngine engine(events, notices, calendar, SaintsCalendar::standard(), host);
    engine.setSaintsOption(saints);
    const CheckEngine::Result result = engine.run();

    fuzz::require(result.ran, "the pass ran");
    fuzz::require(result.failures.size() <= count, "one failure per record at most");
    fuzz::require(count - events.size() == host.yes, "each yes deletes one record");
    fuzz::require(host.modified == (host.yes > 0), "modified exactly when a record went");
    fuzz::require(host.disabled == (notices.isEmpty() ? 0 : 1), "the main window disabled when anything shows");
    checkLines(notices, saints);

    // The once-a-day guard: hidden in the tray, the same day is not checked again.
    const std::vector<NotificationList::Line> shown = notices.lines();
    engine.setHiddenInTray(true);
    fuzz::require(!engine.run().ran && notices.lines() == shown, "a guarded pass leaves the list alone");
    return 0;
}
