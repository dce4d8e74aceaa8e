#include "model/StoreDb.h"

#include "model/LogCheckpointer.h"
#include "model/Schema.h"
#include "model/SqliteLibrary.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

Q_LOGGING_CATEGORY(lcStoreDb, "vantu.storedb")

// A prepared statement for one run: the cached one for its text, else (the first time, or while
// the cached one runs further up the stack) a new one, cached unless another is by then. Reset
// when the run ends, so that it holds no read snapshot.
class StoreDb::Statement
{
public:
    Statement(StoreDb &db, const QString &sql) : m_db(db), m_sql(sql), query(take(db, sql, prepared)) {}
    ~Statement()
    {
        query.finish();
        if (prepared)
            m_db.m_statements.try_emplace(m_sql, std::move(query));
    }
    Q_DISABLE_COPY_MOVE(Statement)

    const QString &sql() const { return m_sql; }

private:
    static QSqlQuery take(StoreDb &db, const QString &sql, bool &prepared)
    {
        if (auto cached = db.m_statements.find(sql); cached != db.m_statements.end()) {
            auto query = std::move(cached->second);
            db.m_statements.erase(cached);
            prepared = true;
            return query;
        }
        QSqlQuery query(db.database());
        query.setForwardOnly(true);
        prepared = query.prepare(sql);
        return query;
    }

    StoreDb &m_db;
    QString m_sql;

public:
    bool prepared = false;
    QSqlQuery query;
};

QSqlDatabase StoreDb::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

QString StoreDb::OpenError::startupMessage() const
{
    return QStringLiteral("Could not open the local database: ") + description();
}

QString StoreDb::SaveError::description() const
{
    return QStringLiteral("The change could not be saved to the local database.");
}

StoreDb::Transaction::Transaction(StoreDb &db, std::chrono::milliseconds lockWait) : m_db(db)
{
    if (m_db.m_inTransaction)
        return;
    // What the background save holds is saved first, or given up: this save must not wait for it.
    m_db.settleBackgroundSave();
    m_db.m_foregroundWrite.start();
    m_owner = true;
    m_db.m_inTransaction = true;
    m_db.m_transactionFailed = false;
    m_db.m_transactionFailed = !m_db.beginPastOwnWrites(lockWait);
}

StoreDb::Transaction::~Transaction()
{
    if (m_owner && !m_done) {
        m_db.rollback();
        m_db.m_inTransaction = false;
    }
}

bool StoreDb::Transaction::commit()
{
    if (!m_owner)
        return !m_db.m_transactionFailed;
    if (m_done)
        return false;
    m_done = true;
    const bool saved = !m_db.m_transactionFailed && m_db.commitTransaction();
    if (!saved)
        m_db.rollback();
    m_db.m_inTransaction = false;
    if (saved)
        Q_EMIT m_db.committed();
    return saved;
}

bool StoreDb::begin(std::chrono::milliseconds lockWait)
{
    const auto setLockWait = [this](std::chrono::milliseconds wait) {
        Statement statement(*this, QStringLiteral("PRAGMA busy_timeout = %1").arg(wait.count()));
        execute(statement, {}, false);
    };
    if (lockWait != standardLockWait)
        setLockWait(lockWait);
    // Immediate: the write lock is taken now, waiting for another process's commit within the
    // busy time-out. A deferred transaction would take it at its first write, after its reads,
    // and fail at once when another process committed in between.
    Statement statement(*this, QStringLiteral("BEGIN IMMEDIATE"));
    m_beginning = true;
    m_lockHeldElsewhere = false;
    const bool begun = execute(statement, {}, true);
    m_beginning = false;
    if (lockWait != standardLockWait)
        setLockWait(standardLockWait);
    m_transactionBegun = begun;
    return begun;
}

bool StoreDb::beginPastOwnWrites(std::chrono::milliseconds lockWait)
{
    if (!m_checkpointer || lockWait >= standardLockWait)
        return begin(lockWait);
    // The log's restart, on its own thread, holds the write lock over a sync or two. A save that
    // waits only shortly goes on after it rather than be refused as if another program held the
    // lock, as long as the whole wait stays within ownWritesWait.
    QElapsedTimer waited;
    waited.start();
    const auto before = m_checkpointer->ownWrites();
    if (begin(lockWait))
        return true;
    if (!m_lockHeldElsewhere)
        return false;
    const auto after = m_checkpointer->ownWrites();
    if (!after.running && after.begun == before.begun)
        return false;
    const auto left = [&] { return ownWritesWait - std::chrono::milliseconds(waited.elapsed()); };
    if (left().count() <= 0 || !m_checkpointer->awaitOwnWrite(left()))
        return false;
    // The failed begin doomed the save.
    m_transactionFailed = false;
    return left().count() > 0 && begin(std::min(lockWait, left()));
}

bool StoreDb::writeLockFree()
{
    // Held here, by a save or the background save (which gives way to the next save); or a save
    // fails anyway, with no lock to wait for.
    if (m_inTransaction || m_transactionBegun || m_damage || m_check)
        return true;
    const auto *sqlite = SqliteLibrary::get();
    auto *handle = SqliteLibrary::handle(database());
    if (!sqlite || !handle)
        return true;
    // Straight on the connection: this is no write of the user's, which would make a removal pause.
    sqlite->busy_timeout(handle, 0);
    const int begun = sqlite->exec(handle, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (begun == SQLITE_OK)
        sqlite->exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite->busy_timeout(handle, int(standardLockWait.count()));
    return (begun & 0xff) != SQLITE_BUSY;
}

bool StoreDb::commitTransaction()
{
    Statement statement(*this, QStringLiteral("COMMIT"));
    if (!execute(statement, {}, true))
        return false;
    m_transactionBegun = false;
    return true;
}

void StoreDb::rollback()
{
    // Its rows may be back.
    m_removalCursor.reset();
    if (!m_transactionBegun)
        return;
    Statement statement(*this, QStringLiteral("ROLLBACK"));
    ++m_writes;
    execute(statement, {}, false);
    m_transactionBegun = false;
    restoreCacheSize();
    if (std::exchange(m_background, false)) {
        // It held alert edits, which the store shows again from their records, and rows of
        // removed apps, which no read shows: only the alerts' flags may read otherwise, and only
        // where it held edits of them (else a screen would read every flag again for nothing).
        if (std::exchange(m_backgroundAlertEdits, false))
            ++m_alertsMark.flagged;
        Q_EMIT backgroundSaveEnded(false);
        return;
    }
    ++m_alertsMark.rewritten;
    // Rows read inside the transaction may show what it wrote.
    rowsChanged({});
}

StoreDb::BackgroundSave::BackgroundSave(StoreDb &db) : m_db(db)
{
    if (m_db.m_inTransaction || m_db.m_damage || m_db.m_check)
        return;
    if (!m_db.m_background) {
        // Another process holding the write lock is waited for only shortly: the work tries
        // again later, rather than hold the window.
        m_db.m_shortOfRoom = false;
        if (!m_db.begin(shortLockWait))
            return;
        m_db.m_background = true;
    }
    m_ok = true;
    m_db.m_inTransaction = true;
    m_db.m_backgroundWriting = true;
    m_db.m_transactionFailed = false;
}

StoreDb::BackgroundSave::~BackgroundSave()
{
    if (!std::exchange(m_ok, false))
        return;
    m_db.m_inTransaction = false;
    m_db.m_backgroundWriting = false;
    if (m_db.m_transactionFailed)
        m_db.rollback();
}

bool StoreDb::BackgroundSave::ok() const
{
    return m_ok && !m_db.m_transactionFailed;
}

bool StoreDb::BackgroundSave::commit()
{
    if (!m_ok)
        return false;
    m_ok = false;
    m_db.m_inTransaction = false;
    m_db.m_backgroundWriting = false;
    if (m_db.m_transactionFailed) {
        m_db.rollback();
        return false;
    }
    return m_db.endBackgroundSave();
}

void StoreDb::holdChangedPages()
{
    if (m_holdingPages)
        return;
    // SQLite writes changed pages into the log before the commit only once they take more than
    // the spill size; until then its cache grows past its size with them. The cache's own size is
    // made small, so that what it takes is about what the save holds. A size in KiB is given as a
    // negative number: a positive one, a number of pages, would also be read as whether to spill
    // at all by its lowest byte alone, so that 131072 turns spilling off and nothing bounds it.
    const auto cleanPagesKiB = std::min<qint64>(2048, standardCacheKiB);
    Statement size(*this, QStringLiteral("PRAGMA cache_size = -%1").arg(cleanPagesKiB));
    Statement spill(*this, QStringLiteral("PRAGMA cache_spill = -%1").arg(mostHeldKiB));
    execute(size, {}, false);
    execute(spill, {}, false);
    m_holdingPages = true;
    // Read back: held pages need a bound that holds.
    qint64 spillPages = 0;
    select(QStringLiteral("PRAGMA cache_spill"), {}, [&](const QSqlQuery &query) { spillPages = query.value(0).toLongLong(); });
    if (spillPages <= cleanPagesKiB / 4) {
        qCWarning(lcStoreDb) << "the cache's spill size reads" << spillPages << "pages; changed pages are not held";
        restoreCacheSize();
        return;
    }
    auto budget = heldBudgetKiB() * 1024;
    if (!m_path.isEmpty()) {
        // The log takes what the save holds at its commit, beside frames that wait to be copied
        // back: half of the room left to it, where the log's own file counts as room.
        const QStorageInfo disk(QFileInfo(m_path).absolutePath());
        if (disk.isValid() && disk.bytesAvailable() >= 0)
            budget = std::min(budget, (disk.bytesAvailable() + QFileInfo(m_path + QStringLiteral("-wal")).size()) / 2);
    }
    m_heldBudgetBytes = budget;
    m_heldMost = 0;
}

qint64 StoreDb::heldBudgetKiB() const
{
    // heldPagesKiB, where nothing ran short; tests may lower it after that.
    return std::min(m_heldBudgetKiB < 0 ? heldPagesKiB : m_heldBudgetKiB, heldPagesKiB);
}

qint64 StoreDb::heldPagesBudget() const
{
    // Without held pages SQLite writes them into the log as the cache fills, as in any save.
    return m_holdingPages ? m_heldBudgetBytes : std::numeric_limits<qint64>::max();
}

bool StoreDb::shrinkHeldPages()
{
    m_shortOfRoom = false;
    // Half of what it held when that ran short, where that was less than it might hold.
    const auto current = std::min(heldBudgetKiB(), std::max<qint64>(m_heldWhenShort / 1024, 1));
    if (current <= fewestHeldKiB)
        return false;
    m_heldBudgetKiB = std::max(current / 2, fewestHeldKiB);
    qCInfo(lcStoreDb) << "memory or disk room ran short: a removal's saves now hold up to" << m_heldBudgetKiB << "KiB";
    return true;
}

void StoreDb::abandonBackgroundSave()
{
    if (!m_background)
        return;
    if (!std::exchange(m_shortOfRoom, true))
        m_heldWhenShort = std::max(m_heldMost, cacheBytesUsed());
    if (m_backgroundWriting) {
        // The turn's guard rolls it back.
        m_transactionFailed = true;
        return;
    }
    rollback();
}

void StoreDb::settleBackgroundSave()
{
    if (!m_background || m_backgroundWriting)
        return;
    if (m_holdingPages && cacheBytesUsed() > yieldAboveKiB * 1024) {
        // Writing them would hold this write, on the window's thread, for as long as they take.
        // Nothing of them is in the log yet, or only what a save that is given up leaves there.
        qCInfo(lcStoreDb) << "a removal's save of" << cacheBytesUsed() / 1024 << "KiB gives way to another write";
        m_removalYielded = true;
        rollback();
        return;
    }
    endBackgroundSave();
}

qint64 StoreDb::connectionStatus(int what) const
{
    const auto *sqlite = SqliteLibrary::get();
    auto *handle = SqliteLibrary::handle(database());
    if (!sqlite || !handle)
        return 0;
    int value = 0;
    int highest = 0;
    sqlite->db_status(handle, what, &value, &highest, 0);
    return value;
}

qint64 StoreDb::cacheBytesUsed() const
{
    return connectionStatus(SQLITE_DBSTATUS_CACHE_USED);
}

bool StoreDb::writeOutHeldPages()
{
    if (!m_holdingPages || !m_background)
        return false;
    // In a small cache that SQLite may no longer grow, each page read that is not in memory
    // first writes one changed page into the log: a few hundred or thousand a step, as many as
    // take a few milliseconds, then the commit writes few. The pages read are those of the
    // searches, which a removal leaves as they are, from where the last step ended, around and
    // around; 15 rows to a page or so.
    constexpr qint64 smallCacheKiB = 2048;
    constexpr qint64 rowsPerPage = 15;
    if (!m_writingOut) {
        m_writingOut = true;
        m_writeOutFrom = 0;
        m_writeOutPages = 256;
        m_writeOutPassStart = cacheBytesUsed();
        Statement size(*this, QStringLiteral("PRAGMA cache_size = -%1").arg(smallCacheKiB));
        Statement spill(*this, QStringLiteral("PRAGMA cache_spill = 1"));
        execute(size, {}, false);
        execute(spill, {}, false);
    }
    // Those left once the cache is down to about its size are few enough for the commit.
    if (cacheBytesUsed() <= 2 * smallCacheKiB * 1024)
        return false;
    QElapsedTimer elapsed;
    elapsed.start();
    std::optional<qint64> last;
    select(QStringLiteral("SELECT max(pk) FROM (SELECT pk FROM search_observation WHERE pk > ? ORDER BY pk LIMIT ?)"),
           {m_writeOutFrom, m_writeOutPages * rowsPerPage}, [&](const QSqlQuery &query) {
               if (!query.value(0).isNull())
                   last = query.value(0).toLongLong();
           });
    m_writeOutFrom = last.value_or(0);
    m_writeOutPages = elapsed.elapsed() < 3 ? std::min<qint64>(m_writeOutPages * 2, 4096)
                    : elapsed.elapsed() > 8 ? std::max<qint64>(m_writeOutPages / 2, 32)
                                            : m_writeOutPages;
    if (last)
        return true;
    // Around again while the last time around wrote some out.
    const auto used = cacheBytesUsed();
    return used < std::exchange(m_writeOutPassStart, used);
}

void StoreDb::restoreCacheSize()
{
    m_writingOut = false;
    if (!std::exchange(m_holdingPages, false))
        return;
    Statement size(*this, QStringLiteral("PRAGMA cache_size = -%1").arg(standardCacheKiB));
    Statement spill(*this, QStringLiteral("PRAGMA cache_spill = 1"));
    execute(size, {}, false);
    execute(spill, {}, false);
}

std::chrono::milliseconds StoreDb::removalPause() const
{
    if (m_background || !(inRemovalStretch() || m_removalYielded) || !m_foregroundWrite.isValid())
        return {};
    return std::max(removalQuiet - std::chrono::milliseconds(m_foregroundWrite.elapsed()), std::chrono::milliseconds(0));
}

bool StoreDb::endBackgroundSave()
{
    if (!m_background || m_backgroundWriting)
        return !m_background;
    // Cleared first: the commit is a write of its own, which must not come back here.
    m_background = false;
    // The background writer steps aside for the log after each of its saves.
    if (m_checkpointer)
        m_checkpointer->stepsAsideAfterNextCommit();
    const bool saved = commitTransaction();
    restoreCacheSize();
    if (saved) {
        m_removalYielded = false;
        m_backgroundAlertEdits = false;
        Q_EMIT committed();
        Q_EMIT backgroundSaveEnded(true);
        return true;
    }
    m_background = true;
    rollback();
    return false;
}

void StoreDb::noteError(const QSqlError &error)
{
    // SQLite's primary result codes SQLITE_BUSY, SQLITE_CORRUPT and SQLITE_NOTADB.
    constexpr int busy = 5;
    constexpr int corrupt = 11;
    constexpr int notADatabase = 26;
    bool ok = false;
    const auto code = error.nativeErrorCode().toInt(&ok) & 0xff;
    if (ok && code == busy)
        m_lockHeldElsewhere = true;
    // SQLITE_NOMEM and SQLITE_FULL: the background save took more memory or log than there is.
    constexpr int noMemory = 7;
    constexpr int diskFull = 13;
    if (ok && (code == noMemory || code == diskFull) && !std::exchange(m_shortOfRoom, true))
        m_heldWhenShort = std::max(m_heldMost, cacheBytesUsed());
    if (ok && code == diskFull)
        m_logShortOfRoom = true;
    if (ok && (code == corrupt || code == notADatabase))
        markDamaged(error.text());
}

void StoreDb::markDamaged(const QString &detail)
{
    if (m_damage)
        return;
    const auto where = m_path.isEmpty() ? QStringLiteral("the in-memory database") : QDir::toNativeSeparators(m_path);
    m_damage = QStringLiteral("The local database (%1) is damaged. Vantu saves no more changes to it, so that what "
                              "it holds is not harmed further. Quit Vantu and restore the file from a backup, or "
                              "move it aside to start with an empty database.")
                   .arg(where);
    qCCritical(lcStoreDb) << "the database is damaged:" << detail;
    allowCheckpoints();
    Q_EMIT damaged(*m_damage);
}

bool StoreDb::execute(Statement &statement, const QVariantList &values, bool isWrite)
{
    // A doomed transaction is rolled back anyway, and one that could not begin would let its
    // writes through one by one.
    if (isWrite && (m_damage || m_check || (m_inTransaction && m_transactionFailed))) {
        if (m_inTransaction)
            m_transactionFailed = true;
        return false;
    }
    // A write of its own is saved at once: it may not wait in the background save.
    if (isWrite && m_background && !m_inTransaction)
        settleBackgroundSave();
    // A write outside any save, not one that begins or ends a save.
    if (isWrite && !m_inTransaction && !m_transactionBegun && !m_beginning)
        m_foregroundWrite.start();
    auto &query = statement.query;
    if (isWrite)
        ++m_writes;
    bool ok = statement.prepared;
    if (ok) {
        for (qsizetype i = 0; i < values.size(); ++i)
            query.bindValue(int(i), values.at(i));
        ok = query.exec();
    }
    if (ok)
        return true;
    qCWarning(lcStoreDb) << "statement failed:" << statement.sql() << query.lastError().text();
    noteError(query.lastError());
    if (isWrite && m_inTransaction)
        m_transactionFailed = true;
    return false;
}

void StoreDb::writeSucceeded()
{
    if (!m_inTransaction)
        Q_EMIT committed();
}

bool StoreDb::write(const QString &sql, const QVariantList &values)
{
    Statement statement(*this, sql);
    if (!execute(statement, values, true))
        return false;
    writeSucceeded();
    return true;
}

qint64 StoreDb::writeCounted(const QString &sql, const QVariantList &values)
{
    Statement statement(*this, sql);
    if (!execute(statement, values, true))
        return -1;
    writeSucceeded();
    return statement.query.numRowsAffected();
}

bool StoreDb::upsert(const QString &table, const QStringList &columns, const QVariantList &values,
                     qint64 &persistentId, const QString &newRowId)
{
    Q_ASSERT(columns.size() == values.size());
    const auto &types = Schema::modelTypes();
    const auto type = std::find_if(types.begin(), types.end(), [&](const auto &t) { return t.table == table; });
    Q_ASSERT(type != types.end());
    const auto &uniqueColumn = type->uniqueColumn;
    QStringList placeholders;
    QStringList assignments;
    for (const auto &column : columns) {
        placeholders.append(QStringLiteral("?"));
        if (column != uniqueColumn)
            assignments.append(column + QStringLiteral(" = excluded.") + column);
    }
    // Never INSERT OR REPLACE: replacing deletes the old row, and with it, by cascade,
    // everything that belongs to it.
    const auto sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT(%4) DO UPDATE SET %5 RETURNING pk")
                         .arg(table,
                              (newRowId.isEmpty() ? QString() : QStringLiteral("pk, ")) + columns.join(QStringLiteral(", ")),
                              (newRowId.isEmpty() ? QString() : u'(' + newRowId + QStringLiteral("), "))
                                  + placeholders.join(QStringLiteral(", ")),
                              uniqueColumn, assignments.join(QStringLiteral(", ")));
    Statement statement(*this, sql);
    auto &query = statement.query;
    if (!execute(statement, values, true))
        return false;
    if (!query.next()) {
        qCWarning(lcStoreDb) << "insert into" << table << "returned no row" << query.lastError().text();
        noteError(query.lastError());
        if (m_inTransaction)
            m_transactionFailed = true;
        return false;
    }
    persistentId = query.value(0).toLongLong();
    writeSucceeded();
    return true;
}

bool StoreDb::updateRow(const QString &table, const QStringList &columns, const QVariantList &values,
                        qint64 persistentId)
{
    Q_ASSERT(columns.size() == values.size());
    QStringList assignments;
    for (const auto &column : columns)
        assignments.append(column + QStringLiteral(" = ?"));
    Statement statement(*this,
                        QStringLiteral("UPDATE %1 SET %2 WHERE pk = ?").arg(table, assignments.join(QStringLiteral(", "))));
    if (!execute(statement, QVariantList(values) << persistentId, true) || statement.query.numRowsAffected() < 1)
        return false;
    writeSucceeded();
    return true;
}

bool StoreDb::removeRow(const QString &table, qint64 persistentId)
{
    Statement statement(*this, QStringLiteral("DELETE FROM %1 WHERE pk = ?").arg(table));
    if (!execute(statement, {persistentId}, true) || statement.query.numRowsAffected() < 1)
        return false;
    writeSucceeded();
    return true;
}

StoreDb::ChangeMark StoreDb::changeMark()
{
    ChangeMark mark{m_writes, -1};
    // Unread, it stays unlike every mark read, so that nothing counts as unchanged.
    select(QStringLiteral("PRAGMA data_version"), {}, [&](const QSqlQuery &query) { mark.others = query.value(0).toLongLong(); });
    if (mark.others < 0)
        mark.writes = -2 - m_writes;
    return mark;
}

void StoreDb::select(const QString &sql, const QVariantList &values,
                     const std::function<void(const QSqlQuery &)> &row)
{
    Statement statement(*this, sql);
    auto &query = statement.query;
    if (!execute(statement, values, false))
        return;
    while (query.next())
        row(query);
    // A step that fails ends the rows like their end does; only the error tells them apart.
    if (query.lastError().isValid()) {
        qCWarning(lcStoreDb) << "reading failed:" << sql << query.lastError().text();
        noteError(query.lastError());
    }
}

qint64 StoreDb::bytesWritten() const
{
    const auto pages = connectionStatus(SQLITE_DBSTATUS_CACHE_WRITE);
    qint64 pageSize = 0;
    QSqlQuery query(database());
    if (query.exec(QStringLiteral("PRAGMA page_size")) && query.next())
        pageSize = query.value(0).toLongLong();
    // A frame of the log is a page and its header of 24 bytes.
    return qint64(pages) * (pageSize + (m_checkpointer ? 24 : 0));
}
