// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace roradaza {
namespace {

QStringList serverNames(const QString &dataFolder)
{
    const QByteArray folder = QDir(dataFolder).canonicalPath().toUtf8();
    const QString key =
        QStringLiteral("roradaza-") +
        QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16));
#ifdef Q_OS_UNIX
    // A bare name would put the socket under TMPDIR, which differs from one
    // start to the next. The user's runtime folder when there is one, else a
    // fixed place; the holder listens at both.
    QStringList names;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        names << QDir(runtime).filePath(key);
    names << QStringLiteral("/tmp/%1-%2").arg(key).arg(::getuid());
    return names;
#else
    return {key};
#endif
}

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder)
    : m_lockPath(QDir(dataFolder).filePath(QStringLiteral("Roradaza.lock"))), m_lock(m_lockPath),
      m_names(serverNames(dataFolder))
{
    // Only a lock whose program is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
}

void SingleInstance::listen()
{
    // The lock is ours: whatever lies at these names was left by a program now gone.
    for (const QString &name : m_names) {
        QLocalServer::removeServer(name);
        auto server = std::make_unique<QLocalServer>();
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (!server->listen(name))
            continue;
        connect(server.get(), &QLocalServer::newConnection, this, [this, server = server.get()] {
            while (QLocalSocket *socket = server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                socket->disconnectFromServer();
                emit comeForwardRequested();
            }
        });
        m_servers.push_back(std::move(server));
    }
}

bool SingleInstance::callFirst()
{
    for (const QString &name : m_names) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(1000))
            continue;
        socket.write("come forward\n");
        // The holder hangs up once it has heard: a program that hangs does not.
        return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(3000);
    }
    return false;
}

SingleInstance::Claim SingleInstance::claim()
{
    if (m_lock.tryLock(0)) {
        listen();
        return Claim::Run;
    }
    if (m_lock.error() != QLockFile::LockFailedError)
        return Claim::Run; // a folder where no lock can be made: run, as before
    // A holder that has only just started may not listen yet: call again for a while.
    const QDeadlineTimer deadline(3000);
    while (true) {
        if (callFirst())
            return Claim::Forwarded;
        if (m_lock.tryLock(0)) { // the holder ended meanwhile
            listen();
            return Claim::Run;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(200);
    }
    // Nobody answers. The lock file stays locked while its program lives, so
    // a lock that can be removed was left by a program now gone, whatever
    // process has its number today.
    if (takeOver())
        return Claim::Run;
    return Claim::Busy;
}

bool SingleInstance::takeOver()
{
    if (!m_lock.removeStaleLockFile() || !m_lock.tryLock(0))
        return false;
    listen();
    return true;
}

qint64 SingleInstance::holder() const
{
    qint64 pid = 0;
    QString host, application;
    return m_lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

} // namespace roradaza
