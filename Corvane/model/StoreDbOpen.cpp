#include "model/LogCheckpointer.h"
#include "model/Schema.h"
#include "model/SqliteLibrary.h"
#include "model/StoreDb.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QSqlDriver>

#include <atomic>
#include <limits>
#include <mutex>
#include <thread>


Q_DECLARE_LOGGING_CATEGORY(lcStoreDb)

namespace {

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("vantu.storedb.%1").arg(++counter);
}

// Removes a connection of its own when it goes out of scope.
class ScratchConnection
{
public:
    explicit ScratchConnection(const QString &databaseName, const QString &options = {})
        : m_name(newConnectionName())
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(databaseName);
        db.setConnectOptions(options);
    }
    ~ScratchConnection()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    Q_DISABLE_COPY_MOVE(ScratchConnection)

    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

// SQLite's own words when it gave any, else Qt's.
QString errorText(const QSqlError &error)
{
    return error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
}

// First column of the statement's rows, or nothing when the statement fails (with the reason
// in `error`, when given).
std::optional<QStringList> column(const QSqlDatabase &db, const QString &sql, QString *error = nullptr)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QStringList values;
    if (query.exec(sql)) {
        while (query.next())
            values.append(query.value(0).toString());
        if (!query.lastError().isValid())
            return values;
    }
    if (error)
        *error = errorText(query.lastError());
    return std::nullopt;
}

// Every column of the statement's rows, one text per row.
QStringList rows(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    QStringList result;
    if (!query.exec(sql))
        return result;
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields.append(query.value(i).toString());
        result.append(fields.join(QLatin1Char('|')));
    }
    return result;
}

// The columns and foreign keys of every table, to tell this schema from another one that
// carries the same version number.
QStringList structure(const QSqlDatabase &db)
{
    QStringList result;
    for (const auto &type : Schema::modelTypes()) {
        result.append(type.table);
        result.append(rows(db, QStringLiteral("PRAGMA table_info(%1)").arg(type.table)));
        result.append(rows(db, QStringLiteral("PRAGMA foreign_key_list(%1)").arg(type.table)));
    }
    return result;
}

bool createSchema(const QSqlDatabase &db, QString &error)
{
    QSqlQuery query(db);
    // Immediate, like every write transaction: a second process starting while the first
    // writes waits for its commit instead of failing.
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        error = errorText(query.lastError());
        return false;
    }
    bool ok = true;
    for (const auto &type : Schema::modelTypes()) {
        for (const auto &statement : type.statements) {
            if (ok && !query.exec(statement)) {
                error = errorText(query.lastError());
                ok = false;
            }
        }
    }
    if (ok && !query.exec(QStringLiteral("PRAGMA user_version = %1").arg(Schema::userVersion))) {
        error = errorText(query.lastError());
        ok = false;
    }
    query.finish();
    if (ok && !query.exec(QStringLiteral("COMMIT"))) {
        error = errorText(query.lastError());
        ok = false;
    }
    if (!ok)
        query.exec(QStringLiteral("ROLLBACK"));
    return ok;
}

QStringList referenceStructure()
{
    ScratchConnection reference(QStringLiteral(":memory:"));
    auto db = reference.database();
    QString error;
    if (!db.open() || !createSchema(db, error))
        qFatal("the database schema does not build: %s", qPrintable(error));
    return structure(db);
}

// Reads every page of the file: what SQLite found wrong first, or nothing when all is sound.
std::optional<QString> quickCheckProblem(const QSqlDatabase &db)
{
    QString error;
    const auto problems = column(db, QStringLiteral("PRAGMA quick_check(1)"), &error);
    if (!problems)
        return error;
    if (*problems != QStringList{QStringLiteral("ok")})
        return problems->value(0);
    return std::nullopt;
}

// Looks at an existing file through a read-only connection, so that a file that is refused
// is left exactly as it was. Passes an empty database and one of this schema; with
// `fullCheck`, only when SQLite finds every page sound as well. Errors name `where`. True when
// the file holds this schema (false for an empty database).
bool checkExistingFile(const QString &path, const QString &where, bool fullCheck)
{
    ScratchConnection scratch(path, QStringLiteral("QSQLITE_OPEN_READONLY"));
    auto db = scratch.database();
    if (!db.open())
        throw StoreDb::OpenError(QStringLiteral("%1 could not be opened (%2).").arg(where, errorText(db.lastError())));

    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        throw StoreDb::OpenError(QStringLiteral("%1 is damaged or is not a database (%2).")
                                     .arg(where, errorText(query.lastError())));
    }
    const auto version = query.value(0).toLongLong();
    if (!query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !query.next()) {
        throw StoreDb::OpenError(QStringLiteral("%1 is damaged or is not a database (%2).")
                                     .arg(where, errorText(query.lastError())));
    }
    const auto tableCount = query.value(0).toLongLong();
    query.finish();

    if (version == 0) {
        if (tableCount > 0)
            throw StoreDb::OpenError(QStringLiteral("%1 holds a database of another application.").arg(where));
        return false;
    }
    if (version > Schema::userVersion) {
        throw StoreDb::OpenError(
            QStringLiteral("%1 was written by a newer version of Vantu and cannot be read by this one.").arg(where));
    }
    if (version != Schema::userVersion) {
        throw StoreDb::OpenError(
            QStringLiteral("%1 has a database layout (version %2) that this version of Vantu cannot read.")
                .arg(where)
                .arg(version));
    }
    if (structure(db) != referenceStructure())
        throw StoreDb::OpenError(QStringLiteral("%1 does not hold the tables this version of Vantu uses.").arg(where));

    // The checks above read only the header and the table layouts.
    if (fullCheck) {
        if (const auto problem = quickCheckProblem(db))
            throw StoreDb::OpenError(QStringLiteral("%1 is damaged (%2).").arg(where, *problem));
    }
    return true;
}

// A crash in a transaction of a file without write-ahead logging leaves a rollback journal,
// which only a read-write connection rolls back: the read-only first look then fails. The pair
// is copied and the copy rolled back and checked; the real files are not touched.
void checkWithJournal(const QString &path, const QString &journal, const QString &where)
{
    const QFileInfo info(path);
    // Beside the file: the copy needs as much room as the file, which a temporary folder may lack.
    QTemporaryDir folder(info.absolutePath() + QStringLiteral("/.vantu-check-XXXXXX"));
    const auto copy = folder.filePath(info.fileName());
    if (!folder.isValid() || !QFile::copy(path, copy) || !QFile::copy(journal, copy + QStringLiteral("-journal"))) {
        throw StoreDb::OpenError(
            QStringLiteral("%1 could not be checked: a copy of it and its journal could not be made.").arg(where));
    }
    {
        ScratchConnection scratch(copy);
        auto db = scratch.database();
        QString error = db.open() ? QString() : errorText(db.lastError());
        // The first read rolls the journal back.
        if (!db.isOpen() || !column(db, QStringLiteral("SELECT count(*) FROM sqlite_master"), &error))
            throw StoreDb::OpenError(QStringLiteral("%1 is damaged or is not a database (%2).").arg(where, error));
    }
    checkExistingFile(copy, where, true);
}

}

// The full check of a file on a thread and read-only connection of its own. Destroying it
// interrupts a check that still runs and waits for the thread; a check that ended reports to
// `done` on its thread, unless it was interrupted.
class StoreDb::BackgroundCheck
{
public:
    BackgroundCheck(const QString &path, std::function<void(const std::optional<QString> &)> done)
        : m_thread([this, path, done = std::move(done)] { run(path, done); })
    {
    }

    ~BackgroundCheck()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
            // Without SQLite's own interrupt, destruction waits for the check to end.
            if (const auto *sqlite = SqliteLibrary::get(); sqlite && m_handle)
                sqlite->interrupt(m_handle);
        }
        m_thread.join();
    }
    Q_DISABLE_COPY_MOVE(BackgroundCheck)

private:
    void run(const QString &path, const std::function<void(const std::optional<QString> &)> &done)
    {
        std::optional<QString> problem;
        {
            ScratchConnection scratch(path, QStringLiteral("QSQLITE_OPEN_READONLY"));
            auto db = scratch.database();
            if (!db.open()) {
                problem = errorText(db.lastError());
            } else {
                {
                    const std::lock_guard lock(m_mutex);
                    if (m_stopped)
                        return;
                    m_handle = SqliteLibrary::handle(db);
                }
                problem = quickCheckProblem(db);
                const std::lock_guard lock(m_mutex);
                m_handle = nullptr;
                if (m_stopped)
                    return;
            }
        }
        done(problem);
    }

    std::mutex m_mutex;
    bool m_stopped = false;
    sqlite3 *m_handle = nullptr;
    std::thread m_thread;
};

StoreDb::StoreDb(const QString &connectionName, const QString &path)
    : m_connectionName(connectionName), m_path(path)
{
}

StoreDb::~StoreDb()
{
    // Damage met from here on is recorded, not told: whoever listens may be half destroyed.
    blockSignals(true);
    // What the work in the background wrote so far is kept.
    endBackgroundSave();
    // A file whose check did not end keeps its marker: the next start checks it again. Damage that
    // it found waits in the event loop, unread, so the marker stays then too.
    const bool checked = !m_check;
    m_check.reset();
    {
        auto db = database();
        if (m_inTransaction)
            rollback();
        m_statements.clear();
        // Its connections close first, so that this one's close copies back nothing more and
        // removes the log; into a file not known sound, neither copies back anything. Damage that
        // its thread found may not have reached this object yet: its report is queued.
        if (m_checkpointer) {
            m_checkpointer->finish();
            if (const auto found = m_checkpointer->damage())
                markDamaged(*found);
        }
        m_checkpointer.reset();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    // Closed cleanly: the next start need not check the file. A damaged file keeps its marker,
    // so that the next start checks it and refuses it.
    if (!m_markerPath.isEmpty() && !m_damage && checked)
        QFile::remove(m_markerPath);
}

void StoreDb::startBackgroundCheck()
{
    m_check = std::make_unique<BackgroundCheck>(m_path, [this](const std::optional<QString> &problem) {
        // Called on the check's thread, while this object is alive: its destruction waits for
        // the thread. The call queued here is dropped with the object when it goes first.
        QMetaObject::invokeMethod(this, [this, problem] { backgroundCheckEnded(problem); }, Qt::QueuedConnection);
    });
}

void StoreDb::startCheckpointer()
{
    auto db = database();
    auto *handle = SqliteLibrary::handle(db);
    if (!SqliteLibrary::get() || !handle || column(db, QStringLiteral("PRAGMA journal_mode")) != QStringList{QStringLiteral("wal")})
        return;
    QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
    // Both report on the checkpointer's thread; this object outlives it, and calls queued here are
    // dropped with it.
    m_checkpointer = std::make_unique<LogCheckpointer>(
        m_path, handle, LogCheckpointer::defaultLimits(),
        [this](const QString &problem) {
            QMetaObject::invokeMethod(this, [this, problem] { markDamaged(problem); }, Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, [this] { Q_EMIT logRoomMade(); }, Qt::QueuedConnection); });
}

void StoreDb::allowCheckpoints()
{
    if (m_checkpointer)
        m_checkpointer->setAllowed(!m_check && !m_damage);
}

void StoreDb::checkpointInBackground()
{
    if (m_checkpointer)
        m_checkpointer->catchUp();
}

bool StoreDb::stepAsideForLog()
{
    return m_checkpointer && m_checkpointer->stepAsideForRestart();
}

bool StoreDb::beginLogAnew()
{
    if (!m_checkpointer)
        return false;
    m_checkpointer->beginAnew();
    return true;
}

int StoreDb::logRestarts() const
{
    return m_checkpointer ? m_checkpointer->counts().restarts : 0;
}

qint64 StoreDb::logRoom() const
{
    if (!m_checkpointer)
        return std::numeric_limits<qint64>::max();
    // A frame is a page, of the default size that this database keeps, and its header of 24 bytes.
    constexpr qint64 frameBytes = 4096 + 24;
    return m_checkpointer->roomBeforeBound() * frameBytes;
}

void StoreDb::backgroundCheckEnded(const std::optional<QString> &problem)
{
    m_check.reset();
    // Damage is marked before the checkpointer is told anything: allowed for a moment, it could
    // copy the log back into a file found damaged.
    if (problem)
        markDamaged(*problem);
    allowCheckpoints();
    if (!m_damage) // a read may have met damage meanwhile
        Q_EMIT writesReleased();
}

bool StoreDb::isTestMode()
{
    return qEnvironmentVariableIsSet("VANTU_TEST_MODE");
}

QString StoreDb::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/vantu.sqlite");
}

std::unique_ptr<StoreDb> StoreDb::open()
{
    return isTestMode() ? openInMemory() : openFile(defaultFilePath());
}

std::unique_ptr<StoreDb> StoreDb::openInMemory()
{
    return openConnection(QStringLiteral(":memory:"), QString());
}

std::unique_ptr<StoreDb> StoreDb::openFile(const QString &path)
{
    const QFileInfo info(path);
    const auto where = QDir::toNativeSeparators(path);
    if (info.exists() && !info.isFile())
        throw OpenError(QStringLiteral("%1 is not a file.").arg(where));
    if (!QDir().mkpath(info.absolutePath())) {
        throw OpenError(
            QStringLiteral("the folder %1 could not be created.").arg(QDir::toNativeSeparators(info.absolutePath())));
    }
    const auto marker = runningMarkerPath(path);
    const bool uncleanEnd = QFileInfo::exists(marker);
    // After an unclean end, a file of this schema is checked in full in the background, while
    // the window is already up; one without tables costs nothing to check at once.
    bool checkInBackground = false;
    // SQLite takes an empty file for an empty database; there is nothing in it to lose.
    if (info.exists() && info.size() > 0) {
        try {
            checkInBackground = checkExistingFile(path, where, false) && uncleanEnd;
            if (uncleanEnd && !checkInBackground)
                checkExistingFile(path, where, true);
        } catch (const OpenError &) {
            checkInBackground = false;
            const auto journal = path + QStringLiteral("-journal");
            if (!QFileInfo(journal).isFile() || QFileInfo(journal).size() == 0)
                throw;
            checkWithJournal(path, journal, where);
        }
    }
    // Set before the first write, so that a crash from here on is seen at the next start.
    if (!uncleanEnd) {
        QFile file(marker);
        if (!file.open(QIODevice::WriteOnly))
            qCWarning(lcStoreDb) << "cannot write" << marker << file.errorString();
    }
    std::unique_ptr<StoreDb> store;
    try {
        // Writing the schema again would be the first write, before the file is known sound;
        // it is there already.
        store = openConnection(path, path, !checkInBackground);
    } catch (const OpenError &) {
        if (!uncleanEnd)
            QFile::remove(marker);
        throw;
    }
    store->m_markerPath = marker;
    store->startCheckpointer();
    if (checkInBackground)
        store->startBackgroundCheck();
    store->allowCheckpoints();
    return store;
}

QString StoreDb::runningMarkerPath(const QString &databasePath)
{
    return databasePath + QStringLiteral("-running");
}

std::unique_ptr<StoreDb> StoreDb::openConnection(const QString &databaseName, const QString &path, bool setUpSchema)
{
    const auto name = newConnectionName();
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databaseName);
        // How long a write waits for another process's transaction to end; the window waits
        // with it, so no longer than this.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    std::unique_ptr<StoreDb> store(new StoreDb(name, path));
    auto db = store->database();
    const auto where = path.isEmpty() ? QStringLiteral("the in-memory database") : QDir::toNativeSeparators(path);
    if (!db.open())
        throw OpenError(QStringLiteral("%1 could not be opened (%2).").arg(where, errorText(db.lastError())));

    QSqlQuery query(db);
    // Off by default in SQLite, and per connection: without it nothing cascades.
    if (!query.exec(QStringLiteral("PRAGMA foreign_keys = ON"))
        || column(db, QStringLiteral("PRAGMA foreign_keys")) != QStringList{QStringLiteral("1")}) {
        throw OpenError(QStringLiteral("%1 does not support foreign keys.").arg(where));
    }
    if (!path.isEmpty()) {
        const auto mode = column(db, QStringLiteral("PRAGMA journal_mode = WAL"));
        if (mode != QStringList{QStringLiteral("wal")})
            qCWarning(lcStoreDb) << "the database does not use write-ahead logging:" << mode.value_or(QStringList());
        // With the log, syncing at checkpoints only still keeps the file consistent (a power
        // loss may drop the last saves, never damage the file); a sync on every save would
        // stall the window on each of the saves a search makes.
        query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
        // A search touches a few hundred pages of the large indexes of a long history; SQLite's
        // default 2 MB would read them from the system again on every search.
        query.exec(QStringLiteral("PRAGMA cache_size = -%1").arg(standardCacheKiB));
        // A statement that changes many rows inside a save keeps the pages it changes, to undo it
        // alone; in a file, that would write as much again to the disk as the save.
        query.exec(QStringLiteral("PRAGMA temp_store = MEMORY"));
    }
    QString error;
    if (setUpSchema && !createSchema(db, error))
        throw OpenError(QStringLiteral("%1 could not be set up (%2).").arg(where, error));
    return store;
}
