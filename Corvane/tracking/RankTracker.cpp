#include "tracking/RankTracker.h"

#include "keywords/Ranking.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "support/CountedScope.h"
#include "tracking/TrackingNotifications.h"
#include "tracking/TrackingSchedule.h"
#include "workflows/DiscoveryRun.h"

#include <QLoggingCategory>
#include <QSet>
#include <QStringList>

#include <exception>

namespace {

Q_LOGGING_CATEGORY(lcTracker, "vantu.tracker")

QString counted(qint64 count, const QString &noun)
{
    return QString::number(count) + QLatin1Char(' ') + noun + (count == 1 ? QString() : QStringLiteral("s"));
}

QList<Ranking::ResultEntry> resultEntries(const SearchObservation &observation)
{
    QList<Ranking::ResultEntry> entries;
    for (const auto &hit : observation.hits())
        entries.append(Ranking::ResultEntry{hit.appleAppId, hit.rank});
    return entries;
}

// Whether the user still tracks the keyword for the app: one indexed read, not the app's links.
bool stillLinked(ASOStore &store, const TrackedApp &app, const Keyword &keyword)
{
    return store.db().isLinked(app.persistentId, keyword.normalized);
}

} // namespace

RankTracker::RankTracker(ASOStore *store, TrackingNotifying *notifier, QObject *parent)
    : QObject(parent), m_store(store), m_notifier(notifier),
      m_now([] { return QDateTime::currentDateTimeUtc(); }), m_sleep(realSleep())
{
}

RankTracker::~RankTracker()
{
    // A loop waiting on the real clock would otherwise keep its timer for up to half an hour.
    if (m_loop)
        m_loop->cancel();
}

void RankTracker::setClock(Clock now)
{
    m_now = std::move(now);
}

void RankTracker::setSleep(SleepFunction sleep)
{
    m_sleep = std::move(sleep);
}

void RankTracker::setManualRun(CancelTokenPtr run)
{
    if (m_manualRun == run)
        return;
    m_manualRun = std::move(run);
    Q_EMIT manualRunChanged(m_manualRun);
}

void RankTracker::setManualRunActive(bool active)
{
    if (m_manualRunActive == active)
        return;
    m_manualRunActive = active;
    Q_EMIT manualRunActiveChanged(active);
}

void RankTracker::setIsRunning(bool running)
{
    if (m_isRunning == running)
        return;
    m_isRunning = running;
    Q_EMIT isRunningChanged(running);
}

void RankTracker::setProgress(const std::optional<Progress> &progress)
{
    if (m_progress == progress)
        return;
    m_progress = progress;
    Q_EMIT progressChanged(m_progress);
}

void RankTracker::setLastRunAt(const std::optional<QDateTime> &time)
{
    if (m_lastRunAt == time)
        return;
    m_lastRunAt = time;
    Q_EMIT lastRunAtChanged(m_lastRunAt);
}

void RankTracker::setLastSummary(const std::optional<QString> &summary)
{
    if (m_lastSummary == summary)
        return;
    m_lastSummary = summary;
    Q_EMIT lastSummaryChanged(m_lastSummary);
}

void RankTracker::setLastProblem(const std::optional<QString> &problem)
{
    if (m_lastProblem == problem)
        return;
    m_lastProblem = problem;
    Q_EMIT lastProblemChanged(m_lastProblem);
}

void RankTracker::advanceProgress()
{
    if (m_progress) {
        ++m_progress->done;
        Q_EMIT progressChanged(m_progress);
    }
    // Screens rebuild their rows on every raise, so not after each search.
    if ((!m_progress || m_progress->done % 5 == 0) && m_store)
        m_store->raiseDataVersion();
}

void RankTracker::dropFromProgress()
{
    // The count of the job shrinks rather than the searched count growing: "done" stays the
    // keywords searched, and it still reaches the total when the job ends.
    if (m_progress && m_progress->total > m_progress->done) {
        --m_progress->total;
        Q_EMIT progressChanged(m_progress);
    }
}

void RankTracker::finishRun()
{
    setIsRunning(false);
    setProgress(std::nullopt);
    if (m_store)
        m_store->raiseDataVersion();
}

std::optional<QDateTime> RankTracker::nextRunDate(const QDateTime &after) const
{
    if (!m_store)
        return std::nullopt;
    return TrackingSchedule::nextRunDate(*m_store, after);
}

void RankTracker::shutDown()
{
    m_shutDown = true;
    if (m_loop)
        m_loop->cancel();
    if (m_manualRun)
        m_manualRun->cancel();
}

void RankTracker::start()
{
    if (m_loop || m_shutDown)
        return;
    m_loop = CancelToken::create();
    Q_EMIT loopChanged(m_loop);
    detached(loopTask(QPointer<RankTracker>(this), m_loop));
}

QCoro::Task<> RankTracker::loopTask(QPointer<RankTracker> self, CancelTokenPtr cancel)
{
    const CountedScope<RankTracker> scope(self, &RankTracker::m_tasks);
    if (!self)
        co_return;
    co_await self->m_sleep(initialDelay, cancel);
    for (;;) {
        if (cancel->isCancelled() || !self || !self->m_store)
            co_return;
        if (!self->m_isRunning) {
            const auto due = TrackingSchedule::dueJobs(*self->m_store, self->now());
            // The loop's run stops when the loop is cancelled.
            if (!due.isEmpty())
                co_await self->run(due, cancel);
        }
        if (!self)
            co_return;
        // Copied out first: the tracker may go away during the wait.
        const auto sleep = self->m_sleep;
        co_await sleep(checkInterval, cancel);
    }
}

QCoro::Task<> RankTracker::detached(QCoro::Task<> task)
{
    try {
        co_await std::move(task);
    } catch (const std::exception &error) {
        qCWarning(lcTracker) << "tracking stopped:" << error.what();
    } catch (...) {
        qCWarning(lcTracker) << "tracking stopped";
    }
}

QCoro::Task<> RankTracker::run(QList<TrackingJob> jobs, CancelTokenPtr cancel)
{
    return perform(QPointer<RankTracker>(this), std::move(jobs), std::move(cancel));
}

QCoro::Task<> RankTracker::runAll(CancelTokenPtr cancel)
{
    return run(m_store ? TrackingSchedule::allJobs(*m_store) : QList<TrackingJob>(), std::move(cancel));
}

ASOStore *RankTracker::store() const
{
    return m_store;
}

void RankTracker::startManualRun()
{
    if (m_isRunning || m_shutDown)
        return;
    auto handle = CancelToken::create();
    setManualRun(handle);
    setManualRunActive(true);
    detached(manualTask(QPointer<RankTracker>(this), std::move(handle)));
}

QCoro::Task<> RankTracker::manualTask(QPointer<RankTracker> self, CancelTokenPtr handle)
{
    // Cleared however the run ends, or the screens would offer Stop for a run that is over.
    std::exception_ptr failure;
    try {
        co_await self->runAll(std::move(handle));
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        self->setManualRunActive(false);
    if (failure)
        std::rethrow_exception(failure);
}

void RankTracker::stopManualRun()
{
    if (m_manualRun)
        m_manualRun->cancel();
}

QCoro::Task<> RankTracker::perform(QPointer<RankTracker> self, QList<TrackingJob> jobs, CancelTokenPtr cancel)
{
    const CountedScope<RankTracker> scope(self, &RankTracker::m_tasks);
    // Tested and set before the first wait, so two runs never overlap.
    if (!self || self->m_isRunning || !self->m_store || self->m_shutDown)
        co_return;
    self->setIsRunning(true);
    const ASOStore::Burst burst(self->m_store);
    // Compared with the creation times of alerts, which come from the system clock.
    const auto startedAt = QDateTime::currentDateTimeUtc();
    QStringList notes;
    QSet<QString> completed;
    qint64 rechecked = 0;
    // The tracker or the store went away during a wait: nothing is left to report to.
    const auto gone = [&self] { return !self || !self->m_store; };
    // Damage refuses every save, and each further read of the file would fail and log the same
    // warning: the run ends as when it is stopped.
    bool damaged = false;
    const auto damageFound = [&self, &damaged] {
        damaged = damaged || self->m_store->databaseDamage().has_value();
        return damaged;
    };
    const auto stopped = [&self, &cancel, &damageFound] {
        return isCancelled(cancel) || self->m_shutDown || damageFound();
    };

    for (qsizetype j = 0; j < jobs.size(); ++j) {
        const TrackingJob job = jobs.at(j);
        // The end of a job and the choice of the next one's keywords both read much.
        co_await self->m_store->pauseIfSliceSpent();
        if (gone())
            break;
        if (stopped())
            break;
        const auto app = self->m_store->db().appByAppleId(job.appleAppId);
        if (!app)
            continue;
        const QString label = app->name + QStringLiteral(" (") + job.country.toUpper() + QLatin1Char(')');
        // Both would search and apply the same keywords at once.
        if (const auto discovery = self->m_store->discoveryRun(*app, job.country); discovery && discovery->isRunning()) {
            notes.append(QStringLiteral("Skipped ") + label
                         + QStringLiteral(" while discovery runs; it is retried at the next check."));
            continue;
        }
        const auto jobTime = self->now();
        const auto keywords = TrackingSchedule::keywordsToRecheck(*self->m_store, *app, job.country, jobTime);
        self->setProgress(Progress{app->name, job.country, 0, keywords.size()});

        qint64 failures = 0;
        qint64 successes = 0;
        // Keywords whose tracking stopped during the run: neither searched nor failed.
        qint64 dropped = 0;
        for (qsizetype k = 0; k < keywords.size(); ++k) {
            const Keyword keyword = keywords.at(k);
            if (stopped())
                break;
            const auto current = self->m_store->db().appByAppleId(job.appleAppId);
            if (!current)
                break;
            if (!stillLinked(*self->m_store, *current, keyword)) {
                ++dropped;
                self->dropFromProgress();
                continue;
            }
            const auto observation = co_await self->m_store->observation(keyword, job.country, false);
            // At quit the search was cut short: it is no reading.
            if (gone() || self->m_shutDown || damageFound())
                break;
            // Stopped while it was searched: its reading would raise alerts the user no longer wants.
            if (const auto after = self->m_store->db().appByAppleId(job.appleAppId);
                after && !stillLinked(*self->m_store, *after, keyword)) {
                ++dropped;
                self->dropFromProgress();
                continue;
            }
            self->m_store->apply(observation, *app);
            const auto position = Ranking::outcome(observation.succeeded, resultEntries(observation), app->appleAppId);
            ++(position.state == RankingState::requestFailed ? failures : successes);
            self->advanceProgress();
        }
        if (gone())
            break;
        rechecked += successes;
        if (stopped() || !self->m_store->db().appByAppleId(job.appleAppId))
            break;
        // A job whose keywords all stopped being tracked is done, as one with none to re-check.
        const qint64 searched = keywords.size() - dropped;
        if (searched > 0 && successes == 0) {
            notes.append(QStringLiteral("All ") + QString::number(failures) + QStringLiteral(" searches for ") + label
                         + QStringLiteral(" failed; retrying at the next check."));
            continue;
        }
        if (failures >= 1) {
            notes.append(QString::number(failures) + QStringLiteral(" of ") + QString::number(searched)
                         + QStringLiteral(" searches for ") + label + QStringLiteral(" failed and are shown as failed."));
        }
        co_await self->m_store->refreshPopularity(*app, job.country, false);
        if (gone())
            break;
        TrackingSchedule::markRan(job.appleAppId, job.country, jobTime);
        completed.insert(job.key());
    }

    if (!self)
        co_return;
    if (!self->m_store) {
        self->finishRun();
        co_return;
    }
    if (damaged) {
        qCWarning(lcTracker) << "tracking stopped: the database is damaged";
        notes.append(QStringLiteral("Tracking stopped: changes cannot be saved, as the local database is damaged."));
    }
    QList<RankAlert> alerts;
    for (const auto &alert : self->m_store->alertsSince(startedAt)) {
        if (completed.contains(TrackingJob{alert.appleAppId, alert.country}.key()))
            alerts.append(alert);
    }
    self->setLastRunAt(self->now());
    self->setLastProblem(notes.isEmpty() ? std::nullopt : std::optional<QString>(notes.join(QLatin1Char('\n'))));
    QString summary = counted(rechecked, QStringLiteral("keyword")) + QStringLiteral(" rechecked");
    if (!alerts.isEmpty())
        summary += QStringLiteral(", ") + counted(alerts.size(), QStringLiteral("alert"));
    self->setLastSummary(summary);

    const auto &settings = Settings::shared();
    // Not while quitting: the alerts stay listed, and quitting must not wait for the service.
    if (settings.alertsEnabled() && settings.notificationsEnabled() && self->m_notifier && !self->m_shutDown) {
        if (const auto content = TrackingNotifications::notificationContent(alerts)) {
            co_await self->m_notifier->notify(content->title, content->body);
            if (!self)
                co_return;
        }
    }
    self->finishRun();
}
