// SPDX-License-Identifier: GPL-3.0-or-later
// Calendars and address books in and out: the exported rules fall on the
// days the check announces, real files from other programs come in as the
// records they mean, and broken files give a message and nothing else.

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "check/CheckEngine.h"
#include "exchange/Exchange.h"
#include "store/Failure.h"
#include "store/Text.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <libical/ical.h>

#include <sys/stat.h>

using namespace roradaza;

namespace {

const QDate firstDay(2027, 1, 1);
const QDate lastDay(2028, 12, 31); // a common year and a leap year
const QDateTime stamp(QDate(2027, 1, 1), QTime(0, 0), Qt::UTC);

class QuietHost final : public CheckHost
{
public:
    bool askDelete(const QByteArray &) override { return false; }
    void showNotificationWindow() override {}
    void disableMainWindow() override {}
    void setModified() override {}
};

// Records as a list holds them, in the order given.
EventList listOf(const std::vector<EventRecord> &records)
{
    EventList list;
    list.setAutoSort(false);
    list.appendAll(records);
    return list;
}

EventRecord recordOf(const QByteArrayList &fields)
{
    return {fields[0], fields[1], fields[2], fields[3], fields[4]};
}

QString keyOf(const EventRecord &record)
{
    return text::fromCp1252(
        QByteArrayList{record.name, record.month, record.day, record.advance, record.year}.join('|'));
}

QStringList keysOf(const std::vector<EventRecord> &records)
{
    QStringList keys;
    for (const EventRecord &record : records)
        keys << keyOf(record);
    return keys;
}

// The days in the window on which a pass announces the record "OGGI".
QList<QDate> checkDays(const EventRecord &record)
{
    QList<QDate> days;
    for (QDate day = firstDay; day <= lastDay; day = day.addDays(1)) {
        EventList events;
        events.append(record);
        NotificationList notices;
        const FixedClock clock(day);
        const Calendar calendar(clock, '/');
        QuietHost host;
        CheckEngine engine(events, notices, calendar, SaintsCalendar::standard(), host);
        engine.setSaintsOption(false);
        engine.run();
        for (const NotificationList::Line &line : notices.lines()) {
            if (line.text.startsWith("OGGI:  "))
                days << day;
        }
    }
    return days;
}

struct Exported
{
    QList<QDate> days; // in the window
    int alarmDays = -1;
    int priority = 0;
    int events = 0;
};

QDate dateOf(const icaltimetype &time)
{
    return QDate(time.year, time.month, time.day);
}

// The days the calendar itself says, expanded by libical.
Exported expand(const QByteArray &calendarText)
{
    Exported result;
    icalcomponent *calendar = icalparser_parse_string(calendarText.constData());
    if (!calendar)
        return result;
    for (icalcomponent *event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT)) {
        ++result.events;
        const icaltimetype start = icalcomponent_get_dtstart(event);
        if (icalproperty *rule = icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY)) {
            icalrecur_iterator *it = icalrecur_iterator_new(icalproperty_get_rrule(rule), start);
            for (icaltimetype time = icalrecur_iterator_next(it); !icaltime_is_null_time(time);
                 time = icalrecur_iterator_next(it)) {
                if (dateOf(time) > lastDay)
                    break;
                if (dateOf(time) >= firstDay)
                    result.days << dateOf(time);
            }
            icalrecur_iterator_free(it);
        } else if (dateOf(start) >= firstDay && dateOf(start) <= lastDay) {
            result.days << dateOf(start);
        }
        if (icalproperty *priority = icalcomponent_get_first_property(event, ICAL_PRIORITY_PROPERTY))
            result.priority = icalproperty_get_priority(priority);
        if (icalcomponent *alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT)) {
            const icaltriggertype trigger =
                icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY));
            result.alarmDays = -icaldurationtype_as_int(trigger.duration) / 86400;
        }
    }
    icalcomponent_free(calendar);
    return result;
}

QTemporaryDir generated;

// A sample file, or one made by initTestCase (named "made-...").
QString dataFile(const QString &name)
{
    if (name.startsWith(QLatin1String("made-")))
        return generated.filePath(name);
    return qEnvironmentVariable("RORADAZA_TEST_DATA") + QStringLiteral("/exchange/") + name;
}

void writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(dataFile(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray contact(const QByteArray &name, const QByteArray &birthday)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:" + name + "\r\nBDAY:" + birthday + "\r\nEND:VCARD\r\n";
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Times in UTC become local dates: the same local time everywhere.
        qputenv("TZ", "Europe/Rome");

        // The same calendar with each line end a program writes.
        QFile google(dataFile(QStringLiteral("google-empty-properties.ics")));
        QVERIFY(google.open(QIODevice::ReadOnly));
        const QByteArray text = google.readAll();
        for (const auto &[name, end] :
             {std::pair{"made-lf.ics", "\n"}, {"made-cr.ics", "\r"}, {"made-crcrlf.ics", "\r\r\n"}})
            writeFile(QString::fromLatin1(name), QByteArray(text).replace("\r\n", end));
        // Nested deeper than any calendar, as a 6 MB file that crashed libical's recursive free.
        writeFile(QStringLiteral("made-deep.ics"),
                  "BEGIN:VCALENDAR\r\n" + QByteArray("BEGIN:X-A\r\n").repeated(300000) +
                      QByteArray("END:X-A\r\n").repeated(300000) + "END:VCALENDAR\r\n");
        // 20 000 parameters on a line that quoted-printable carries over 100 000 more.
        writeFile(QStringLiteral("made-slow.vcf"),
                  contact("Mario Rossi", "1970-01-02")
                      .replace("END:VCARD", "NOTE" + QByteArray(";A=B").repeated(20000) +
                                                ";ENCODING=QUOTED-PRINTABLE:a=\r\n" +
                                                QByteArray("a=\r\n").repeated(99999) + "a\r\nEND:VCARD"));
        // The longest name the editor takes, one more letter, and a megabyte.
        const qsizetype room = nameLengthLimit - qsizetype(strlen("Compleanno di "));
        writeFile(QStringLiteral("made-long-names.vcf"), contact(QByteArray(room, 'a'), "--0101") +
                                                             contact(QByteArray(room + 1, 'b'), "--0202") +
                                                             contact(QByteArray(1 << 20, 'c'), "--0303"));
    }

    void exportFallsOnTheCheckDays_data()
    {
        QTest::addColumn<QByteArrayList>("fields");
        QTest::addColumn<int>("alarm");

        const auto row = [](const char *name, QByteArrayList fields, int alarm) {
            QTest::newRow(name) << (QByteArrayList{name} + fields) << alarm;
        };
        row("every year", {"04", "02", "05", "0000"}, 5);
        row("29 February every year", {"02", "29", "07", "0000"}, 7);
        row("29 February in a leap year", {"02", "29", "07", "2028"}, 7);
        row("29 February in a common year", {"02", "29", "07", "2027"}, -1);
        row("31 April", {"04", "31", "05", "0000"}, -1);
        row("30 February", {"02", "30", "01", "0000"}, -1);
        row("day 00 of March", {"03", "00", "03", "0000"}, 3);
        row("day 00 of January 2028", {"01", "00", "01", "2028"}, 1);
        row("day 00 without a window", {"03", "00", "-1", "0000"}, -1);
        row("day 31 every month", {"00", "31", "03i", "0000"}, 3);
        row("day 30 every month", {"00", "30", "00", "0000"}, 0);
        row("day 29 every month", {"00", "29", "02", "0000"}, 2);
        row("day 45 every month", {"00", "45", "00", "0000"}, 0);
        row("day 15 every month of 2028", {"00", "15", "01", "2028"}, 1);
        row("day 31 every month of 2027", {"00", "31", "01", "2027"}, 1);
        row("day 00 every month", {"00", "00", "05", "0000"}, -1);
        row("month 13", {"13", "01", "05", "0000"}, -1);
        row("one year", {"12", "25", "10i", "2027"}, 10);
        row("a hundred days ahead", {"12", "31", "99", "0000"}, 99);
        row("hexadecimal fields", {"0x3", "$0A", "07", "0000"}, 7);
        row("weekly", {"##", "Marted\xEC;Gioved\xEC;", "00", "0000"}, 0);
        row("weekly, any case", {"##", "sabato e DOMENICA", "05", "2027"}, 0);
        row("weekly, every day, auto-delete",
            {"##", "Luned\xEC;Marted\xEC;Mercoled\xEC;Gioved\xEC;Venerd\xEC;Sabato;Domenica;A", "0i", "0000"}, 0);
        row("weekly without a weekday", {"##", "nessuno", "00", "0000"}, -1);
        row("auto-delete every year", {"05", "01A", "02", "0000"}, 2);
        row("auto-delete every month", {"00", "31A", "00", "0000"}, 0);
        row("auto-delete, gone by", {"03", "29A", "02", "2026"}, -1);
    }

    void exportFallsOnTheCheckDays()
    {
        QFETCH(QByteArrayList, fields);
        QFETCH(int, alarm);
        const EventRecord record = recordOf(fields);
        QList<QDate> expected = checkDays(record);
        // Deleted once announced: the calendar has the next time only.
        if (record.day.contains('A') && !expected.isEmpty())
            expected = {expected.front()};

        const exchange::CalendarExport calendar = exchange::exportCalendar(listOf({record}), firstDay, stamp);
        const Exported exported = expand(calendar.text);
        QCOMPARE(exported.days, expected);
        QCOMPARE(exported.events, alarm < 0 ? 0 : 1);
        QCOMPARE(calendar.unscheduled.size(), std::size_t(alarm < 0 ? 1 : 0));
        QCOMPARE(exported.alarmDays, alarm);
        QCOMPARE(exported.priority, alarm >= 0 && record.advance.contains('i') ? 1 : 0);
        QVERIFY(calendar.text.endsWith("END:VCALENDAR\r\n"));

        // A calendar that lost our own property on its way through another
        // program still comes back as a record on the same days.
        QByteArrayList lines = calendar.text.split('\n');
        lines.removeIf([](const QByteArray &line) { return line.startsWith("X-RORADAZA-RECORD"); });
        const exchange::Conversion plain = exchange::readCalendar(lines.join('\n'));
        if (exported.events == 0)
            return;
        QCOMPARE(plain.refused.empty() ? QString() : plain.refused.front().text(), QString());
        QCOMPARE(checkDays(plain.records.front()), expected);
        QCOMPARE(plain.records.front().advance,
                 QByteArray::number(alarm).rightJustified(2, '0') + (exported.priority == 1 ? "i" : ""));
        QVERIFY(!calendar.text.contains(QByteArray("\n").prepend(char(0x0A))));
    }

    void ownExportComesBack()
    {
        const std::vector<EventRecord> table = {
            {"Compleanno di Zozadevi", "07", "23", "07", "0000"},
            {"Niccol\xF2, \"il\" 100%; a/b", "02", "29", "07i", "0000"},
            {"Compleanno di Zozadevi", "07", "23", "07", "0000"}, // twice, as the list may hold it
            {"31 aprile", "04", "31", "05", "0000"},
            {"Palestra", "##", "Marted\xEC;Gioved\xEC;A", "", "0000"},
            {"Rotto", "0a", "01", "07", "0000"},
            {"Bolletta", "00", "31A", "03i", "2031"},
            // Years a calendar cannot write: kept aside, not written as a broken date.
            {"Visita", "03", "29A", "02", "7007"},
            {"Rata", "00", "15", "02", "3001"},
            {"Fine del 3000", "12", "31", "00", "3000"},
            {"Vigilia", "01", "00", "02", "0001"},
            {"Fine di giugno", "07", "00", "03", "0000"}, // comes back as itself, not as 30 June
            {"Rata antica", "00", "31", "02", "0202"},    // a year no other calendar's event brings
        };
        const exchange::CalendarExport calendar = exchange::exportCalendar(listOf(table), firstDay, stamp);
        QCOMPARE(calendar.exported, 7);
        QCOMPARE(calendar.unscheduled.size(), std::size_t(5));
        QCOMPARE(calendar.unscheduled[1].text(),
                 QStringLiteral("Visita: cade il 29/03/7007, fuori dagli anni che un calendario sa scrivere"));
        QCOMPARE(calendar.leftOut.size(), std::size_t(1));
        QCOMPARE(calendar.leftOut[0].text(), QStringLiteral("Rotto: '0a' is not a valid integer value"));
        // Two calendars of the same list are the same calendar, UIDs included.
        QCOMPARE(exchange::exportCalendar(listOf(table), firstDay, stamp).text, calendar.text);

        const exchange::Conversion back = exchange::readCalendar(calendar.text);
        QVERIFY(back.refused.empty());
        QStringList expected = keysOf(table);
        expected.removeAt(5);
        QStringList got = keysOf(back.records);
        expected.sort();
        got.sort();
        QCOMPARE(got, expected);

        // Without our property every event still comes back as a record, but
        // for a year Roradaza takes only from its own.
        QByteArrayList lines = calendar.text.split('\n');
        lines.removeIf([](const QByteArray &line) { return line.startsWith("X-RORADAZA-RECORD"); });
        const exchange::Conversion plain = exchange::readCalendar(lines.join('\n'));
        QCOMPARE(plain.refused.size(), std::size_t(1));
        QCOMPARE(plain.refused[0].text(), QStringLiteral("Rata antica: l'anno 202 è fuori dagli anni 2000-2999"));
        QCOMPARE(int(plain.records.size()), calendar.exported - 1);
    }

    void importFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("refused");

        QTest::newRow("Google Calendar birthdays")
            << "google-birthdays.ics"
            << QStringList{"Compleanno di Mario Rossi|04|12|07|0000", "Compleanno di Zoë Bianchi|02|29|07|0000",
                           "Anniversario di Anna e Luca|06|12|02|0000"}
            << QStringList{"Compleanno di Łukasz Nowak: il nome contiene caratteri che Roradaza non sa scrivere (Ł)"};
        QTest::newRow("Thunderbird with alarms")
            << "thunderbird.ics"
            << QStringList{"Palestra|##|Lunedì;Giovedì;|00|0000", "Pagare l'affitto|00|05|03i|0000",
                           "Esame di storia|06|14|02|2025",
                           "Passeggiata|##|Lunedì;Martedì;Mercoledì;Giovedì;Venerdì;Sabato;Domenica;|01|0000"}
            << QStringList{"Riunione di condominio: si ripete ogni mese in più giorni o in un giorno della settimana",
                           "Olimpiadi: si ripete a intervalli di 4",
                           "Fine mese: si ripete il giorno 31, che manca in alcuni mesi",
                           "Diploma: l'anno 1999 è fuori dagli anni 2000-2999",
                           "Pillola: si ripete ogni ora",
                           "Corso di inglese: la ripetizione ha un termine"};
        const QStringList google = {"Event with alarms|10|04|00|2024", "Compleanno di Dario Neri|07|04|07|0000"};
        const QStringList googleRefused = {
            "Compleanno di Carla Verdi: la riga 56 (RDATE) non si legge (Can't parse as DATE-TIME value in RDATE "
            "property: 20131210Z)",
            "Capodanno: la riga 82 è danneggiata", "Senza giorno: la proprietà DTSTART della riga 86 è vuota"};
        QTest::newRow("Google, empty and broken properties")
            << "google-empty-properties.ics" << google << googleRefused;
        QTest::newRow("Google, LF") << "made-lf.ics" << google << googleRefused;
        QTest::newRow("Google, CR") << "made-cr.ics" << google << googleRefused;
        QTest::newRow("Google, CR CR LF") << "made-crcrlf.ics" << google << googleRefused;
        QTest::newRow("Outlook") << "outlook.ics" << QStringList{"Outlook event with alarm|10|04|07|2024"}
                                 << QStringList{"test123: ha date aggiunte o tolte alla ripetizione"};
        QTest::newRow("Thunderbird, London time")
            << "thunderbird-london.ics" << QStringList{"Event with alarms|10|23|00|2024"} << QStringList{};
        QTest::newRow("Apple, empty VALUE parameters")
            << "apple-macos.ics" << QStringList{"Ein Geburtstag|12|23|07|2015", "Anniversario|05|06|01|0000"}
            << QStringList{};
        QTest::newRow("Nextcloud birthdays")
            << "nextcloud-birthdays.ics"
            << QStringList{"Leon Green (2000)|01|01|07|0000", "Landing Pad Digital (2025)|06|10|01|0000"}
            << QStringList{"🎂 Leon Green (2000): senza 🎂, che Roradaza non sa scrivere"};
        QTest::newRow("our own, edited elsewhere")
            << "roradaza-edited.ics"
            << QStringList{"Palestra|##|Martedì;Giovedì;|00|0000", "Compleanno di Anna|04|14|07|0000",
                           "Rata|00|31|02|2027", "Visita|05|20|03i|0000", "Cena con Marco e Giulia|09|15|07|0000"}
            << QStringList{"Compleanno di Anna: cambiato in un altro calendario: si prende com'è ora",
                           "Cena con Marco e Giulia: cambiato in un altro calendario: si prende com'è ora"};
        QTest::newRow("calendar without its END")
            << "broken-no-end.ics" << QStringList{"Compleanno di Mario|04|12|07|0000"}
            << QStringList{"Capodanno: il file finisce prima di END:VEVENT"};
        QTest::newRow("calendar, folded line cut")
            << "broken-cut-fold.ics" << QStringList{"Compleanno di Mario|04|12|07|0000"}
            << QStringList{
                   "Capodanno con tutta la famiglia e gli amici di una volta, quelli di: la riga 13 è danneggiata"};
        QTest::newRow("calendar, lower case and a NUL byte")
            << "nul-and-lower-case.ics" << QStringList{"Anna|01|05|07|2027"}
            << QStringList{"(senza titolo): la riga 7 è danneggiata"};
        QTest::newRow("calendar, damaged outside events")
            << "broken-outside-events.ics" << QStringList{"Trovato|01|07|07|2027"}
            << QStringList{"la riga 8 è danneggiata", "manca END:VTIMEZONE prima della riga 13",
                           "la riga 15 è danneggiata", "la riga 18 chiude un componente mai aperto"};
        QTest::newRow("vCard 2.1, quoted-printable")
            << "contacts-21.vcf"
            << QStringList{"Compleanno di Niccolò Marinò|01|02|07|0000", "Compleanno di Francesca Città|11|30|07|0000",
                           "Anniversario di Francesca Città|09|12|07|0000", "Compleanno di André €uro|07|04|07|0000"}
            << QStringList{};
        QTest::newRow("vCard 3.0")
            << "contacts-30.vcf"
            << QStringList{"Compleanno di Rossi, Mario|03|19|07|0000", "Anniversario di Rossi, Mario|06|30|07|0000",
                           "Compleanno di Chiara Esposito|12|25|07|0000"}
            << QStringList{"Compleanno di Γιώργος Παπαδόπουλος: il nome contiene caratteri che Roradaza non sa "
                           "scrivere (ΓιώργοςΠαπδόυλ)",
                           "Compleanno di Luca Ferrari: la data \"1980-02-30\" non è riconosciuta"};
        QTest::newRow("vCard 4.0") << "contacts-40.vcf"
                                   << QStringList{"Compleanno di Beatrice Galli|02|29|07|0000",
                                                  "Anniversario di Beatrice Galli|06|12|07|0000",
                                                  "Compleanno di zeno ricci|01|01|07|0000"}
                                   << QStringList{
                                          "Compleanno di Ettore Conti: la data \"circa 1800\" non è riconosciuta"};
        QTest::newRow("Google Contacts, dates with labels")
            << "google-contacts.vcf"
            << QStringList{"Compleanno di VCard Test|06|23|07|0000", "Anniversario di VCard Test|03|20|07|0000",
                           "Ricorrenza di VCard Test|07|04|07|0000", "CustomDateCategory di VCard Test|09|12|07|0000"}
            << QStringList{};
        QTest::newRow("iPhone, CR CR LF, years left out")
            << "iphone.vcf"
            << QStringList{"Compleanno di Niccolò Marinò|03|15|07|0000", "Anniversario di Niccolò Marinò|06|05|07|0000",
                           "Ricorrenza di Niccolò Marinò|11|02|07|0000", "Laurea di Niccolò Marinò|09|19|07|0000",
                           "Anniversario di Beatrice Galli|02|29|07|0000"}
            << QStringList{"Anniversario di Beatrice Galli: la data \"1999-00-10\" non è riconosciuta"};
        QTest::newRow("Outlook") << "outlook.vcf"
                                 << QStringList{"Compleanno di Luca Bianchi|01|15|07|0000",
                                                "Anniversario di Luca Bianchi|01|13|07|0000"}
                                 << QStringList{};
        QTest::newRow("Android events")
            << "android.vcf"
            << QStringList{"Compleanno di Francesca Città|11|30|07|0000",
                           "Anniversario di Francesca Città|09|17|07|0000",
                           "Ricorrenza di Francesca Città|03|09|07|0000", "Onomastico di Francesca Città|07|16|07|0000"}
            << QStringList{"Anniversario di Francesca Città: la data \"il 2 maggio\" non è riconosciuta",
                           "Compleanno di Francesca Città: compare 2 volte nello stesso contatto"};
        QTest::newRow("Nextcloud, CR, one date in two forms")
            << "nextcloud.vcf"
            << QStringList{"Compleanno di Agnese Conti|07|04|07|0000", "Anniversario di Agnese Conti|01|17|07|0000",
                           "Compleanno di Agnese Conti|07|04|07|0000"}
            << QStringList{"Anniversario di Agnese Conti: compare 2 volte nello stesso contatto"};
        QTest::newRow("contacts without END")
            << "broken-no-end.vcf"
            << QStringList{"Compleanno di Mario Rossi|03|19|07|0000", "Compleanno di Anna Bianchi|01|01|07|0000"}
            << QStringList{"contatto della riga 6: non ha END:VCARD (il file finisce alla riga 9); letto fin lì"};
        QTest::newRow("contacts, folded line cut")
            << "broken-cut-fold.vcf"
            << QStringList{"Compleanno di Mario Rossi|03|19|07|0000",
                           "Compleanno di Anna Bianchi della Gherardesca e di molti|01|01|07|0000"}
            << QStringList{"riga 9: una riga senza \":\" (una riga spezzata?), lasciata da parte"};
        QTest::newRow("contacts, quoted-printable cut")
            << "broken-cut-qp.vcf" << QStringList{"Compleanno di Mario Rossi|03|19|07|0000"}
            << QStringList{"riga 8: il file finisce a metà di una riga spezzata, lasciata da parte",
                           "contatto della riga 6: non ha END:VCARD (il file finisce alla riga 8); letto fin lì"};
        QTest::newRow("contacts, CR CR LF, lines counted as an editor shows them")
            << "broken-crcrlf.vcf" << QStringList{}
            << QStringList{"riga 5: una riga senza \":\" (una riga spezzata?), lasciata da parte"};
        QTest::newRow("slow quoted-printable")
            << "made-slow.vcf" << QStringList{"Compleanno di Mario Rossi|01|02|07|0000"} << QStringList{};
        QTest::newRow("long names")
            << "made-long-names.vcf"
            << QStringList{"Compleanno di " + QString(nameLengthLimit - 14, u'a') + "|01|01|07|0000"}
            << QStringList{"Compleanno di " + QString(66, u'b') +
                               "… (32768 caratteri): il nome è troppo lungo (32768 caratteri, al massimo 32767)",
                           "Compleanno di " + QString(66, u'c') +
                               "… (1048590 caratteri): il nome è troppo lungo (1048590 caratteri, al massimo 32767)"};
    }

    void importFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, records);
        QFETCH(QStringList, refused);
        const exchange::Conversion conversion = file.endsWith(QLatin1String(".ics"))
                                                    ? exchange::readCalendarFile(dataFile(file))
                                                    : exchange::readContactsFile(dataFile(file));
        QCOMPARE(keysOf(conversion.records), records);
        QStringList why;
        for (const exchange::Refusal &refusal : conversion.refused)
            why << refusal.text();
        for (const exchange::Refusal &change : conversion.changed)
            why << change.text();
        for (const exchange::Refusal &duplicate : conversion.duplicates)
            why << duplicate.text();
        QCOMPARE(why, refused);
    }

    void brokenFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("calendar nested 300 000 deep")
            << "made-deep.ics"
            << "il calendario annida più di 32 componenti uno dentro l'altro (riga 33): nessun calendario vero lo fa";
        QTest::newRow("calendar, binary") << "binary.ics"
                                          << "non è un file di testo";
        QTest::newRow("address book as a calendar") << "contacts-40.vcf"
                                                    << "non è un calendario iCalendar";
        QTest::newRow("contacts, binary") << "binary.vcf"
                                          << "non è un file di testo";
        QTest::newRow("calendar as an address book") << "thunderbird.vcf"
                                                     << "non è una rubrica vCard";
        QTest::newRow("no such file") << "missing.vcf"
                                      << "il file non esiste";
    }

    void brokenFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, message);
        try {
            if (file.endsWith(QLatin1String(".ics")) || file.startsWith(QLatin1String("contacts")))
                exchange::readCalendarFile(dataFile(file));
            else
                exchange::readContactsFile(dataFile(file));
            QFAIL("read without a failure");
        } catch (const Failure &failure) {
            QVERIFY2(failure.message().startsWith(dataFile(file) + QStringLiteral(": ")),
                     qPrintable(failure.message()));
            QVERIFY2(failure.message().contains(message), qPrintable(failure.message()));
        }
    }

    void onlyFilesAreRead()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.ics"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY_THROWS_EXCEPTION(Failure, exchange::readFile(fifo, false));
        QVERIFY_THROWS_EXCEPTION(Failure, exchange::readFile(dir.path(), true));
        // A stream named on a command line is read, but never past the limit.
        try {
            exchange::readCalendarFile(QStringLiteral("/dev/zero"), true);
            QFAIL("/dev/zero was read");
        } catch (const Failure &failure) {
            QCOMPARE(failure.message(), QStringLiteral("/dev/zero: il file è troppo grande (più di 32 MB)"));
        }
    }

    void importAddsOnlyWhatIsNewAndFits()
    {
        EventList list;
        std::vector<EventRecord> many;
        for (int i = 0; i < EventList::capacity - 4; ++i)
            many.push_back({"Evento " + QByteArray::number(i), "01", "01", "07", "0000"});
        many.push_back({"Anna", "03", "29", "00", "0000"});
        many.push_back({"Palestra", "##", "Luned\xEC;Gioved\xEC;", "05i", "0000"});
        list.appendAll(std::move(many));

        exchange::Conversion conversion;
        conversion.records = {
            {"Anna", "03", "29", "00", "0000"},                         // already there
            {"Anna", "3", "29A", "01i", "0"},                           // the same date, other warning and markers
            {"Anna", "03", "29", "00", "2027"},                         // in one year only: another event
            {"Palestra", "##", "Gioved\xEC;Luned\xEC;A", "00", "0000"}, // the same weekdays
            {"Bruno", "04", "01", "07", "0000"},
            {"Bruno", "04", "01", "03", "0000"}, // twice in the file
            {"Carla", "04", "02", "07", "0000"}, // no room left
        };
        conversion.refused.push_back({QStringLiteral("Dario"), QStringLiteral("non ha una data d'inizio")});
        conversion.duplicates.push_back(
            {QStringLiteral("Ezio"), QStringLiteral("compare 2 volte nello stesso contatto")});
        const exchange::Conversion plan = exchange::planImport(list, conversion);
        QCOMPARE(keysOf(plan.records), (QStringList{"Anna|03|29|00|2027", "Bruno|04|01|07|0000"}));
        QStringList why;
        for (const exchange::Refusal &refusal : plan.refused)
            why << refusal.text();
        QCOMPARE(why,
                 (QStringList{"Dario: non ha una data d'inizio", "Carla: l'elenco è pieno (al massimo 65535 eventi)"}));
        QStringList duplicates;
        for (const exchange::Refusal &duplicate : plan.duplicates)
            duplicates << duplicate.text();
        QCOMPARE(duplicates, (QStringList{"Ezio: compare 2 volte nello stesso contatto", "Anna: è già nell'elenco",
                                          "Anna: è già nell'elenco (con 0 giorni di anticipo)",
                                          "Palestra: è già nell'elenco (con 5 giorni di anticipo, importante)",
                                          "Bruno: compare più volte nel file"}));
    }
};

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
