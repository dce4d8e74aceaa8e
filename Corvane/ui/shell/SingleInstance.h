#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

// Keeps one Vantu per user and data folder: the first process holds a lock file in the data
// folder and listens on a local socket; a later one finds the lock, asks the first to come to
// the front and leaves. A lock left by a process that died is taken over.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this process is now the one instance; it then listens for later starts.
    // False when another process holds the data folder; that one has been asked to come to
    // the front (when it answers in time).
    bool acquire();

    // The local socket's name for the data folder, unique per user.
    static QString serverName(const QString &dataFolder);

Q_SIGNALS:
    // A later start asked this instance to show itself.
    void activationRequested();

private:
    bool askRunningInstance() const;

    QString m_dataFolder;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
