// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as Roradaza.ini: each line read or reported, and the options
// read are written and read back the same.

#include "FuzzSupport.h"

#include "store/SettingsFile.h"

using namespace roradaza;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const SettingsFile file(fuzz::scratchFile(QStringLiteral("Roradaza.ini"), data, size));
    Settings settings;
    fuzz::require(file.read(settings).size() <= 3, "at most one failure per line");

    const SettingsFile copy(fuzz::scratchFile(QStringLiteral("copy.ini"), SettingsFile::serialize(settings)));
    Settings again{!settings.minimiseToTray, settings.checkInterval ^ 1, !settings.saints};
    fuzz::require(copy.read(again).isEmpty(), "written settings read without failure");
    fuzz::require(again.minimiseToTray == settings.minimiseToTray && again.checkInterval == settings.checkInterval &&
                      again.saints == settings.saints,
                  "written settings read back the same");
    return 0;
}
