// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Records, files and the saints table are Windows-1252 bytes; text becomes a
// QString only where it meets a widget or the terminal, through these two.
namespace roradaza::text {

QString fromCp1252(QByteArrayView bytes);
// The same, added to the end of text (which keeps its capacity).
void appendFromCp1252(QByteArrayView bytes, QString &text);

// Empty when the text holds a character that Windows-1252 cannot hold:
// such a character is refused, never stored changed.
std::optional<QByteArray> toCp1252(QStringView text);

// Lower-cases the letters A to Z only; every other byte stays as it is.
QByteArray lowerAscii(QByteArrayView bytes);

// Whether needle occurs in haystack when both are lower-cased as above.
bool containsIgnoringAsciiCase(QByteArrayView haystack, QByteArrayView needle);

// Every occurrence of one byte removed.
QByteArray without(QByteArrayView bytes, char removed);

} // namespace roradaza::text
