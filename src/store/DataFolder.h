// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace roradaza {

// Where Roradaza.dat and Roradaza.ini live: beside the executable when that
// folder can be written (a folder the user unpacked or built it in) and is
// not one of the system's (/usr/...), else
// $XDG_DATA_HOME/roradaza (by default ~/.local/share/roradaza). Nothing is
// created here: the program makes the folder, the terminal check never writes.
QString dataFolderFor(const QString &executableFolder);

} // namespace roradaza

namespace roradaza {

// When the data lives elsewhere because the executable's folder cannot be
// written, the events kept beside the executable come along: Roradaza.dat
// and Roradaza.ini (the default one when there is none) are copied into the
// data folder, once for good: never while it has either file of its own.
// True when they were copied. A copy that fails raises a Failure naming
// both files and leaves nothing half-copied; the originals are never
// touched.
bool bringEventsAlong(const QString &executableFolder, const QString &dataFolder);

} // namespace roradaza
