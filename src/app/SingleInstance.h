#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

namespace roradaza {

// One program per data folder: two would overwrite each other's saves. The
// first holds a lock in the folder and listens; a second start finds the lock,
// asks the first to come forward and ends. A lock left by a program that
// crashed is taken over.
class SingleInstance final : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString &dataFolder);

    // True when this program may run; false when another runs on the same
    // folder (and has been asked to come forward).
    bool claim();

signals:
    void comeForwardRequested();

private:
    QLockFile m_lock;
    QLocalServer m_server;
    QString m_name;
};

} // namespace roradaza
