#include "model/LogCheckpointer.h"

#include "model/SqliteLibrary.h"

#include <QLoggingCategory>

#include <chrono>

Q_DECLARE_LOGGING_CATEGORY(lcStoreDb)

namespace {

// How long this thread waits for the write lock, or for readers, before it tries again later.
constexpr int busyMilliseconds = 250;
constexpr auto lockPoll = std::chrono::microseconds(200);
// When frames were left behind (a reader held an old snapshot), the next try.
constexpr auto retryInterval = std::chrono::milliseconds(250);
// How long a restart waits for the writer to step aside: a run pauses between its keywords.
constexpr auto writerWait = std::chrono::milliseconds(50);

// Waits for the write lock in short steps: a writer lets it go only for moments between its
// saves, which SQLite's own waits, growing to tens of milliseconds, mostly miss.
int pollForLock(void *, int tries)
{
    if (tries * lockPoll >= std::chrono::milliseconds(busyMilliseconds))
        return 0;
    std::this_thread::sleep_for(lockPoll);
    return 1;
}

}

LogCheckpointer::LogCheckpointer(const QString &path, sqlite3 *writer, Limits limits,
                                 std::function<void(const QString &)> damaged, std::function<void()> roomMade)
    : m_limits(limits), m_writer(writer), m_damaged(std::move(damaged)), m_roomMade(std::move(roomMade))
{
    // Replaces SQLite's automatic checkpoints, which are themselves such a hook.
    SqliteLibrary::get()->wal_hook(m_writer, &LogCheckpointer::walHook, this);
    m_thread = std::thread([this, path] { run(path); });
}

LogCheckpointer::~LogCheckpointer()
{
    SqliteLibrary::get()->wal_hook(m_writer, nullptr, nullptr);
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_writerWaits.notify_all();
        // The writer's close copies back whatever is left.
        if (m_working && m_checkpointer)
            SqliteLibrary::get()->interrupt(m_checkpointer);
    }
    m_wake.notify_all();
    m_thread.join();
}

LogCheckpointer::Limits &LogCheckpointer::defaultLimits()
{
    static Limits limits;
    return limits;
}

int LogCheckpointer::walHook(void *self, sqlite3 *, const char *, int frames)
{
    static_cast<LogCheckpointer *>(self)->noteCommit(frames);
    return SQLITE_OK;
}

void LogCheckpointer::noteCommit(int frames)
{
    const std::lock_guard lock(m_mutex);
    m_frames = frames;
    ++m_commits;
    // Past the bound the writer steps aside at its next pause, even while a checkpoint runs here:
    // on a busy disk one checkpoint's syncs can take seconds, in which a run would add tens of
    // megabytes.
    if (m_allowed && m_checkpointer && frames >= m_limits.boundPages)
        askForRoom();
    if (hasWork())
        m_wake.notify_all();
}

void LogCheckpointer::askForRoom()
{
    if (!std::exchange(m_needsRoom, true))
        m_roomAskedAt = std::chrono::steady_clock::now();
}

void LogCheckpointer::setAllowed(bool allowed)
{
    const std::lock_guard lock(m_mutex);
    if (allowed && !m_allowed)
        ++m_counts.allowances;
    m_allowed = allowed;
    // Whatever the log holds by now is copied back, and the pin taken.
    m_catchUp = allowed;
    if (!allowed && m_working && m_checkpointer)
        SqliteLibrary::get()->interrupt(m_checkpointer);
    m_wake.notify_all();
    m_writerWaits.notify_all();
}

void LogCheckpointer::catchUp()
{
    const std::lock_guard lock(m_mutex);
    m_catchUp = true;
    m_wake.notify_all();
}

bool LogCheckpointer::stepAsideForRestart()
{
    const std::lock_guard lock(m_mutex);
    if (m_needsRoom && !m_writerAside) {
        m_writerAside = true;
        m_writerWaits.notify_all();
    }
    return m_needsRoom;
}

void LogCheckpointer::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stop || (m_started && !m_working && !hasWork()); });
}

LogCheckpointer::Counts LogCheckpointer::counts() const
{
    const std::lock_guard lock(m_mutex);
    return m_counts;
}

bool LogCheckpointer::hasWork() const
{
    if (!m_allowed || !m_checkpointer)
        return false;
    return m_catchUp || m_needsRoom || m_frames - m_backfilled >= m_limits.pages;
}

void LogCheckpointer::run(const QString &path)
{
    const bool opened = openConnections(path);
    std::unique_lock lock(m_mutex);
    m_started = true;
    m_idle.notify_all();
    bool retry = false;
    while (!m_stop) {
        if (retry)
            m_wake.wait_for(lock, retryInterval, [this] { return m_stop || hasWork(); });
        else
            m_wake.wait(lock, [this] { return m_stop || hasWork(); });
        if (m_stop)
            break;
        if (!hasWork() && !(retry && m_allowed && m_checkpointer))
            continue;
        m_working = true;
        m_catchUp = false;
        const auto commits = m_commits;
        lock.unlock();
        round();
        lock.lock();
        m_working = false;
        // A length the writer reported before the log began anew would ask again and again.
        if (m_commits == commits)
            m_frames = m_log;
        // Frames left behind are tried again; commits alone would not ask while the writer rests.
        retry = m_allowed && (m_backfilled < m_log || m_log >= m_limits.boundPages);
        m_writerAside = false;
        if (std::exchange(m_needsRoom, false)) {
            lock.unlock();
            m_roomMade();
            lock.lock();
        }
        m_idle.notify_all();
    }
    lock.unlock();
    if (opened)
        closeConnections();
    m_idle.notify_all();
}

bool LogCheckpointer::openConnections(const QString &path)
{
    const auto *sqlite = SqliteLibrary::get();
    const auto name = path.toUtf8();
    sqlite3 *checkpointer = nullptr;
    if (sqlite->open_v2(name.constData(), &checkpointer, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || sqlite->open_v2(name.constData(), &m_pin, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || sqlite->open_v2(name.constData(), &m_holder, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        qCWarning(lcStoreDb) << "the log cannot be copied back in the background:"
                             << (checkpointer ? sqlite->errmsg(checkpointer) : "");
        for (auto *connection : {checkpointer, m_pin, m_holder})
            sqlite->close_v2(connection);
        m_pin = nullptr;
        m_holder = nullptr;
        return false;
    }
    sqlite->busy_timeout(m_pin, busyMilliseconds);
    for (auto *connection : {checkpointer, m_holder})
        sqlite->busy_handler(connection, pollForLock, nullptr);
    // Checkpoints sync the log before copying it back and the file after, as the writer's would.
    exec(checkpointer, "PRAGMA synchronous = NORMAL");
    exec(checkpointer, "PRAGMA wal_autocheckpoint = 0");
    // A log that begins anew is cut back to nothing, so that the writer appends to it: on a busy
    // disk, its writes over an old log's blocks were seen to wait up to a tenth of a second each.
    exec(checkpointer, "PRAGMA journal_size_limit = 0");
    const std::lock_guard lock(m_mutex);
    m_checkpointer = checkpointer;
    return true;
}

void LogCheckpointer::closeConnections()
{
    const auto *sqlite = SqliteLibrary::get();
    sqlite3 *checkpointer = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        checkpointer = std::exchange(m_checkpointer, nullptr);
    }
    if (m_pinned)
        exec(m_pin, "ROLLBACK");
    sqlite->close_v2(m_holder);
    sqlite->close_v2(m_pin);
    sqlite->close_v2(checkpointer);
}

void LogCheckpointer::round()
{
    // Before anything is copied back, so that the writer never finds the log copied back in full
    // with no reader on it.
    if (!m_pinned)
        pin();
    const auto needsRoom = [this] {
        const std::lock_guard lock(m_mutex);
        return m_needsRoom;
    };
    // Once the writer was asked to step aside, the restart copies back what it added until then.
    if (!needsRoom())
        copyBackAll();
    if (needsRoom() || m_log >= m_limits.boundPages)
        restartLog();
}

bool LogCheckpointer::copyBackAll()
{
    if (!checkpoint())
        return false;
    // Frames wait beyond the pin, so a new pin cannot find the log copied back in full.
    if (m_backfilled < m_log) {
        pin();
        if (!checkpoint())
            return false;
    }
    return m_backfilled == m_log;
}

bool LogCheckpointer::checkpoint()
{
    const auto *sqlite = SqliteLibrary::get();
    {
        const std::lock_guard lock(m_mutex);
        if (!m_allowed || m_stop)
            return false;
    }
    int log = -1;
    int copied = -1;
    const int result = sqlite->wal_checkpoint_v2(m_checkpointer, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
    if (result != SQLITE_OK) {
        if (!damageFound(m_checkpointer, result) && result != SQLITE_BUSY && result != SQLITE_INTERRUPT)
            qCWarning(lcStoreDb) << "checkpoint failed:" << sqlite->errmsg(m_checkpointer);
        return false;
    }
    const std::lock_guard lock(m_mutex);
    if (copied > m_backfilled || (copied > 0 && log < m_log))
        ++m_counts.checkpoints;
    m_log = log;
    m_backfilled = copied;
    return true;
}

void LogCheckpointer::pin()
{
    if (m_pinned)
        exec(m_pin, "COMMIT");
    m_pinned = exec(m_pin, "BEGIN") && exec(m_pin, "SELECT count(*) FROM sqlite_schema");
    if (!m_pinned)
        exec(m_pin, "ROLLBACK");
}

void LogCheckpointer::restartLog()
{
    bool aside = false;
    bool far = false;
    {
        // A run that can wait steps aside at its next pause, rather than meet the write lock in
        // its next commit.
        std::unique_lock lock(m_mutex);
        askForRoom();
        // Counted from the writer's save that passed the bound, not from here: a writer that
        // does not step aside goes on meanwhile.
        m_writerWaits.wait_until(lock, m_roomAskedAt + writerWait,
                                 [this] { return m_writerAside || m_stop || !m_allowed; });
        if (m_stop || !m_allowed)
            return;
        aside = m_writerAside;
        far = m_frames >= 2 * m_limits.boundPages;
    }
    // The rest of the log is copied back first: the restart's write begins anew only a log copied
    // back in full, else it appends.
    if (aside) {
        if (copyBackAll())
            beginLogAnew();
        return;
    }
    // A writer that did not step aside is held off by the write lock while what it wrote meanwhile
    // is copied back, so that it cannot keep the log growing; usually that is little, so it seldom
    // waits long. Only a writer that went on far past the bound waits for the whole copy, as on a
    // busy disk it would outrun it.
    if (!far)
        copyBackAll();
    // Once the lock is let go, the restart's write takes it at once, while that writer still
    // sleeps in its wait for the lock; should it win, it appends (the pin is still held), and the
    // restart is tried again.
    for (int tries = 0; tries < 3; ++tries) {
        if (!exec(m_holder, "BEGIN IMMEDIATE"))
            return;
        // A checkpoint can meet a reader that begins at that moment.
        const bool whole = copyBackAll() || copyBackAll();
        exec(m_holder, "COMMIT");
        if (!whole || beginLogAnew())
            return;
    }
}

bool LogCheckpointer::beginLogAnew()
{
    if (!exec(m_checkpointer, "BEGIN IMMEDIATE"))
        return false;
    // This transaction's snapshot began on a log copied back in full, and the write lock keeps the
    // writer out: once the pin is gone, its write restarts the log.
    exec(m_pin, "COMMIT");
    m_pinned = false;
    int version = 0;
    const auto readVersion = [](void *target, int, char **values, char **) {
        *static_cast<int *>(target) = values[0] ? std::atoi(values[0]) : 0;
        return 0;
    };
    bool written = SqliteLibrary::get()->exec(m_checkpointer, "PRAGMA user_version", readVersion, &version, nullptr)
                       == SQLITE_OK
                   && exec(m_checkpointer, QByteArray("PRAGMA user_version = " + QByteArray::number(version)).constData());
    {
        const std::lock_guard lock(m_mutex);
        written = written && m_allowed && !m_stop;
    }
    if (!written || !exec(m_checkpointer, "COMMIT"))
        exec(m_checkpointer, "ROLLBACK");
    pin();
    const int before = m_log;
    if (!checkpoint() || m_log >= before)
        return false;
    const std::lock_guard lock(m_mutex);
    ++m_counts.restarts;
    return true;
}

bool LogCheckpointer::exec(sqlite3 *db, const char *sql)
{
    const auto *sqlite = SqliteLibrary::get();
    const int result = sqlite->exec(db, sql, nullptr, nullptr, nullptr);
    if (result == SQLITE_OK)
        return true;
    if (!damageFound(db, result) && (result & 0xff) != SQLITE_BUSY)
        qCWarning(lcStoreDb) << sql << "failed:" << sqlite->errmsg(db);
    return false;
}

bool LogCheckpointer::damageFound(sqlite3 *db, int code)
{
    const int primary = code & 0xff;
    if (primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB)
        return false;
    const auto message = QString::fromUtf8(SqliteLibrary::get()->errmsg(db));
    {
        const std::lock_guard lock(m_mutex);
        m_allowed = false;
    }
    m_damaged(message);
    return true;
}
