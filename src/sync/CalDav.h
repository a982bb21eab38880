// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/Collection.h"

#include <memory>

// CalDAV over HTTP (Qt Network): blocking calls, made from the sync's own
// thread, never from the thread that draws the windows.
namespace roradaza::sync {

// A calendar found under an address.
struct CalendarInfo
{
    QUrl address;
    QString name; // the displayname, or the last part of the path
};

// The calendars that hold events under the account's address: the address
// itself when it is one, else those of the user found from the server's or
// the user's root. Throws Failure.
std::vector<CalendarInfo> discover(const Account &account);

// The collection at account.address (which must be a calendar).
std::unique_ptr<Collection> openCollection(const Account &account);

} // namespace roradaza::sync
