#include "store/ASOStore.h"

#include "clients/AppleRequestError.h"
#include "keywords/KeywordScores.h"
#include "store/Settings.h"
#include "support/CountedScope.h"
#include "workflows/DiscoveryRun.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QPromise>

#include <algorithm>
#include <chrono>

// The one path of every search: a fresh stored search, else the running one of the same key,
// else a new one, recorded whatever its outcome.

namespace {

// A century, more than any cache window needs, so that the cutoff stays a valid time.
constexpr qint64 longestCacheMinutes = 100LL * 366 * 24 * 60;

SearchObservation unrecordedFailure(const QString &normalized, const QString &country, int limit, QString message)
{
    SearchObservation observation;
    observation.id = QUuid::createUuid();
    observation.keywordNormalized = normalized;
    observation.country = country;
    observation.requestedLimit = limit;
    observation.attempts = 1;
    observation.errorMessage = std::move(message);
    observation.checkedAt = QDateTime::currentDateTimeUtc();
    observation.hitsData = AppRecords::encodeHits({});
    return observation;
}

}

void ASOStore::shutDown()
{
    if (isShutDown())
        return;
    // The runs first: a run that saw its search fail before it was stopped would go on to the next.
    const auto runs = m_discoveries;
    for (const auto &run : runs) {
        if (run->isRunning())
            run->cancel();
    }
    // Aborts the requests under way and cuts their retry waits short.
    m_closing->cancel();
    // Searches waiting their turn would otherwise wait out the pace: up to a minute each.
    m_limiter->close();
}

bool ASOStore::isIdle() const
{
    if (m_searchesInProgress > 0 || m_removing)
        return false;
    return std::none_of(m_discoveries.cbegin(), m_discoveries.cend(),
                        [](const std::shared_ptr<DiscoveryRun> &run) { return run->isRunning(); });
}

QCoro::Task<SearchObservation> ASOStore::observation(Keyword keyword, QString country, bool force)
{
    const QPointer<ASOStore> self(this);
    const CountedScope<ASOStore> counted(this, &ASOStore::m_searchesInProgress);
    const auto &settings = Settings::shared();
    const auto normalized = keyword.normalized;
    const auto limit = static_cast<int>(settings.searchLimit());
    // Quitting: callers get their answer at once and stop at their next check.
    if (isShutDown())
        co_return unrecordedFailure(normalized, country, limit, QStringLiteral("cancelled"));
    if (!force) {
        const auto minutes = std::min(settings.cacheMinutes(), longestCacheMinutes);
        const auto cutoff = m_now().addSecs(-minutes * 60);
        const bool soundBefore = !m_db->damage();
        if (auto cached = m_db->cachedObservation(normalized, country, cutoff, limit)) {
            // A stored result comes back without waiting: callers that apply many in a row would
            // never let the window answer. Only here, so that a call made while a search runs
            // still joins it.
            co_await pauseIfSliceSpent();
            if (self)
                co_await self->awaitWriteLock();
            co_return *cached;
        }
        // This lookup found the file damaged: what a search finds could not be saved, and the
        // caller stops at its next look at the damage, rather than after a search at the pace.
        if (soundBefore && m_db->damage())
            co_return unrecordedFailure(normalized, country, limit, *m_db->damage());
    }

    const auto key = country + QLatin1Char('|') + normalized + QLatin1Char('|') + QString::number(limit);
    if (const auto running = m_running.constFind(key); running != m_running.cend())
    {
        auto shared = co_await sharedResult(self, running->future);
        if (self)
            co_await self->awaitWriteLock();
        co_return shared;
    }

    // Registered before anything waits, so that every later caller of the key joins this one.
    QPromise<SearchObservation> promise;
    promise.start();
    const auto serial = ++m_runningSerial;
    m_running.insert(key, RunningSearch{promise.future(), serial});
    m_limiter->configure(settings.requestsPerMinute());

    const auto observation = co_await searchTask(self, m_itunes, keyword.display, country, limit, normalized);
    promise.addResult(observation);
    promise.finish();
    if (!self)
        co_return observation;
    if (const auto entry = m_running.find(key); entry != m_running.end() && entry->serial == serial)
        m_running.erase(entry);
    if (!isShutDown())
        updateMetric(observation);
    co_return observation;
}

namespace {

// Every try to restart the log makes room once it ends, even when the log could not begin anew
// (a reader held an old snapshot); this is only a net. Well above what a try takes on a slow
// disk, so that the work never goes on while the restart's write syncs.
constexpr auto logRoomWait = std::chrono::seconds(10);
// How often a save after a reply looks whether another program still holds the write lock.
constexpr auto writeLockPoll = std::chrono::milliseconds(50);

}

QCoro::Task<> ASOStore::awaitWriteLock()
{
    const QPointer<ASOStore> self(this);
    const auto closing = m_closing;
    QElapsedTimer waited;
    waited.start();
    while (self && !self->isShutDown() && !self->m_db->writeLockFree()
           && waited.elapsed() < StoreDb::standardLockWait.count())
        co_await qCoro(closing.get(), &CancelToken::cancelled, writeLockPoll);
}

QCoro::Task<> ASOStore::awaitLogRoom()
{
    // Quitting does not wait for the log.
    const auto woken = CancelToken::create();
    connect(m_db.get(), &StoreDb::logRoomMade, woken.get(), &CancelToken::cancel);
    connect(m_closing.get(), &CancelToken::cancelled, woken.get(), &CancelToken::cancel);
    co_await qCoro(woken.get(), &CancelToken::cancelled, logRoomWait);
}

QCoro::Task<bool> ASOStore::awaitLogAnew()
{
    const QPointer<ASOStore> self(this);
    // A database in memory has no log: the next save finds all the room there is.
    const auto restarts = m_db->logRestarts();
    if (!m_db->beginLogAnew())
        co_return true;
    co_await awaitLogRoom();
    co_return self && self->m_db->logRestarts() > restarts;
}

QCoro::Task<> ASOStore::pauseIfSliceSpent()
{
    const QPointer<ASOStore> self(this);
    // The log begins anew on its own thread, which holds the write lock for a moment: the run waits
    // for it here rather than the window in its next commit.
    if (!isShutDown() && m_db->stepAsideForLog()) {
        // A quit ends the run at its next check.
        co_await awaitLogRoom();
        if (self)
            m_slice.restart();
        co_return;
    }
    if (!m_slice.spent())
        co_return;
    co_await EventLoopSlice::pause();
    if (self)
        m_slice.restart();
}

QCoro::Task<SearchObservation> ASOStore::sharedResult(QPointer<ASOStore> self, QFuture<SearchObservation> future)
{
    auto observation = co_await future;
    if (self && observation.persistentId != 0) {
        if (auto stored = self->m_db->observation(observation.persistentId))
            observation = *stored;
    }
    co_return observation;
}

QCoro::Task<SearchObservation> ASOStore::searchTask(QPointer<ASOStore> self, std::shared_ptr<AppSearching> client,
                                                    QString term, QString country, int limit, QString normalized)
{
    SearchObservation observation;
    observation.id = QUuid::createUuid();
    observation.keywordNormalized = normalized;
    observation.country = country;
    observation.requestedLimit = limit;
    QList<SearchHit> hits;
    const auto closing = self ? self->m_closing : CancelTokenPtr();
    try {
        const auto response = co_await client->search(term, country, limit, closing);
        observation.succeeded = true;
        observation.resultCount = response.resultCount;
        observation.attempts = response.attempts;
        hits = response.hits;
    } catch (const AppleRequestError &error) {
        observation.attempts = error.attempts;
        observation.errorMessage = error.description();
    } catch (const UserFacingError &error) {
        observation.attempts = 1;
        observation.errorMessage = error.description();
    } catch (const std::exception &error) {
        observation.attempts = 1;
        observation.errorMessage = QString::fromUtf8(error.what());
    } catch (...) {
        observation.attempts = 1;
        observation.errorMessage = QStringLiteral("The search failed.");
    }
    observation.checkedAt = QDateTime::currentDateTimeUtc();
    observation.hitsData = AppRecords::encodeHits(hits);
    // A search cut short by quitting is no failure of Apple's: it is not recorded as one.
    if (!self || self->isShutDown())
        co_return observation;
    co_await self->awaitWriteLock();
    if (!self || self->isShutDown())
        co_return observation;
    co_return self->record(std::move(observation));
}

SearchObservation ASOStore::record(SearchObservation observation)
{
    StoreDb::Transaction save(*m_db, StoreDb::shortLockWait);
    // Only the newest successful search of a keyword keeps its hits; a failed one takes
    // nothing away from it.
    if (observation.succeeded)
        m_db->clearLatestObservations(observation.keywordNormalized, observation.country);
    observation.isLatest = observation.succeeded;
    if (!m_db->insert(observation))
        observation.persistentId = 0;
    if (!save.commit())
        observation.persistentId = 0;
    return observation;
}

void ASOStore::updateMetric(const SearchObservation &observation)
{
    if (!observation.succeeded)
        return;
    QList<KeywordScores::Hit> top;
    for (const auto &hit : observation.hits()) {
        if (hit.rank <= 10)
            top.append(KeywordScores::Hit{hit.rank, hit.name, hit.ratingCount, hit.averageRating});
    }
    const auto result = KeywordScores::score(observation.keywordNormalized, top);
    if (!result.difficulty)
        return;
    auto metric = m_db->metric(KeywordMetric::makeKey(observation.keywordNormalized, observation.country))
                      .value_or(KeywordMetric(observation.keywordNormalized, observation.country));
    metric.difficulty = *result.difficulty;
    metric.resultCount = observation.resultCount;
    metric.topRatingMedian = result.topRatingMedian;
    metric.updatedAt = QDateTime::currentDateTimeUtc();
    StoreDb::Transaction save(*m_db, StoreDb::shortLockWait);
    m_db->insert(metric);
    save.commit();
}
