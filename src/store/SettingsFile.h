// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace roradaza {

struct Settings
{
    bool minimiseToTray = false;
    int checkInterval = 1200000; // milliseconds; 0 never checks
    bool saints = true;
};

// Roradaza.ini: three lines, the minimise-to-tray option, the interval of the
// automatic check in milliseconds, and the saints option.
class SettingsFile
{
public:
    explicit SettingsFile(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    bool exists() const;

    // Reads each option on its own: a line that does not convert leaves its
    // option as it was and is reported, and the other lines are still read,
    // so a damaged settings file never keeps the events from loading. An
    // empty or missing third line keeps the saints option. Nothing happens
    // when the file is absent. Gives the failures' messages, first line
    // first, each naming the file; a file that is not a regular file of a
    // few lines is refused whole.
    QStringList read(Settings &settings) const;

    // Throws the I/O error's message, naming the file, when it cannot be
    // written; the previous file is then left as it was.
    void write(const Settings &settings) const;

    static QByteArray serialize(const Settings &settings);

private:
    QString m_path;
};

} // namespace roradaza
