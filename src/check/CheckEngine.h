// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "check/NotificationList.h"
#include "store/EventList.h"

#include <QStringList>

namespace roradaza {

// What a pass needs from the program around it.
class CheckHost
{
public:
    virtual ~CheckHost() = default;
    // "Cancellare <name> ?" with Yes and No; true for Yes.
    virtual bool askDelete(const QByteArray &name) = 0;
    // Shows the notification list as it stands (before a delete prompt, and
    // once when a pass has found anything).
    virtual void showNotificationWindow() = 0;
    virtual void disableMainWindow() = 0;
    virtual void setModified() = 0;
};

// One check pass: compares every event with today and fills the
// notification list with the saints of the day and what falls today,
// tomorrow or within its warning window.
class CheckEngine
{
public:
    struct Result
    {
        bool ran = false; // false when the once-a-day guard or a pass already open ended it
        // One message per record that could not be read; those records were skipped.
        QStringList failures;
    };

    CheckEngine(EventList &events, NotificationList &notices, const Calendar &calendar,
                const SaintsCalendar &saints, CheckHost &host);

    void setSaintsOption(bool on) { m_saints = on; }
    bool saintsOption() const { return m_saints; }

    // The once-a-day guard: a pass started while the program is hidden in
    // the tray ends at once when today's day is the last-checked day. Every
    // pass that runs to its end records today's day there.
    void setHiddenInTray(bool hidden) { m_hiddenInTray = hidden; }
    const QByteArray &lastCheckedDay() const { return m_lastCheckedDay; }
    // Empties the last-checked day, so that the next pass runs ("&Controlla").
    void forgetLastCheckedDay() { m_lastCheckedDay.clear(); }

    bool isRunning() const { return m_running; }

    Result run();

private:
    struct Today
    {
        int day;
        int month;
        int year;
        int monthLength;
        QByteArray weekday;
    };
    enum class Verdict { Kept, Deleted };
    Verdict examine(int row, const Today &today);

    EventList &m_events;
    NotificationList &m_notices;
    const Calendar &m_calendar;
    const SaintsCalendar &m_saintsCalendar;
    CheckHost &m_host;
    bool m_saints = true;
    bool m_hiddenInTray = false;
    QByteArray m_lastCheckedDay = "00";
    bool m_running = false;
};

} // namespace roradaza
