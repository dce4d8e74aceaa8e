#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

// What one update check found out.
struct UpdateCheckOutcome
{
    enum class Kind { upToDate, updateAvailable, failed };

    Kind kind = Kind::failed;
    QString version; // the newer release's version, when one is available
    QUrl link;       // where to download it
    QString problem; // why the check failed

    // One sentence for the user.
    QString text() const
    {
        switch (kind) {
        case Kind::upToDate:
            return QStringLiteral("Vantu is up to date.");
        case Kind::updateAvailable:
            return QStringLiteral("A newer version %1 is available.").arg(version);
        case Kind::failed:
            break;
        }
        return QStringLiteral("Could not check for updates: ") + problem;
    }
};

// The process-wide updater that the update command follows. Whoever shows the outcome listens
// to checkFinished; the command itself only needs canCheckForUpdates and checkForUpdates().
class Updater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    using QObject::QObject;

    // True while a check may start.
    virtual bool canCheckForUpdates() const = 0;

public Q_SLOTS:
    // Starts a check; does nothing while canCheckForUpdates is false.
    virtual void checkForUpdates() = 0;

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheckForUpdates);
    void checkFinished(const UpdateCheckOutcome &outcome);
};
