// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "store/EventList.h"
#include "store/EventRecord.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace storetest {

inline QString dataPath(const QString &name)
{
    return qEnvironmentVariable("RORADAZA_TEST_DATA") + u'/' + name;
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Root reads and writes through any permission, so those failures cannot be made for it.
inline bool runningAsRoot()
{
    return geteuid() == 0;
}

inline void useHome(const QTemporaryDir &home)
{
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toLocal8Bit());
}

inline QList<roradaza::EventRecord> recordsOf(const roradaza::EventList &list)
{
    const std::vector<roradaza::EventRecord> records = list.copies();
    return QList<roradaza::EventRecord>(records.begin(), records.end());
}

} // namespace storetest

namespace roradaza {
inline char *toString(const EventRecord &r)
{
    return QTest::toString(QByteArrayList{r.name, r.month, r.day, r.advance, r.year}.join('|'));
}
} // namespace roradaza

Q_DECLARE_METATYPE(roradaza::EventRecord)
