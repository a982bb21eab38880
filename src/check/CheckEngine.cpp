// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/CheckEngine.h"

#include "store/Failure.h"

namespace roradaza {
namespace {

QByteArray twoDigits(int number)
{
    return QByteArray::number(number).rightJustified(2, '0');
}

// Ends the "a pass is open" state however the pass ends.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;

private:
    bool &m_flag;
};

} // namespace

CheckEngine::CheckEngine(EventList &events, NotificationList &notices, const Calendar &calendar,
                         const SaintsCalendar &saints, CheckHost &host)
    : m_events(events), m_notices(notices), m_calendar(calendar), m_saintsCalendar(saints), m_host(host)
{}

CheckEngine::Result CheckEngine::run()
{
    Result result;
    // A pass waiting in its delete prompt runs a nested event loop; a tick or
    // a command arriving then must not start a second pass over the same list.
    if (m_running)
        return result;
    const RunningFlag running(m_running);

    Today today{m_calendar.todayDay(), m_calendar.todayMonth(), m_calendar.todayYear(), 0, {}};

    // The once-a-day guard, before anything is touched: a guarded pass
    // leaves the reminders on screen as they were.
    bool isNumber = false;
    const int lastDay = m_lastCheckedDay.toInt(&isNumber);
    if (m_hiddenInTray && isNumber && lastDay == today.day)
        return result;

    m_notices.clear();
    m_notices.beginBatch();
    if (m_saints)
        m_notices.append("Calendario:  " + m_saintsCalendar.saint(today.day, today.month), colours::green);

    today.monthLength = Calendar::monthDays(today.month, m_calendar.currentYear());
    today.weekday = m_calendar.whatDay(today.day, today.month, today.year);

    // Rows are visited by position; a record deleted on its prompt leaves
    // the next record at the same row, so none is passed over.
    for (int row = 0; row < m_events.size();) {
        Verdict verdict = Verdict::Kept;
        try {
            verdict = examine(row, today);
        } catch (const Failure &failure) {
            // One record that cannot be read must not hide the others.
            result.failures << failure.message();
        }
        if (verdict == Verdict::Kept)
            ++row;
    }
    m_notices.endBatch();

    if (!m_notices.isEmpty()) {
        m_host.disableMainWindow();
        for (int row = 0; row < m_notices.count(); ++row) {
            if (m_notices.line(row).text.contains("Tra ")) {
                if (row > 0)
                    m_notices.insert(row, "-");
                break;
            }
        }
        m_host.showNotificationWindow();
    }
    m_lastCheckedDay = twoDigits(today.day);
    result.ran = true;
    return result;
}

CheckEngine::Verdict CheckEngine::examine(int row, const Today &today)
{
    const RecordView record = m_events.at(row);
    const CheckFields fields = decodeForCheckInline(record);

    // The working values are 16-bit, as the records' numbers always were.
    int eventMonth = quint16(fields.month);
    int eventDay = quint16(fields.day);
    const int window = quint16(quint32(fields.advance) + 1u);
    int eventYear = quint16(fields.year);
    const bool everyYear = eventYear == 0;
    if (everyYear)
        eventYear = today.year;

    if (!fields.weekly) {
        // 29 February falls on the 28th in a common year.
        if (everyYear && eventMonth == 2 && eventDay == 29 && !QDate::isLeapYear(today.year))
            eventDay = 28;

        // An event early next month is counted as a day beyond the end of
        // this one. In December that is January, of next year.
        const bool december = today.month == 12;
        const int nextMonth = december ? 1 : today.month + 1;
        const bool yearFits = !december || everyYear || quint16(fields.year) == quint16(today.year + 1);
        if (today.monthLength < today.day + window && eventMonth == nextMonth && yearFits) {
            eventDay = quint16(eventDay + today.monthLength);
            eventMonth = today.month;
            if (december)
                eventYear = today.year;
        }

        if (eventMonth == 0) {
            eventMonth = today.month;
            // A day this month lacks falls on its last day.
            if (eventDay > today.monthLength)
                eventDay = today.monthLength;
        }
    }

    bool dueToday = !fields.weekly && eventMonth == today.month && eventDay == today.day && eventYear == today.year;
    // A day field shorter than the weekday's name cannot hold it: most records
    // are decided without the call.
    if (!dueToday && record.day.size() >= today.weekday.size())
        dueToday = hasWeekday(record.day, today.weekday);

    if (dueToday) {
        if (!fields.autoDelete) {
            m_notices.addNotice("OGGI:  " + record.name.toByteArray() + " !", fields.important);
            return Verdict::Kept;
        }
        // The prompt may change the list under us: keep the record as asked about.
        const EventRecord asked = record.toRecord();
        m_notices.addNotice("OGGI:  " + asked.name + " !  (Auto-Cancellazione)", fields.important);
        m_notices.settle();
        m_host.showNotificationWindow();
        if (!m_host.askDelete(asked.name))
            return Verdict::Kept;
        // Delete only the record that was asked about.
        if (row >= m_events.size() || !(m_events.at(row) == RecordView(asked)))
            return Verdict::Kept;
        m_events.removeAt(row);
        m_host.setModified();
        return Verdict::Deleted;
    }

    if (fields.weekly)
        return Verdict::Kept;
    if (eventMonth != today.month || eventYear != today.year || today.day > eventDay || eventDay - window >= today.day)
        return Verdict::Kept;

    const int daysAhead = eventDay - today.day;
    if (daysAhead == 1) {
        m_notices.addNotice("DOMANI:  " + record.name.toByteArray() + " !", fields.important);
    } else {
        const QByteArray weekday = m_calendar.whatDay(eventDay, eventMonth, today.year);
        const QByteArray &month = Calendar::monthName(fields.month);
        // Built in place: with long warnings a pass makes thousands of these.
        QByteArray text;
        text.reserve(32 + weekday.size() + record.day.size() + month.size() + record.name.size());
        text += "Tra ";
        text += twoDigits(daysAhead);
        text += " giorni  (";
        text += weekday;
        text += ' ';
        text += record.day;
        text += ' ';
        text += month;
        text += "):  ";
        text += record.name;
        m_notices.addNotice(std::move(text), fields.important);
    }
    return Verdict::Kept;
}

} // namespace roradaza
