// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/Failure.h"
#include "store/SettingsFile.h"
#include "store/StartupRegistration.h"

#include "StoreTest.h"

#include <QDir>
#include <QFileInfo>

using namespace roradaza;
using namespace storetest;

Q_DECLARE_METATYPE(Settings)

class TestSettingsFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path() const { return m_dir->filePath(QStringLiteral("Roradaza.ini")); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        useHome(m_home);
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }

    void writes_data()
    {
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("defaults") << Settings() << QByteArray("0\r\n1200000\r\n-1\r\n");
        QTest::newRow("changed") << Settings{true, 0, false} << QByteArray("-1\r\n0\r\n0\r\n");
    }
    void writes()
    {
        QFETCH(Settings, settings);
        SettingsFile(path()).write(settings);
        QTEST(readBytes(path()), "bytes");
    }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("saintsBefore");
        QTest::addColumn<Settings>("settings");
        QTest::addColumn<QStringList>("failures");
        const auto row = [](const char *name, const QByteArray &bytes, bool saintsBefore, Settings settings,
                            const QStringList &failures = {}) {
            QTest::newRow(name) << bytes << saintsBefore << settings << failures;
        };
        row("no file", QByteArray(), true, {false, 1200000, true});
        row("-1 is true", "-1\r\n600000\r\n0\r\n", true, {true, 600000, false});
        row("1 is true", "1\r\n600000\r\n1\r\n", false, {true, 600000, true});
        row("two lines keep saints on", "0\r\n600000\r\n", true, {false, 600000, true});
        row("empty third line keeps saints off", "0\r\n600000\r\n\r\n", false, {false, 600000, false});
        row("interval 0", "0\r\n0\r\n-1\r\n", true, {false, 0, true});
        row("LF line ends", "-1\n60000\n0\n", true, {true, 60000, false});
        row("True refused, the rest read", "True\r\n900000\r\n0\r\n", true, {false, 900000, false},
            {QStringLiteral("'True' is not a valid boolean value")});
        row("interval not a number", "-1\r\nventi\r\n0\r\n", true, {true, 1200000, false},
            {QStringLiteral("'venti' is not a valid integer value")});
        row("saints False", "0\r\n600000\r\nFalse\r\n", true, {false, 600000, true},
            {QStringLiteral("'False' is not a valid boolean value")});
        row("empty file", "", true, {false, 1200000, true},
            {QStringLiteral("'' is not a valid boolean value"), QStringLiteral("'' is not a valid integer value")});
    }
    void reads()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, saintsBefore);
        QFETCH(Settings, settings);
        if (!bytes.isNull())
            QVERIFY(writeBytes(path(), bytes));
        Settings read;
        read.saints = saintsBefore;
        QStringList failures;
        for (const QString &failure : SettingsFile(path()).read(read))
            failures << failure.section(QStringLiteral(" (") + path(), 0, 0); // each goes on to name the file
        QTEST(failures, "failures");
        QCOMPARE(read.minimiseToTray, settings.minimiseToTray);
        QCOMPARE(read.checkInterval, settings.checkInterval);
        QCOMPARE(read.saints, settings.saints);
        QCOMPARE(QFileInfo::exists(path()), !bytes.isNull());
    }

    void unwritableFile()
    {
        QVERIFY_THROWS_EXCEPTION(Failure, SettingsFile(m_dir->filePath(QStringLiteral("absent/x.ini"))).write({}));
        if (runningAsRoot())
            QSKIP("root writes into any folder");
        const QByteArray original("-1\r\n60000\r\n0\r\n");
        QVERIFY(writeBytes(path(), original));
        QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY_THROWS_EXCEPTION(Failure, SettingsFile(path()).write({}));
        QCOMPARE(readBytes(path()), original);
    }

    // The autostart entry written at every start keeps the desktop's switch,
    // and names the program in TryExec so that it does nothing once removed.
    void autostartEntry_data()
    {
        QTest::addColumn<QByteArray>("existing"); // empty: no entry yet
        QTest::addColumn<QByteArrayList>("switches");
        const QByteArrayList on{"X-GNOME-Autostart-enabled=true"};
        QTest::newRow("first start") << QByteArray() << on;
        QTest::newRow("switched on") << QByteArray("[Desktop Entry]\nX-GNOME-Autostart-enabled=true\n") << on;
        QTest::newRow("hidden") << QByteArray("[Desktop Entry]\nExec=x\nHidden=true\n")
                                << QByteArrayList{"X-GNOME-Autostart-enabled=true", "Hidden=true"};
        QTest::newRow("switched off by GNOME") << QByteArray("[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n")
                                               << QByteArrayList{"X-GNOME-Autostart-enabled=false"};
        QTest::newRow("hidden=false") << QByteArray("[Desktop Entry]\nHidden=false\n") << on;
        QTest::newRow("in another group") << QByteArray("[Desktop Action x]\nHidden=true\n") << on;
    }

    void autostartEntry()
    {
        QFETCH(QByteArray, existing);
        QFETCH(QByteArrayList, switches);
        const QString folder = m_dir->filePath(QStringLiteral("config/autostart"));
        QVERIFY(QDir().mkpath(folder));
        const QString entry = folder + QStringLiteral("/Roradaza.desktop");
        if (!existing.isEmpty())
            QVERIFY(writeBytes(entry, existing));
        const QByteArray config = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir->filePath(QStringLiteral("config")).toLocal8Bit());
        makeStartupRegistration()->registerProgram(QStringLiteral("/opt/a b/Roradaza"));
        qputenv("XDG_CONFIG_HOME", config);

        const QByteArrayList lines = readBytes(entry).split('\n');
        QVERIFY(lines.contains("TryExec=/opt/a b/Roradaza"));
        QVERIFY(lines.contains("Exec=\"/opt/a b/Roradaza\""));
        QByteArrayList found;
        for (const QByteArray &line : lines) {
            if (line.startsWith("X-GNOME-Autostart-enabled=") || line.startsWith("Hidden="))
                found << line;
        }
        QCOMPARE(found, switches);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
