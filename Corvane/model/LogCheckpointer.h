#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
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
// copied back in full reads the file alone and holds nothing. To restart the log, this thread
// lets go of the pin and commits a write of its own, which begins anew a log copied back in full;
// it does so only when the writer committed nothing since the log was last copied back in full,
// so that its write never holds the write lock over more than its own header's sync.
//
// Once the log is longer than `boundPages`, a writer that can wait is asked to step aside
// (stepAsideForRestart()), and the rest of the log is copied back meanwhile. A writer that does
// not step aside soon after the save that passed the bound is held in its next commit, after the
// commit's locks are gone, while the rest is copied back and the log begins anew; past
// `holdPast()` pages it holds itself there. A writer is held only while copying back is quick
// (the last copy took at most half of `holdBudget`, or none ended yet), and never longer than
// `holdBudget`: on a slow disk the writer's saves win over the bound.
//
// While it is not allowed to write (the file is being checked, or was found damaged), it copies
// nothing back and restarts nothing; being disallowed interrupts a checkpoint that runs. SQLite
// copies the log back when the last connection to the file closes, the writer's: gone while
// disallowed, this object keeps that close from copying too, so that the file stays as it is and
// the log keeps its saves.
class LogCheckpointer
{
public:
    struct Limits
    {
        // Half the bound: a page changed by several saves in a row is copied back once for them,
        // and each copy's sync finds more of the pages it writes side by side in the file.
        int pages = 8192;
        int boundPages = 16384;
        // 0: twice the bound.
        int holdPastPages = 0;
        // No longer than the window may stop answering.
        std::chrono::milliseconds holdBudget{100};

        int holdPast() const { return holdPastPages > 0 ? holdPastPages : 2 * boundPages; }
    };
    // Those of every database file opened from now on; tests and benchmarks change them.
    static Limits &defaultLimits();
    // What happened so far, for tests.
    struct Counts
    {
        int checkpoints = 0; // checkpoints that copied frames back
        int restarts = 0;
        int allowances = 0; // times copying back became allowed
        int busyTries = 0; // tries to begin the log anew that found the write lock taken
    };

    // `writer` is the connection whose commits grow the log; it must stay open until this object
    // is gone. `damaged` is called on this object's thread with SQLite's words when a checkpoint
    // finds the file damaged; `roomMade` when a restart was tried.
    // Starts disallowed.
    LogCheckpointer(const QString &path, sqlite3 *writer, Limits limits, std::function<void(const QString &)> damaged,
                    std::function<void()> roomMade);
    // finish(), unless done. On the writer's thread.
    ~LogCheckpointer();
    LogCheckpointer(const LogCheckpointer &) = delete;
    LogCheckpointer &operator=(const LogCheckpointer &) = delete;

    // Stops the thread and closes its connections, so that the writer's close is the last one.
    // While allowed, copies back on the writer's connection what the log still holds, which the
    // writer's close would do without telling of damage it meets; the close then leaves no log
    // behind. While disallowed, or once damage was found, the close leaves the log and the file as
    // they are. On the writer's thread, with no transaction open on it.
    void finish();
    // SQLite's words about damage that copying back met, on this object's thread or in finish();
    // known here as soon as it was met, before `damaged` reaches whoever it is queued to.
    std::optional<QString> damage() const;

    void setAllowed(bool allowed);
    // Copies back whatever the log holds, as after a burst of changes.
    void catchUp();
    // True while the log, past its bound, is about to begin anew or begins anew; a writer that
    // can wait calls it between its commits and, when true, waits for roomMade before it writes
    // again, so that the log is copied back in full meanwhile without holding the writer.
    bool stepAsideForRestart();
    // A save of the writer's found no room on the disk for the log: the writer steps aside
    // while the log is copied back and begins anew, whatever its length, and waits for roomMade.
    void beginAnew();
    // The writer's next commit is of one that steps aside after it when asked: it is not held
    // there, however long the log.
    void stepsAsideAfterNextCommit();
    // Pages the writer may still add before the log passes its bound; none past it.
    int roomBeforeBound() const;
    // The writes of this object's own (each restart of the log), which hold the write lock over
    // a sync or two: how many began so far, with whether one holds it now.
    struct OwnWrites
    {
        quint64 begun = 0;
        bool running = false;
    };
    OwnWrites ownWrites() const;
    // Waits up to `most` for an own write that holds the write lock to end; whether none holds it.
    bool awaitOwnWrite(std::chrono::milliseconds most);
    // Waits until nothing is asked of this thread, nothing runs and no try is due; for tests.
    void waitUntilIdle();
    Counts counts() const;

private:
    enum class Writer { aside, held, notAside, rests, stopped };
    bool m_notHeldNext = false;

    static int walHook(void *self, sqlite3 *db, const char *name, int frames);
    static int ownWalHook(void *self, sqlite3 *db, const char *name, int frames);
    static int busyHandler(void *self, int tries);
    void noteCommit(int frames);
    void run(const QString &path);
    bool openConnections(const QString &path);
    void closeConnections();
    void round();
    // One passive checkpoint; false when it failed.
    bool checkpoint();
    // Moves the pin onto the newest snapshot and checkpoints, when frames wait; whether the log is
    // copied back in full.
    bool copyBackAll();
    void pin();
    void restartLog();
    // Waits for the writer to step aside, from the save that passed the bound, or to be held.
    Writer awaitWriter();
    // Holds the writer in its next commit; `rests` when it made none within `wait`.
    Writer holdWriter(std::chrono::milliseconds wait);
    void restartWhileHeld();
    // The restart's own write, on a log copied back in full with nothing committed since; false
    // when it did not begin anew, with `busy` set when another connection held the write lock.
    // A writer held by `hold` is let go as soon as the write ends.
    bool beginLogAnew(bool patient, bool *busy = nullptr, quint64 hold = 0);
    int execute(sqlite3 *db, const char *sql);
    bool exec(sqlite3 *db, const char *sql) { return execute(db, sql) == 0; }
    // SQLite's words when `code` tells of damage, which is then recorded, and copying back stops
    // for good.
    std::optional<QString> noteDamage(sqlite3 *db, int code);
    // Whether `code` tells of damage, which is then also told to `damaged`.
    bool damageFound(sqlite3 *db, int code);
    // Tells a writer that stepped aside to go on.
    void makeRoom();
    // Lets a writer held by `hold` go on.
    void release(quint64 hold);
    // Under the mutex.
    bool hasWork() const;
    bool copyIsQuick() const;
    void askForRoom();
    bool heldStill(quint64 hold) const;

    const Limits m_limits;
    sqlite3 *const m_writer;
    std::function<void(const QString &)> m_damaged;
    std::function<void()> m_roomMade;

    // Shared with the writer's thread, under the mutex.
    mutable std::mutex m_mutex;
    // What this thread waits for.
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    // What a held writer waits for.
    std::condition_variable m_released;
    // What a save that found an own write holding the write lock waits for.
    std::condition_variable m_ownWriteEnded;
    OwnWrites m_ownWrites;
    bool m_stop = false;
    bool m_started = false;
    std::optional<QString> m_damage;
    bool m_allowed = false;
    bool m_catchUp = false;
    bool m_working = false;
    bool m_retry = false;
    bool m_needsRoom = false;
    bool m_writerAside = false;
    bool m_holdWanted = false;
    bool m_writerHeld = false;
    quint64 m_hold = 0; // serial of the latest hold
    std::chrono::steady_clock::time_point m_roomAskedAt;
    int m_frames = 0;      // the log's length after the writer's last commit
    quint64 m_commits = 0;
    quint64 m_commitsAtCopy = 0; // as the last checkpoint began
    int m_log = 0;
    int m_backfilled = 0;  // frames copied back as of the last checkpoint
    // How long the last checkpoint that copied frames took, syncs included.
    std::optional<std::chrono::steady_clock::duration> m_copyTime;
    Counts m_counts;
    sqlite3 *m_checkpointer = nullptr;

    // This thread's own.
    sqlite3 *m_pin = nullptr;
    bool m_pinned = false;
    bool m_patient = true; // whether a busy write lock is waited for
    int m_ownFrames = 0;   // the log's length after this thread's own last commit

    std::thread m_thread;
};
