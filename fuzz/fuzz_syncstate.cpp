// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as Roradaza.sync: read, or refused with a message naming the
// file; a state read is written, and reads back to the same bytes.

#include "FuzzSupport.h"

#include "store/Failure.h"
#include "sync/Engine.h"

using namespace roradaza;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = fuzz::scratchFile(QStringLiteral("Roradaza.sync"), data, size);
    sync::SyncState state;
    try {
        state = sync::readSyncState(path);
    } catch (const Failure &failure) {
        fuzz::require(failure.message().contains(path), "the message names the file");
        return 0;
    }
    const QString copy = fuzz::scratchPath(QStringLiteral("copy.sync"));
    const QString again = fuzz::scratchPath(QStringLiteral("again.sync"));
    sync::writeSyncState(copy, state);
    sync::writeSyncState(again, sync::readSyncState(copy));
    QFile first(copy), second(again);
    fuzz::require(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) &&
                      first.readAll() == second.readAll(),
                  "a state written reads back the same");
    return 0;
}
