#include "model/LogCheckpointer.h"

#include "model/SqliteLibrary.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcStoreDb)

using Clock = std::chrono::steady_clock;

namespace {

// How long this thread waits for the write lock, or for readers, before it tries again later.
constexpr auto lockWait = std::chrono::milliseconds(250);
// The write lock is waited for in short steps: a writer lets it go only for moments between its
// saves, which SQLite's own waits, growing to tens of milliseconds, mostly miss.
constexpr auto lockPoll = std::chrono::microseconds(200);
// When frames were left behind (a reader held an old snapshot), or the log is still past its
// bound, the next try.
constexpr auto retryInterval = std::chrono::milliseconds(250);
// How long a restart waits for a writer to step aside, from the save that passed the bound: a run
// pauses between its keywords.
constexpr auto asideWait = std::chrono::milliseconds(50);
// How long a restart waits for the next commit of a writer that did not step aside before it
// takes the writer to rest, and how long in all for one that saves at length.
constexpr auto restWait = std::chrono::milliseconds(100);
constexpr auto longSaveWait = std::chrono::seconds(2);

// The last connection to close copies the log back into the file; this one's close leaves both as
// they are. On the connection's own thread.
void keepFileOnClose(sqlite3 *db)
{
    const auto *sqlite = SqliteLibrary::get();
    if (sqlite->db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, static_cast<int *>(nullptr)) != SQLITE_OK)
        qCWarning(lcStoreDb) << "closing may copy the log back:" << sqlite->errmsg(db);
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
    finish();
}

void LogCheckpointer::finish()
{
    if (!m_thread.joinable())
        return;
    const auto *sqlite = SqliteLibrary::get();
    sqlite->wal_hook(m_writer, nullptr, nullptr);
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        // Whatever is left is copied back below, if allowed.
        if (m_working && m_checkpointer)
            sqlite->interrupt(m_checkpointer);
    }
    m_wake.notify_all();
    m_released.notify_all();
    m_thread.join();
    // The writer's close would copy back the rest as well, but keep to itself damage it met there.
    // Its own copy then finds nothing left, and removes the log.
    if (m_allowed) {
        const int result = sqlite->wal_checkpoint_v2(m_writer, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (result != SQLITE_OK && !noteDamage(m_writer, result) && (result & 0xff) != SQLITE_BUSY)
            qCWarning(lcStoreDb) << "the log could not be copied back:" << sqlite->errmsg(m_writer);
    }
    // Disallowed too when damage was found that the store has not been told of yet.
    if (!m_allowed)
        keepFileOnClose(m_writer);
}

int LogCheckpointer::roomBeforeBound() const
{
    const std::lock_guard lock(m_mutex);
    return std::max(m_limits.boundPages - m_frames, 0);
}

std::optional<QString> LogCheckpointer::damage() const
{
    const std::lock_guard lock(m_mutex);
    return m_damage;
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

int LogCheckpointer::ownWalHook(void *self, sqlite3 *, const char *, int frames)
{
    static_cast<LogCheckpointer *>(self)->m_ownFrames = frames;
    return SQLITE_OK;
}

int LogCheckpointer::busyHandler(void *self, int tries)
{
    if (!static_cast<LogCheckpointer *>(self)->m_patient || tries * lockPoll >= lockWait)
        return 0;
    std::this_thread::sleep_for(lockPoll);
    return 1;
}

// On the writer's thread, once its commit let go of its locks: holding it here keeps its next save
// from beginning while the log begins anew.
void LogCheckpointer::noteCommit(int frames)
{
    std::unique_lock lock(m_mutex);
    m_frames = frames;
    ++m_commits;
    if (!m_allowed || !m_checkpointer)
        return;
    // Past the bound the writer steps aside at its next pause, even while a checkpoint runs here:
    // on a busy disk one checkpoint's syncs can take seconds, in which a run would add tens of
    // megabytes.
    if (frames >= m_limits.boundPages)
        askForRoom();
    const bool hold = !std::exchange(m_notHeldNext, false)
        && (m_holdWanted || (frames >= m_limits.holdPast() && copyIsQuick()));
    if (hold) {
        m_holdWanted = false;
        m_writerHeld = true;
        ++m_hold;
    }
    if (hasWork())
        m_wake.notify_all();
    if (!hold)
        return;
    const auto serial = m_hold;
    m_released.wait_until(lock, Clock::now() + m_limits.holdBudget,
                          [this, serial] { return !heldStill(serial) || m_stop || !m_allowed; });
    if (m_hold == serial)
        m_writerHeld = false;
}

void LogCheckpointer::stepsAsideAfterNextCommit()
{
    const std::lock_guard lock(m_mutex);
    m_notHeldNext = true;
}

bool LogCheckpointer::heldStill(quint64 hold) const
{
    return m_writerHeld && m_hold == hold;
}

void LogCheckpointer::release(quint64 hold)
{
    const std::lock_guard lock(m_mutex);
    if (!heldStill(hold))
        return;
    m_writerHeld = false;
    m_released.notify_all();
}

void LogCheckpointer::makeRoom()
{
    {
        const std::lock_guard lock(m_mutex);
        if (!std::exchange(m_needsRoom, false))
            return;
        m_writerAside = false;
    }
    m_roomMade();
}

void LogCheckpointer::askForRoom()
{
    if (!std::exchange(m_needsRoom, true))
        m_roomAskedAt = Clock::now();
}

bool LogCheckpointer::copyIsQuick() const
{
    // The hold copies back what the writer added since, and syncs the new log's header. Before the
    // first copy ends, the hold is what keeps a writer that outruns this thread within bounds.
    return !m_copyTime || *m_copyTime * 2 <= m_limits.holdBudget;
}

void LogCheckpointer::setAllowed(bool allowed)
{
    const std::lock_guard lock(m_mutex);
    // Damage found here stops copying back for good, even before the store was told of it.
    allowed = allowed && !m_damage;
    if (allowed && !m_allowed)
        ++m_counts.allowances;
    m_allowed = allowed;
    // Whatever the log holds by now is copied back, and the pin taken.
    m_catchUp = allowed;
    if (!allowed) {
        m_retry = false;
        if (m_working && m_checkpointer)
            SqliteLibrary::get()->interrupt(m_checkpointer);
    }
    m_wake.notify_all();
    m_released.notify_all();
    m_idle.notify_all();
}

void LogCheckpointer::catchUp()
{
    const std::lock_guard lock(m_mutex);
    m_catchUp = true;
    m_wake.notify_all();
}

void LogCheckpointer::beginAnew()
{
    const std::lock_guard lock(m_mutex);
    askForRoom();
    m_writerAside = true;
    m_wake.notify_all();
}

bool LogCheckpointer::stepAsideForRestart()
{
    const std::lock_guard lock(m_mutex);
    if (m_needsRoom && !m_writerAside) {
        m_writerAside = true;
        m_wake.notify_all();
    }
    return m_needsRoom;
}

LogCheckpointer::OwnWrites LogCheckpointer::ownWrites() const
{
    const std::lock_guard lock(m_mutex);
    return m_ownWrites;
}

bool LogCheckpointer::awaitOwnWrite(std::chrono::milliseconds most)
{
    std::unique_lock lock(m_mutex);
    return m_ownWriteEnded.wait_for(lock, most, [this] { return !m_ownWrites.running; });
}

void LogCheckpointer::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_stop || (m_started && !m_working && !hasWork() && !m_retry); });
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
    return m_catchUp || m_needsRoom || m_writerHeld || m_frames - m_backfilled >= m_limits.pages;
}

void LogCheckpointer::run(const QString &path)
{
    const bool opened = openConnections(path);
    std::unique_lock lock(m_mutex);
    m_started = true;
    m_idle.notify_all();
    while (!m_stop) {
        const auto due = [this] { return m_stop || hasWork(); };
        if (m_retry)
            m_wake.wait_for(lock, retryInterval, due);
        else
            m_wake.wait(lock, due);
        if (m_stop)
            break;
        if (!m_allowed || !m_checkpointer) {
            m_retry = false;
            m_idle.notify_all();
            continue;
        }
        m_working = true;
        m_catchUp = false;
        const auto commits = m_commits;
        const int restarts = m_counts.restarts;
        lock.unlock();
        round();
        lock.lock();
        m_working = false;
        // A length the writer reported before the log began anew would ask again and again.
        if (m_commits == commits)
            m_frames = m_log;
        // Commits alone would not ask again while the writer rests.
        m_retry = m_allowed && (m_backfilled < m_log || m_log >= m_limits.boundPages);
        // A writer that stepped aside goes on even when the log could not begin anew; one that
        // asks for room once the log began anew asks for the next restart.
        if (m_counts.restarts == restarts) {
            lock.unlock();
            makeRoom();
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
        || sqlite->open_v2(name.constData(), &m_pin, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        qCWarning(lcStoreDb) << "the log cannot be copied back in the background:"
                             << (checkpointer ? sqlite->errmsg(checkpointer) : "");
        sqlite->close_v2(checkpointer);
        sqlite->close_v2(m_pin);
        m_pin = nullptr;
        return false;
    }
    sqlite->busy_timeout(m_pin, int(lockWait.count()));
    sqlite->busy_handler(checkpointer, &LogCheckpointer::busyHandler, this);
    // Checkpoints sync the log before copying it back and the file after, as the writer's would.
    exec(checkpointer, "PRAGMA synchronous = NORMAL");
    // Replaces SQLite's automatic checkpoints here too, and tells whether this connection's own
    // write began the log anew.
    sqlite->wal_hook(checkpointer, &LogCheckpointer::ownWalHook, this);
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
    bool allowed = false;
    {
        const std::lock_guard lock(m_mutex);
        checkpointer = std::exchange(m_checkpointer, nullptr);
        allowed = m_allowed;
    }
    if (m_pinned)
        exec(m_pin, "ROLLBACK");
    // Closed before the writer, these never copy back; should they close last, neither would they.
    if (!allowed) {
        keepFileOnClose(m_pin);
        keepFileOnClose(checkpointer);
    }
    sqlite->close_v2(m_pin);
    sqlite->close_v2(checkpointer);
}

void LogCheckpointer::round()
{
    // Before anything is copied back, so that the writer never finds the log copied back in full
    // with no reader on it.
    if (!m_pinned)
        pin();
    const auto restartDue = [this] {
        const std::lock_guard lock(m_mutex);
        return m_needsRoom || m_writerHeld || m_log >= m_limits.boundPages;
    };
    // Every restart copies back first what the writer committed until then.
    bool due = restartDue();
    if (!due) {
        copyBackAll();
        due = restartDue();
    }
    if (due)
        restartLog();
}

bool LogCheckpointer::copyBackAll()
{
    {
        // The pin moves onto the newest snapshot only while frames wait to be copied back: on a log
        // copied back in full, a reader holds nothing.
        const std::lock_guard lock(m_mutex);
        if (m_backfilled == m_log && m_commits == m_commitsAtCopy)
            return true;
    }
    pin();
    if (!checkpoint())
        return false;
    // Another connection's snapshot kept frames back; they are tried again later.
    return m_backfilled == m_log;
}

bool LogCheckpointer::checkpoint()
{
    const auto *sqlite = SqliteLibrary::get();
    quint64 commits = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_allowed || m_stop)
            return false;
        commits = m_commits;
    }
    int log = -1;
    int copied = -1;
    const auto start = Clock::now();
    const int result = sqlite->wal_checkpoint_v2(m_checkpointer, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &copied);
    const auto took = Clock::now() - start;
    if (result != SQLITE_OK) {
        if (!damageFound(m_checkpointer, result) && result != SQLITE_BUSY && result != SQLITE_INTERRUPT)
            qCWarning(lcStoreDb) << "checkpoint failed:" << sqlite->errmsg(m_checkpointer);
        return false;
    }
    const std::lock_guard lock(m_mutex);
    if (copied > m_backfilled || (copied > 0 && log < m_log)) {
        ++m_counts.checkpoints;
        m_copyTime = took;
    }
    m_log = log;
    m_backfilled = copied;
    m_commitsAtCopy = commits;
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

LogCheckpointer::Writer LogCheckpointer::awaitWriter()
{
    std::unique_lock lock(m_mutex);
    // A run that can wait steps aside at its next pause, rather than be held in its next commit.
    askForRoom();
    // Counted from the writer's save that passed the bound, not from here: a writer that does
    // not step aside goes on meanwhile.
    m_wake.wait_until(lock, m_roomAskedAt + asideWait,
                      [this] { return m_writerAside || m_writerHeld || m_stop || !m_allowed; });
    if (m_stop || !m_allowed)
        return Writer::stopped;
    if (m_writerHeld)
        return Writer::held;
    return m_writerAside ? Writer::aside : Writer::notAside;
}

LogCheckpointer::Writer LogCheckpointer::holdWriter(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    m_holdWanted = !m_writerHeld;
    m_wake.wait_for(lock, wait, [this] { return m_writerHeld || m_stop || !m_allowed; });
    m_holdWanted = false;
    if (m_stop || !m_allowed)
        return Writer::stopped;
    return m_writerHeld ? Writer::held : Writer::rests;
}

void LogCheckpointer::restartLog()
{
    switch (awaitWriter()) {
    case Writer::stopped:
        return;
    case Writer::held:
        restartWhileHeld();
        return;
    case Writer::aside:
        // The rest of the log is copied back first: the restart's write begins anew only a log
        // copied back in full.
        if (copyBackAll())
            beginLogAnew(true);
        return;
    case Writer::notAside:
    case Writer::rests:
        break;
    }
    bool quick = false;
    {
        const std::lock_guard lock(m_mutex);
        quick = copyIsQuick();
    }
    // A save wins over the bound: while copying back is slow, a writer that goes on saving is not
    // held, and only one that rests all through the copy gets the log begun anew.
    if (!quick) {
        if (copyBackAll())
            beginLogAnew(false);
        return;
    }
    for (const auto until = Clock::now() + longSaveWait; Clock::now() < until;) {
        switch (holdWriter(restWait)) {
        case Writer::held:
            restartWhileHeld();
            return;
        case Writer::rests:
            break;
        default:
            return;
        }
        // No commit meanwhile: the writer rests, and the lock is free, or it saves at length and
        // the restart waits for its commit.
        bool busy = false;
        if (!copyBackAll() || beginLogAnew(false, &busy) || !busy)
            return;
    }
}

void LogCheckpointer::restartWhileHeld()
{
    quint64 hold = 0;
    {
        const std::lock_guard lock(m_mutex);
        hold = m_hold;
    }
    if (copyBackAll())
        beginLogAnew(false, nullptr, hold);
    release(hold);
}

bool LogCheckpointer::beginLogAnew(bool patient, bool *busy, quint64 hold)
{
    m_patient = patient;
    const int begun = execute(m_checkpointer, "BEGIN IMMEDIATE");
    m_patient = true;
    const bool taken = (begun & 0xff) == SQLITE_BUSY;
    if (busy)
        *busy = taken;
    if (taken) {
        const std::lock_guard lock(m_mutex);
        ++m_counts.busyTries;
    }
    if (begun != SQLITE_OK)
        return false;
    {
        const std::lock_guard lock(m_mutex);
        ++m_ownWrites.begun;
        m_ownWrites.running = true;
    }
    const auto ownWriteEnded = [this] {
        const std::lock_guard lock(m_mutex);
        m_ownWrites.running = false;
        m_ownWriteEnded.notify_all();
    };
    int before = 0;
    bool whole = false;
    {
        // Else the write below would only append, and a writer that let go of its hold would wait
        // for it.
        const std::lock_guard lock(m_mutex);
        before = m_log;
        whole = m_allowed && !m_stop && m_backfilled == m_log && m_commits == m_commitsAtCopy
                && (hold == 0 || heldStill(hold));
    }
    if (!whole) {
        exec(m_checkpointer, "ROLLBACK");
        ownWriteEnded();
        return false;
    }
    // This transaction's snapshot began on a log copied back in full, and the write lock keeps the
    // writer out: once the pin is gone, its write restarts the log.
    exec(m_pin, "COMMIT");
    m_pinned = false;
    int version = 0;
    const auto readVersion = [](void *target, int, char **values, char **) {
        *static_cast<int *>(target) = values[0] ? std::atoi(values[0]) : 0;
        return 0;
    };
    m_ownFrames = before;
    const bool written
        = SqliteLibrary::get()->exec(m_checkpointer, "PRAGMA user_version", readVersion, &version, nullptr) == SQLITE_OK
          && exec(m_checkpointer, QByteArray("PRAGMA user_version = " + QByteArray::number(version)).constData())
          && exec(m_checkpointer, "COMMIT");
    if (!written)
        exec(m_checkpointer, "ROLLBACK");
    ownWriteEnded();
    if (hold)
        release(hold);
    // Keeps the writer from beginning anew the log that holds this write; copied back later.
    pin();
    if (!written)
        return false;
    const bool anew = m_ownFrames < before;
    {
        const std::lock_guard lock(m_mutex);
        // A write that only appended (a reader's snapshot kept the log from beginning anew, or
        // another connection committed frames unknown here) makes the next try copy back first,
        // rather than append again.
        m_log = m_ownFrames;
        if (anew) {
            m_backfilled = 0;
            ++m_counts.restarts;
        }
    }
    if (anew)
        makeRoom();
    return anew;
}

int LogCheckpointer::execute(sqlite3 *db, const char *sql)
{
    const auto *sqlite = SqliteLibrary::get();
    const int result = sqlite->exec(db, sql, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK && !damageFound(db, result) && (result & 0xff) != SQLITE_BUSY)
        qCWarning(lcStoreDb) << sql << "failed:" << sqlite->errmsg(db);
    return result;
}

std::optional<QString> LogCheckpointer::noteDamage(sqlite3 *db, int code)
{
    const int primary = code & 0xff;
    if (primary != SQLITE_CORRUPT && primary != SQLITE_NOTADB)
        return std::nullopt;
    const auto message = QString::fromUtf8(SqliteLibrary::get()->errmsg(db));
    const std::lock_guard lock(m_mutex);
    if (!m_damage)
        m_damage = message;
    m_allowed = false;
    m_released.notify_all();
    return message;
}

bool LogCheckpointer::damageFound(sqlite3 *db, int code)
{
    const auto message = noteDamage(db, code);
    if (message)
        m_damaged(*message);
    return bool(message);
}
