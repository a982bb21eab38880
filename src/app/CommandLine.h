// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

namespace roradaza {

// Answers --help and --version on standard output, before any window or
// display is needed: the exit status when it did, nothing otherwise. Every
// other argument is left alone, as the program reads no command line.
std::optional<int> answerCommandLine(int argc, char *argv[]);

} // namespace roradaza
