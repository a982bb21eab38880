// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace roradaza {

// What a screen reader is told beyond Qt's own: a combo box by its name (Qt
// on Linux gives it its current text and ignores the name set on it), the
// value being its current text; the notification window as a dialog.
void installAccessibility();

} // namespace roradaza
