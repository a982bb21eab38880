// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QStringList>

#include <memory>
#include <vector>

namespace roradaza {

// One program per data folder: two would overwrite each other's saves. The
// first holds a lock in the folder and listens; a second start finds the lock,
// asks the first to come forward and ends. A lock left by a program that
// crashed is taken over, even when its process id has since gone to another
// program: the lock file stays locked only while its program lives.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    enum class Claim {
        Run,         // this program holds the folder
        Forwarded,   // another program runs on the folder and was asked to come forward
        Busy,        // a live program holds the folder but does not answer
        Unreachable, // a live program holds the folder, and no folder for its socket can be trusted
    };

    explicit SingleInstance(const QString &dataFolder);

    Claim claim();
    // The process named in the lock file, 0 when unknown.
    qint64 holder() const;
    QString lockPath() const { return m_lockPath; }
    // Why a folder for the socket was not used, one message per folder:
    // another user's, or one that others can write.
    const QStringList &distrust() const { return m_distrust; }

signals:
    void comeForwardRequested();

private:
    void listen();
    void cleanUp();
    bool callFirst();
    bool takeOver();

    QString m_lockPath;
    QLockFile m_lock;
    std::vector<std::unique_ptr<QLocalServer>> m_servers;
    // Where the holder listens, each of them. The names come from the folder
    // alone, so that a start under another TMPDIR finds it too.
    QStringList m_names;
    QStringList m_folders; // the folders of those names, each checked to be the user's own
    QStringList m_distrust;
};

} // namespace roradaza
