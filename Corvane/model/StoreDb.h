#pragma once

#include "model/AlertEditJournal.h"
#include "model/Keyword.h"
#include "model/KeywordLink.h"
#include "model/KeywordMetric.h"
#include "model/RankAlert.h"
#include "model/RankSnapshot.h"
#include "model/RankState.h"
#include "model/SearchObservation.h"
#include "model/StoreMeta.h"
#include "model/TrackedApp.h"
#include "support/UserFacingError.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

class LogCheckpointer;
class QFile;
class QSqlError;

// The local database: owns one SQLite connection (foreign keys on) and offers typed access to
// the nine record types. Everything runs on the thread that opened it.
//
// Writes: insert() stores a new record and sets its persistentId; when a record with the same
// unique value exists, that record takes the new values instead and keeps its identifier.
// update() and remove() address a stored record by persistentId; they return false when the
// statement failed or no such record exists. Writes made while a Transaction is open become
// durable with its commit, the "save"; a write outside one is saved at once.
//
// Fetches never report failure: a failed fetch yields nothing (it is logged). Unsorted
// results come in row order.
//
// Several processes may share the file: every transaction takes the write lock when it begins
// (BEGIN IMMEDIATE), so a writer waits for another's commit, up to the busy time-out, instead
// of failing when it writes after reading.
//
// Damage: when any statement reports the file corrupt or not a database, every further write
// is refused and damaged() is emitted, once, with the text to show the user. Closing then leaves
// the file and its write-ahead log as they are.
//
// Clean exit: while a file database is open, a marker lies beside it (runningMarkerPath()), and
// destroying the StoreDb removes it, unless damage was found, by any connection of its own up to
// and including the close, or the file was never found sound.
// The application must therefore destroy its store (and with it this object) before it exits.
// A marker found when the file is opened means the last run ended uncleanly: the file is then
// checked in full (PRAGMA quick_check). That check reads every page, which takes long on a large
// file, so it runs in the background on a read-only connection of its own while reads go on:
// writes are held (refused) until it passes (writesReleased()); when it fails the file counts
// as damaged.
class StoreDb : public QObject
{
    Q_OBJECT
public:
    // Opening the database failed; nothing was written to an existing file.
    class OpenError : public UserFacingError
    {
    public:
        explicit OpenError(QString detail) : m_detail(std::move(detail)) {}
        QString description() const override { return m_detail; }
        // What the application shows when it cannot start.
        QString startupMessage() const;

    private:
        QString m_detail;
    };

    // A save failed; everything written since the last save was discarded.
    class SaveError : public UserFacingError
    {
    public:
        QString description() const override;
    };

    // How long a save that begins waits for another process's write lock: the standard wait, or
    // a short one for work that tries again later rather than hold the window.
    static constexpr std::chrono::milliseconds standardLockWait{5000};
    static constexpr std::chrono::milliseconds shortLockWait{40};
    // The most a save with the short wait waits in all when the log's own restart holds the lock.
    static inline std::chrono::milliseconds ownWritesWait{80};
    // The memory a connection keeps pages of the file in, in KiB, for connections opened from
    // now on (tests make it small); more while a removal holds the pages it changed.
    static inline qint64 standardCacheKiB = 32768;
    // While a removal holds the pages it changed (see holdChangedPages()): its save ends once they
    // take this much, and past `mostHeldKiB` SQLite writes some into the log before the save ends,
    // so that they never take more, whatever a statement changes. Memory or disk room that runs
    // short makes the saves smaller (see shrinkHeldPages()). Tests make them small.
    static inline qint64 heldPagesKiB = 393216;
    static inline qint64 mostHeldKiB = 491520;
    // A save of the user's while the background save holds more changed pages than this rolls that
    // save back rather than wait while they are written; the removal does that work again later.
    static inline qint64 yieldAboveKiB = 8192;
    // The least a removal's save may hold: below it, saves would be so many that each rewrites the
    // same index pages over and over.
    static inline qint64 fewestHeldKiB = 4096;

    // Groups writes into one save. A guard opened while another is open joins it: its commit
    // only reports whether the writes so far went well, and the outer commit saves them.
    // An owning guard that goes out of scope uncommitted discards its writes. Opening one saves
    // the background save first, if one is open (see BackgroundSave).
    class Transaction
    {
    public:
        explicit Transaction(StoreDb &db, std::chrono::milliseconds lockWait = standardLockWait);
        ~Transaction();
        Q_DISABLE_COPY_MOVE(Transaction)

        // Saves. False when a write in it or the commit failed; everything is then rolled back.
        bool commit();

    private:
        StoreDb &m_db;
        bool m_owner = false;
        bool m_done = false;
    };

    // Work that changes many rows in the background (removing an app, many alert edits) writes
    // into one long save that stays open across turns of the event loop, so that each page it
    // changes goes to the log about once rather than once per turn. A BackgroundSave is held
    // for one turn's writes; the save stays open after it, until commit(), until any other write
    // (which saves it first, so that nothing written elsewhere waits for it), or until the
    // database closes (which saves it). Opening one waits for another process's write lock only
    // shortly. backgroundSaveEnded() tells how each ended: rolled back, its writes are gone.
    class BackgroundSave
    {
    public:
        explicit BackgroundSave(StoreDb &db);
        // A write that failed rolls the save back; else it stays open.
        ~BackgroundSave();
        Q_DISABLE_COPY_MOVE(BackgroundSave)

        // Whether writes may go on: false when the lock was taken by another process, writes are
        // refused, a foreground transaction is open, or a write failed.
        bool ok() const;
        // Saves it now; false when that failed and it was rolled back.
        bool commit();

    private:
        StoreDb &m_db;
        bool m_ok = false;
    };
    // Whether a background save is open.
    bool inBackgroundSave() const { return m_background; }
    // Saves the open background save, if any; false when that failed.
    bool endBackgroundSave();
    // Other writes end the background save, and a stretch of a removal cut short costs about as
    // much again as it would whole (see continueRemoval()): while they go on, as in a tracking run,
    // the removal waits for them to rest this long. How long it still waits; 0 when it need not.
    static inline std::chrono::milliseconds removalQuiet{10000};
    std::chrono::milliseconds removalPause() const;

    // A link with its keyword, which is absent when the link has none.
    struct LinkedKeyword
    {
        KeywordLink link;
        std::optional<Keyword> keyword;
    };

    // What the keyword table shows of one link of an app: the link's keyword, source and detail,
    // and the keyword's rank state and metric in one storefront. The state carries only its
    // readings (latest, previous, last found); the metric only its popularity and difficulty.
    struct KeywordRowSource
    {
        QString normalized;
        QString display;
        std::optional<QString> translatedEn;
        QString sourceRaw;
        std::optional<QString> detail;
        std::optional<RankState> state;
        std::optional<KeywordMetric> metric;
        qint64 linkPersistentId = 0;
    };

    // A write that may change what keywordRowSources() reads: the keyword it concerns, by normal
    // form or row id, narrowed to an app and a storefront where those are known. A change that
    // names no keyword may concern every keyword.
    struct RowsChange
    {
        std::optional<QString> normalized = {};
        std::optional<qint64> keywordPersistentId = {};
        std::optional<QString> appleAppId = {};
        std::optional<qint64> appPersistentId = {};
        std::optional<QString> country = {};

        bool anyKeyword() const { return !normalized && !keywordPersistentId; }
    };

    // A snapshot with the app ID of its app.
    struct AppSnapshot
    {
        RankSnapshot snapshot;
        QString appleAppId;
    };

    // The application's database: in memory in test mode, else the file at defaultFilePath().
    static std::unique_ptr<StoreDb> open();
    // Opens the file, creating it and its folder when missing. A file that is damaged, not a
    // database, or a database of another application or schema version is refused, unchanged.
    // After an unclean end, damage inside the pages is found by the check in the background
    // instead, which needs the thread's event loop to report.
    // A file that fails the check while a rollback journal lies beside it is judged by a
    // copy of the pair, where SQLite can roll the journal back; only a sound copy lets the
    // real file be opened (which rolls it back).
    static std::unique_ptr<StoreDb> openFile(const QString &path);
    static std::unique_ptr<StoreDb> openInMemory();
    // The database file in the application data folder.
    static QString defaultFilePath();
    static bool isTestMode();
    // The marker of a run that has the database file open.
    static QString runningMarkerPath(const QString &databasePath);

    ~StoreDb() override;

    // Empty for an in-memory database.
    QString filePath() const { return m_path; }

    // Told of every write that may change keyword rows, whether it succeeds or not, and of a
    // change of any keyword when a transaction is rolled back; so a reader of rows can catch up
    // on just those keywords.
    void setRowsChangeHandler(std::function<void(const RowsChange &)> handler) { m_rowsChanged = std::move(handler); }

    // What the user is told once damage was found; absent while none was.
    std::optional<QString> damage() const { return m_damage; }
    // While the check after an unclean end runs: every write is refused.
    bool writesHeld() const { return bool(m_check); }
    // Whether the last save that began could not take the write lock because another connection
    // (another program) held it past the save's lock wait.
    bool lockHeldElsewhere() const { return m_lockHeldElsewhere; }
    // Whether a save would take the write lock at once: no other connection holds it, or this
    // one does. Takes it and lets it go, without waiting.
    bool writeLockFree();

    // The write-ahead log of a file database is copied back into the file on a thread of its own
    // (see LogCheckpointer), never in this connection's commits. Asks it to copy back whatever the
    // log holds, as after a burst of changes; nothing for a database in memory.
    void checkpointInBackground();
    // The log grew past its bound and is about to begin anew: work that can wait (a run that
    // applies many results) waits for logRoomMade() before it writes again, rather than be held
    // in a later save while the log begins anew.
    bool stepAsideForLog();
    // A save found no room for the log: it is copied back and begins anew, and logRoomMade()
    // follows. False for a database in memory, which has no log.
    bool beginLogAnew();
    // Times the log began anew since the database was opened.
    int logRestarts() const;
    // Bytes a save may still add to the log before it passes its bound; unbounded without one.
    qint64 logRoom() const;
    // Absent for a database in memory.
    LogCheckpointer *logCheckpointer() const { return m_checkpointer.get(); }
    // Tells whether the database may have changed since another mark: it counts this
    // connection's writes and rollbacks, and SQLite's count of other connections' commits.
    struct ChangeMark
    {
        qint64 writes = -1;
        qint64 others = -1;
        bool operator==(const ChangeMark &) const = default;
    };
    ChangeMark changeMark();
    // Bytes this connection wrote into the database's log (or, without one, its file) since it
    // was opened: for measuring what a change costs the disk.
    qint64 bytesWritten() const;
    // Memory this connection's cache of pages takes, changed pages held by a save included.
    qint64 cacheBytesUsed() const;

    // Tracked apps. An app being removed (see beginRemoval()) is in none of the reads; inserting
    // an app with its ID first finishes that removal, so that the new app starts with no rows.
    bool insert(TrackedApp &app);
    bool update(const TrackedApp &app);
    // Also deletes the app's keyword links and rank snapshots, all in this one statement.
    bool remove(const TrackedApp &app);
    std::optional<TrackedApp> app(qint64 persistentId);
    std::optional<TrackedApp> appByAppleId(const QString &appleAppId);
    QList<TrackedApp> apps();

    // Keywords.
    bool insert(Keyword &keyword);
    bool update(const Keyword &keyword);
    // Also deletes every link to the keyword.
    bool remove(const Keyword &keyword);
    std::optional<Keyword> keyword(qint64 persistentId);
    std::optional<Keyword> keywordByNormalized(const QString &normalized);
    // The display texts of those of the keywords that are stored, by normal form, in one query.
    QHash<QString, QString> keywordDisplays(const QStringList &normalized);

    // Keyword links.
    bool insert(KeywordLink &link);
    bool update(const KeywordLink &link);
    bool remove(const KeywordLink &link);
    std::optional<KeywordLink> link(qint64 persistentId);
    std::optional<KeywordLink> linkByKey(const QString &key);
    QList<LinkedKeyword> linksOfApp(qint64 appPersistentId);
    // The normal forms of the keywords of the app's links, each once, without the records.
    QSet<QString> keywordsOfApp(qint64 appPersistentId);
    qint64 linkCountOfApp(qint64 appPersistentId);
    // The app's links that have a keyword, in stored order, with what is known of the keyword
    // in the storefront.
    QList<KeywordRowSource> keywordRowSources(const TrackedApp &app, const QString &country);
    // The same, only of the keywords with these normal forms.
    QList<KeywordRowSource> keywordRowSources(const TrackedApp &app, const QString &country,
                                              const QStringList &normalized);
    // The normal forms of those of these keywords that exist.
    QStringList keywordNormalForms(const QList<qint64> &keywordPersistentIds);
    // The app's links, of any source, to the keyword with this normal form.
    QList<KeywordLink> linksOfAppToKeyword(qint64 appPersistentId, const QString &normalized);
    // Whether any such link exists; found through the keyword's few links, not the app's many.
    bool isLinked(qint64 appPersistentId, const QString &normalized);
    QList<KeywordLink> linksOfKeyword(qint64 keywordPersistentId);
    bool removeLinksOfAppToKeyword(qint64 appPersistentId, const QString &normalized);
    // Marks the links of these apps to the keyword as tested, in one statement.
    bool markLinksTested(const QList<qint64> &appPersistentIds, const QString &normalized, const QDateTime &testedAt);

    // Search observations.
    bool insert(SearchObservation &observation);
    bool update(const SearchObservation &observation);
    std::optional<SearchObservation> observation(qint64 persistentId);
    std::optional<SearchObservation> observationById(const QUuid &id);
    // The newest successful observation of the keyword in the storefront made at or after the
    // cutoff with at least the given limit, among those that still hold their hits.
    std::optional<SearchObservation> cachedObservation(const QString &normalized, const QString &country,
                                                       const QDateTime &cutoff, qint64 minimumLimit);
    // The observations of the storefront that carry isLatest.
    QList<SearchObservation> latestObservations(const QString &country);
    // Those of them that are of these keywords, in row order.
    QList<SearchObservation> latestObservations(const QSet<QString> &keywords, const QString &country);
    QList<SearchObservation> successfulObservationsNewestFirst();
    // A successful observation without its hits: whether it is the latest and holds hits.
    struct Latestness
    {
        qint64 persistentId = 0;
        bool isLatest = false;
        bool hasHits = false;
    };
    // Each storefront of each keyword that has successful observations, once.
    QList<std::pair<QString, QString>> observedKeywordCountries();
    // The keyword's successful observations in the storefront, newest first.
    QList<Latestness> successfulObservationsNewestFirst(const QString &normalized, const QString &country);
    // A latest observation without its hits: enough to tell whether a copy of its hits read
    // earlier still stands for it.
    struct LatestSearch
    {
        qint64 persistentId = 0;
        QDateTime checkedAt;
        QString keywordNormalized;
        // Bytes of the stored hits.
        qint64 hitsSize = 0;
    };
    // The observations of the storefront that carry isLatest, in row order, without their hits.
    QList<LatestSearch> latestSearches(const QString &country);
    // Those of them that are of these keywords, in row order.
    QList<LatestSearch> latestSearches(const QSet<QString> &keywords, const QString &country);
    // The stored hits of those of the observations that exist, by persistentId.
    QHash<qint64, QByteArray> observationHits(const QList<qint64> &persistentIds);
    // The same into the caller's buffers, one per observation in order, whether each was read.
    // Read with SQLite's incremental blob reads where the hits are stored as a blob: copied once,
    // straight out of the file's pages, into memory that reading thousands of them reuses.
    QList<bool> observationHitsInto(const QList<qint64> &persistentIds, QList<QByteArray> &buffers);

    // Reads stored hits on a read-only connection of its own to the database file, on the thread
    // that made it (and only there), so that reading thousands of them can be shared out among
    // threads. It sees what was committed.
    class HitsReader
    {
    public:
        explicit HitsReader(const QString &path);
        ~HitsReader();
        Q_DISABLE_COPY_MOVE(HitsReader)
        // As observationHitsInto, but hits it cannot read with the blob reads (stored as text,
        // or on any failure) are left unread.
        QList<bool> hitsInto(const QList<qint64> &persistentIds, QList<QByteArray> &buffers);

    private:
        QString m_name;
    };
    // The file that a HitsReader may read now: absent for a database in memory, and while a
    // transaction is open here, whose writes another connection would not see.
    std::optional<QString> fileForOtherReaders() const;
    // Those of the keywords that have a failed observation in the storefront.
    QSet<QString> keywordsWithFailedSearches(const QSet<QString> &keywords, const QString &country);
    // Sets isLatest; an observation that is not the latest also loses its hits.
    bool setLatest(qint64 observationPersistentId, bool isLatest);
    // Takes isLatest and the hits from every latest observation of the keyword in the storefront.
    bool clearLatestObservations(const QString &normalized, const QString &country);

    // Rank snapshots.
    bool insert(RankSnapshot &snapshot);
    std::optional<RankSnapshot> snapshotByKey(const QString &key);
    // Oldest first.
    QList<RankSnapshot> snapshotsOfApp(qint64 appPersistentId, const QString &normalized, const QString &country);
    // Every snapshot that has an app, oldest first.
    QList<AppSnapshot> snapshotsOfAppsOldestFirst();
    // Each storefront of each keyword that has snapshots, once.
    QList<std::pair<QString, QString>> snapshotKeywordCountries();
    // The keyword's snapshots in the storefront that have an app, by app, each app's oldest first.
    QList<AppSnapshot> snapshotsOfKeywordByApp(const QString &normalized, const QString &country);

    // Rank states.
    bool insert(RankState &state);
    bool update(const RankState &state);
    std::optional<RankState> rankState(const QString &key);
    // The states of these keys that exist, by key, read in one query rather than one per key.
    QHash<QString, RankState> rankStates(const QStringList &keys);
    QList<RankState> rankStatesOfApp(const QString &appleAppId, const QString &country);
    bool removeAllRankStates();

    // Keyword metrics.
    bool insert(KeywordMetric &metric);
    bool update(const KeywordMetric &metric);
    std::optional<KeywordMetric> metric(const QString &key);
    QList<KeywordMetric> metricsOfCountry(const QString &country);
    // The storefront's metrics of these keywords, by keyword.
    QHash<QString, KeywordMetric> metricsOf(const QStringList &normalized, const QString &country);
    QList<KeywordMetric> metricsWithPopularity();

    // Ranking alerts. A new alert takes a row id above every one given so far, up to this: room
    // for far more alerts than tracking ever makes, and far below 2^62, past which the read
    // flags' pk * 2 + 1 would overflow. A stored alert past it was never given its id here (only
    // damage puts one there): it reads as any other, and new alerts take ids below it.
    static constexpr qint64 largestAlertId = qint64(1) << 53;
    // False, saving nothing and dooming no save, when no row id is left for a new alert.
    bool insert(RankAlert &alert);
    // Whether a new alert can still be given a row id.
    bool alertIdLeft();
    bool update(const RankAlert &alert);
    bool remove(const RankAlert &alert);
    // Deletes the alerts with these row ids, in one statement. An alert's row id is never given
    // again to another alert, even after the alerts with the highest ids were deleted.
    bool removeAlerts(const QList<qint64> &persistentIds);
    // Sets the read flag of the alerts with these row ids.
    bool setAlertsRead(const QList<qint64> &persistentIds, bool read);
    QList<RankAlert> alertsNewestFirst();
    // What became of the alerts since an earlier mark, so that a screen that keeps them reads
    // only what changed: `added` counts alerts inserted, `flagged` changes of read flags,
    // `removed` alerts deleted, `rewritten` any other change on this connection (rollbacks too),
    // `others` the commits of other connections. `leftWithApp` names, in order, the apps whose
    // removal began since the file was opened: their alerts left every read at once, and a screen
    // drops them by their app without reading the others again. `edits` counts the edits of
    // alerts made through the store (ASOStore::alertEditsSince() tells what each changed).
    struct AlertsMark
    {
        qint64 added = 0;
        qint64 flagged = 0;
        qint64 removed = 0;
        qint64 rewritten = 0;
        qint64 others = -1;
        QStringList leftWithApp;
        qint64 edits = 0;
        bool operator==(const AlertsMark &) const = default;
    };
    AlertsMark alertsMark();
    // The alerts stored after the one with this row id, up to largestAlertId, newest first.
    QList<RankAlert> alertsAfter(qint64 persistentId);
    // Every alert's row id and read flag, in no particular order.
    QList<std::pair<qint64, bool>> alertReadFlags();
    QList<RankAlert> unreadAlerts();
    qint64 unreadAlertCount();
    // Created at or after the time, oldest first.
    QList<RankAlert> alertsSince(const QDateTime &time);

    // Edits of many alerts at once (marking read or unread, deleting) are recorded in one small
    // save at once and applied in the background (see BackgroundSave); each record goes in the
    // save that applies the last of its alerts. The records outlive a crash or a quit: the next
    // start reads them again, in the order they were made, and finishes them.
    enum class AlertEditKind { remove, markRead, markUnread };
    // Alert row ids from `first` to `last`: a record names runs, never every id, so that what it
    // takes in memory does not grow with the ids it names.
    struct AlertIdRun
    {
        qint64 first = 0;
        qint64 last = 0;
        bool operator==(const AlertIdRun &) const = default;
    };
    struct AlertEditRecord
    {
        // Its key in the bookkeeping; empty for a record in the journal of edits.
        QString key;
        // Where the edit stands among all edits, wherever kept: they apply in this order. 0 for
        // a record an earlier version kept, which came before every numbered one.
        qint64 sequence = 0;
        AlertEditKind kind = AlertEditKind::remove;
        // Ascending, none overlapping.
        QList<AlertIdRun> runs;
        // False for a damaged record, which names no alerts.
        bool readable = true;
    };
    // Stores the record and returns its key; empty when the save failed.
    QString recordAlertEdit(qint64 sequence, AlertEditKind kind, const QList<AlertIdRun> &runs);
    // Those in the bookkeeping and those of the journal of edits, in the order the edits were
    // made; damaged ones among them (logged). A journal written for another database, or for
    // another state of this one, is set aside first (see takeSetAsideAlertEditJournal()).
    QList<AlertEditRecord> alertEditRecords();
    bool removeAlertEditRecord(const QString &key);
    // A damaged record is kept under another key, where it is no longer read as an edit.
    bool setAlertEditRecordAside(const QString &key);
    // The journal of edits: a small file beside the database that an edit is appended to at
    // once, so that it is kept through a crash or a quit without a save, which would wait for
    // the write lock and end the background save. The records stay until clearAlertEditJournal(),
    // once every edit in it was saved; one read again after it was saved changes nothing more.
    // For a database in memory, nothing is kept and appending always succeeds; appending fails
    // while the database has no owner to name (see renewAlertEditJournalOwner()).
    bool journalAlertEdit(qint64 sequence, AlertEditKind kind, const QList<AlertIdRun> &runs);
    bool hasJournaledAlertEdits() const { return m_journaled; }
    bool clearAlertEditJournal();
    QString alertEditJournalPath() const;
    // The journal names the database it was written for (a random identity kept in the database)
    // and the state of it that its records follow (a random value the database takes anew
    // whenever a journal may begin). A start reads only a journal that names both as the
    // database holds them: a copy of the file from before the journal began, or another
    // database put in its place, names another state.
    using AlertEditJournalOwner = AlertEditJournal::Owner;
    AlertEditJournalOwner alertEditJournalOwner();
    // Gives the database a new state (and its identity, the first time), in the open save: only
    // while the journal is empty, which would else name a state the database no longer has.
    bool renewAlertEditJournalOwner();
    // Where a journal that named another database or state was moved when the records were
    // last read; empty when none was. Told once.
    QString takeSetAsideAlertEditJournal() { return std::exchange(m_setAsideJournal, {}); }
    // The row ids of the app's stored alerts, in no particular order.
    QList<qint64> alertIdsOfApp(const QString &appleAppId);

    // Removing an app whose history is long: a year of daily readings is too much for one save.
    // beginRemoval() takes the app and its alerts out of every read at once and records, in the
    // same save, that its rows are still to go; continueRemoval() then deletes them a bounded
    // number at a time. The record outlives a crash, so that the next start can finish.
    struct AppRemoval
    {
        qint64 appPersistentId = 0;
        QString appleAppId;
    };
    bool beginRemoval(const TrackedApp &app);
    QList<AppRemoval> appRemovals();
    // Deletes up to `limit` of the app's remaining alerts, rank states, snapshots and links, in
    // that order; once none remain, the app and the record of its removal. The number of rows
    // deleted: 0 once the removal is complete, -1 when a statement failed. Snapshots go in a few
    // stretches of time, each meant to be saved whole (see inRemovalStretch()).
    qint64 continueRemoval(const AppRemoval &removal, qint64 limit);
    // Row ids, of every app, that a stretch spans at least; tests change it.
    static inline qint64 removalRowsPerStretch = 500000;
    // The snapshots of one stretch of time go in one save: whether the open save deleted some of
    // a stretch whose rest is still to go. A stretch ends a call of continueRemoval().
    bool inRemovalStretch() const;
    // Whether a stretch ended since this was last asked, or the pages it held reached their
    // bound: the save that holds it is due.
    bool takeRemovalStretchEnd();
    // The last background save failed because memory or disk room ran short.
    bool backgroundSaveShortOfRoom() const { return m_shortOfRoom; }
    // A save found no room on the disk for its log, since the database was opened.
    bool logRanShortOfRoom() const { return m_logShortOfRoom; }
    // Makes the saves of removals hold half as much from now on; false when they hold as little
    // as they may already.
    bool shrinkHeldPages();
    // Rolls back the open background save (after a failure that threw rather than reported).
    void abandonBackgroundSave();
    // Before the save of a stretch: the pages it kept in memory are written into the log a few
    // at a time on turns of the event loop, so that its commit, which would write them all at
    // once, stays short. One step; true while some are left, and until then nothing else may be
    // written into the save.
    bool writeOutHeldPages();
    bool writingOutHeldPages() const { return m_writingOut; }

    // Store bookkeeping.
    bool insert(StoreMeta &meta);
    std::optional<StoreMeta> meta(const QString &key);
    bool removeMeta(const QString &key);

Q_SIGNALS:
    // Changes were saved.
    void committed();
    // The background save ended: saved, or rolled back with everything written in it.
    void backgroundSaveEnded(bool saved);
    // SQLite found the file damaged; writes are refused from now on. Emitted once.
    void damaged(const QString &message);
    // The check after an unclean end found the file sound; writes are accepted from now on.
    void writesReleased();
    // The log that was past its bound began anew, or that was tried.
    void logRoomMade();

private:
    StoreDb(const QString &connectionName, const QString &path);

    static std::unique_ptr<StoreDb> openConnection(const QString &databaseName, const QString &path,
                                                   bool setUpSchema = true);

    class Statement;
    class BackgroundCheck;

    void startBackgroundCheck();
    void startCheckpointer();
    // The checkpointer writes only while this connection may.
    void allowCheckpoints();
    void backgroundCheckEnded(const std::optional<QString> &problem);
    // Writes are refused from now on; the user is told once.
    void markDamaged(const QString &detail);

    // Transaction plumbing.
    bool begin(std::chrono::milliseconds lockWait = standardLockWait);
    // begin(), and with a short wait, begun again once the log's own restart let go of the lock.
    bool beginPastOwnWrites(std::chrono::milliseconds lockWait);
    bool commitTransaction();
    void rollback();

    // Statement plumbing. A failed write inside a transaction dooms it; a damaged file refuses
    // every write.
    void noteError(const QSqlError &error);
    bool execute(Statement &statement, const QVariantList &values, bool isWrite);
    bool write(const QString &sql, const QVariantList &values);
    // Inserts, or updates the row with the same value in the table's unique column. A new row
    // takes the row id that `newRowId` (an SQL expression) gives, when there is one.
    bool upsert(const QString &table, const QStringList &columns, const QVariantList &values, qint64 &persistentId,
                const QString &newRowId = {});
    bool updateRow(const QString &table, const QStringList &columns, const QVariantList &values,
                   qint64 persistentId);
    bool removeRow(const QString &table, qint64 persistentId);
    void select(const QString &sql, const QVariantList &values, const std::function<void(const QSqlQuery &)> &row);
    void writeSucceeded();
    void rowsChanged(const RowsChange &change) const
    {
        if (m_rowsChanged)
            m_rowsChanged(change);
    }
    QList<KeywordRowSource> keywordRowSources(const TrackedApp &app, const QString &country, const QString &where,
                                              const QVariantList &values);
    QList<SearchObservation> observations(const QString &where, const QVariantList &values);
    QList<RankAlert> alerts(const QString &condition, const QString &order, const QVariantList &values);
    // Runs a write and returns the number of rows it changed, -1 when it failed.
    qint64 writeCounted(const QString &sql, const QVariantList &values);
    // Deletes up to `limit` rows of the table that match `condition`, found through its index.
    qint64 removeSome(const QString &table, const QString &condition, const QVariant &value, qint64 limit);

    QSqlDatabase database() const;

    QString m_connectionName;
    QString m_path;
    // Prepared statements by their text, kept for the next run of the same text.
    std::unordered_map<QString, QSqlQuery> m_statements;
    QString m_markerPath;
    std::optional<QString> m_damage;
    std::unique_ptr<BackgroundCheck> m_check;
    std::unique_ptr<LogCheckpointer> m_checkpointer;
    // Before alerts are deleted: the highest alert row id given so far stays known, so that no
    // new alert takes the id of a deleted one.
    bool keepAlertIdsIssued();
    // No alert has a higher row id, nor had one.
    qint64 highestAlertIdIssued();
    // Where the removal of an app stands among its snapshots: they go a stretch of time after
    // another (`ends`: the end of each, in milliseconds), each keyword by keyword and storefront by
    // storefront in index order. Forgotten when a save is rolled back.
    struct RemovalCursor
    {
        qint64 appPersistentId = 0;
        // The end of each stretch, a row id past its last row.
        QList<qint64> ends;
        qsizetype end = 0;
        // Where the stretch under way begins.
        qint64 start = 0;
        // Rows of the stretch were deleted in the open save, and some are left.
        bool stretchBegun = false;
        // A stretch just ended: its save is due.
        bool stretchEnded = false;
    };
    RemovalCursor removalCursor(const AppRemoval &removal);
    qint64 removeSnapshotsInStretches(const AppRemoval &removal, qint64 limit);
    // Keeps the pages the open save changes in memory until it ends (up to mostHeldKiB), rather
    // than let SQLite write some into the log while the save goes on: one changed again after
    // that goes into the log once more, and a page written twice in one save makes its commit
    // read back and rewrite every frame after the first such, a hundred milliseconds and more.
    void holdChangedPages();
    void restoreCacheSize();
    // What the held pages may take before the save is due: their bound, less where memory ran
    // short, and at most half of the room the disk has for the log.
    qint64 heldPagesBudget() const;
    // What a removal's save may hold, before the room on the disk is counted.
    qint64 heldBudgetKiB() const;
    // Before another write: saves the background save, or rolls it back when writing its held
    // pages would hold that write (see yieldAboveKiB).
    void settleBackgroundSave();
    // A figure of sqlite3_db_status() for this connection; 0 when there is none.
    qint64 connectionStatus(int what) const;
    bool m_holdingPages = false;
    // The bound of held pages, lowered where memory or disk room ran short.
    qint64 m_heldBudgetKiB = -1;
    // What the held pages of the open save may take.
    qint64 m_heldBudgetBytes = 0;
    bool m_shortOfRoom = false;
    bool m_logShortOfRoom = false;
    // What the cache took when memory or disk room ran short.
    qint64 m_heldWhenShort = 0;
    // The most the open save's held pages took so far.
    qint64 m_heldMost = 0;
    // A save of the user's rolled back a removal's save: the removal waits for writes to rest.
    bool m_removalYielded = false;
    // The background save holds edits of alerts.
    bool m_backgroundAlertEdits = false;
    // While the held pages are written out before the save: where the next step reads, and the
    // cache's size when its reading last began at the table's start.
    bool m_writingOut = false;
    qint64 m_writeOutFrom = 0;
    qint64 m_writeOutPassStart = 0;
    // Pages a step reads: adapted so that a step takes a few milliseconds.
    qint64 m_writeOutPages = 256;

    bool m_inTransaction = false;
    // A background save is open (its SQL transaction begun), and one turn's writes go into it now.
    bool m_background = false;
    bool m_backgroundWriting = false;
    std::optional<RemovalCursor> m_removalCursor;
    // The journal's records, oldest first, naming no alert above `highest`; a journal of
    // another owner is set aside.
    QList<AlertEditRecord> journaledAlertEdits(qint64 highest);
    void setAlertEditJournalAside();
    std::unique_ptr<QFile> m_journal;
    QString m_setAsideJournal;
    // A journal this object did not read and accept lies beside the database: nothing is
    // appended to it.
    bool m_journalForeign = false;
    // Since the last write other than the background save's.
    QElapsedTimer m_foregroundWrite;
    // Whether the journal of edits may hold records.
    bool m_journaled = false;
    bool m_transactionBegun = false;
    bool m_beginning = false;
    qint64 m_writes = 0;
    AlertsMark m_alertsMark;
    bool m_transactionFailed = false;
    bool m_lockHeldElsewhere = false;
    std::function<void(const RowsChange &)> m_rowsChanged;
};
