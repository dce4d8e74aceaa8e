#pragma once

#include "clients/AppSearching.h"
#include "clients/PopularityClient.h"
#include "clients/RateLimiter.h"
#include "keywords/DiscoveryPlanner.h"
#include "keywords/KeywordGap.h"
#include "keywords/Ranking.h"
#include "model/StoreDb.h"
#include "store/KeywordRow.h"
#include "store/RankPoint.h"
#include "support/CancelToken.h"
#include "support/EventLoopSlice.h"
#include "support/UserFacingError.h"
#include "workflows/CompetitorKeywordRow.h"
#include "workflows/LatestSearchCache.h"

#include <QCoroTask>
#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class DiscoveryRun;
struct MetadataDraft;
class QNetworkAccessManager;

// The one central store: owns the local database, the pacing of every request to Apple, the
// search client and the searches now running. Screens, workflows and the tracker go through
// it. Everything runs on the thread that created it.
//
// Records are values. Operations that wait for the network take their arguments by value and
// read what they need again, by key, after every wait: an app deleted meanwhile ends such an
// operation quietly.
//
// Inside the store a fetch that fails counts as empty, and a save of work in the background that
// fails is ignored. A save made at a click never waits for another program that holds the
// database: it is refused then, and the user is told (see saveAtClick()). dataVersion goes up after every change that
// screens must see; screens re-read on dataVersionSettled() and follow saves through saved(),
// which a burst of changes holds back (see Burst).
class ASOStore : public QObject
{
    Q_OBJECT
    Q_PROPERTY(qint64 dataVersion READ dataVersion WRITE setDataVersion NOTIFY dataVersionChanged)
    Q_PROPERTY(std::optional<QString> popularityError READ popularityError WRITE setPopularityError NOTIFY
                   popularityErrorChanged)
    Q_PROPERTY(std::optional<QString> databaseDamage READ databaseDamage NOTIFY databaseDamaged)
    Q_PROPERTY(bool writesHeld READ writesHeld NOTIFY writesHeldChanged)

public:
    // The store's own error.
    class StoreError : public UserFacingError
    {
    public:
        enum class Kind { notFound, cancelled, notSaved };

        // No storefront returned the app.
        static StoreError notFound(QString appleAppId) { return StoreError(Kind::notFound, std::move(appleAppId)); }
        // The caller gave the addition up while it waited.
        static StoreError cancelled(QString appleAppId) { return StoreError(Kind::cancelled, std::move(appleAppId)); }
        // Saving the app was refused; `message` says why (see saveAtClick()).
        static StoreError notSaved(QString appleAppId, QString message)
        {
            StoreError error(Kind::notSaved, std::move(appleAppId));
            error.m_message = std::move(message);
            return error;
        }

        Kind kind() const { return m_kind; }
        QString appleAppId() const { return m_appleAppId; }
        QString description() const override;

    private:
        StoreError(Kind kind, QString appleAppId) : m_kind(kind), m_appleAppId(std::move(appleAppId)) {}

        Kind m_kind;
        QString m_appleAppId;
        QString m_message;
    };

    struct AddAppResult
    {
        TrackedApp app;
        // False when the app was tracked already; it is then returned unchanged.
        bool created = false;
        // The storefront chosen for the request.
        QString country;
    };

    // The latest and the previous reading of an app for one keyword in one storefront.
    struct SnapshotPair
    {
        std::optional<RankPoint> latest;
        std::optional<RankPoint> previous;
        std::optional<QDateTime> lastFoundAt;
    };

    struct SearchOutcome
    {
        // The app's state and rank in the observation.
        Ranking::Reading position;
        SearchObservation observation;
    };

    using Clock = std::function<QDateTime()>;

    // Held by work that applies many search results in a row (tracking and discovery runs,
    // keywords searched in a batch). While any is held, dataVersionSettled() and saved() come at
    // most once every followInterval, and once more when the last one ends, so that screens
    // follow a burst of changes in a few steps rather than once per keyword.
    class Burst
    {
    public:
        explicit Burst(ASOStore *store);
        ~Burst();
        Burst(const Burst &) = delete;
        Burst &operator=(const Burst &) = delete;

    private:
        QPointer<ASOStore> m_store;
    };
    static constexpr std::chrono::milliseconds followInterval{250};

    // Runs the start-up repairs before it returns. Destroy the store before the application
    // exits: that closes the database cleanly (see StoreDb), else the next start checks the
    // whole file first. Without a search client the store builds
    // the default one over its own network access; without a popularity provider it builds a
    // client of the configured popularity service whenever it needs one.
    explicit ASOStore(std::unique_ptr<StoreDb> db, std::shared_ptr<AppSearching> itunes = {},
                      std::shared_ptr<PopularityProviding> popularityOverride = {}, QObject *parent = nullptr);
    ~ASOStore() override;

    StoreDb &db() { return *m_db; }
    const std::shared_ptr<RateLimiter> &limiter() const { return m_limiter; }
    const std::shared_ptr<AppSearching> &itunes() const { return m_itunes; }
    QNetworkAccessManager *network() const { return m_network; }

    // The clock of the search path's cache window; the system clock unless replaced. Every
    // time stamp the store writes comes from the system clock.
    QDateTime now() const { return m_now(); }
    void setNow(Clock now) { m_now = std::move(now); }

    // Change counter of the stored data; starts at 0. Observers learn only of other values.
    qint64 dataVersion() const { return m_dataVersion; }
    void setDataVersion(qint64 version);
    // Adds one.
    void raiseDataVersion();

    // What the user must be told once the database was found damaged (no change is saved from
    // then on); absent while it is sound.
    std::optional<QString> databaseDamage() const { return m_db->damage(); }
    // Whether the database refuses every write now: while it is checked after an unclean end,
    // and for good once it was found damaged. Actions that write are not offered meanwhile.
    bool writesHeld() const { return m_db->writesHeld() || m_db->damage(); }

    // The last popularity problem, absent after a refresh that succeeded.
    std::optional<QString> popularityError() const { return m_popularityError; }
    void setPopularityError(const std::optional<QString> &error);

    // The discovery runs, keyed "<appleAppId>|<country>". Observers learn of every assignment.
    const QHash<QString, std::shared_ptr<DiscoveryRun>> &discoveries() const { return m_discoveries; }
    void setDiscoveries(QHash<QString, std::shared_ptr<DiscoveryRun>> discoveries);

    // --- Tracked apps and keyword links

    // Tracks the app that the pasted link or ID names, looked up in the chosen, the default
    // and the favourite storefronts in turn; an app tracked already is returned unchanged.
    // Throws AppStoreInput::ParseError, the last failing lookup's AppleRequestError when no
    // storefront returned the app, else StoreError (not found), StoreError (not saved) when its
    // save was refused, or StoreDb::SaveError.
    // `extraCountries` are tried after those, where not among them already.
    // An app whose earlier removal goes on is added once its last row is gone (removalAwaited()
    // tells of the wait); `cancel`, cancelled before or during that wait, gives it up: nothing is
    // added, and StoreError (cancelled) is thrown. No other step looks at `cancel`.
    QCoro::Task<AddAppResult> addApp(QString input, bool isOwn, QStringList extraCountries = {},
                                     CancelTokenPtr cancel = {});
    std::optional<TrackedApp> app(const QString &appleAppId);
    // Every tracked app, oldest first.
    QList<TrackedApp> apps();
    // Deletes the app with its links, snapshots, rank states and alerts. The app and its alerts
    // leave every read at once; its rows go afterwards, in saves of bounded size that step aside
    // for the log as a run does. A removal cut short by quitting or a crash goes on after the next
    // start; adding the app again meanwhile waits for it, so the new app has none of the old rows.
    // The small save waits for another program's write lock only shortly, so that the window never
    // waits for it: when that save fails, the removal is refused and nothing changed (the app stays,
    // its discovery runs go on), problem() tells the user why, and false comes back.
    bool deleteApp(const TrackedApp &app);
    // Marks the app as own app or competitor, at a click: false when that was refused.
    bool setOwn(const TrackedApp &app, bool isOwn);
    std::optional<Keyword> keyword(const QString &normalized);
    // Links the usable candidates to the app, as work in the background does; returns how many
    // keywords gained their first link to it. `depth` is the discovery depth at which they were found.
    qint64 link(const QList<PlannedCandidate> &candidates, const TrackedApp &app, qint64 depth = 0);
    // Links typed texts as manual keywords, at a click: none when that was refused.
    std::optional<qint64> addKeywords(const QStringList &texts, const TrackedApp &app);
    // Removes every link of the app to the keyword, at a click; the keyword and its readings stay.
    // False when that was refused.
    bool unlink(const QString &normalized, const TrackedApp &app);
    // The normal forms of the keywords linked to the app.
    QSet<QString> linkedKeywords(const TrackedApp &app);
    qint64 linkCount(const TrackedApp &app);

    static QStringList uniquedPreservingOrder(const QStringList &list);

    // --- Searches

    // A search of the keyword's display text in the storefront: a fresh stored one unless
    // `force`, else the one running for the same keyword, storefront and limit, else a new
    // one, recorded. Never throws: a failed search comes back as a failed observation.
    QCoro::Task<SearchObservation> observation(Keyword keyword, QString country, bool force = false);

    // For quitting: every search under way is cut short and, like every later one, comes back
    // failed and unrecorded; popularity requests and discovery lookups are cut short too;
    // nothing is applied any more, discovery runs stop at their next check, and the rows of
    // removed apps stop going after their current save (the next start goes on). What was cut
    // short ends on the next turns of the event loop: turn it until isIdle() before destroying
    // the store, else the suspended tasks are left behind.
    void shutDown();
    bool isShutDown() const { return m_closing->isCancelled(); }
    // Cancelled by shutDown(): requests that must end when the application quits take it.
    const CancelTokenPtr &closing() const { return m_closing; }
    // No search is in progress, no discovery run is running, no removed app's rows are being
    // deleted and no alert edits wait to be written.
    bool isIdle() const;

    // Returns on a later turn of the event loop once the current slice of work that goes on
    // without waiting is spent, at once otherwise. The search path calls it before it answers
    // from a stored search; loops over many results call it between their other long steps too.
    // While the database's log is past its bound, it returns once the log began anew.
    QCoro::Task<> pauseIfSliceSpent();
    // Returns once the database's log was begun anew, or tried to, or the store shuts down.
    QCoro::Task<> awaitLogRoom();
    // Returns once no other program holds the database's write lock, or after as long as a save
    // would wait for it, or when the store shuts down: a save that follows a reply waits here,
    // between turns of the event loop, rather than in its begin, which holds the window.
    QCoro::Task<> awaitWriteLock();
    // Asks for the database's log to be copied back and begun anew, and waits for it: whether it
    // began anew (a reader's snapshot or another save can keep it from doing so).
    QCoro::Task<bool> awaitLogAnew();

    // Turns the observation into readings of the tracked apps it concerns: the calling app,
    // the apps linked to its keyword, and tracked apps among its hits.
    void apply(const SearchObservation &observation, const TrackedApp &app);
    // Searches, applies the result for the app and returns the app's position in it.
    QCoro::Task<SearchOutcome> search(Keyword keyword, TrackedApp app, QString country, bool force = false);

    std::optional<RankState> rankState(const QString &appleAppId, const QString &normalized, const QString &country);
    // The reading that a new one is compared with: the latest, or, after a failed one, the
    // usable reading before it.
    static std::optional<RankPoint> previousPoint(const RankState &state);

    // --- Alerts
    //
    // Marked and deleted alerts are so for every read through the store at once. A few are saved
    // at once; more are kept in the journal of edits (else recorded in the database) at once, and
    // the database follows in the background. A crash leaves them kept, and the next start
    // finishes them in the order they were made; destroying the store (quitting) saves them all
    // into the database, waiting for the write lock as any save does. Read them here rather than
    // from the database.

    // Every alert, newest first.
    QList<RankAlert> alerts();
    qint64 unreadAlertCount();
    // Created at or after the time, oldest first.
    QList<RankAlert> alertsSince(const QDateTime &time);
    // Stored after the one with this row id, newest first.
    QList<RankAlert> alertsAfter(qint64 persistentId);
    // Every alert's row id and read flag, in no particular order.
    QList<std::pair<qint64, bool>> alertReadFlags();
    // The database's mark of the alerts, with the marks and deletions made here.
    StoreDb::AlertsMark alertsMark();
    // An edit of alerts made through the store: these were marked read or unread, or deleted.
    struct AlertEditNote
    {
        QList<qint64> persistentIds;
        bool remove = false;
        bool read = false;
    };
    // The edits made since the mark's `edits`, in order; none when some of them are no longer
    // kept (only the last few are), and the alerts must be read again.
    std::optional<QList<AlertEditNote>> alertEditsSince(qint64 edits) const;
    void markAlertsRead(const QList<RankAlert> &alerts, bool read);
    void deleteAlerts(const QList<RankAlert> &alerts);

    // --- Popularity and metrics

    // Fetches the popularity of the app's keywords that is missing or older than a day (all
    // of them with `force`). Never throws; problems go to popularityError. A refresh cancelled
    // while the service answers leaves everything as it was: a newer one speaks for the screen.
    QCoro::Task<> refreshPopularity(TrackedApp app, QString country, bool force = false, CancelTokenPtr cancel = {});
    // Every metric of the storefront by normal form.
    QHash<QString, KeywordMetric> metrics(const QString &country);
    // The override given at construction, else a new client of the configured service, else
    // nothing.
    std::shared_ptr<PopularityProviding> popularityProvider();

    // --- Rows and history

    // The app's keyword rows in the storefront, in the order of their first links; kept for one
    // data version. A new version re-reads only the keywords whose links, rank states or metrics
    // were written meanwhile.
    QList<KeywordRow> rows(const TrackedApp &app, const QString &country);
    // The same rows read in full, past the cache.
    QList<KeywordRow> readRows(const TrackedApp &app, const QString &country);
    // Forgets the kept rows: the next rows() reads them in full.
    void forgetRows() { m_rowsCache.clear(); }
    // Per normal form, the app's readings in the storefront.
    QHash<QString, SnapshotPair> snapshotPairs(const TrackedApp &app, const QString &country);
    // The newest successful search of each of the keywords in the storefront that has one.
    QList<SearchObservation> latestObservations(const QSet<QString> &keywords, const QString &country);
    // The readings a rank state holds.
    static SnapshotPair snapshotPair(const RankState &state);
    // Every reading of the app for the keyword in the storefront, oldest first.
    QList<RankSnapshot> snapshots(const TrackedApp &app, const QString &country, const QString &normalized);

    // --- Competitors and research terms

    // How many of an app's keywords have a stored search in a storefront.
    struct EvidenceCoverage
    {
        qint64 keywords = 0;
        // Latest search successful, with or without the app in it.
        qint64 succeeded = 0;
        // Only failed searches stored.
        qint64 failed = 0;
    };

    struct KeywordGapRows
    {
        // The app's keywords where the competitor ranks well and the app far lower or not at all.
        QList<CompetitorKeywordRow> opportunities;
        // The competitor's keywords that the app does not track.
        QList<CompetitorKeywordRow> untracked;
    };

    // One entry per keyword: the hits of its newest successful search in the storefront, else
    // failed when only failed searches are stored, else not checked.
    KeywordGap::EvidenceMap latestEvidence(const QSet<QString> &keywords, const QString &country);
    // Every tracked app that is not an own app, except the app itself, by name.
    QList<TrackedApp> competitors(const TrackedApp &app);
    // Untracked apps that rank in the top 20 for several of the app's keywords.
    QList<KeywordGap::Suggestion> suggestedCompetitors(const TrackedApp &app, const QString &country, int limit);
    EvidenceCoverage evidenceCoverage(const TrackedApp &app, const QString &country);
    // The reads of stored searches that an analysis of these apps' keywords in the storefront
    // waits for, started on the pool's threads when they are many: await them (never block on
    // them), then analyse. None: the analysis may run at once.
    QList<QFuture<void>> readCompetitorSearches(const QList<TrackedApp> &apps, const QString &country);
    // One row per keyword of the app, by normal form.
    QList<CompetitorKeywordRow> comparisonRows(const TrackedApp &app, const TrackedApp &competitor,
                                               const QString &country);
    KeywordGapRows keywordGapRows(const TrackedApp &app, const TrackedApp &competitor, const QString &country);
    // One row per comparison, in the same order, with the keyword's metric in the storefront.
    QList<CompetitorKeywordRow> competitorKeywordRows(const QList<KeywordGap::Comparison> &comparisons,
                                                      const QString &country);
    // The display texts of those of the keywords that are stored, by normal form.
    QHash<QString, QString> keywordDisplays(const QStringList &normalized);

    // Tracks the app as a competitor (an own app stays own), also looked up in the viewed
    // storefront, and adds that storefront to its tracked ones. Throws what addApp() throws.
    QCoro::Task<TrackedApp> addCompetitor(QString input, QString country);
    // Links the competitor's keywords (normal forms) to the app, then searches each in turn (a
    // fresh stored search is reused), applies it to the app and refreshes popularity. Never throws;
    // false when the links were refused, and then nothing is searched.
    QCoro::Task<bool> addCompetitorKeywords(QStringList keywords, TrackedApp competitor, TrackedApp app, QString country);
    // Links the terms as manual keywords of the app and tracks the storefront, in one save, then
    // searches them in turn and refreshes popularity; returns how many keywords were new to the
    // app, none when the save was refused (nothing is searched then). Never throws.
    QCoro::Task<std::optional<qint64>> addResearchTerms(QStringList terms, TrackedApp app, QString country);

    // --- Metadata drafts (workflows/MetadataDraft.cpp)

    // The app's stored draft, else a new one from its current name; a new draft is not stored.
    MetadataDraft metadataDraft(const TrackedApp &app);
    // Stores a copy of the draft stamped with the current time; the draft given is unchanged.
    void saveMetadataDraft(const MetadataDraft &draft, const QString &appleAppId);

    // --- Discovery runs

    // What earlier searches tell a discovery round about an app in a storefront.
    struct DiscoveryEvidence
    {
        // Phrases around the keywords the app ranks for, best rank first.
        QStringList phrases;
        // The latest search of every linked keyword, with its hits ranked 20 or better.
        QList<DiscoveryPlanner::ObservedKeyword> observations;
    };

    // The run of the app in the storefront: the running one if there is one, else a new run
    // with the budget and depth of the settings, whose task starts once the caller returns to
    // the event loop. A new run adds the storefront to the app's storefronts, at a click: none
    // when that was refused.
    std::shared_ptr<DiscoveryRun> startDiscovery(const TrackedApp &app, const QString &country);
    // The last run started for the app in the storefront, running or finished; null when none.
    std::shared_ptr<DiscoveryRun> discoveryRun(const TrackedApp &app, const QString &country) const;
    // Ends the run: "Stopped" when it was cancelled, else "Done". Only the rounds call it.
    void finishDiscovery(DiscoveryRun &run);
    // The round loop of a run's task; startDiscovery() enters it. Every way out finishes the
    // run, except the store's own destruction.
    QCoro::Task<> runDiscovery(std::shared_ptr<DiscoveryRun> run, TrackedApp app);

    // The normal forms of the keywords the app is found for in the storefront, best rank first.
    QStringList observedKeywords(const TrackedApp &app, const QString &country);
    DiscoveryEvidence discoveryEvidence(const TrackedApp &app, const QString &country);
    // The app's linked keywords that are due for a search, in the order to search them: never
    // read first, then by priority, then by text; at most `limit`, none of `excluding`.
    QList<Keyword> keywordsToSearch(const TrackedApp &app, const QString &country, qint64 limit,
                                    const QSet<QString> &excluding);

Q_SIGNALS:
    void dataVersionChanged(qint64 dataVersion);
    // The data version moved since screens last read: with every raise, but during a burst at
    // most once every followInterval and at its end. Screens read again on this one.
    void dataVersionSettled(qint64 dataVersion);
    void popularityErrorChanged(const std::optional<QString> &popularityError);
    void discoveriesChanged();
    // Changes were saved to the database: after every save, but during a burst at most once every
    // followInterval and at its end.
    void saved();
    // The database was found damaged; emitted once, with the text to show.
    void databaseDamaged(const std::optional<QString> &databaseDamage);
    void writesHeldChanged(bool writesHeld);
    // The rows of removed apps stopped going: all are gone, or quitting or a held or damaged
    // database stopped them.
    void removalsEnded();
    // An addition of the app waits for the app's earlier removal to end.
    void removalAwaited(const QString &appleAppId);
    // Something the user must know of that no screen shows by itself, such as an edit that
    // could not be kept.
    void problem(const QString &message);

private:
    // Saves made at a click (ASOStoreApps.cpp). The writes go in one save that waits for another
    // program's write lock only briefly (StoreDb::shortLockWait), so that the window never waits
    // for that program: while it holds the lock, the save is refused and nothing of it is stored.
    // `writes` runs inside the save; false from it fails the save. What to tell the user when
    // the save failed: `refused`, what could not be done ("The app could not be removed"), then
    // why; none when it was saved.
    std::optional<QString> saveAtClick(const QString &refused, const std::function<bool()> &writes);
    // The same, telling the user through problem(); false when it failed. Held or damaged writes
    // are told otherwise.
    bool saveAtClickOrTell(const QString &refused, const std::function<bool()> &writes);
    // Links the candidates at a click and adds the storefront, when given, to the app's tracked
    // ones in the same save. How many keywords gained their first link to the app; none when the
    // save was refused.
    std::optional<qint64> linkAtClick(const QList<PlannedCandidate> &candidates, const TrackedApp &app,
                                      const QString &country = {});
    // Typed texts as manual keywords.
    static QList<PlannedCandidate> manualCandidates(const QStringList &texts);
    // A link to write: its keyword, stored or not, and its candidate.
    struct PlannedLink
    {
        PlannedCandidate candidate;
        QString normalized;
        QString display;
        std::optional<Keyword> keyword;
        qint64 position = 0;
    };
    // The links of the candidates the stored app lacks, and how many keywords they link first.
    std::pair<QList<PlannedLink>, qint64> planLinks(const QList<PlannedCandidate> &candidates, const TrackedApp &stored);
    // Writes them in the open save; false when a write failed.
    bool writeLinks(const QList<PlannedLink> &links, const TrackedApp &stored, qint64 depth);
    // The stored app with the storefront added to its tracked ones; none when it is tracked there
    // already or the app is gone.
    std::optional<TrackedApp> withCountry(const QString &appleAppId, const QString &country);
    // addApp(); a new app is tracked in `alsoTracked` too, when given, from its first save.
    QCoro::Task<AddAppResult> addAppTracked(QString input, bool isOwn, QStringList extraCountries,
                                            CancelTokenPtr cancel, QString alsoTracked);

    struct RunningSearch
    {
        QFuture<SearchObservation> future;
        quint64 serial = 0;
    };

    // Emits now, or during a burst once the follow timer runs out.
    void noteSaved();
    void noteDataVersion();
    void followChanges();

    // Start-up repairs.
    void clearUnknownPopularitySources();
    void migrateLayoutIfNeeded();

    // Removing apps (ASOStoreRemovals.cpp): deletes the rows of removed apps in the background
    // unless that runs already or writes are refused.
    void finishRemovals();
    // The removal that the background writer works on next, of those pending: one that someone waits for
    // first. Wakes those waiting for an app whose removal is no longer pending.
    const StoreDb::AppRemoval &nextRemoval(const QList<StoreDb::AppRemoval> &removals);
    // Once no removal of the app is pending; false when quitting or refused writes stopped it
    // first, or when `cancel` was cancelled before or during the wait.
    QCoro::Task<bool> removalEnded(QString appleAppId, CancelTokenPtr cancel = {});

    // Writing in the background (ASOStoreWriter.cpp): alert edits first, then the rows of removed
    // apps, each long save of it (see StoreDb::BackgroundSave) written in short steps on turns
    // of the event loop. Runs until nothing is left, quitting, or writes are refused; a save that
    // could not take the write lock or failed is tried again later.
    void startBackgroundWrites();
    static QCoro::Task<> writeInBackground(QPointer<ASOStore> self);
    // One step of the work, in the open background save, counting the rows it changed: false
    // when nothing is left.
    bool writeStep(qint64 &rows);
    bool hasBackgroundWork();

    // Alert edits not yet written, by row id.
    struct AlertEdit
    {
        bool remove = false;
        bool read = false;
        // As the database holds it.
        bool unreadStored = false;
        // What the edit changes in the count of unread alerts.
        qint64 unreadChange() const;
    };
    // An edit not saved at once, recorded in the journal of edits or in the database until its
    // alerts are all written; while it is in neither, it keeps its alerts here. `key`: its
    // record's key in the database. `end`: where its alerts end in the queue of edits.
    struct AlertEditBatch
    {
        QString key;
        bool journaled = false;
        qint64 end = 0;
        StoreDb::AlertEditKind kind = StoreDb::AlertEditKind::remove;
        QList<StoreDb::AlertIdRun> runs;
        // Where it stands among all edits, wherever kept.
        qint64 sequence = 0;
        // A damaged record in the database: set aside in the save that writes the edits read
        // with it, so that it is told of once.
        bool damaged = false;

        bool recorded() const { return journaled || !key.isEmpty(); }
    };
    QList<RankAlert> withAlertEdits(QList<RankAlert> alerts) const;
    void reserveAlertEdits(qsizetype count);
    void editAlert(qint64 persistentId, bool isRead, bool remove, bool read);
    // Edits the alerts (row id, read as shown) and saves or records the edit.
    void editAlerts(const QList<std::pair<qint64, bool>> &alerts, StoreDb::AlertEditKind kind);
    void forgetAlertEditsOf(const QString &appleAppId);
    // Saves the records of edits not recorded yet, in order; false when a save failed.
    bool recordAlertEdits(std::chrono::milliseconds lockWait);
    // Once a save held the last journaled edit: the journal goes.
    void clearAlertEditJournalIfSaved();
    // A background save was rolled back: the edits it held are read again at once.
    void alertEditsRolledBack();
    // The edits as the records in the database and those not recorded yet say, after a start or
    // after the background save that held some of them was rolled back. At the start, what the
    // user must know of them is told once the event loop turns.
    void loadAlertEdits(bool atStart = false);
    // While the journal is empty: the database takes a new state for the next journal to name,
    // so that no copy of the file from before it is edited by it.
    void renewAlertEditJournalOwner();
    // Quitting: every edit into the database, waiting for the write lock as any save does, and
    // the journal emptied; what could not be saved stays recorded.
    void saveAlertEditsAtQuit();
    // Writes the next `count` edits, in the open background save if any, else in a save that
    // waits `lockWait` for the write lock; false when a write failed.
    bool writeAlertEdits(qsizetype count, std::chrono::milliseconds lockWait = StoreDb::shortLockWait);
    bool writeAlertEditsNow(qsizetype count, std::chrono::milliseconds lockWait);

    // Search path.
    static QCoro::Task<SearchObservation> sharedResult(QPointer<ASOStore> self, QFuture<SearchObservation> future);
    static QCoro::Task<SearchObservation> searchTask(QPointer<ASOStore> self, std::shared_ptr<AppSearching> client,
                                                     QString term, QString country, int limit, QString normalized);
    SearchObservation record(SearchObservation observation);
    void updateMetric(const SearchObservation &observation);

    void raiseAlerts(const TrackedApp &app, const SearchObservation &observation, const Ranking::Reading &current,
                     const std::optional<RankPoint> &previous, const QString &keywordDisplay);
    // The keyword rows of one app in one storefront, with what was written since they were read.
    struct CachedRows
    {
        QString appleAppId;
        qint64 appPersistentId = 0;
        QString country;
        qint64 dataVersion = 0;
        QList<KeywordRow> rows;
        // The row id of each row's first link, ascending: the rows' order.
        QList<qint64> firstLinks;
        // Written since: any keyword, else these.
        bool stale = false;
        QSet<QString> changed;
        QList<qint64> changedKeywordIds;
    };
    void noteRowsChange(const StoreDb::RowsChange &change);
    void catchUp(CachedRows &cached, const TrackedApp &app);

    std::unique_ptr<StoreDb> m_db;
    QNetworkAccessManager *m_network = nullptr;
    std::shared_ptr<RateLimiter> m_limiter;
    std::shared_ptr<AppSearching> m_itunes;
    qint64 m_dataVersion = 0;
    QHash<QString, std::shared_ptr<DiscoveryRun>> m_discoveries;
    QHash<QString, RunningSearch> m_running;
    quint64 m_runningSerial = 0;
    QHash<QString, CachedRows> m_rowsCache;
    std::shared_ptr<PopularityProviding> m_popularityOverride;
    CancelTokenPtr m_closing = CancelToken::create();
    // Calls of observation() not yet returned.
    int m_searchesInProgress = 0;
    std::optional<QString> m_popularityError;
    Clock m_now;
    bool m_writesHeld = false;
    // Stored results come back without waiting; the search path returns to the event loop
    // between slices of them.
    EventLoopSlice m_slice;
    int m_bursts = 0;
    bool m_savedPending = false;
    bool m_versionPending = false;
    QTimer m_followTimer;
    // The background writer runs.
    bool m_removing = false;
    // Removals stopped short of memory or disk room even in their smallest saves: the next start
    // tries again.
    bool m_removalsStopped = false;
    // Those waiting in removalEnded(): the app, and what wakes the wait.
    QList<std::pair<QString, CancelTokenPtr>> m_removalWaits;
    QHash<qint64, AlertEdit> m_alertEdits;
    // Their row ids in the order they were made; an id gone from m_alertEdits is passed over.
    QList<qint64> m_alertEditQueue;
    // How many were taken off the queue's front since it was last built.
    qint64 m_alertEditsTaken = 0;
    QList<AlertEditBatch> m_alertEditBatches;
    // The background save that held some of them was rolled back: read them again.
    bool m_alertEditsLost = false;
    // Alert edits are written now: a rollback meanwhile is followed up once that is done.
    bool m_writingAlertEdits = false;
    // An edit could be neither saved nor recorded, and the user was told.
    bool m_alertEditsUnrecordedTold = false;
    // A damaged record of edits was passed over, and the user was told.
    bool m_damagedAlertEditsTold = false;
    // No row id was left for a new alert, and the user was told.
    bool m_alertIdsUsedUpTold = false;
    // Their change of the unread count.
    qint64 m_alertEditsUnread = 0;
    // The place of the next edit among all edits.
    qint64 m_nextAlertEditSequence = 1;
    // The changes of the database's mark that writing edits the reads showed already made.
    StoreDb::AlertsMark m_writtenEditsMark;
    // The last edits made here, and the number of the first of them.
    QList<AlertEditNote> m_editNotes;
    qint64 m_firstEditNote = 1;
    // The alerts they name, in all.
    qsizetype m_editNoteIds = 0;
    void noteAlertEdit(AlertEditNote note);
    // Rows a long save may change before it is saved: adapted so that a save writes about as
    // much into the log as the writer aims at.
    qint64 m_saveRows = 20000;
    // Rows one statement of a removal deletes, adapted to take a short while.
    qint64 m_removalLimit = 50;
    // The stored count of unread alerts, as of the database's mark.
    std::optional<std::pair<StoreDb::AlertsMark, qint64>> m_storedUnread;

    // Competitor analysis (workflows/ASOStoreCompetitors.cpp).
    LatestSearchCache m_latestSearches;
};
