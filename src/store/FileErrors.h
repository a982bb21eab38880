#pragma once

#include <QFileDevice>
#include <QString>

namespace roradaza {

QString cannotOpenMessage(const QString &path);   // "Cannot open file %s"
QString cannotCreateMessage(const QString &path); // "Cannot create file %s"
// The I/O error's own text: "File access denied", "Disk full", "Disk write
// error", "Disk read error", or "I/O error %d" for anything else.
QString ioErrorMessage(QFileDevice::FileError error);

} // namespace roradaza
