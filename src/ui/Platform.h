// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Version.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace roradaza {

class Clock;
class Prompts;
class StartupRegistration;

// What the main window takes from the system: real ones in the program,
// doubles in the tests.
struct Platform
{
    const Clock &clock;
    Prompts &prompts;
    StartupRegistration &registration;
    QString executablePath;
    std::function<void(const QUrl &)> openUrl;
    std::function<bool()> trayAvailable;
    // Where the two files live; empty means beside the executable.
    QString dataFolder = {};
};

// The executable's file name up to its first dot, lower case after the first
// character: the caption of the program's boxes and the tray tip.
QString applicationTitle(const QString &executablePath);

// The error box's text: a full stop is added after any last character above it.
QString withFullStop(QString text);

namespace links {
inline constexpr char webSite[] = "https://roradaza.example/";
inline constexpr char mailAddress[] = "roradaza@roradaza.example";
} // namespace links

inline constexpr char aboutText[] =
    "Roradaza  Ver " RORADAZA_VERSION "  -  Promemoria di compleanni, onomastici e ricorrenze";

} // namespace roradaza
