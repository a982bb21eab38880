// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/CalDav.h"

namespace roradaza::sync {

std::vector<CalendarInfo> discover(const Account &)
{
    throw Failure(Failure::Kind::Other, QStringLiteral("La sincronizzazione non è ancora disponibile."));
}

std::unique_ptr<Collection> openCollection(const Account &)
{
    throw Failure(Failure::Kind::Other, QStringLiteral("La sincronizzazione non è ancora disponibile."));
}

} // namespace roradaza::sync
