#include "ui/shell/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace {

constexpr char activate[] = "activate\n";

}

SingleInstance::SingleInstance(const QString &dataFolder, QObject *parent)
    : QObject(parent), m_dataFolder(dataFolder), m_lock(dataFolder + QStringLiteral("/vantu.lock"))
{
    // A lock is stale only when its process is gone, never by age: Vantu runs for days.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &dataFolder)
{
    const auto folder = QCryptographicHash::hash(QDir(dataFolder).absolutePath().toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("vantu-%1-%2").arg(::getuid()).arg(QString::fromLatin1(folder.toHex().left(12)));
}

bool SingleInstance::acquire()
{
    QDir().mkpath(m_dataFolder);
    // Another process may be between taking the lock and listening, or between closing and
    // unlocking: try both sides for a few seconds before deciding.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (m_lock.tryLock(0)) {
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            // A socket file left by a process that died would refuse the name.
            QLocalServer::removeServer(serverName(m_dataFolder));
            m_server->listen(serverName(m_dataFolder));
            connect(m_server, &QLocalServer::newConnection, this, [this] {
                while (auto *socket = m_server->nextPendingConnection()) {
                    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                        if (socket->readAll().contains("activate"))
                            Q_EMIT activationRequested();
                        socket->disconnectFromServer();
                    });
                    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                }
            });
            return true;
        }
        if (m_lock.error() != QLockFile::LockFailedError)
            return true; // the folder cannot hold a lock; run rather than refuse to start
        if (askRunningInstance())
            return false;
        QThread::msleep(100);
    }
    return false;
}

bool SingleInstance::askRunningInstance() const
{
    QLocalSocket socket;
    socket.connectToServer(serverName(m_dataFolder));
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(activate);
    const bool sent = socket.waitForBytesWritten(1000);
    socket.waitForDisconnected(1000);
    return sent;
}
