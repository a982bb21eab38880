// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The one integer conversion and the one boolean conversion of the program.
namespace roradaza {

// Skips leading blanks, takes an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x" (the x in either case). Anything
// else, an empty text, or a value beyond 32 bits throws
// "'%s' is not a valid integer value".
// A hexadecimal digit's value, either case; -1 for any other byte.
int hexDigit(char c);

int toInteger(QByteArrayView text);

// A number, non-zero meaning true; anything else throws
// "'%s' is not a valid boolean value".
bool toBoolean(QByteArrayView text);

// "-1" for true, "0" for false.
QByteArray booleanText(bool value);

} // namespace roradaza
