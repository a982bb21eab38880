// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QThread>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <ctime>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace roradaza {
namespace {

#ifdef Q_OS_UNIX
// Empty when the folder may hold the program's socket: a folder, not a link,
// of this user, where no other user can write. Anyone can make a folder in
// /tmp first, under any name; one that is not the user's own is not used.
QString distrustOf(const QString &folder)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0)
        return qt_error_string(errno);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("non \u00E8 una cartella");
    if (info.st_uid != ::geteuid()) {
        const passwd *owner = ::getpwuid(info.st_uid);
        return QStringLiteral("\u00E8 dell'utente %1")
            .arg(owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(info.st_uid));
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("altri utenti vi possono scrivere");
    return {};
}

// A socket of this user, at least this many seconds old, where no program
// listens any more (the age spares one being set up right now).
bool abandonedSocket(const QString &path, int seconds)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != ::geteuid() ||
        std::time(nullptr) - info.st_mtime < seconds)
        return false;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (std::size_t(name.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
    const int handle = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle < 0)
        return false;
    const bool refused =
        ::connect(handle, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 && errno == ECONNREFUSED;
    ::close(handle);
    return refused;
}

// The user id of the program at the other end of a connected socket.
bool peerIsThisUser(qintptr handle)
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(handle), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}
#endif

} // namespace

SingleInstance::SingleInstance(const QString &dataFolder)
    : m_lockPath(QDir(dataFolder).filePath(QStringLiteral("Roradaza.lock"))), m_lock(m_lockPath)
{
    // Only a lock whose program is gone is stale, however old it is.
    m_lock.setStaleLockTime(0);

    const QByteArray folder = QDir(dataFolder).canonicalPath().toUtf8();
    const QString key =
        QStringLiteral("roradaza-") +
        QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(16));
#ifdef Q_OS_UNIX
    // A bare name would put the socket under TMPDIR, which differs from one
    // start to the next. The user's runtime folder when there is one, and a
    // folder of the user's own in /tmp for starts without it; the holder
    // listens in both.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        m_folders << QDir::cleanPath(runtime);
    const QString own = QStringLiteral("/tmp/roradaza-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    m_folders << own;
    for (auto folder = m_folders.begin(); folder != m_folders.end();) {
        if (const QString why = distrustOf(*folder); !why.isEmpty()) {
            m_distrust << QStringLiteral("La cartella %1 %2: Roradaza non vi apre il suo punto di contatto, e un "
                                         "secondo avvio che cerchi l\u00EC questo programma non lo trover\u00E0.")
                              .arg(*folder, why);
            folder = m_folders.erase(folder);
        } else {
            m_names << QDir(*folder).filePath(key);
            ++folder;
        }
    }
#else
    m_names << key;
#endif
}

void SingleInstance::cleanUp()
{
#ifdef Q_OS_UNIX
    // Sockets left by killed programs, of any folder: in the folders used
    // now, and where earlier versions put them, straight in /tmp.
    for (const QString &folder : m_folders) {
        for (const QString &name : QDir(folder).entryList({QStringLiteral("roradaza-*")}, QDir::System)) {
            if (abandonedSocket(QDir(folder).filePath(name), 10))
                QFile::remove(QDir(folder).filePath(name));
        }
    }
    // A program of an earlier version takes any call for a second start: only
    // sockets an hour old are tried there.
    const QString legacy = QStringLiteral("roradaza-*-%1").arg(::geteuid());
    for (const QString &name : QDir(QStringLiteral("/tmp")).entryList({legacy}, QDir::System)) {
        if (abandonedSocket(QStringLiteral("/tmp/") + name, 3600))
            QFile::remove(QStringLiteral("/tmp/") + name);
    }
#endif
}

void SingleInstance::listen()
{
    cleanUp();
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
                // Only a start that asks is answered: a look whether anyone listens brings nothing forward.
                connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                    if (!socket->canReadLine())
                        return;
                    const bool asked = socket->readLine().startsWith("come forward");
                    socket->disconnectFromServer();
                    if (asked)
                        emit comeForwardRequested();
                });
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
#ifdef Q_OS_UNIX
        if (!peerIsThisUser(socket.socketDescriptor())) {
            const QString why = QStringLiteral("A %1 risponde un programma di un altro utente: non gli viene chiesto "
                                               "nulla.")
                                    .arg(name);
            if (!m_distrust.contains(why))
                m_distrust << why;
            continue;
        }
#endif
        socket.write("come forward\n");
        socket.waitForBytesWritten(1000);
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
    // With no folder to trust there is no one to call: a lock that cannot be taken over is held.
    if (m_names.isEmpty())
        return takeOver() ? Claim::Run : Claim::Unreachable;
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
