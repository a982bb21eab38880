// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CheckCommand.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

// Standard output is a terminal, and neither NO_COLOR (set and not empty)
// nor TERM=dumb asks for plain text.
static bool terminalTakesColour()
{
    return isatty(fileno(stdout)) != 0 && qEnvironmentVariableIsEmpty("NO_COLOR") && qgetenv("TERM") != "dumb";
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const auto outcome = roradaza::cli::runCheck(args, QCoreApplication::applicationDirPath(), terminalTakesColour());
    std::fwrite(outcome.out.constData(), 1, std::size_t(outcome.out.size()), stdout);
    std::fwrite(outcome.err.constData(), 1, std::size_t(outcome.err.size()), stderr);
    // Lines that never reached their reader are no success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("roradaza-check: impossibile scrivere sullo standard output\n", stderr);
        return std::max(outcome.status, 1);
    }
    return outcome.status;
}
