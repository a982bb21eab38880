// SPDX-License-Identifier: GPL-3.0-or-later
// roradaza-check run as a process: what it prints, its colours, its exit
// status, and that it leaves every file as it found it.

#include "calendar/SaintsCalendar.h"
#include "store/Text.h"

#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <initializer_list>
#include <memory>

#include <sys/stat.h>

using namespace roradaza;

namespace {

using Record = std::array<QByteArray, 5>;

QByteArray databaseFile(std::initializer_list<Record> records)
{
    QByteArray bytes = QByteArray::number(qsizetype(records.size()) - 1) + "\r\n";
    for (const Record &record : records) {
        for (const QByteArray &field : record)
            bytes += field + "\r\n";
    }
    return bytes;
}

QByteArray saintsLine(int day, int month)
{
    return "Calendario:  " + text::fromCp1252(SaintsCalendar::standard().saint(day, month)).toUtf8();
}

const QByteArray workedExampleFile = databaseFile({
    {"Compleanno di Zozadevi", "04", "02", "05", "0000"},
    {"Pagare affitto", "00", "30", "03i", "0000"},
    {"Palestra", "##", "Marted\xEC;Gioved\xEC;", "00", "0000"},
    {"Visita medica", "03", "29A", "02", "2007"},
});

// Anna is due on 29/03/2007 and Carla the day after.
QByteArray aroundBadRecord(const Record &bad)
{
    return databaseFile({{"Anna", "03", "29", "00", "0000"}, bad, {"Carla", "03", "30", "01", "0000"}});
}

struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &relative) const { return m_dir->filePath(relative); }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray read(const QString &relative) const
    {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QStringList files() const
    {
        QStringList found;
        QDirIterator it(m_dir->path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(m_dir->path()).relativeFilePath(it.next());
        found.sort();
        return found;
    }

    // environment holds NAME=value settings; terminal runs the program under
    // script(1), so that its standard output is a terminal.
    Run check(const QStringList &args, const QString &program = QStringLiteral(RORADAZA_CHECK_PATH),
              const QStringList &settings = {}, bool terminal = false, const QString &standardOutput = {}) const
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("home/.config")));
        for (const QString &setting : settings)
            environment.insert(setting.section(QLatin1Char('='), 0, 0), setting.section(QLatin1Char('='), 1));
        // script(1) runs the command through $SHELL; bash would complain about the test's locale.
        if (terminal)
            environment.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(m_dir->path());
        if (!standardOutput.isEmpty())
            process.setStandardOutputFile(standardOutput);
        if (terminal) {
            QStringList words;
            for (QString word : QStringList{program} + args)
                words << QLatin1Char('\'') + word.replace(QLatin1Char('\''), QLatin1String("'\\''")) +
                             QLatin1Char('\'');
            process.start(QStringLiteral("script"), {"-qec", words.join(QLatin1Char(' ')), "/dev/null"});
        } else {
            process.start(program, args);
        }
        process.closeWriteChannel();
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return {-1, {}, "did not finish: " + process.errorString().toUtf8()};
        QByteArray out = process.readAllStandardOutput();
        if (terminal)
            out.replace("\r\n", "\n");
        return {process.exitCode(), out, process.readAllStandardError()};
    }

    QStringList withDatabase(const QStringList &args) const
    {
        return QStringList{"--db", path("archivio/Roradaza.dat")} + args;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(path(QStringLiteral("home/.config"))));
    }

    void workedExample_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<bool>("colour");
        const QStringList none;
        const QStringList xterm{"TERM=xterm"};
        const QStringList date{"--date", "29/03/2007"};
        QTest::newRow("never") << QStringList{"--date", "29/03/2007", "--color=never"} << none << false << false;
        QTest::newRow("never, dots") << QStringList{"--date", "29.03.2007", "--color=never"} << none << false << false;
        QTest::newRow("auto into a pipe") << QStringList{"--date=29/03/2007"} << none << false << false;
        QTest::newRow("always") << QStringList{"--date", "29/03/2007", "--color=always"} << none << false << true;
        QTest::newRow("always, dots") << QStringList{"--color=always", "--date", "29.03.2007"} << none << false << true;
        QTest::newRow("always over NO_COLOR")
            << QStringList{"--date", "29/03/2007", "--color=always"} << QStringList{"NO_COLOR=1"} << false << true;
        QTest::newRow("auto on a terminal") << date << xterm << true << true;
        QTest::newRow("auto on a terminal, NO_COLOR") << date << xterm + QStringList{"NO_COLOR=1"} << true << false;
        QTest::newRow("auto on a terminal, NO_COLOR empty") << date << xterm + QStringList{"NO_COLOR="} << true << true;
        QTest::newRow("auto on a terminal, TERM dumb") << date << QStringList{"TERM=dumb"} << true << false;
        QTest::newRow("options ended by --")
            << QStringList{"--color=never", "--date", "29/03/2007", "--"} << none << false << false;
    }

    void workedExample()
    {
        QFETCH(QStringList, args);
        QFETCH(QStringList, environment);
        QFETCH(bool, terminal);
        QFETCH(bool, colour);
        write("archivio/Roradaza.dat", workedExampleFile);

        const std::pair<QByteArray, QByteArray> lines[] = {
            {saintsLine(29, 3), "32"},
            {"DOMANI:  Pagare affitto !", "31"},
            {"OGGI:  Palestra !", "34"},
            {"OGGI:  Visita medica !  (Auto-Cancellazione)", "34"},
            {"-", {}},
            {"Tra 04 giorni  (Luned\xC3\xAC 02 Aprile):  Compleanno di Zozadevi", "34"},
        };
        QByteArray expected;
        for (const auto &[text, sgr] : lines)
            expected += colour && !sgr.isEmpty() ? "\x1b[" + sgr + "m" + text + "\x1b[0m\n" : text + "\n";

        const Run run = check(withDatabase(args), QStringLiteral(RORADAZA_CHECK_PATH), environment, terminal);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, expected);

        // The auto-delete event was listed, not deleted: nothing was written anywhere.
        QCOMPARE(read("archivio/Roradaza.dat"), workedExampleFile);
        QCOMPARE(files(), QStringList{"archivio/Roradaza.dat"});
    }

    void databaseBesideTheProgram_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("Roradaza.dat beside it")
            << databaseFile({{"Mario", "03", "29", "00", "0000"}}) << "29/03/2007" << QByteArray("OGGI:  Mario !\n");
        QTest::newRow("none: the sample record")
            << QByteArray() << "23/07/2007" << QByteArray("OGGI:  Compleanno di Zozadevi !\n");
        QTest::newRow("empty: an empty list") << QByteArray("") << "23/07/2007" << QByteArray();
    }

    void databaseBesideTheProgram()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, date);
        QFETCH(QByteArray, out);
        // It looks beside itself, so it runs from a copy; the working folder holds a decoy.
        QVERIFY(QDir().mkpath(path("programma")));
        QVERIFY(QFile::copy(QStringLiteral(RORADAZA_CHECK_PATH), path("programma/roradaza-check")));
        if (!file.isNull())
            write("programma/Roradaza.dat", file);
        write("Roradaza.dat", databaseFile({{"Esca", "##", "Luned\xEC;Gioved\xEC;", "", "0000"}}));
        const QStringList before = files();

        const Run run = check({"--date", date, "--no-saints", "--color=never"}, path("programma/roradaza-check"));
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out, out);
        QCOMPARE(files(), before);
    }

    void saintsOption_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("iniPath");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("saints");
        QTest::addColumn<QByteArray>("failure");

        const QString beside = QStringLiteral("archivio/Roradaza.ini");
        const QByteArray off = "0\r\n1200000\r\n0\r\n";
        const QByteArray on = "-1\r\n1200000\r\n-1\r\n";
        QTest::newRow("no ini") << QByteArray() << QString() << QStringList() << true << QByteArray();
        QTest::newRow("ini off") << off << beside << QStringList() << false << QByteArray();
        QTest::newRow("ini of two lines")
            << QByteArray("0\n1200000\n") << beside << QStringList() << true << QByteArray();
        QTest::newRow("ini in the working folder")
            << off << QStringLiteral("Roradaza.ini") << QStringList() << true << QByteArray();
        QTest::newRow("--no-saints over ini on") << on << beside << QStringList{"--no-saints"} << false << QByteArray();
        QTest::newRow("--saints over ini off") << off << beside << QStringList{"--saints"} << true << QByteArray();
        QTest::newRow("line 3 True") << QByteArray("0\r\n1200000\r\nTrue\r\n") << beside << QStringList() << true
                                     << QByteArray("'True' is not a valid boolean value");
        QTest::newRow("bad line 1, line 3 still read")
            << QByteArray("yes\r\n1200000\r\n0\r\n") << beside << QStringList() << false
            << QByteArray("'yes' is not a valid boolean value");
    }

    void saintsOption()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QString, iniPath);
        QFETCH(QStringList, args);
        QFETCH(bool, saints);
        QFETCH(QByteArray, failure);
        const QByteArray database = databaseFile({{"Mario", "03", "29", "00", "0000"}});
        write("archivio/Roradaza.dat", database);
        if (!iniPath.isEmpty())
            write(iniPath, ini);
        const QStringList before = files();

        const Run run = check(withDatabase(args + QStringList{"--date", "29/03/2007", "--color=never"}));
        QCOMPARE(run.out, (saints ? saintsLine(29, 3) + "\n" : QByteArray()) + "OGGI:  Mario !\n");
        QCOMPARE(run.status, failure.isEmpty() ? 0 : 1);
        if (failure.isEmpty())
            QCOMPARE(run.err, QByteArray());
        else
            QVERIFY2(run.err.contains(failure), run.err);
        QCOMPARE(files(), before);
        if (!iniPath.isEmpty())
            QCOMPARE(read(iniPath), ini);
    }

    void badRecordKeepsTheOthers_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("failure");
        QTest::newRow("month") << aroundBadRecord({"Bruno", "xx", "29", "00", "0000"})
                               << QByteArray("'xx' is not a valid integer value");
        QTest::newRow("advance") << aroundBadRecord({"Bruno", "03", "29", "zzi", "0000"})
                                 << QByteArray("'zz' is not a valid integer value");
        QTest::newRow("empty year") << aroundBadRecord({"Bruno", "03", "29", "00", ""})
                                    << QByteArray("'' is not a valid integer value");
        QTest::newRow("31 April, rolled over")
            << aroundBadRecord({"Bruno", "04", "31", "40", "0000"}) << QByteArray("'31/4/2007' is not a valid date");
        QTest::newRow("count line beyond 64 bits")
            << "99999999999999999999" + aroundBadRecord({"Bruno", "xx", "29", "00", "0000"}).mid(1)
            << QByteArray("Roradaza.dat ha la prima riga danneggiata");
    }

    void badRecordKeepsTheOthers()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, failure);
        write("archivio/Roradaza.dat", file);
        const Run run = check(withDatabase({"--date", "29/03/2007", "--no-saints", "--color=never"}));
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QByteArray("DOMANI:  Carla !\nOGGI:  Anna !\n"));
        QVERIFY2(run.err.contains(failure), run.err);
        QCOMPARE(read("archivio/Roradaza.dat"), file);
    }

    void fileRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("failure");
        QTest::addColumn<QString>("standardOutput");
        // The file's name lacks "Roradaza", so the refusal itself must name the program.
        QTest::newRow("older layout") << QByteArray("1\r\nAnna\r\n03\r\n29\r\n00\r\nBruno\r\n04\r\n01\r\n00\r\n")
                                      << QByteArray("Roradaza") << QString();
        QTest::newRow("older layout, one record")
            << QByteArray("0\nAnna\n03\n29\n00\n") << QByteArray("Roradaza") << QString();
        // Bytes that are no list at all are a damaged file, never the older layout.
        QTest::newRow("NUL bytes") << QByteArray(64, '\0') << QByteArray("vecchio.dat ha la prima riga danneggiata")
                                   << QString();
        QTest::newRow("missing") << QByteArray() << QByteArray("vecchio.dat") << QString();
        QTest::newRow("last record cut short") << QByteArray("1\r\nAnna\r\n05\r\n14\r\n07\r\n0000\r\nBruno\r\n04\r\n")
                                               << QByteArray("vecchio.dat finisce") << QString();
        QTest::newRow("count line promises fewer")
            << QByteArray("0\r\nAnna\r\n05\r\n14\r\n07\r\n0000\r\nBruno\r\n04\r\n01\r\n00\r\n0000\r\n")
            << QByteArray("vecchio.dat continua") << QString();
        // Made here, not written: the file's bytes column names the kind.
        QTest::newRow("FIFO") << QByteArray("fifo") << QByteArray("Cannot open file") << QString();
        QTest::newRow("link to /dev/zero") << QByteArray("zero") << QByteArray("Cannot open file") << QString();
        QTest::newRow("folder") << QByteArray("folder") << QByteArray("Cannot open file") << QString();
        QTest::newRow("lines into a full disk") << workedExampleFile << QByteArray("standard output") << "/dev/full";
    }

    void fileRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, failure);
        QFETCH(QString, standardOutput);
        const QString odd = path("archivio/vecchio.dat");
        QVERIFY(QDir().mkpath(path("archivio")));
        if (file == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(odd).constData(), 0600), 0);
        else if (file == "zero")
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), odd));
        else if (file == "folder")
            QVERIFY(QDir().mkdir(odd));
        else if (!file.isNull())
            write("archivio/vecchio.dat", file);
        const bool regular = QFileInfo(odd).isFile() || file.isNull();
        const QStringList before = files();
        const Run run = check({"--db", path("archivio/vecchio.dat"), "--date", "29/03/2007", "--no-saints"},
                              QStringLiteral(RORADAZA_CHECK_PATH), {}, false, standardOutput);
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.contains(failure), run.err);
        QCOMPARE(files(), before);
        if (regular)
            QCOMPARE(read("archivio/vecchio.dat"), file);
    }

    // The list through a calendar file: the same lines on every day, and the
    // same complaints, including those of records no calendar can hold.
    void calendarRoundTrip_data()
    {
        QTest::addColumn<QString>("date");
        for (const char *date : {"29/03/2007", "31/03/2007", "27/04/2007", "28/02/2007", "29/02/2008", "31/12/2007"})
            QTest::newRow(date) << QString::fromLatin1(date);
    }

    void calendarRoundTrip()
    {
        QFETCH(QString, date);
        const QByteArray file = databaseFile({
            {"Compleanno di Zozadevi", "04", "02", "05", "0000"},
            {"Pagare affitto", "00", "30", "03i", "0000"},
            {"Palestra", "##", "Marted\xEC;Gioved\xEC;", "00", "0000"},
            {"Visita medica", "03", "29A", "02", "2007"},
            {"Aprile 31", "04", "31", "05", "0000"},
            {"Bisesto", "02", "29", "03i", "0000"},
            {"Fine mese", "00", "31A", "02", "0000"},
            {"Vigilia", "01", "00", "01", "2008"},
            {"Fine aprile", "04", "31", "40", "0000"},
        });
        write("archivio/Roradaza.dat", file);
        const Run exported = check(withDatabase({"--to-ics", "--date", "01/01/2007"}));
        QCOMPARE(exported.status, 0);
        QCOMPARE(exported.err, QByteArray("roradaza-check: fuori dal calendario: Aprile 31: non cade mai in un giorno "
                                          "del calendario\nroradaza-check: fuori dal calendario: Fine aprile: non cade "
                                          "mai in un giorno del calendario\n"));
        write("calendario.ics", exported.out);

        const QStringList args{"--date", date, "--saints", "--color=always"};
        const Run direct = check(withDatabase(args));
        const Run through = check(QStringList{"--calendar", path("calendario.ics")} + args);
        QCOMPARE(through.out, direct.out);
        QCOMPARE(through.err, direct.err);
        QCOMPARE(through.status, direct.status);
        QVERIFY(direct.out.count("\n") > 1);
    }

    void fromContacts()
    {
        const Run run = check({"--contacts", qEnvironmentVariable("RORADAZA_TEST_DATA") + "/exchange/contacts-30.vcf",
                               "--date", "16/03/2007", "--no-saints"});
        QCOMPARE(run.status, 1);
        QCOMPARE(run.out, QByteArray("Tra 03 giorni  (Luned\xC3\xAC 19 Marzo):  Compleanno di Rossi, Mario\n"));
        QVERIFY2(run.err.contains("roradaza-check: Compleanno di Luca Ferrari: la data \"1980-02-30\" non"), run.err);
        QVERIFY2(run.err.contains("roradaza-check: Compleanno di \xCE\x93"), run.err);
    }

    void usageError_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("calendar and database") << QStringList{"--calendar", "a.ics"};
        QTest::newRow("calendar and contacts") << QStringList{"--to-ics", "--contacts", "a.vcf", "--calendar", "a.ics"};
        QTest::newRow("unknown option") << QStringList{"--verbose"};
        QTest::newRow("argument without option") << QStringList{"Roradaza.dat"};
        QTest::newRow("31 February") << QStringList{"--date", "31/02/2007"};
        QTest::newRow("one-digit day and month") << QStringList{"--date", "1/3/2007"};
        QTest::newRow("mixed separators") << QStringList{"--date", "29/03.2007"};
        QTest::newRow("date missing") << QStringList{"--date"};
        QTest::newRow("saints both ways") << QStringList{"--saints", "--no-saints"};
        QTest::newRow("saints both ways, reversed") << QStringList{"--no-saints", "--saints"};
        QTest::newRow("colour rainbow") << QStringList{"--color=rainbow"};
        QTest::newRow("an option after --") << QStringList{"--", "--saints"};
    }

    void usageError()
    {
        QFETCH(QStringList, args);
        write("archivio/Roradaza.dat", workedExampleFile);
        const Run run = check(withDatabase(args));
        QCOMPARE(run.status, 2);
        QCOMPARE(run.out, QByteArray());
        QVERIFY2(run.err.startsWith("roradaza-check: "), run.err);
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("shows");
        QTest::newRow("help") << QStringLiteral("--help") << QByteArray("--no-saints");
        QTest::newRow("version") << QStringLiteral("--version") << QByteArray("GNU GPL versione 3 o successiva");
    }

    void helpAndVersion()
    {
        QFETCH(QString, option);
        QFETCH(QByteArray, shows);
        const Run run = check({option});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.err, QByteArray());
        QVERIFY2(run.out.contains(shows), run.out);
        QCOMPARE(files(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
