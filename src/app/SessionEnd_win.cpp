// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionEnd.h"

namespace roradaza {

// Windows ends a session through the session manager's request alone.
void SessionEnd::watchSignals() {}

void SessionEnd::forgetSignals() {}

} // namespace roradaza
