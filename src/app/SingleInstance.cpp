#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace roradaza {

SingleInstance::SingleInstance(const QString &dataFolder)
    : m_lock(QDir(dataFolder).filePath(QStringLiteral("Roradaza.lock")))
{
    const QByteArray folder = QDir(dataFolder).canonicalPath().toUtf8();
    m_name = QStringLiteral("roradaza-") +
             QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16));
    // Only a lock whose program is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromServer();
            emit comeForwardRequested();
        }
    });
}

bool SingleInstance::claim()
{
    if (m_lock.tryLock(0)) {
        QLocalServer::removeServer(m_name);
        m_server.listen(m_name);
        return true;
    }
    if (m_lock.error() != QLockFile::LockFailedError)
        return true; // a folder where no lock can be made: run, as before
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (socket.waitForConnected(2000)) {
        socket.write("come forward\n");
        socket.waitForBytesWritten(1000);
        socket.waitForDisconnected(1000);
    }
    return false;
}

} // namespace roradaza
