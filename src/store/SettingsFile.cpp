// SPDX-License-Identifier: GPL-3.0-or-later
#include "store/SettingsFile.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/LineBuffer.h"
#include "store/WholeFile.h"

#include <QDir>
#include <QFileInfo>

namespace roradaza {

bool SettingsFile::exists() const
{
    const QFileInfo info(m_path);
    return info.exists() || info.isSymLink();
}

QStringList SettingsFile::read(Settings &settings) const
{
    if (!exists())
        return {};
    LineBuffer lines;
    try {
        // Three short lines are all there is: anything much larger is not this file.
        lines = LineBuffer(readWholeFile(m_path, 64 * 1024));
    } catch (const Failure &failure) {
        return {failure.message()};
    }

    QStringList failures;
    const auto attempt = [this, &failures](int line, auto &&step) {
        try {
            step();
        } catch (const Failure &failure) {
            failures << QStringLiteral("%1 (%2, riga %3)")
                            .arg(failure.message(), QDir::toNativeSeparators(m_path))
                            .arg(line);
        }
    };
    attempt(1, [&] { settings.minimiseToTray = toBoolean(lines.line(0)); });
    attempt(2, [&] { settings.checkInterval = toInteger(lines.line(1)); });
    attempt(3, [&] {
        if (!lines.line(2).isEmpty())
            settings.saints = toBoolean(lines.line(2));
    });
    return failures;
}

QByteArray SettingsFile::serialize(const Settings &settings)
{
    return booleanText(settings.minimiseToTray) + "\r\n" + QByteArray::number(settings.checkInterval) + "\r\n" +
           booleanText(settings.saints) + "\r\n";
}

void SettingsFile::write(const Settings &settings) const
{
    writeWholeFile(m_path, serialize(settings));
}

} // namespace roradaza
