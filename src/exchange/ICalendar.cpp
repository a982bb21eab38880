// SPDX-License-Identifier: GPL-3.0-or-later
// iCalendar in and out through libical: the records become VEVENTs that fall
// on exactly the days the check announces them, and VEVENTs of other
// programs become records where a record can say the same.

#include "exchange/Exchange.h"
#include "exchange/Schedule.h"

#include "store/Failure.h"
#include "store/Text.h"

#include "Version.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QTimeZone>

#include <libical/ical.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <tuple>

namespace roradaza::exchange {
namespace {

constexpr char recordProperty[] = "X-RORADAZA-RECORD";
// Every-year and weekly events start in the first year the editor knows.
const QDate firstYear(2000, 1, 1);

struct ComponentDeleter
{
    void operator()(icalcomponent *component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentDeleter>;

QString utf8(const char *text)
{
    return QString::fromUtf8(text ? text : "");
}

icaltimetype icalDate(QDate date)
{
    icaltimetype time = icaltime_null_date();
    time.year = date.year();
    time.month = date.month();
    time.day = date.day();
    return time;
}

// The five fields travel percent-encoded, so that any byte comes back as it was.
QByteArray encodeFields(const RecordView &record)
{
    QByteArrayList parts;
    for (const QByteArrayView field : {record.name, record.month, record.day, record.advance, record.year})
        parts << field.toByteArray().toPercentEncoding("#");
    return parts.join('/');
}

std::optional<EventRecord> decodeFields(QByteArrayView raw)
{
    // Another program may give the value back with its text escapes (\; \,)
    // or with our own percent signs decoded: both still read.
    QByteArray value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            const char next = raw[++i];
            value += next == 'n' || next == 'N' ? '\n' : next;
        } else {
            value += raw[i];
        }
    }
    const QByteArrayList parts = value.split('/');
    if (parts.size() != 5)
        return std::nullopt;
    std::array<QByteArray, 5> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fields[i] = QByteArray::fromPercentEncoding(parts[qsizetype(i)]);
        if (fields[i].contains('\n') || fields[i].contains('\r'))
            return std::nullopt;
    }
    EventRecord record{fields[0], fields[1], fields[2], fields[3], fields[4]};
    if (record.name.isEmpty())
        return std::nullopt;
    try {
        decodeForCheck(record);
    } catch (const Failure &) {
        return std::nullopt;
    }
    return record;
}

icalproperty *recordX(const RecordView &record)
{
    icalproperty *property = icalproperty_new_x(encodeFields(record).constData());
    icalproperty_set_x_name(property, recordProperty);
    return property;
}

template <std::size_t N> void setList(short (&list)[N], std::initializer_list<int> values)
{
    std::size_t at = 0;
    for (const int value : values)
        list[at++] = short(value);
    if (at < N)
        list[at] = ICAL_RECURRENCE_ARRAY_MAX;
}

// The rule and the first day of a schedule that recurs.
std::pair<icalrecurrencetype, QDate> ruleOf(const Schedule &schedule)
{
    icalrecurrencetype rule;
    icalrecurrencetype_clear(&rule);
    QDate start = schedule.nextOn(firstYear);
    switch (schedule.kind) {
    case Schedule::Kind::Yearly:
        rule.freq = ICAL_YEARLY_RECURRENCE;
        setList(rule.by_month, {schedule.month});
        // The last day: 29 February in leap years, the 28th in the others.
        setList(rule.by_month_day, {schedule.lastDay ? -1 : schedule.day});
        break;
    case Schedule::Kind::Monthly:
        rule.freq = ICAL_MONTHLY_RECURRENCE;
        // A day the month lacks falls on its last day: the latest of the days
        // from the 28th up to the day that the month has.
        if (schedule.day <= 28)
            setList(rule.by_month_day, {schedule.day});
        else if (schedule.day == 29)
            setList(rule.by_month_day, {28, 29});
        else if (schedule.day == 30)
            setList(rule.by_month_day, {28, 29, 30});
        else
            setList(rule.by_month_day, {-1});
        if (schedule.day > 28 && schedule.day < 31)
            setList(rule.by_set_pos, {-1});
        if (schedule.year != 0) {
            start = schedule.nextOn(QDate(schedule.year, 1, 1));
            rule.until = icalDate(QDate(schedule.year, 12, 31));
        }
        break;
    case Schedule::Kind::Weekly: {
        rule.freq = ICAL_WEEKLY_RECURRENCE;
        std::size_t at = 0;
        for (std::size_t i = 0; i < schedule.weekdays.size(); ++i) {
            if (schedule.weekdays[i]) // Monday first; libical counts from Sunday = 1
                rule.by_day[at++] = short(i == 6 ? ICAL_SUNDAY_WEEKDAY : ICAL_MONDAY_WEEKDAY + int(i));
        }
        rule.by_day[at] = ICAL_RECURRENCE_ARRAY_MAX;
        break;
    }
    default:
        break;
    }
    return {rule, start};
}

// libical holds the days of the years 0 to 3000 only: it stores any other
// as a null time and writes that as a date no reader takes back.
bool calendarHolds(QDate day)
{
    if (!day.isValid())
        return false;
    icalproperty *property = icalproperty_new_dtstart(icalDate(day));
    const bool held = !icaltime_is_null_time(icalproperty_get_dtstart(property));
    icalproperty_free(property);
    return held;
}

void appendText(QByteArray &text, icalcomponent *component)
{
    char *written = icalcomponent_as_ical_string_r(component);
    text += written;
    icalmemory_free_buffer(written);
}

QString lineName(const RecordView &record)
{
    return text::fromCp1252(record.name);
}

} // namespace

namespace {

// fixedUid: the UID of a calendar of one event; empty for a whole list,
// whose UIDs follow the names.
CalendarExport exportRecords(const EventList &records, QDate today, const QDateTime &stamp, const QByteArray &fixedUid)
{
    CalendarExport result;
    Component calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar.get(),
                               icalproperty_new_prodid("-//Roradaza//Roradaza " RORADAZA_VERSION "//IT"));
    icalcomponent_add_property(calendar.get(), icalproperty_new_calscale("GREGORIAN"));
    icalproperty *calendarName = icalproperty_new_x("Roradaza");
    icalproperty_set_x_name(calendarName, "X-WR-CALNAME");
    icalcomponent_add_property(calendar.get(), calendarName);

    const icaltimetype stampTime =
        icaltime_from_timet_with_zone(time_t(stamp.toSecsSinceEpoch()), 0, icaltimezone_get_utc_timezone());
    // A record's UID follows its name, so that a second export of a changed
    // date updates the event instead of adding one; equal names are numbered.
    QHash<QByteArray, int> seen;
    QByteArray events;

    for (const RecordView record : records.records()) {
        Schedule schedule;
        CheckFields fields;
        try {
            schedule = scheduleOf(record);
            fields = decodeForCheck(record);
        } catch (const Failure &failure) {
            result.leftOut.push_back({lineName(record), failure.message()});
            continue;
        }
        // No day in any calendar: the record is kept aside in the file for
        // Roradaza alone, since its warnings still come ahead of that day.
        const auto keepAside = [&](const QString &why) {
            result.unscheduled.push_back({lineName(record), why});
            icalcomponent_add_property(calendar.get(), recordX(record));
        };
        if (schedule.kind == Schedule::Kind::Never) {
            keepAside(QStringLiteral("non cade mai in un giorno del calendario"));
            continue;
        }
        QDate single;
        if (fields.autoDelete)
            single = schedule.nextOn(today); // deleted once announced: only the next time
        else if (schedule.kind == Schedule::Kind::Once)
            single = schedule.date;
        if (fields.autoDelete && !single.isValid()) {
            keepAside(QStringLiteral("non cadrà più"));
            continue;
        }
        std::optional<icalrecurrencetype> rule;
        QDate start = single;
        if (!single.isValid())
            std::tie(rule, start) = ruleOf(schedule);
        if (!calendarHolds(start) || !calendarHolds(start.addDays(1))) {
            keepAside(QStringLiteral("cade il %1, fuori dagli anni che un calendario sa scrivere")
                          .arg(start.toString(QStringLiteral("dd/MM/yyyy"))));
            continue;
        }

        icalcomponent *event = icalcomponent_new(ICAL_VEVENT_COMPONENT);
        const QByteArray uid = !fixedUid.isEmpty()
                                   ? fixedUid
                                   : QCryptographicHash::hash(record.name, QCryptographicHash::Sha1).toHex().left(24) +
                                         '-' + QByteArray::number(++seen[record.name.toByteArray()]) + "@roradaza";
        icalcomponent_add_property(event, icalproperty_new_uid(uid.constData()));
        icalcomponent_add_property(event, icalproperty_new_dtstamp(stampTime));
        const QByteArray summary = text::fromCp1252(record.name).toUtf8();
        icalcomponent_add_property(event, icalproperty_new_summary(summary.constData()));

        if (rule)
            icalcomponent_add_property(event, icalproperty_new_rrule(*rule));
        icalcomponent_add_property(event, icalproperty_new_dtstart(icalDate(start)));
        icalcomponent_add_property(event, icalproperty_new_dtend(icalDate(start.addDays(1))));
        icalcomponent_add_property(event, icalproperty_new_transp(ICAL_TRANSP_TRANSPARENT));
        if (fields.important)
            icalcomponent_add_property(event, icalproperty_new_priority(1));
        icalcomponent_add_property(event, recordX(record));

        // The warning window: the first warning comes this many days before.
        const int window = quint16(quint32(fields.advance) + 1u);
        const int advance = fields.weekly || window == 0 ? 0 : window - 1;
        icalcomponent *alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
        icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
        icalcomponent_add_property(alarm, icalproperty_new_description(summary.constData()));
        icaltriggertype trigger;
        trigger.time = icaltime_null_time();
        trigger.duration = icaldurationtype_null_duration();
        if (advance > 0) {
            trigger.duration.is_neg = 1;
            trigger.duration.days = unsigned(advance);
        }
        icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
        icalcomponent_add_component(event, alarm);

        // Each event is written on its own: libical writes a calendar of
        // tens of thousands of events many times slower than its events one by one.
        const Component written(event);
        appendText(events, event);
        ++result.exported;
    }

    appendText(result.text, calendar.get());
    const qsizetype end = result.text.lastIndexOf("END:VCALENDAR");
    result.text.insert(end, events);
    return result;
}

} // namespace

CalendarExport exportCalendar(const EventList &records, QDate today, const QDateTime &stamp)
{
    return exportRecords(records, today, stamp, {});
}

std::optional<QByteArray> exportEvent(const EventRecord &record, const QByteArray &uid, QDate today,
                                      const QDateTime &stamp, QString &why)
{
    EventList list;
    list.setAutoSort(false);
    list.append(record);
    CalendarExport one = exportRecords(list, today, stamp, uid);
    if (one.exported == 1)
        return std::move(one.text);
    why = !one.leftOut.empty() ? one.leftOut.front().why : one.unscheduled.front().why;
    return std::nullopt;
}

namespace {

// A moment as the event's own clock shows it; UTC becomes local time.
QDateTime wallClock(const icaltimetype &time)
{
    const QDate date(time.year, time.month, time.day);
    if (time.is_date)
        return QDateTime(date, QTime(0, 0));
    const QTime clock(time.hour, time.minute, time.second);
    if (icaltime_is_utc(time))
        return QDateTime(date, clock, Qt::UTC).toLocalTime();
    return QDateTime(date, clock);
}

bool listEmpty(const short *list)
{
    return list[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

std::vector<int> listOf(const short *list, std::size_t size)
{
    std::vector<int> values;
    for (std::size_t i = 0; i < size && list[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        values.push_back(list[i]);
    return values;
}

QByteArray twoDigits(int number)
{
    return QByteArray::number(number).rightJustified(2, '0');
}

// The warning: the earliest alarm before the start, in whole days by the
// calendar (an alarm at 9 the evening before is one day), else a week.
int advanceOf(icalcomponent *event, const QDateTime &start)
{
    int earliest = -1;
    for (icalcomponent *alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT)) {
        icalproperty *property = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
        icalproperty *action = icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY);
        // Apple keeps a place for an alarm never to go off: ACTION:NONE in 1976.
        if (!property || (action && qstricmp(icalproperty_get_value_as_string(action), "NONE") == 0))
            continue;
        const icaltriggertype trigger = icalproperty_get_trigger(property);
        QDateTime when;
        if (!icaltime_is_null_time(trigger.time)) {
            when = wallClock(trigger.time);
        } else {
            QDateTime base = start;
            icalparameter *related = icalproperty_get_first_parameter(property, ICAL_RELATED_PARAMETER);
            if (related && icalparameter_get_related(related) == ICAL_RELATED_END) {
                const icaltimetype end = icalcomponent_get_dtend(event);
                base = icaltime_is_null_time(end) ? start.addDays(start.time() == QTime(0, 0) ? 1 : 0) : wallClock(end);
            }
            when = base.addSecs(icaldurationtype_as_int(trigger.duration));
        }
        const qint64 days = when.date().daysTo(start.date());
        if (when <= start && days > earliest)
            earliest = int(std::min<qint64>(days, 1000));
    }
    return earliest >= 0 && earliest <= 99 ? earliest : 7;
}

const char *frequencyWords(icalrecurrencetype_frequency frequency)
{
    switch (frequency) {
    case ICAL_SECONDLY_RECURRENCE:
        return "si ripete ogni secondo";
    case ICAL_MINUTELY_RECURRENCE:
        return "si ripete ogni minuto";
    case ICAL_HOURLY_RECURRENCE:
        return "si ripete ogni ora";
    default:
        return "si ripete in un modo che Roradaza non conosce";
    }
}

struct EventFields
{
    QByteArray month, day, year = markers::everyYear;
};

// The days of a VEVENT as a record's fields, or why they cannot be.
std::optional<EventFields> fieldsOf(icalcomponent *event, QDate start, QString &why)
{
    const int ruleCount = icalcomponent_count_properties(event, ICAL_RRULE_PROPERTY);
    if (ruleCount == 0 && start.year() < 1) {
        why = QStringLiteral("l'anno %1 è fuori dagli anni 2000-2999").arg(start.year());
        return std::nullopt;
    }
    if (ruleCount == 0)
        return EventFields{twoDigits(start.month()), twoDigits(start.day()), QByteArray::number(start.year())};
    if (ruleCount > 1) {
        why = QStringLiteral("ha più di una regola di ripetizione");
        return std::nullopt;
    }
    const icalrecurrencetype rule =
        icalproperty_get_rrule(icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY));
    if (rule.interval != 1) {
        why = QStringLiteral("si ripete a intervalli di %1").arg(rule.interval);
        return std::nullopt;
    }
    const bool untilSet = !icaltime_is_null_time(rule.until);
    if (rule.count != 0 || (untilSet && rule.freq != ICAL_MONTHLY_RECURRENCE)) {
        why = QStringLiteral("la ripetizione ha un termine");
        return std::nullopt;
    }
    if (!listEmpty(rule.by_second) || !listEmpty(rule.by_minute) || !listEmpty(rule.by_hour) ||
        !listEmpty(rule.by_year_day) || !listEmpty(rule.by_week_no)) {
        why = QStringLiteral("si ripete in un modo che Roradaza non conosce");
        return std::nullopt;
    }
    const std::vector<int> months = listOf(rule.by_month, ICAL_BY_MONTH_SIZE);
    const std::vector<int> monthDays = listOf(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    const std::vector<int> setPositions = listOf(rule.by_set_pos, ICAL_BY_SETPOS_SIZE);
    const std::vector<int> weekdays = listOf(rule.by_day, ICAL_BY_DAY_SIZE);
    // The last of the days from the 28th on: Roradaza's day of a month that may lack it.
    const auto lastOfFrom28 = [&]() -> int {
        if (setPositions != std::vector<int>{-1} || monthDays.size() < 2)
            return 0;
        for (std::size_t i = 0; i < monthDays.size(); ++i) {
            if (monthDays[i] != 28 + int(i))
                return 0;
        }
        return monthDays.back();
    };

    switch (rule.freq) {
    case ICAL_YEARLY_RECURRENCE: {
        const int month = months.empty() ? start.month() : months.size() == 1 ? months[0] : 0;
        int day = 0;
        const int length = QDate(2000, std::max(month, 1), 1).daysInMonth();
        if (monthDays.empty() && setPositions.empty())
            day = start.day();
        else if (monthDays.size() == 1 && setPositions.empty())
            day = monthDays[0] == -1 ? length : monthDays[0];
        else if (month == 2 && lastOfFrom28() == 29)
            day = 29;
        if (month < 1 || month > 12 || day < 1 || day > length || !weekdays.empty()) {
            why = QStringLiteral("si ripete ogni anno in più giorni o in un giorno della settimana");
            return std::nullopt;
        }
        return EventFields{twoDigits(month), twoDigits(day)};
    }
    case ICAL_MONTHLY_RECURRENCE: {
        int day = 0;
        if (!months.empty() || !weekdays.empty())
            day = 0;
        else if (monthDays.empty() && setPositions.empty())
            day = start.day();
        else if (monthDays.size() == 1 && setPositions.empty())
            day = monthDays[0] == -1 ? 31 : monthDays[0];
        else
            day = lastOfFrom28();
        // The 31st of every month skips the short months; Roradaza would put it on their last day.
        const bool lastDayRule = monthDays == std::vector<int>{-1} || lastOfFrom28() != 0;
        if (day > 28 && !lastDayRule) {
            why = QStringLiteral("si ripete il giorno %1, che manca in alcuni mesi").arg(day);
            return std::nullopt;
        }
        if (day < 1 || day > 31) {
            why = QStringLiteral("si ripete ogni mese in più giorni o in un giorno della settimana");
            return std::nullopt;
        }
        if (!untilSet)
            return EventFields{QByteArray(markers::everyMonth), twoDigits(day)};
        // Every month of one year: from its first month to the end of its last.
        Schedule year;
        year.kind = Schedule::Kind::Monthly;
        year.day = day;
        year.year = start.year();
        const QDate until(rule.until.year, rule.until.month, rule.until.day);
        const QDate last = year.nextOn(QDate(start.year(), 12, 1));
        if (start != year.nextOn(QDate(start.year(), 1, 1)) || until < last || until.year() != start.year()) {
            why = QStringLiteral("la ripetizione ha un termine");
            return std::nullopt;
        }
        return EventFields{QByteArray(markers::everyMonth), twoDigits(day), QByteArray::number(start.year())};
    }
    case ICAL_WEEKLY_RECURRENCE:
    case ICAL_DAILY_RECURRENCE: {
        std::array<bool, 7> chosen{}; // Monday first
        if (!months.empty() || !monthDays.empty() || !setPositions.empty()) {
            why = QStringLiteral("si ripete solo in certi mesi o giorni del mese");
            return std::nullopt;
        }
        if (rule.freq == ICAL_DAILY_RECURRENCE && weekdays.empty())
            chosen.fill(true);
        else if (weekdays.empty())
            chosen[std::size_t(start.dayOfWeek() - 1)] = true;
        for (const int encoded : weekdays) {
            if (icalrecurrencetype_day_position(short(encoded)) != 0) {
                why = QStringLiteral("si ripete in un giorno della settimana di posto fisso");
                return std::nullopt;
            }
            const int weekday = icalrecurrencetype_day_day_of_week(short(encoded)); // Sunday = 1
            chosen[std::size_t(weekday == ICAL_SUNDAY_WEEKDAY ? 6 : weekday - ICAL_MONDAY_WEEKDAY)] = true;
        }
        QByteArray list;
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            if (chosen[i])
                list += weekdayListNames()[i] + ';';
        }
        return EventFields{QByteArray(markers::weekly), list};
    }
    default:
        why = QString::fromLatin1(frequencyWords(rule.freq));
        return std::nullopt;
    }
}

// Whether two schedules announce the same days.
bool sameDays(const Schedule &a, const Schedule &b)
{
    if (a.kind != b.kind)
        return false;
    switch (a.kind) {
    case Schedule::Kind::Never:
        return true;
    case Schedule::Kind::Yearly: {
        // The last day of a month other than February is a day like any other.
        const auto day = [](const Schedule &s) {
            return s.lastDay && s.month != 2 ? QDate(2001, s.month, 1).daysInMonth() : s.lastDay ? 0 : s.day;
        };
        return a.month == b.month && day(a) == day(b);
    }
    case Schedule::Kind::Monthly:
        return a.day == b.day && a.year == b.year;
    case Schedule::Kind::Weekly:
        return a.weekdays == b.weekdays;
    case Schedule::Kind::Once:
        return a.date == b.date;
    }
    return false;
}

// Whether our own record still falls on the days the event now has: an event
// moved in another calendar is taken as it is there now.
bool stillOurs(const RecordView &ours, const EventFields &fields)
{
    try {
        const Schedule mine = scheduleOf(ours);
        const Schedule theirs = scheduleOf({"-", fields.month, fields.day, "00", fields.year});
        // Deleted once announced: the calendar has its next day only.
        if (decodeForCheck(ours).autoDelete)
            return theirs.kind == Schedule::Kind::Once && mine.fallsOn(theirs.date);
        return sameDays(mine, theirs);
    } catch (const Failure &) {
        return false;
    }
}

// One VEVENT as the reader gathered it: the lines libical is to read, and
// what it could already tell without libical.
struct PendingEvent
{
    struct Line
    {
        QByteArray text;
        int number = 0;
    };
    std::vector<Line> lines;
    QByteArray record; // the value of our own record property
    QString damage;    // the first reason the event cannot be read
    // What libical is given is bounded: the first of each property (two
    // rules, to tell that there are more than one), the first alarms.
    QSet<QByteArray> taken;
    int rules = 0;
    int alarms = 0;
    bool inAlarm = false;
    QSet<QByteArray> takenInAlarm;

    static constexpr int alarmLimit = 100;

    bool take(const QByteArray &name)
    {
        if (name == "RRULE")
            return ++rules <= 2;
        QSet<QByteArray> &seen = inAlarm ? takenInAlarm : taken;
        if (seen.contains(name))
            return false;
        seen.insert(name);
        return true;
    }

    void damaged(const QString &why)
    {
        if (damage.isEmpty())
            damage = why;
    }
};

// libical keeps what it could not read as X-LIC-ERROR properties. A
// parameter it could not read is left off a line it kept (Apple writes
// DTSTART;VALUE=:...): the value still holds.
const char *errorOf(icalcomponent *component)
{
    for (icalproperty *error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY); error;
         error = icalcomponent_get_next_property(component, ICAL_XLICERROR_PROPERTY)) {
        icalparameter *type = icalproperty_get_first_parameter(error, ICAL_XLICERRORTYPE_PARAMETER);
        const icalparameter_xlicerrortype kind = type ? icalparameter_get_xlicerrortype(type) : ICAL_XLICERRORTYPE_NONE;
        if (kind != ICAL_XLICERRORTYPE_PARAMETERNAMEPARSEERROR && kind != ICAL_XLICERRORTYPE_PARAMETERVALUEPARSEERROR)
            return icalproperty_get_xlicerror(error);
    }
    return nullptr;
}

const char *firstError(icalcomponent *event)
{
    if (const char *error = errorOf(event))
        return error;
    for (icalcomponent *alarm = icalcomponent_get_first_component(event, ICAL_ANY_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(event, ICAL_ANY_COMPONENT)) {
        if (const char *error = errorOf(alarm))
            return error;
    }
    return nullptr;
}

Component parseEvent(const std::vector<PendingEvent::Line> &lines)
{
    QByteArray source = "BEGIN:VEVENT\r\n";
    for (const PendingEvent::Line &line : lines)
        source += line.text + "\r\n";
    source += "END:VEVENT\r\n";
    return Component(icalparser_parse_string(source.constData()));
}

// The line libical could not read, and its own words without the part that
// says it dropped the line.
QString unreadableLine(const std::vector<PendingEvent::Line> &lines)
{
    for (const PendingEvent::Line &line : lines) {
        if (line.text.startsWith("BEGIN:") || line.text.startsWith("END:"))
            continue;
        const Component one = parseEvent({line});
        const char *error = one ? firstError(one.get()) : "";
        if (!error)
            continue;
        QString words = utf8(error).simplified();
        words.replace(QStringLiteral(". Removing entire property:"), QStringLiteral(":"));
        if (words.endsWith(u':'))
            words.chop(1);
        const QByteArray name = line.text.left(line.text.indexOf(':')).split(';').front();
        return QStringLiteral("la riga %1 (%2) non si legge (%3)")
            .arg(line.number)
            .arg(QString::fromLatin1(name), words);
    }
    return QStringLiteral("non si legge");
}

void convertEvent(const PendingEvent &pending, Conversion &conversion)
{
    const Component parsed = parseEvent(pending.lines);
    icalcomponent *event = parsed.get();
    const QString summary = event ? utf8(icalcomponent_get_summary(event)) : QString();
    const QString shown = summary.isEmpty() ? QStringLiteral("(senza titolo)") : shownName(summary);
    const auto refuse = [&](const QString &why) { conversion.refused.push_back({shown, why}); };

    if (!pending.damage.isEmpty())
        return refuse(pending.damage);
    if (!event || firstError(event))
        return refuse(unreadableLine(pending.lines));

    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY))
        return refuse(QStringLiteral("cambia una sola volta di un evento che si ripete"));
    if (icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY) ||
        icalcomponent_get_first_property(event, ICAL_EXDATE_PROPERTY) ||
        icalcomponent_get_first_property(event, ICAL_EXRULE_PROPERTY))
        return refuse(QStringLiteral("ha date aggiunte o tolte alla ripetizione"));
    icalproperty *startProperty = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!startProperty)
        return refuse(QStringLiteral("non ha una data d'inizio"));
    const QDateTime start = wallClock(icalproperty_get_dtstart(startProperty));
    if (!start.date().isValid())
        return refuse(QStringLiteral("la data d'inizio non è valida"));

    QString why;
    const std::optional<EventFields> fields = fieldsOf(event, start.date(), why);
    // Our own export carries each record as it was, as long as its days still hold.
    bool changed = false;
    if (auto record = pending.record.isNull() ? std::nullopt : decodeFields(pending.record)) {
        // A title changed elsewhere is a change too: the name is taken from it.
        if (fields && stillOurs(*record, *fields) && summary == text::fromCp1252(record->name)) {
            conversion.records.push_back(std::move(*record));
            return;
        }
        changed = true;
    }

    QString dropped;
    const std::optional<QByteArray> name = recordName(summary, why, &dropped);
    if (!name)
        return refuse(why);
    if (!fields)
        return refuse(why);
    // Our own records may have any year; another calendar's event has one Roradaza knows.
    if (const int year = fields->year.toInt(); fields->year != markers::everyYear && (year < 2000 || year > 2999))
        return refuse(QStringLiteral("l'anno %1 è fuori dagli anni 2000-2999").arg(year));

    const int priority =
        icalcomponent_get_first_property(event, ICAL_PRIORITY_PROPERTY)
            ? icalproperty_get_priority(icalcomponent_get_first_property(event, ICAL_PRIORITY_PROPERTY))
            : 0;
    QByteArray advance = twoDigits(advanceOf(event, start));
    if (priority >= 1 && priority <= 4)
        advance += markers::important;
    conversion.records.push_back({*name, fields->month, fields->day, advance, fields->year});
    if (changed)
        conversion.changed.push_back({shown, QStringLiteral("cambiato in un altro calendario: si prende com'è ora")});
    if (!dropped.isEmpty())
        conversion.changed.push_back({shown, QStringLiteral("senza %1, che Roradaza non sa scrivere").arg(dropped)});
}

// The text's lines unfolded, each with the number of its first line in the
// file. CR LF, LF, CR and CR CR LF each end one line.
class LineReader
{
public:
    explicit LineReader(QByteArrayView text) : m_text(text) {}

    bool next(PendingEvent::Line &line)
    {
        if (!m_held && !physical(m_next, m_nextNumber))
            return false;
        line.text = m_next.toByteArray();
        line.number = m_nextNumber;
        m_held = false;
        QByteArrayView more;
        int number = 0;
        while (physical(more, number)) {
            if (more.isEmpty() || (more.front() != ' ' && more.front() != '\t')) {
                m_next = more;
                m_nextNumber = number;
                m_held = true;
                break;
            }
            line.text += more.sliced(1);
        }
        return true;
    }

private:
    bool physical(QByteArrayView &line, int &number)
    {
        const qsizetype size = m_text.size();
        if (m_at >= size)
            return false;
        const char *const data = m_text.data();
        qsizetype end = m_at;
        while (end < size && data[end] != '\r' && data[end] != '\n')
            ++end;
        line = m_text.sliced(m_at, end - m_at);
        number = ++m_number;
        if (end < size && data[end] == '\r') {
            if (end + 1 < size && data[end + 1] == '\n')
                ++end;
            else if (end + 2 < size && data[end + 1] == '\r' && data[end + 2] == '\n')
                end += 2;
        }
        m_at = end + 1;
        return true;
    }

    QByteArrayView m_text;
    qsizetype m_at = 0;
    int m_number = 0;
    QByteArrayView m_next;
    int m_nextNumber = 0;
    bool m_held = false;
};

// A content line's name, upper-cased, and its value; false for a line that
// is none.
bool splitLine(const QByteArray &line, QByteArray &name, QByteArrayView &value)
{
    qsizetype at = 0;
    while (at < line.size() && ((line[at] >= 'A' && line[at] <= 'Z') || (line[at] >= 'a' && line[at] <= 'z') ||
                                (line[at] >= '0' && line[at] <= '9') || line[at] == '-'))
        ++at;
    if (at == 0 || at == line.size() || (line[at] != ':' && line[at] != ';'))
        return false;
    name = line.left(at).toUpper();
    bool quoted = false;
    for (; at < line.size(); ++at) {
        if (line[at] == '"') {
            quoted = !quoted;
        } else if (line[at] == ':' && !quoted) {
            value = QByteArrayView(line).sliced(at + 1);
            return true;
        }
    }
    return false;
}

// The properties of a VEVENT that make a record; libical never sees the rest,
// so an empty, unknown or broken DESCRIPTION costs nothing.
bool usedInEvent(const QByteArray &name)
{
    static const QSet<QByteArray> used = {"SUMMARY", "DTSTART", "DTEND",  "DURATION",      "RRULE",
                                          "EXRULE",  "RDATE",   "EXDATE", "RECURRENCE-ID", "PRIORITY"};
    return used.contains(name);
}

} // namespace

Conversion readCalendar(const QByteArray &bytes)
{
    // A NUL byte costs the line it is on, unless nothing is a calendar.
    QByteArrayView text(bytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    const QByteArrayView start = text.trimmed();
    if (start.first(std::min<qsizetype>(start.size(), 15)).compare("BEGIN:VCALENDAR", Qt::CaseInsensitive) != 0)
        throw Failure(bytes.contains('\0')
                          ? QStringLiteral("non è un file di testo")
                          : QStringLiteral("non è un calendario iCalendar (non comincia con BEGIN:VCALENDAR)"));
    icalerror_set_errors_are_fatal(0);

    // The components are followed here, not by libical, which reads each
    // event on its own: the nesting is bounded before any of it is read, and
    // what goes wrong in one event costs that event only.
    Conversion conversion;
    QByteArrayList open;               // outermost first
    std::optional<PendingEvent> event; // open[1], inside a VCALENDAR
    bool calendar = false;
    // What goes wrong outside any event is said too: it may have cost one.
    const auto note = [&](const QString &why) { conversion.refused.push_back({QString(), why}); };
    const auto finish = [&] {
        convertEvent(*event, conversion);
        event.reset();
    };

    LineReader reader(text);
    PendingEvent::Line line;
    QByteArray name;
    QByteArrayView value;
    while (reader.next(line)) {
        if (line.text.isEmpty())
            continue;
        const bool whole = splitLine(line.text, name, value) && !line.text.contains('\0');
        if (whole && name == "BEGIN") {
            const QByteArray component = value.trimmed().toByteArray().toUpper();
            if (open.size() >= calendarDepthLimit)
                throw Failure(QStringLiteral("il calendario annida più di %1 componenti uno dentro l'altro (riga %2): "
                                             "nessun calendario vero lo fa")
                                  .arg(calendarDepthLimit)
                                  .arg(line.number));
            if (event && open.size() == 2 && component == "VEVENT") {
                event->damaged(QStringLiteral("manca END:VEVENT prima della riga %1").arg(line.number));
                finish();
                open.removeLast();
            }
            open.push_back(component);
            if (open.size() == 1 && component == "VCALENDAR") {
                calendar = true;
            } else if (open.size() == 2 && open[0] == "VCALENDAR" && component == "VEVENT") {
                event.emplace();
            } else if (event && open.size() == 3 && component == "VALARM" && event->alarms < PendingEvent::alarmLimit) {
                ++event->alarms;
                event->inAlarm = true;
                event->takenInAlarm.clear();
                event->lines.push_back({"BEGIN:VALARM", line.number});
            }
            continue;
        }
        if (whole && name == "END") {
            const qsizetype at = open.lastIndexOf(value.trimmed().toByteArray().toUpper());
            if (at < 0) {
                const QString why = QStringLiteral("la riga %1 chiude un componente mai aperto").arg(line.number);
                if (event)
                    event->damaged(why);
                else if (!open.isEmpty())
                    note(why);
                continue;
            }
            // Outside an event, a component left open may have held events.
            if (!event && open.size() > at + 1)
                note(QStringLiteral("manca END:%1 prima della riga %2")
                         .arg(QString::fromLatin1(open[at + 1]))
                         .arg(line.number));
            if (event && at <= 1 && open.size() > at + 1)
                event->damaged(QStringLiteral("manca END:%1 prima della riga %2")
                                   .arg(QString::fromLatin1(open[at + 1]))
                                   .arg(line.number));
            if (event && at <= 2 && event->inAlarm) {
                event->inAlarm = false;
                event->lines.push_back({"END:VALARM", line.number});
            }
            open.resize(at);
            if (event && open.size() < 2)
                finish();
            continue;
        }

        if (!event) {
            // Records with no day in any calendar, kept by our own export.
            if (whole && open.size() == 1 && open[0] == "VCALENDAR" && name == recordProperty) {
                if (auto record = decodeFields(value))
                    conversion.records.push_back(std::move(*record));
                else
                    conversion.refused.push_back(
                        {QString(), QStringLiteral("un evento di Roradaza illeggibile alla riga %1").arg(line.number)});
            } else if (!whole && !open.isEmpty()) {
                note(QStringLiteral("la riga %1 è danneggiata").arg(line.number));
            }
            continue;
        }
        if (!whole) {
            event->damaged(QStringLiteral("la riga %1 è danneggiata").arg(line.number));
            continue;
        }
        const bool inAlarm = open.size() == 3 && event->inAlarm;
        if (open.size() == 2 && name == recordProperty) {
            if (event->record.isNull())
                event->record = value.toByteArray();
        } else if ((open.size() == 2 && usedInEvent(name)) || (inAlarm && (name == "TRIGGER" || name == "ACTION"))) {
            // An empty name, priority or alarm says nothing; an empty day or rule breaks the event.
            if (!value.trimmed().isEmpty()) {
                if (event->take(name))
                    event->lines.push_back(std::move(line));
            } else if (!inAlarm && name != "SUMMARY" && name != "PRIORITY")
                event->damaged(QStringLiteral("la proprietà %1 della riga %2 è vuota")
                                   .arg(QString::fromLatin1(name))
                                   .arg(line.number));
        }
    }
    if (event) {
        event->damaged(QStringLiteral("il file finisce prima di END:VEVENT"));
        finish();
    } else if (open.size() > 1) {
        note(QStringLiteral("il file finisce prima di END:%1").arg(QString::fromLatin1(open.back())));
    }
    if (!calendar)
        throw Failure(QStringLiteral("non contiene un calendario (VCALENDAR)"));
    return conversion;
}

EventReading readEvent(const QByteArray &body)
{
    EventReading reading;
    Conversion conversion;
    try {
        conversion = readCalendar(body);
    } catch (const Failure &failure) {
        reading.refused = {QString(), failure.message()};
        return reading;
    }
    // The UID and the number of events, as the reader above counts them.
    int events = 0;
    QByteArrayList open;
    LineReader reader(QByteArrayView(body).startsWith("\xEF\xBB\xBF") ? QByteArrayView(body).sliced(3)
                                                                      : QByteArrayView(body));
    PendingEvent::Line line;
    QByteArray name;
    QByteArrayView value;
    while (reader.next(line)) {
        if (!splitLine(line.text, name, value))
            continue;
        if (name == "BEGIN") {
            open.push_back(value.trimmed().toByteArray().toUpper());
            if (open.size() == 2 && open[1] == "VEVENT")
                ++events;
        } else if (name == "END") {
            if (!open.isEmpty())
                open.removeLast();
        } else if (name == "UID" && open.size() == 2 && open[1] == "VEVENT" && reading.uid.isEmpty()) {
            reading.uid = value.trimmed().toByteArray();
        }
        if (open.size() > calendarDepthLimit)
            break;
    }
    if (!conversion.refused.empty())
        reading.refused = conversion.refused.front();
    else if (events != 1 || conversion.records.size() != 1)
        reading.refused = {QString(), events == 0 ? QStringLiteral("non contiene un evento")
                                                  : QStringLiteral("contiene %1 eventi invece di uno").arg(events)};
    else if (reading.uid.isEmpty())
        reading.refused = {shownName(text::fromCp1252(conversion.records.front().name)),
                           QStringLiteral("non ha un UID")};
    else
        reading.record = std::move(conversion.records.front());
    return reading;
}

} // namespace roradaza::exchange
