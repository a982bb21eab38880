// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/DataFolder.h"
#include "store/DatabaseFile.h"
#include "store/DatabaseReadAhead.h"
#include "store/Failure.h"
#include "store/SettingsFile.h"

#include "StoreTest.h"

#include <QDir>

#include <memory>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace roradaza;
using namespace storetest;

namespace {

// Built by hand, so that the writer is checked against the format and not against itself.
QByteArray fileBytes(const QList<EventRecord> &records, const QByteArray &end = "\r\n")
{
    QByteArray bytes = QByteArray::number(records.size() - 1) + end;
    for (const EventRecord &r : records)
        bytes += r.name + end + r.month + end + r.day + end + r.advance + end + r.year + end;
    return bytes;
}

QList<EventRecord> numbered(int count)
{
    QList<EventRecord> records;
    for (int i = 0; i < count; ++i)
        records << EventRecord{"Evento " + QByteArray::number(i).rightJustified(6, '0'), "05", "14", "07", "0000"};
    return records;
}

struct Loaded
{
    DatabaseFile::Outcome outcome = DatabaseFile::Outcome::Loaded;
    int asked = 0;
    QString error;
};

Loaded load(DatabaseFile &file, EventList &list, bool convert = true)
{
    Loaded result;
    try {
        result.outcome = file.load(list, [&] { return ++result.asked, convert; });
    } catch (const Failure &failure) {
        result.error = failure.message();
    }
    return result;
}

QString saveError(DatabaseFile &file, const EventList &list)
{
    try {
        file.save(list);
    } catch (const Failure &failure) {
        return failure.message();
    }
    return {};
}

// The start-up steps, as the program takes them: read, then fill when the
// layout is the current one; what each step threw, and what came of it.
struct Steps
{
    QString readError;
    DatabaseFile::Layout layout = DatabaseFile::Layout::Current;
    QString fillError;
    QList<EventRecord> records;
    bool kept = false;
};

template <typename Read, typename Fill> Steps startUp(DatabaseFile &file, Read read, Fill fill)
{
    const auto failureOf = [](auto step) {
        try {
            step();
        } catch (const Failure &failure) {
            return failure.message();
        }
        return QString();
    };
    Steps steps;
    EventList list;
    steps.readError = failureOf(read);
    steps.layout = file.layout();
    if (steps.readError.isEmpty() && steps.layout == DatabaseFile::Layout::Current)
        steps.fillError = failureOf([&] { fill(list); });
    steps.records = recordsOf(list);
    steps.kept = file.needsBackup();
    return steps;
}

// Loads and saves the file with one more record as a user of its own (uid
// 65533), in a child process; gives the save's failure, empty when it saved.
QString saveAsAnotherUser(const QString &path)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        QByteArray said = "not another user";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65533) == 0 && ::setuid(65533) == 0) {
            said.clear();
            try {
                DatabaseFile file(path);
                EventList list;
                file.load(list, [] { return false; });
                list.append({"Nuovo", "01", "01", "00", "0000"});
                file.save(list);
            } catch (const Failure &failure) {
                said = failure.message().toUtf8();
            }
        }
        [[maybe_unused]] const auto written = ::write(pipe[1], said.constData(), std::size_t(said.size()));
        ::_exit(0);
    }
    ::close(pipe[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, got);
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    return QString::fromUtf8(said);
}

const EventRecord sample = EventRecord::sampleRecord();
const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

} // namespace

class TestDatabaseFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name = QStringLiteral("Roradaza.dat")) const { return m_dir->filePath(name); }
    QStringList files() const { return QDir(m_dir->path()).entryList(QDir::Files); }
    QByteArray copyData(const QString &name)
    {
        const QByteArray bytes = readBytes(dataPath(name));
        if (bytes.isEmpty() || !writeBytes(path(), bytes))
            qFatal("cannot copy %s", qPrintable(name));
        return bytes;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        useHome(m_home);
        QVERIFY2(QFileInfo::exists(dataPath(QStringLiteral("binary-garbage.dat"))), "no RORADAZA_TEST_DATA");
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        QFile::setPermissions(m_dir->path(), ownerOnly);
        QFile::setPermissions(path(), ownerOnly);
        m_dir.reset();
    }

    void lineBuffer_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("no final break") << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
        QTest::newRow("empty line") << QByteArray("a\r\n\r\nb\r\n") << QByteArrayList{"a", "", "b"};
        QTest::newRow("CR, CR LF") << QByteArray("\r\r\n") << QByteArrayList{"", ""};
        QTest::newRow("LF, CR") << QByteArray("a\n\rb") << QByteArrayList{"a", "", "b"};
        QTest::newRow("empty") << QByteArray() << QByteArrayList{};
        // Breaks at every offset within eight bytes, among bytes that differ from CR and LF by one bit.
        const QByteArray near("\x8D\x8A\x0C\x0E\x2D\x2A\xCD\xEA");
        QByteArrayList lines;
        QByteArray bytes;
        for (int length = 0; length < 20; ++length) {
            lines << near.repeated(3).left(length);
            bytes += lines.last() + (length % 3 == 0 ? "\r\n" : length % 3 == 1 ? "\n" : "\r");
        }
        QTest::newRow("long lines") << bytes << lines;
    }
    void lineBuffer()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArrayList, lines);
        const LineBuffer buffer(bytes);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(buffer.line(i).toByteArray(), lines[i]);
        QVERIFY(buffer.hasLine(lines.size() - 1) || lines.isEmpty());
        QVERIFY(!buffer.hasLine(lines.size()) && !buffer.hasLine(-1));
        QVERIFY(buffer.line(lines.size() + 1000).isEmpty());
        // Read front to back, the same lines and no more.
        LineReader reader = buffer.reader();
        QByteArrayList read;
        for (QByteArrayView line; reader.next(line);)
            read << line.toByteArray();
        QCOMPARE(read, lines);
        QVERIFY(reader.atEnd());
    }

    void currentLayout_data()
    {
        QTest::addColumn<QByteArray>("lineEnd");
        // More records, named to come between "anna" and "Corso", in order.
        QTest::addColumn<QList<EventRecord>>("more");
        QTest::newRow("CR LF") << QByteArray("\r\n") << QList<EventRecord>{};
        QTest::newRow("LF") << QByteArray("\n") << QList<EventRecord>{};
        QTest::newRow("CR") << QByteArray("\r") << QList<EventRecord>{};
        QTest::newRow("fields of 255 bytes and more")
            << QByteArray("\r\n")
            << QList<EventRecord>{{"Ba", QByteArray(255, '1'), "01", "07", "0000"},
                                  {"Bb", "01", QByteArray(254, 'x'), "", QByteArray(300, '2')},
                                  {"Bc", "", "", QByteArray(70000, '7'), ""}};
        QTest::newRow("the longest names")
            << QByteArray("\n")
            << QList<EventRecord>{{"B" + QByteArray(32766, 'n'), "01", "01", "07", "0000"},
                                  {"Bz" + QByteArray(100000, 'z'), "01", "02", "07", "0000"}};
    }
    // Loads sorted in any line-end style, asks nothing, and saves in name
    // order with CR LF and the same bytes.
    void currentLayout()
    {
        QFETCH(QByteArray, lineEnd);
        QFETCH(QList<EventRecord>, more);
        const EventRecord zeno{"Zeno da Citt\xE0", "01", "05", "03", "0000"};
        const EventRecord swim{"Corso di nuoto", "##", "Luned\xEC;Gioved\xEC;A", "", "0000"};
        const EventRecord anna{"anna Perch\xE8", "12", "25A", "07i", "2026"};
        const EventRecord andrea{"Andrea Nicol\xF2", "00", "30", "00", "0000"};
        QVERIFY(writeBytes(path(), fileBytes(QList<EventRecord>{zeno, swim, anna, andrea} + more, lineEnd)));

        DatabaseFile file(path());
        EventList list;
        const Loaded result = load(file, list);
        QCOMPARE(result.error, QString());
        QCOMPARE(result.asked, 0);
        const QList<EventRecord> sorted = QList<EventRecord>{andrea, anna} + more + QList<EventRecord>{swim, zeno};
        QCOMPARE(recordsOf(list), sorted);

        file.save(list);
        QCOMPARE(readBytes(path()), fileBytes(sorted));
        QCOMPARE(files(), QStringList{QStringLiteral("Roradaza.dat")});
    }

    void olderLayout_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("convert");
        QTest::addColumn<QList<EventRecord>>("records");
        const QString one = QStringLiteral("older-layout-one-record.dat");
        const QString three = QStringLiteral("older-layout-three-records.dat");
        QTest::newRow("one record, yes") << one << true
                                         << QList<EventRecord>{{"Compleanno di Nicol\xF2", "10", "04", "07", "0000"}};
        QTest::newRow("three records, yes") << three << true
                                            << QList<EventRecord>{{"Bollo auto", "00", "28A", "03i", "0000"},
                                                                  {"Corso di nuoto", "##", "Luned\xEC;", "", "0000"},
                                                                  {"Zia Ren\xE8", "03", "12", "05", "0000"}};
        QTest::newRow("one record, no") << one << false << QList<EventRecord>{};
        QTest::newRow("three records, no") << three << false << QList<EventRecord>{};
    }
    // The file keeps the older layout until the next save.
    void olderLayout()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, convert);
        QFETCH(QList<EventRecord>, records);
        const QByteArray original = copyData(fileName);
        DatabaseFile file(path());
        EventList list;
        const Loaded result = load(file, list, convert);
        QCOMPARE(result.error, QString());
        QCOMPARE(result.asked, 1);
        QCOMPARE(result.outcome, convert ? DatabaseFile::Outcome::Loaded : DatabaseFile::Outcome::Declined);
        QCOMPARE(recordsOf(list), records);
        QCOMPARE(readBytes(path()), original);
        if (convert) {
            file.save(list);
            QCOMPARE(readBytes(path()), fileBytes(records));
            QCOMPARE(readBytes(path(QStringLiteral("Roradaza.dat.bak"))), original);
        }
    }

    // Without a file the list holds the sample, written only by a save; an
    // empty list removes the file again.
    void sampleSaveAndRemoval()
    {
        DatabaseFile file(path());
        EventList list;
        const Loaded result = load(file, list);
        QCOMPARE(result.outcome, DatabaseFile::Outcome::Sample);
        QCOMPARE(recordsOf(list), QList<EventRecord>{sample});
        QVERIFY(!QFileInfo::exists(path()));

        file.save(list);
        QCOMPARE(readBytes(path()), QByteArray("0\r\nCompleanno di Zozadevi\r\n07\r\n23\r\n07\r\n0000\r\n"));
        list.append({"Esame", "06", "20", "10i", "2026"});
        list.append({"Bollo auto", "00", "28A", "03i", "0000"});
        file.save(list);
        const QByteArrayList lines = readBytes(path()).split('\n');
        QCOMPARE(lines.size(), 17); // sixteen lines and nothing after the last break
        QCOMPARE(lines.first(), QByteArray("2\r"));
        QCOMPARE(lines[1], QByteArray("Bollo auto\r"));

        list.clear();
        file.save(list);
        QVERIFY(!QFileInfo::exists(path()));
        QCOMPARE(load(file, list).outcome, DatabaseFile::Outcome::Sample);
    }

    void savedFileKeepsWhatItIs_data()
    {
        QTest::addColumn<bool>("link");    // Roradaza.dat is a link to the file in a folder of its own
        QTest::addColumn<int>("mode");     // of the file
        QTest::addColumn<bool>("foreign"); // owned by another user and group: only root can keep that
        QTest::addColumn<bool>("damaged"); // so that the save first keeps a copy
        QTest::addColumn<bool>("empty");   // the list saved is empty
        QTest::addColumn<bool>("byUser");  // saved by a user who cannot give the file to its owner
        QTest::newRow("link") << true << 0644 << false << false << false << false;
        QTest::newRow("link, list emptied") << true << 0644 << false << false << true << false;
        QTest::newRow("link, damaged") << true << 0600 << false << true << false << false;
        QTest::newRow("private file and its copy") << false << 0600 << false << true << false << false;
        QTest::newRow("shared setgid file") << false << 02664 << false << false << false << false;
        QTest::newRow("another user's file, saved by root") << false << 02640 << true << true << false << false;
        QTest::newRow("another user's file, saved by a user") << false << 0666 << true << false << false << true;
    }
    // A save changes the content alone: a link stays a link, and the file and
    // its copy keep the owner, group and mode bits of the original.
    void savedFileKeepsWhatItIs()
    {
        QFETCH(bool, link);
        QFETCH(int, mode);
        QFETCH(bool, foreign);
        QFETCH(bool, damaged);
        QFETCH(bool, empty);
        QFETCH(bool, byUser);
        if (foreign && !runningAsRoot())
            QSKIP("only root gives a file to another user");
        const QString target = link ? path(QStringLiteral("elsewhere/events")) : path();
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("elsewhere")));
        const QByteArray original = damaged ? QByteArray("uno\r\n") + fileBytes({sample}).mid(3) : fileBytes({sample});
        QVERIFY(writeBytes(target, original));
        const QByteArray name = QFile::encodeName(target);
        if (foreign)
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        if (link)
            QVERIFY(QFile::link(target, path()));
        struct stat before = {};
        QCOMPARE(::stat(name.constData(), &before), 0);
        if (byUser) {
            // The save is refused, with why, rather than take the file over.
            QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::Permissions(0x7777)));
            const QString refusal = saveAsAnotherUser(path());
            QVERIFY2(refusal.startsWith(QStringLiteral("Cannot create file ") + path()) &&
                         refusal.contains(QStringLiteral("Salvare come l'utente")) &&
                         refusal.count(QStringLiteral("rimasto intatto")) == 1,
                     qPrintable(refusal));
            struct stat after = {};
            QCOMPARE(::stat(name.constData(), &after), 0);
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_ino, before.st_ino);
            QCOMPARE(readBytes(path()), original);
            QCOMPARE(files(), QStringList{QStringLiteral("Roradaza.dat")});
            return;
        }

        DatabaseFile file(path());
        EventList list;
        QCOMPARE(load(file, list).error.isEmpty(), !damaged);
        if (empty)
            list.clear();
        else
            list.append({"Nuovo", "01", "01", "00", "0000"});
        file.save(list);

        QCOMPARE(QFileInfo(path()).isSymLink(), link);
        QCOMPARE(readBytes(target), empty ? QByteArray() : fileBytes(recordsOf(list)));
        QStringList written{target};
        if (damaged) {
            QCOMPARE(readBytes(file.backupPath()), original);
            written << file.backupPath();
        }
        for (const QString &each : written) {
            struct stat after = {};
            QCOMPARE(::stat(QFile::encodeName(each).constData(), &after), 0);
            QCOMPARE(after.st_mode & 07777, before.st_mode & 07777);
            QCOMPARE(after.st_uid, before.st_uid);
            QCOMPARE(after.st_gid, before.st_gid);
        }
        // An emptied list reads back as an empty list, not as the sample.
        if (empty) {
            DatabaseFile again(path());
            EventList reloaded;
            const Loaded result = load(again, reloaded);
            QCOMPARE(result.outcome, DatabaseFile::Outcome::Loaded);
            QVERIFY2(result.error.isEmpty() && reloaded.isEmpty(), qPrintable(result.error));
        }
    }

    void eventsComeAlongOnce_data()
    {
        QTest::addColumn<QString>("dataFolderHolds"); // "", "Roradaza.ini" or "link": Roradaza.dat to nothing
        QTest::addColumn<bool>("settingsBeside");
        QTest::addColumn<bool>("moved");
        QTest::newRow("first start") << QString() << true << true;
        QTest::newRow("first start, no Roradaza.ini beside") << QString() << false << true;
        // Every event deleted there removed Roradaza.dat: the old ones stay where they were.
        QTest::newRow("list emptied in the data folder") << QStringLiteral("Roradaza.ini") << true << false;
        QTest::newRow("link to nothing in the data folder") << QStringLiteral("link") << true << false;
    }
    // The events beside a program whose folder cannot be written move to the
    // data folder once, and no later state of it brings them back.
    void eventsComeAlongOnce()
    {
        QFETCH(QString, dataFolderHolds);
        QFETCH(bool, settingsBeside);
        QFETCH(bool, moved);
        const QDir folder(m_dir->path());
        QVERIFY(folder.mkpath(QStringLiteral("program")) && folder.mkpath(QStringLiteral("data")));
        const QByteArray events = fileBytes({sample});
        QVERIFY(writeBytes(path(QStringLiteral("program/Roradaza.dat")), events));
        if (settingsBeside)
            QVERIFY(writeBytes(path(QStringLiteral("program/Roradaza.ini")), "-1\r\n60000\r\n0\r\n"));
        if (dataFolderHolds == u"link")
            QVERIFY(QFile::link(path(QStringLiteral("absent")), path(QStringLiteral("data/Roradaza.dat"))));
        else if (!dataFolderHolds.isEmpty())
            QVERIFY(writeBytes(path(QStringLiteral("data/") + dataFolderHolds), "0\r\n1200000\r\n-1\r\n"));

        QCOMPARE(bringEventsAlong(path(QStringLiteral("program")), path(QStringLiteral("data"))), moved);
        QCOMPARE(readBytes(path(QStringLiteral("data/Roradaza.dat"))), moved ? events : QByteArray());
        if (moved) {
            QCOMPARE(readBytes(path(QStringLiteral("data/Roradaza.ini"))),
                     settingsBeside ? QByteArray("-1\r\n60000\r\n0\r\n") : QByteArray("0\r\n1200000\r\n-1\r\n"));
            // The list emptied there later leaves Roradaza.ini, which keeps the old events away.
            DatabaseFile(path(QStringLiteral("data/Roradaza.dat"))).save(EventList());
            QVERIFY(!bringEventsAlong(path(QStringLiteral("program")), path(QStringLiteral("data"))));
        }
        QCOMPARE(readBytes(path(QStringLiteral("program/Roradaza.dat"))), events);
    }

    void brokenFiles_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QList<EventRecord>>("records");
        QTest::addColumn<QString>("error"); // the start of the message, which goes on to name the file
        QTest::addColumn<int>("asked");
        const EventRecord anna{"Compleanno di Anna", "05", "14", "07", "0000"};
        const EventRecord exam{"Esame", "06", "20", "10i", "2026"};
        // The last record stops after its month: it is not loaded.
        QTest::newRow("last record cut short")
            << QStringLiteral("count-line-promises-more.dat") << QList<EventRecord>{anna, exam}
            << QStringLiteral("L'archivio %1 finisce a met\u00E0") << 0;
        // A damaged count line hides nothing: the whole records after it are loaded.
        const QString damagedCount = QStringLiteral("L'archivio %1 ha la prima riga danneggiata");
        QTest::newRow("count line not a number")
            << QStringLiteral("broken-count-line.dat") << QList<EventRecord>{anna, exam} << damagedCount << 0;
        QTest::newRow("count line beyond 64 bits")
            << QStringLiteral("count-line-beyond-64-bits.dat") << QList<EventRecord>{anna, exam} << damagedCount << 0;
        QTest::newRow("negative count line")
            << QStringLiteral("negative-count-line.dat") << QList<EventRecord>{anna} << damagedCount << 0;
        QTest::newRow("count line promises fewer")
            << QStringLiteral("count-line-promises-fewer.dat") << QList<EventRecord>{anna}
            << QStringLiteral("L'archivio %1 continua oltre gli eventi") << 0;
        // Taken for the older layout and converted four lines at a time: the
        // lines left over tell, and the original is kept.
        QTest::newRow("first year damaged") << QStringLiteral("damaged-first-year.dat")
                                            << QList<EventRecord>{{"10i", "2026", "Palestra", "##", "0000"},
                                                                  {"20x6", "Esame", "06", "20", "0000"},
                                                                  {anna.name, "05", "14", "07", "0000"}}
                                            << QStringLiteral("L'archivio %1 continua oltre gli eventi") << 1;
    }
    // What could be read is loaded; the file is kept as a copy at the first save.
    void brokenFiles()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, error);
        const QByteArray original = copyData(fileName);
        DatabaseFile file(path());
        EventList list;
        const Loaded result = load(file, list);
        QTEST(result.asked, "asked");
        QVERIFY2(result.error.startsWith(error.arg(path())), qPrintable(result.error));
        QTEST(recordsOf(list), "records");
        file.save(list);
        QCOMPARE(readBytes(path(QStringLiteral("Roradaza.dat.bak"))), original);
    }

    // Reading ahead on a second thread gives what reading at the time gives,
    // step by step: the same failures, records, layout and backup flag.
    void readAheadGivesTheSameAsReading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        for (const char *name :
             {"binary-garbage.dat", "broken-count-line.dat", "count-line-promises-more.dat", "negative-count-line.dat",
              "count-line-promises-fewer.dat", "older-layout-one-record.dat", "older-layout-three-records.dat"})
            QTest::newRow(name) << readBytes(dataPath(QString::fromLatin1(name)));
        QList<EventRecord> unordered = numbered(300);
        std::reverse(unordered.begin(), unordered.end());
        QTest::newRow("out of name order") << fileBytes(unordered);
        QTest::newRow("more than the list holds") << fileBytes(numbered(EventList::capacity + 1));
        QTest::newRow("empty file") << QByteArray();
        // Records whose field sizes are kept beside the list, taken across from the other thread.
        QTest::newRow("fields of 255 bytes and more, out of name order")
            << fileBytes({{"Zeno", "01", QByteArray(300, '1'), "07", "0000"},
                          {"Anna", QByteArray(256, '2'), "01", "07", "0000"},
                          {"Bruno", "01", "01", "07", QByteArray(255, '3')}});
    }
    void readAheadGivesTheSameAsReading()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(writeBytes(path(), bytes));
        DatabaseFile direct(path());
        const Steps expected = startUp(
            direct, [&] { direct.read(); }, [&](EventList &list) { direct.fill(list, DatabaseFile::Layout::Current); });

        DatabaseFile file(path());
        DatabaseReadAhead ahead(path());
        const Steps found = startUp(
            file, [&] { ahead.read(file); }, [&](EventList &list) { ahead.fill(file, list); });
        QCOMPARE(found.readError, expected.readError);
        QCOMPARE(found.layout, expected.layout);
        QCOMPARE(found.fillError, expected.fillError);
        QCOMPARE(found.records, expected.records);
        QCOMPARE(found.kept, expected.kept);

        // The older layout is still converted from the file read ahead.
        if (found.layout == DatabaseFile::Layout::Older && found.readError.isEmpty()) {
            const auto conversion = [](DatabaseFile &from) {
                EventList converted;
                try {
                    from.convert(converted);
                } catch (const Failure &failure) {
                    return std::pair{recordsOf(converted), failure.message()};
                }
                return std::pair{recordsOf(converted), QString()};
            };
            QCOMPARE(conversion(file), conversion(direct));
        }
    }

    void failedLoadKeepsCopy_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<bool>("danglingLink"); // a link to nothing named Roradaza.dat.bak
        QTest::newRow("Roradaza.dat.bak") << 0 << false;
        QTest::newRow("Roradaza.dat.bak.1") << 1 << false;
        QTest::newRow("Roradaza.dat.bak.2") << 2 << false;
        QTest::newRow("Roradaza.dat.bak in place of a link to nothing") << 0 << true;
    }
    void failedLoadKeepsCopy()
    {
        QFETCH(int, existing);
        QFETCH(bool, danglingLink);
        if (danglingLink)
            QVERIFY(QFile::link(path(QStringLiteral("absent")), path(QStringLiteral("Roradaza.dat.bak"))));
        const auto copy = [this](int i) {
            return path(QStringLiteral("Roradaza.dat.bak") + (i ? u'.' + QString::number(i) : QString()));
        };
        for (int i = 0; i < existing; ++i)
            QVERIFY(writeBytes(copy(i), "older copy"));
        const QByteArray original = copyData(QStringLiteral("broken-count-line.dat"));

        DatabaseFile file(path());
        EventList list;
        QVERIFY(!load(file, list).error.isEmpty());
        list.append(sample);
        file.save(list);
        QCOMPARE(file.backupPath(), copy(existing));
        QCOMPARE(readBytes(copy(existing)), original);
        QVERIFY(!QFileInfo(copy(existing)).isSymLink());
        for (int i = 0; i < existing; ++i)
            QCOMPARE(readBytes(copy(i)), QByteArray("older copy"));
        QCOMPARE(readBytes(path()), fileBytes(recordsOf(list)));

        file.save(list); // the copy is made once
        QCOMPARE(files().size(), existing + 2);
    }

    void moreRecordsThanTheListHolds_data()
    {
        QTest::addColumn<QByteArray>("countLine");
        QTest::addColumn<int>("cut"); // bytes taken off the end
        QTest::addColumn<QString>("error");
        const QString tooMany = QStringLiteral("pi\u00F9 eventi dei 65535");
        QTest::newRow("one more") << QByteArray("65535") << 0 << tooMany;
        QTest::newRow("one more after a damaged count line") << QByteArray("uno") << 0 << tooMany;
        // The record past the list's room ends after its advance: the file is told as cut short.
        QTest::newRow("one more, cut short") << QByteArray("65535") << 8 << QStringLiteral("finisce a met\u00E0");
    }
    void moreRecordsThanTheListHolds()
    {
        QFETCH(QByteArray, countLine);
        QFETCH(int, cut);
        QFETCH(QString, error);
        const QList<EventRecord> records = numbered(EventList::capacity + 1);
        const QByteArray original = fileBytes(records).replace(0, 5, countLine).chopped(cut);
        QVERIFY(writeBytes(path(), original));
        DatabaseFile file(path());
        EventList list;
        const QString loaded = load(file, list).error;
        QVERIFY2(loaded.contains(error), qPrintable(loaded));
        QCOMPARE(recordsOf(list), records.first(EventList::capacity));

        file.save(list);
        QCOMPARE(readBytes(path(QStringLiteral("Roradaza.dat.bak"))), original);
        QCOMPARE(readBytes(path()), fileBytes(records.first(EventList::capacity)));
    }

    void unreadableFile()
    {
        if (runningAsRoot())
            QSKIP("root reads any file");
        const QByteArray original = fileBytes({sample});
        QVERIFY(writeBytes(path(), original));
        QVERIFY(QFile::setPermissions(path(), {}));
        DatabaseFile file(path());
        EventList list;
        QVERIFY(load(file, list).error.startsWith(QStringLiteral("Cannot open file ") + path()));
        QVERIFY(list.isEmpty());

        // What cannot be read cannot be kept as a copy, so it is not replaced.
        list.append({"Nuovo", "01", "01", "00", "0000"});
        QVERIFY(!saveError(file, list).isEmpty());
        QVERIFY(QFile::setPermissions(path(), ownerOnly));
        QCOMPARE(readBytes(path()), original);
    }

    void failedSave_data()
    {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<bool>("emptyList");
        QTest::addColumn<QByteArray>("name"); // of the one record; "" for the list of 32 MiB
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << false << false << QByteArray("Nuovo") << QString();
        QTest::newRow("read-only folder") << true << false << QByteArray("Nuovo") << QString();
        QTest::newRow("read-only folder, empty list") << true << true << QByteArray("Nuovo") << QString();
        // What the loader would refuse is not written.
        QTest::newRow("name with a line break")
            << false << false << QByteArray("Nuovo\r\n05") << QStringLiteral("a capo");
        QTest::newRow("larger than the loader reads")
            << false << false << QByteArray() << QStringLiteral("byte, pi\u00F9 dei");
    }
    void failedSave()
    {
        QFETCH(bool, readOnlyFolder);
        QFETCH(bool, emptyList);
        QFETCH(QByteArray, name);
        QFETCH(QString, reason);
        EventList list;
        if (!emptyList && !name.isEmpty())
            list.append({name, "01", "01", "00", "0000"});
        if (name.isEmpty()) {
            std::vector<EventRecord> records;
            for (int i = 0; i < EventList::capacity; ++i)
                records.push_back({QByteArray::number(i).rightJustified(520, 'x'), "01", "01", "00", "0000"});
            list.appendAll(std::move(records));
        }
        if (!reason.isEmpty()) {
            const QByteArray original = fileBytes({sample});
            QVERIFY(writeBytes(path(), original));
            DatabaseFile file(path());
            const QString error = saveError(file, list);
            QVERIFY2(error.startsWith(QStringLiteral("Cannot create file ") + path()) && error.contains(reason),
                     qPrintable(error));
            QCOMPARE(readBytes(path()), original);
            QCOMPARE(files(), QStringList{QStringLiteral("Roradaza.dat")});
            return;
        }
        if (!readOnlyFolder) {
            DatabaseFile file(path(QStringLiteral("absent/Roradaza.dat")));
            QVERIFY(saveError(file, list).startsWith(QStringLiteral("Cannot create file ") + file.path()));
            QVERIFY(!QFileInfo::exists(path(QStringLiteral("absent"))));
            return;
        }
        if (runningAsRoot())
            QSKIP("root writes into any folder");
        const QByteArray original = fileBytes({sample});
        QVERIFY(writeBytes(path(), original));
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        DatabaseFile file(path());
        const QString error = saveError(file, list);
        QVERIFY(!error.isEmpty());
        if (!emptyList)
            QVERIFY(error.startsWith(QStringLiteral("Cannot create file ") + path()));
        QCOMPARE(readBytes(path()), original);
        QCOMPARE(files(), QStringList{QStringLiteral("Roradaza.dat")});
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("loaded"); // -1: whatever it can
        QTest::addColumn<bool>("message");
        const QByteArray records = fileBytes({sample}).mid(1);
        // An empty file is an empty list; nothing here is taken for the older layout.
        QTest::newRow("empty file") << QByteArray() << 0 << false;
        QTest::newRow("binary garbage") << readBytes(dataPath(QStringLiteral("binary-garbage.dat"))) << -1 << true;
        QTest::newRow("NUL bytes") << QByteArray(4096, '\0') << 0 << true;
        QTest::newRow("no break after the last line") << fileBytes({sample}).chopped(2) << 1 << false;
        QTest::newRow("loose breaks after the last record") << fileBytes({sample}) + "\r\n\n" << 1 << false;
        QTest::newRow("empty count line") << "\r\n" + records << 1 << true;
        QTest::newRow("count line of 10^9") << "1000000000" + records << 1 << true;
        QTest::newRow("count line beyond 32 bits") << "99999999999" + records << 1 << true;
        QTest::newRow("count line of a megabyte") << QByteArray(1 << 20, '9') + records << 1 << true;
        QTest::newRow("name of a megabyte") << "0\r\n" + QByteArray(1 << 20, 'x') + records.mid(24) << 1 << false;
        QTest::newRow("day of a megabyte")
            << "0\r\nNome\r\n01\r\n" + QByteArray(1 << 20, '1') + "\r\n07\r\n0000" << 1 << false;
        QTest::newRow("100000 records") << fileBytes(numbered(100000)) << EventList::capacity << true;
    }
    // Any bytes give a message or load what they can; a message always
    // protects the file from the next save.
    void badInput()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, loaded);
        QFETCH(bool, message);
        QVERIFY(writeBytes(path(), bytes));
        DatabaseFile file(path());
        EventList list;
        const Loaded result = load(file, list);
        if (loaded >= 0)
            QCOMPARE(list.size(), loaded);
        QCOMPARE(result.asked, 0);
        QCOMPARE(!result.error.isEmpty(), message);
        if (message)
            QVERIFY2(result.error.contains(path()), qPrintable(result.error));
        QCOMPARE(file.needsBackup(), message);
    }

    void oddFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        for (const char *name : {"Roradaza.dat", "Roradaza.ini"}) {
            const QString file = QString::fromLatin1(name);
            QTest::newRow(qPrintable(file + QStringLiteral(" FIFO")))
                << QStringLiteral("fifo") << file << QStringLiteral("non \u00E8 un file normale");
            QTest::newRow(qPrintable(file + QStringLiteral(" link to /dev/zero")))
                << QStringLiteral("zero") << file << QStringLiteral("non \u00E8 un file normale");
            QTest::newRow(qPrintable(file + QStringLiteral(" folder")))
                << QStringLiteral("folder") << file << QStringLiteral("\u00E8 una cartella");
            QTest::newRow(qPrintable(file + QStringLiteral(" link to nothing")))
                << QStringLiteral("dangling") << file << QStringLiteral("collegamento");
            QTest::newRow(qPrintable(file + QStringLiteral(" too large")))
                << QStringLiteral("large") << file << QStringLiteral("byte, pi\u00F9 dei");
        }
    }
    // Anything but a regular file of a sensible size is refused at once,
    // naming the file, and a save leaves it where and as it was.
    void oddFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        const bool database = name.endsWith(u".dat");
        const qint64 limit = database ? DatabaseFile::maxBytes : 64 * 1024;
        if (kind == u"fifo")
            QCOMPARE(mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
        else if (kind == u"zero")
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path(name)));
        else if (kind == u"folder")
            QVERIFY(QDir(m_dir->path()).mkdir(name));
        else if (kind == u"dangling")
            QVERIFY(QFile::link(path(QStringLiteral("absent")), path(name)));
        else
            QVERIFY(writeBytes(path(name), {}) && QFile::resize(path(name), limit + 1));
        const QFileInfo before(path(name));

        QString error;
        if (database) {
            DatabaseFile file(path());
            EventList list;
            error = load(file, list).error;
            list.append(sample);
            const QString saved = saveError(file, list);
            QVERIFY2(saved.startsWith(u"Cannot ") && saved.contains(path()) && saved.count(u"rimasto intatto.") == 1,
                     qPrintable(saved));
            // A file too large to be ours says what to do with it, at start-up and at each save.
            if (kind == u"large")
                QVERIFY(error.contains(u"spostare") && saved.contains(u"spostare"));
        } else {
            Settings settings;
            const QStringList failures = SettingsFile(path(name)).read(settings);
            QCOMPARE(failures.size(), 1);
            error = failures.first();
            // A settings file too large to read is only replaced: it holds no events.
            if (kind == u"large")
                return SettingsFile(path(name)).write(settings);
            QVERIFY_THROWS_EXCEPTION(Failure, SettingsFile(path(name)).write(settings));
        }
        QVERIFY2(error.startsWith(QStringLiteral("Cannot open file ") + path(name)) && error.contains(reason),
                 qPrintable(error));
        const QFileInfo after(path(name));
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(after.size(), before.size());
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList{name});
    }
};

QTEST_GUILESS_MAIN(TestDatabaseFile)
#include "tst_databasefile.moc"
