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
