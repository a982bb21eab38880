// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as Roradaza.dat: a clear failure or what could be loaded, and
// whatever was loaded comes back unchanged from a save and a reload.

#include "FuzzSupport.h"

#include "store/DatabaseFile.h"
#include "store/Failure.h"

using namespace roradaza;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    DatabaseFile file(fuzz::scratchFile(QStringLiteral("Roradaza.dat"), data, size));
    EventList loaded;
    try {
        file.read();
        file.fill(loaded, file.layout());
    } catch (const Failure &) {
    }

    // Read back as the current layout: the layout test looks at the first
    // record's year, which arbitrary bytes need not make a number.
    const QByteArray saved = DatabaseFile::serialize(loaded);
    DatabaseFile copy(fuzz::scratchFile(QStringLiteral("copy.dat"), saved));
    EventList reloaded;
    copy.read();
    copy.fill(reloaded, DatabaseFile::Layout::Current);
    fuzz::require(reloaded.copies() == loaded.copies(), "a reload gives the records saved");
    return 0;
}
