// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFileDevice>
#include <QString>

namespace roradaza {

// Every message names the file by its full path and ends with the system's
// reason in brackets, when there is one.
QString cannotOpenMessage(const QString &path, const QString &reason = {});   // "Cannot open file %s"
QString cannotCreateMessage(const QString &path, const QString &reason = {}); // "Cannot create file %s"
// The new content was written whole, but could not take the old file's place.
QString cannotReplaceMessage(const QString &path, const QString &reason = {}); // "Cannot replace file %s"
// The I/O error's own text, the file and the reason: "Disk full: %s (...)",
// "File access denied: %s (...)", "Disk write error: %s (...)".
QString ioErrorMessage(QFileDevice::FileError error, const QString &path, const QString &reason);
// Why a path that is there cannot be taken as a file: a folder, or no
// regular file at all (a FIFO, a device, a socket, a broken link).
QString notRegularReason(const QString &path);
// Appended to a failed save's message when there was a file to keep.
QString previousFileUnchanged();

} // namespace roradaza
