// SPDX-License-Identifier: GPL-3.0-or-later
// Loads a Roradaza.dat, gives every name a suffix and saves it once, saying
// on stdout when the save starts and how long it took: the crash test kills
// it somewhere in between. Given a Roradaza.ini as well, it then switches
// the minimise-to-tray option and writes that file too, as every save does;
// "-" in place of Roradaza.dat writes the settings file alone.
#include "store/DatabaseFile.h"
#include "store/Failure.h"
#include "store/SettingsFile.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace roradaza;

int main(int argc, char *argv[])
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s Roradaza.dat|- [Roradaza.ini]\n", argv[0]);
        return 2;
    }
    try {
        const QString databasePath = QString::fromLocal8Bit(argv[1]);
        if (databasePath != QLatin1String("-")) {
            DatabaseFile database(databasePath);
            EventList list;
            // A file that loads in part is saved as the program saves it, after a copy is kept.
            try {
                database.load(list, [] { return false; });
            } catch (const Failure &failure) {
                std::fprintf(stderr, "%s\n", qPrintable(failure.message()));
            }
            for (int row = 0; row < list.size(); ++row) {
                EventRecord record = list.at(row).toRecord();
                record.name += " (salvato)";
                list.replace(row, record);
            }
            std::printf("saving %d\n", list.size());
            std::fflush(stdout);
            QElapsedTimer timer;
            timer.start();
            database.save(list);
            std::printf("saved %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000));
            std::fflush(stdout);
        }
        if (argc == 3) {
            const SettingsFile settingsFile(QString::fromLocal8Bit(argv[2]));
            Settings settings;
            settingsFile.read(settings);
            settings.minimiseToTray = !settings.minimiseToTray;
            settingsFile.write(settings);
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.message()));
        return 1;
    }
    return 0;
}
