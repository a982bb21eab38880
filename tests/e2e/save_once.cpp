// Loads a Roradaza.dat, gives every name a suffix and saves it once, saying
// on stdout when the save starts and how long it took: the crash test kills
// it somewhere in between.
#include "store/DatabaseFile.h"
#include "store/Failure.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace roradaza;

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s Roradaza.dat\n", argv[0]);
        return 2;
    }
    try {
        DatabaseFile database(QString::fromLocal8Bit(argv[1]));
        EventList list;
        database.load(list, [] { return false; });
        for (int row = 0; row < list.size(); ++row) {
            EventRecord record = list.at(row);
            record.name += " (salvato)";
            list.replace(row, std::move(record));
        }
        std::printf("saving %d\n", list.size());
        std::fflush(stdout);
        QElapsedTimer timer;
        timer.start();
        database.save(list);
        std::printf("saved %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000));
        std::fflush(stdout);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.message()));
        return 1;
    }
    return 0;
}
