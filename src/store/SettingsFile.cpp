#include "store/SettingsFile.h"

#include "store/Conversions.h"
#include "store/Failure.h"
#include "store/FileErrors.h"
#include "store/LineBuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace roradaza {

bool SettingsFile::exists() const
{
    return QFileInfo::exists(m_path);
}

QStringList SettingsFile::read(Settings &settings) const
{
    if (!exists())
        return {};
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {ioErrorMessage(file.error())};
    // Three short lines are all there is to read; a huge file is not read whole.
    const LineBuffer lines(file.read(64 * 1024));
    if (file.error() != QFileDevice::NoError)
        return {ioErrorMessage(file.error())};

    QStringList failures;
    const auto attempt = [&failures](auto &&step) {
        try {
            step();
        } catch (const Failure &failure) {
            failures << failure.message();
        }
    };
    attempt([&] { settings.minimiseToTray = toBoolean(lines.line(0)); });
    attempt([&] { settings.checkInterval = toInteger(lines.line(1)); });
    attempt([&] {
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
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(ioErrorMessage(file.error()));
    const QByteArray bytes = serialize(settings);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw Failure(ioErrorMessage(file.error()));
}

} // namespace roradaza
