// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

namespace roradaza {

// Registers the program to start when the user logs on. Failures are ignored:
// a program that cannot register still runs.
class StartupRegistration
{
public:
    virtual ~StartupRegistration() = default;
    virtual void registerProgram(const QString &executablePath) = 0;
};

// Linux and other freedesktop systems: an autostart entry named after the
// executable in $XDG_CONFIG_HOME/autostart/. Windows: the Run key.
std::unique_ptr<StartupRegistration> makeStartupRegistration();

} // namespace roradaza
