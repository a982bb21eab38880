// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/StartupRegistration.h"

#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace roradaza {
namespace {

// The Run key under HKEY_LOCAL_MACHINE, value named after the executable's
// file name, holding its full path. A user without the right to write there
// simply is not registered.
class RunKey final : public StartupRegistration
{
public:
    void registerProgram(const QString &executablePath) override
    {
        const QByteArray name = QFileInfo(executablePath).fileName().toLocal8Bit();
        const QByteArray path = QDir::toNativeSeparators(executablePath).toLocal8Bit();
        HKEY key = nullptr;
        DWORD disposition = 0;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition);
        if (!key)
            return;
        RegSetValueExA(key, name.constData(), 0, REG_SZ, reinterpret_cast<const BYTE *>(path.constData()),
                       DWORD(path.size() + 1));
        RegCloseKey(key);
    }
};

} // namespace

std::unique_ptr<StartupRegistration> makeStartupRegistration()
{
    return std::make_unique<RunKey>();
}

} // namespace roradaza
