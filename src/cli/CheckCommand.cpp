// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CheckCommand.h"

#include "calendar/Calendar.h"
#include "calendar/SaintsCalendar.h"
#include "check/CheckEngine.h"
#include "exchange/Exchange.h"
#include "store/DataFolder.h"
#include "store/DatabaseFile.h"
#include "store/Failure.h"
#include "store/SettingsFile.h"
#include "store/Text.h"

#include "Version.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

#include <functional>
#include <optional>

namespace roradaza::cli {
namespace {

const char helpText[] = "Uso: roradaza-check [--db FILE] [--date GG/MM/AAAA] [--saints | --no-saints]\n"
                        "                    [--color=auto|always|never] [--]\n"
                        "       roradaza-check --calendar FILE.ics | --contacts FILE.vcf [altre opzioni]\n"
                        "       roradaza-check --to-ics [--db FILE] [--date GG/MM/AAAA]\n"
                        "       roradaza-check --help | --version\n"
                        "\n"
                        "Esegue un controllo dei promemoria di Roradaza e ne stampa le righe, come le\n"
                        "mostra la finestra \"Eventi Imminenti\". Non scrive alcun file e non chiede nulla:\n"
                        "gli eventi da auto-cancellare sono elencati ma non cancellati.\n"
                        "\n"
                        "  --db FILE          l'archivio da controllare (predefinito: Roradaza.dat nella\n"
                        "                     cartella del programma se vi si può scrivere, altrimenti\n"
                        "                     in $XDG_DATA_HOME/roradaza, di solito ~/.local/share/roradaza)\n"
                        "  --date GG/MM/AAAA  il giorno da controllare, anche GG.MM.AAAA (predefinito: oggi)\n"
                        "  --saints           inizia con gli onomastici del giorno\n"
                        "  --no-saints        senza gli onomastici (predefinito: la terza riga di\n"
                        "                     Roradaza.ini accanto all'archivio, altrimenti con)\n"
                        "  --color=QUANDO     colori ANSI: auto (sul terminale, se NO_COLOR è vuota e\n"
                        "                     TERM non è dumb), always, never\n"
                        "  --calendar FILE    controlla gli eventi di un calendario iCalendar (.ics)\n"
                        "                     invece dell'archivio\n"
                        "  --contacts FILE    controlla compleanni e anniversari di una rubrica vCard\n"
                        "                     (.vcf) invece dell'archivio\n"
                        "  --to-ics           stampa l'archivio come calendario iCalendar, da importare\n"
                        "                     in un altro calendario (telefono, Thunderbird, ...)\n"
                        "  --help             mostra questo aiuto\n"
                        "  --version          mostra la versione\n"
                        "  --                 termina le opzioni\n"
                        "\n"
                        "Stato di uscita: 0 tutto letto; 1 un file o un evento non leggibile (le altre\n"
                        "righe sono stampate comunque) o le righe non scritte; 2 errore di utilizzo.\n";

enum class Colour { Auto, Always, Never };

struct Options
{
    QString database;
    bool databaseGiven = false;
    std::optional<QDate> date;
    char separator = '/';
    std::optional<bool> saints;
    Colour colour = Colour::Auto;
    bool help = false;
    bool version = false;
    // Events from a calendar or an address book instead of the database.
    enum class Source { Database, Calendar, Contacts } source = Source::Database;
    QString sourceFile;
    bool toIcs = false;
};

struct UsageError
{
    QString message;
};

Options parse(const QStringList &args, const QString &programFolder)
{
    Options options;
    options.database = QDir(dataFolderFor(programFolder)).filePath(QStringLiteral("Roradaza.dat"));
    const auto value = [&args](qsizetype &at, const QString &name) {
        if (at + 1 >= args.size())
            throw UsageError{QStringLiteral("manca il valore di %1").arg(name)};
        return args[++at];
    };
    for (qsizetype at = 0; at < args.size(); ++at) {
        const QString &arg = args[at];
        if (arg == QLatin1String("--db") || arg.startsWith(QLatin1String("--db="))) {
            options.database = arg.startsWith(QLatin1String("--db=")) ? arg.mid(5) : value(at, arg);
            options.databaseGiven = true;
        } else if (arg == QLatin1String("--date") || arg.startsWith(QLatin1String("--date="))) {
            const QString text = arg.startsWith(QLatin1String("--date=")) ? arg.mid(7) : value(at, arg);
            static const QRegularExpression pattern(QStringLiteral("^(\\d\\d)([/.])(\\d\\d)\\2(\\d\\d\\d\\d)$"));
            const auto match = pattern.match(text);
            const QDate date = match.hasMatch() ? QDate(match.captured(4).toInt(), match.captured(3).toInt(),
                                                        match.captured(1).toInt())
                                                : QDate();
            if (!date.isValid())
                throw UsageError{QStringLiteral("data non valida: \"%1\" (serve GG/MM/AAAA)").arg(text)};
            options.date = date;
            options.separator = char(match.captured(2).at(0).toLatin1());
        } else if (arg == QLatin1String("--saints") || arg == QLatin1String("--no-saints")) {
            const bool on = arg == QLatin1String("--saints");
            if (options.saints && *options.saints != on)
                throw UsageError{QStringLiteral("--saints e --no-saints si escludono")};
            options.saints = on;
        } else if (arg.startsWith(QLatin1String("--color="))) {
            const QString when = arg.mid(8);
            if (when == QLatin1String("auto"))
                options.colour = Colour::Auto;
            else if (when == QLatin1String("always"))
                options.colour = Colour::Always;
            else if (when == QLatin1String("never"))
                options.colour = Colour::Never;
            else
                throw UsageError{QStringLiteral("--color vuole auto, always o never, non \"%1\"").arg(when)};
        } else if (arg == QLatin1String("--calendar") || arg == QLatin1String("--contacts")) {
            if (options.source != Options::Source::Database)
                throw UsageError{QStringLiteral("--calendar e --contacts si escludono")};
            options.source = arg == QLatin1String("--calendar") ? Options::Source::Calendar : Options::Source::Contacts;
            options.sourceFile = value(at, arg);
        } else if (arg == QLatin1String("--to-ics")) {
            options.toIcs = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg == QLatin1String("--")) {
            // The end of the options; the check takes no other argument.
            if (at + 1 < args.size())
                throw UsageError{QStringLiteral("argomento inatteso: \"%1\"").arg(args[at + 1])};
        } else {
            throw UsageError{QStringLiteral("opzione sconosciuta: \"%1\"").arg(arg)};
        }
    }
    if (options.source != Options::Source::Database && (options.databaseGiven || options.toIcs))
        throw UsageError{QStringLiteral("--calendar e --contacts non vanno con --db né con --to-ics")};
    return options;
}

// Events from a calendar or an address book, converted as an import does.
// Named on the command line, it may be a pipe: read up to the size limit.
void readSource(const Options &options, EventList &events, const std::function<void(const QString &)> &complain)
{
    try {
        const exchange::Conversion conversion = exchange::planImport(
            events, options.source == Options::Source::Calendar ? exchange::readCalendarFile(options.sourceFile, true)
                                                                : exchange::readContactsFile(options.sourceFile, true));
        for (const exchange::Refusal &refusal : conversion.refused)
            complain(refusal.text());
        events.appendAll(conversion.records);
    } catch (const Failure &failure) {
        complain(failure.message());
    }
}

// The terminal check answers no question and touches nothing.
class SilentHost final : public CheckHost
{
public:
    bool askDelete(const QByteArray &) override { return false; }
    void showNotificationWindow() override {}
    void disableMainWindow() override {}
    void setModified() override {}
};

QByteArray sgr(quint32 colour)
{
    switch (colour) {
    case colours::green:
        return "\x1b[32m";
    case colours::red:
        return "\x1b[31m";
    default:
        return "\x1b[34m";
    }
}

} // namespace

Outcome runCheck(const QStringList &args, const QString &programFolder, bool terminalTakesColour)
{
    Outcome outcome;
    const auto complain = [&outcome](const QString &message) {
        outcome.err += "roradaza-check: " + message.toUtf8() + '\n';
        outcome.status = std::max(outcome.status, 1);
    };

    Options options;
    try {
        options = parse(args, programFolder);
    } catch (const UsageError &error) {
        outcome.err = "roradaza-check: " + error.message.toUtf8() + "\nUsa --help per l'aiuto.\n";
        outcome.status = 2;
        return outcome;
    }
    if (options.help) {
        outcome.out = helpText;
        outcome.out +=
            "\nArchivio predefinito: " +
            QDir::toNativeSeparators(QDir(dataFolderFor(programFolder)).filePath(QStringLiteral("Roradaza.dat")))
                .toUtf8() +
            '\n';
        return outcome;
    }
    if (options.version) {
        outcome.out = "roradaza-check " RORADAZA_VERSION "\n" RORADAZA_LICENCE_TEXT;
        return outcome;
    }

    Settings settings;
    if (options.saints) {
        settings.saints = *options.saints;
    } else {
        const SettingsFile file(QFileInfo(options.database).dir().filePath(QStringLiteral("Roradaza.ini")));
        for (const QString &failure : file.read(settings))
            complain(failure);
    }

    EventList events;
    events.setAutoSort(false); // the output does not depend on the order of the records
    DatabaseFile database(options.database);
    bool checkable = true;
    if (options.source != Options::Source::Database) {
        readSource(options, events, complain);
    } else if (!database.exists()) {
        if (options.databaseGiven) {
            complain(QStringLiteral("archivio non trovato: %1").arg(QDir::toNativeSeparators(options.database)));
            return outcome;
        }
        events.append(EventRecord::sampleRecord());
    } else {
        try {
            database.read();
            if (database.layout() == DatabaseFile::Layout::Older) {
                complain(QStringLiteral("%1 è nel formato della versione precedente: apri Roradaza per convertirlo.")
                             .arg(QDir::toNativeSeparators(options.database)));
                checkable = false;
            } else {
                database.fill(events, DatabaseFile::Layout::Current);
            }
        } catch (const Failure &failure) {
            complain(failure.message());
        }
    }
    if (!checkable)
        return outcome;

    SystemClock systemClock;
    FixedClock fixedClock(options.date.value_or(QDate()));
    const Clock &clock = options.date ? static_cast<const Clock &>(fixedClock) : systemClock;

    if (options.toIcs) {
        // With a day given, the calendar is made as on that day, to the byte.
        const QDateTime stamp =
            options.date ? QDateTime(*options.date, QTime(0, 0), Qt::UTC) : QDateTime::currentDateTimeUtc();
        const exchange::CalendarExport calendar = exchange::exportCalendar(events, clock.today(), stamp);
        outcome.out = calendar.text;
        for (const exchange::Refusal &refusal : calendar.leftOut)
            complain(refusal.text());
        for (const exchange::Refusal &refusal : calendar.unscheduled)
            outcome.err += "roradaza-check: fuori dal calendario: " + refusal.text().toUtf8() + '\n';
        return outcome;
    }
    const Calendar calendar(clock, options.date ? options.separator : regionalDateSeparator());

    NotificationList notices;
    SilentHost host;
    CheckEngine engine(events, notices, calendar, SaintsCalendar::standard(), host);
    engine.setSaintsOption(settings.saints);
    const CheckEngine::Result result = engine.run();

    const bool colour = options.colour == Colour::Always || (options.colour == Colour::Auto && terminalTakesColour);
    for (const NotificationList::Line &line : notices.lines()) {
        const QByteArray text = text::fromCp1252(line.text).toUtf8();
        if (colour && line.text != "-") {
            outcome.out += sgr(line.colour) + text + "\x1b[0m\n";
        } else {
            outcome.out += text;
            outcome.out += '\n';
        }
    }
    for (const QString &failure : result.failures)
        complain(failure);
    return outcome;
}

} // namespace roradaza::cli
