// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// A broken promise is a crash, so libFuzzer keeps the input that caused it.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline void require(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

// One folder for the whole run: an input costs a file write, not a folder.
inline QString scratchPath(const QString &name)
{
    static const QTemporaryDir dir;
    if (!dir.isValid())
        fail("no scratch folder");
    return dir.filePath(name);
}

inline QString scratchFile(const QString &name, const std::uint8_t *data, std::size_t size)
{
    const QString path = scratchPath(name);
    // A new file each time: truncating one in place makes ext4 flush it.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        fail("cannot write the scratch file");
    return path;
}

inline QString scratchFile(const QString &name, const QByteArray &bytes)
{
    return scratchFile(name, reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
}

} // namespace fuzz
