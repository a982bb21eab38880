// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace roradaza {

// The one way both files are read and written.

// Reads a regular file (links followed) of at most limit bytes. Anything
// else, a folder, a FIFO, a device or a larger file, is refused before a
// byte is read, so no file can make the program wait or grow without bound.
// Throws "Cannot open file %s" with the reason.
QByteArray readWholeFile(const QString &path, qint64 limit);

// Replaces the file with these bytes only once every one of them is on disk:
// written unbuffered, synced, renamed over the old file, and the folder
// synced. On any failure before the rename the old file stays exactly as it
// was, and the message names the file and says so. The new file takes the
// owner, group and mode bits of ownerAndModeOf (by default the file it
// replaces), or is not written when they cannot be given. A link is written
// through and stays a link.
void writeWholeFile(const QString &path, const QByteArray &bytes, const QString &ownerAndModeOf = {});

// Removes the file; a failure names it and says it is still there.
void removeFile(const QString &path);

} // namespace roradaza
