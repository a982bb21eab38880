// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

namespace roradaza::cli {

struct Outcome
{
    int status = 0; // 0 all read, 1 a file or a record could not be read, 2 usage
    QByteArray out; // UTF-8
    QByteArray err; // UTF-8
};

// One check pass printed as text. args excludes the program name;
// programFolder is where the database is looked for by default;
// terminalTakesColour decides the colours of --color=auto.
Outcome runCheck(const QStringList &args, const QString &programFolder, bool terminalTakesColour);

} // namespace roradaza::cli
