#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct sqlite3;

// Copies the write-ahead log of a database file back into the file from a thread and connections
// of its own, so that the connection that writes (the window's) never waits on the disk. SQLite's
// automatic checkpoints run inside a commit and sync the log and the file there; they are turned
// off on the writer.
//
// The writer reports the log's length after each commit (a WAL hook). Once `pages` frames wait
// to be copied back, or when asked (catchUp()), a passive checkpoint runs here; it never blocks
// the writer.
//
// The log begins anew only here. Whoever writes first into a log that was copied back in full
// restarts it and syncs its new header, so a reader of this object's holds a snapshot at all
// times (the pin): a writer cannot restart a log that a reader still uses. The pin moves to the
// newest snapshot only while frames wait to be copied back, since a reader that begins on a log
// copied back in full reads the file alone and holds nothing. Once the log is longer than
// `boundPages`, a writer that can wait is asked to step aside (stepAsideForRestart()); then the
// rest of the log is copied back, and this thread takes the write lock, lets go of the pin and
// commits a write of its own, which restarts the log, as it begins on a log copied back in full.
// A writer that did not step aside is held off by the write lock meanwhile.
//
// While it is not allowed to write (the file is being checked, or was found damaged), it copies
// nothing back and restarts nothing; being disallowed interrupts a checkpoint that runs.
class LogCheckpointer
{
public:
    struct Limits
    {
        int pages = 1000;
        int boundPages = 16384;
    };
    // Those of every database file opened from now on; tests and benchmarks change them.
    static Limits &defaultLimits();
    // What happened so far, for tests.
    struct Counts
    {
        int checkpoints = 0; // checkpoints that copied frames back
        int restarts = 0;
        int allowances = 0; // times copying back became allowed
    };

    // `writer` is the connection whose commits grow the log; it must stay open until this object
    // is gone. `damaged` is called on this object's thread with SQLite's words when a checkpoint
    // finds the file damaged; `roomMade` when a restart was tried.
    // Starts disallowed.
    LogCheckpointer(const QString &path, sqlite3 *writer, Limits limits, std::function<void(const QString &)> damaged,
                    std::function<void()> roomMade);
    // Stops the thread and closes its connections, so that the writer's close is the last one and
    // leaves no log behind.
    ~LogCheckpointer();
    LogCheckpointer(const LogCheckpointer &) = delete;
    LogCheckpointer &operator=(const LogCheckpointer &) = delete;

    void setAllowed(bool allowed);
    // Copies back whatever the log holds, as after a burst of changes.
    void catchUp();
    // True while the log, past its bound, is about to begin anew or begins anew; a writer that
    // can wait calls it between its commits and, when true, waits for roomMade before it writes
    // again, so that the log is copied back in full meanwhile and the writer does not meet the
    // write lock taken for the restart.
    bool stepAsideForRestart();
    // Waits until nothing is asked of this thread and nothing runs; for tests.
    void waitUntilIdle();
    Counts counts() const;

private:
    static int walHook(void *self, sqlite3 *db, const char *name, int frames);
    void noteCommit(int frames);
    void run(const QString &path);
    bool openConnections(const QString &path);
    void closeConnections();
    void round();
    // One passive checkpoint; false when it failed.
    bool checkpoint();
    // Checkpoints, moving the pin when frames wait beyond it; whether the log is copied back in full.
    bool copyBackAll();
    void pin();
    void restartLog();
    // The restart's own write, on a log copied back in full; whether the log began anew.
    bool beginLogAnew();
    bool exec(sqlite3 *db, const char *sql);
    bool damageFound(sqlite3 *db, int code);
    bool hasWork() const;
    // Under the mutex.
    void askForRoom();

    const Limits m_limits;
    sqlite3 *const m_writer;
    std::function<void(const QString &)> m_damaged;
    std::function<void()> m_roomMade;

    // Shared with the writer's thread, under the mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::condition_variable m_writerWaits;
    bool m_stop = false;
    bool m_started = false;
    bool m_allowed = false;
    bool m_catchUp = false;
    bool m_working = false;
    bool m_needsRoom = false;
    bool m_writerAside = false;
    std::chrono::steady_clock::time_point m_roomAskedAt;
    int m_frames = 0;      // the log's length after the writer's last commit
    quint64 m_commits = 0;
    int m_backfilled = 0;  // frames copied back as of the last checkpoint
    Counts m_counts;
    sqlite3 *m_checkpointer = nullptr;

    // This thread's own.
    sqlite3 *m_pin = nullptr;
    // Takes the write lock from a writer that did not step aside.
    sqlite3 *m_holder = nullptr;
    bool m_pinned = false;
    int m_log = 0;

    std::thread m_thread;
};
