#pragma once

#include <QObject>

#include <chrono>
#include <memory>

class AppSearching;
class ASOStore;
class MainWindow;
class QLabel;
class RankTracker;
class StoreDb;
class TrackingNotifying;
class Updater;

// Brings the application up and owns its long-lived objects for the whole process: the store
// over the local database, the notifier, the updater, the rank tracker and the main window.
//
// In test mode the database lives in memory, notifications are silent, and neither the
// updater nor the tracker's daily loop starts; everything else is the same.
//
// Destroying it is the end of quitting: the work still in progress (tracking and discovery
// runs, searches) is cancelled and let finish before anything goes, so that no task is left
// suspended on an event loop that no longer runs.
class AppShell : public QObject
{
    Q_OBJECT
public:
    // Name and version of the application, which place the data folder and which the update
    // check compares with. Call before anything reads settings.
    static void describeApplication();

    // Makes SIGTERM, SIGINT and SIGHUP (a logout, a plain kill, Ctrl+C) quit the application's
    // event loop as its Quit command does, so that the store is closed cleanly. Call once the
    // application object exists.
    static void quitOnTerminationSignals();

    // Starts up in order: default settings, database, store, notifier, updater, tracker, main
    // window (not shown). Throws StoreDb::OpenError when the database cannot be opened; nothing
    // else has been created then.
    explicit AppShell(bool testMode, QObject *parent = nullptr);
    // The same over a database opened by the caller, and with the search client given (else
    // the store builds its own).
    AppShell(bool testMode, std::unique_ptr<StoreDb> db, std::shared_ptr<AppSearching> itunes = {},
             QObject *parent = nullptr);
    ~AppShell() override;

    bool testMode() const { return m_testMode; }
    ASOStore *store() const { return m_store.get(); }
    TrackingNotifying *notifier() const { return m_notifier.get(); }
    Updater *updater() const { return m_updater.get(); }
    RankTracker *tracker() const { return m_tracker.get(); }
    MainWindow *mainWindow() const { return m_mainWindow.get(); }

    // The main window's line saying that the database is being checked, or was found damaged;
    // absent while the database accepts changes.
    QLabel *databaseCheckLine() const;

private:
    // The longest that quitting waits for the work it cancelled to finish. It takes a few turns
    // of the event loop; past this, something ignored its cancellation and is left as it is.
    static constexpr std::chrono::milliseconds quitGrace{3000};

    // Cancels the work in progress and turns the event loop until it has finished.
    void endWork();
    // Keeps the database line in step with the store, whatever was found before the window.
    void followDatabaseState();

    bool m_testMode;
    // Declared in the order of start-up, so they go in the reverse order.
    std::unique_ptr<ASOStore> m_store;
    std::unique_ptr<TrackingNotifying> m_notifier;
    std::unique_ptr<Updater> m_updater;
    std::unique_ptr<RankTracker> m_tracker;
    std::unique_ptr<MainWindow> m_mainWindow;
};
