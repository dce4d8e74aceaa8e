#include "store/ASOStore.h"

#include "keywords/KeywordSource.h"
#include "store/Settings.h"
#include "workflows/DiscoveryRun.h"

#include <QCoroTimer>

#include <chrono>
#include <cmath>
#include <exception>

// The rounds of a discovery run: propose candidates, link them, search the most promising
// linked keywords within the budget, until the last depth or until nothing new turns up.

namespace {

// A round whose searches keep missing the app gives up the rest of them after this many.
constexpr qint64 missStreakLimit = 40;

QString roundText(qint64 round)
{
    return QStringLiteral("Round ") + QString::number(round);
}

// The state of one run's loop over its rounds. Lives in the frame of runDiscovery().
class Rounds
{
public:
    Rounds(ASOStore *store, std::shared_ptr<DiscoveryRun> run, QString appleAppId)
        : m_store(store), m_run(std::move(run)), m_appleAppId(std::move(appleAppId)), m_country(m_run->country())
    {
    }

    QCoro::Task<> run()
    {
        m_run->appendNote(QStringLiteral(
            "Apple has no public autocomplete API; suggestions come from titles in real Apple search results."));
        for (qint64 depth = 0; depth <= m_run->maxDepth(); ++depth) {
            if (!co_await round(depth))
                co_return;
        }
    }

private:
    // One round; false when the run has finished (or the store is gone).
    QCoro::Task<bool> round(qint64 depth)
    {
        const qint64 n = depth + 1;
        auto app = appOrStop();
        if (!app)
            co_return false;
        const qint64 remaining = m_run->budget() - m_run->queued();
        m_run->setRound(n);
        m_run->setPhase(roundText(n) + QStringLiteral(": generating candidates"));

        QSet<QString> existing;
        QStringList seeds;
        for (const auto &linked : m_store->db().linksOfApp(app->persistentId)) {
            if (!linked.keyword)
                continue;
            existing.insert(linked.keyword->normalized);
            const auto source = KeywordSources::fromRaw(linked.link.sourceRaw);
            if (!source || *source == KeywordSource::manual)
                seeds.append(linked.keyword->display);
        }

        QList<PlannedCandidate> candidates;
        if (depth == 0) {
            candidates = DiscoveryPlanner::roundZero(app->appInfo(), seeds,
                                                     m_store->observedKeywords(*app, m_country), existing);
        } else {
            const auto evidence = m_store->discoveryEvidence(*app, m_country);
            const auto related = DiscoveryPlanner::relatedApps(app->appInfo(), evidence.observations, m_inspected,
                                                               static_cast<int>(Settings::shared().relatedApps()));
            QList<AppInfo> relatedMeta;
            if (!related.isEmpty()) {
                relatedMeta = co_await lookUp(n, related);
                if (!m_self)
                    co_return false;
                // Nothing is read of or linked to an app deleted during the lookup. A stop asked
                // meanwhile waits for the next search check, so the round still links its
                // candidates and counts its picks.
                app = appOrStop(false);
                if (!app)
                    co_return false;
            }
            candidates = DiscoveryPlanner::roundN(app->appInfo(), evidence.phrases, evidence.observations, relatedMeta,
                                                  true, m_store->observedKeywords(*app, m_country), existing);
        }

        // Another program's write lock is waited for between turns, not in the save.
        co_await m_store->awaitWriteLock();
        if (!m_self)
            co_return false;
        const auto added = m_store->link(candidates, *app, depth);
        m_run->addCandidates(added);

        const qint64 rounds = m_run->maxDepth() - depth + 1;
        const qint64 quota = depth == m_run->maxDepth()
            ? remaining
            : static_cast<qint64>(std::ceil(static_cast<double>(remaining) / static_cast<double>(rounds)));
        const auto picks = m_store->keywordsToSearch(*app, m_country, quota, m_searched);
        m_run->addQueued(picks.size());
        m_run->setPhase(roundText(n) + QStringLiteral(": searching ") + QString::number(picks.size())
                        + QStringLiteral(" keywords on Apple"));

        if (!co_await search(n, picks))
            co_return false;

        m_store->raiseDataVersion();
        co_await m_store->refreshPopularity(*app, m_country, false);
        if (!m_self)
            co_return false;

        if (depth >= 1 && added == 0 && picks.isEmpty()) {
            m_run->appendNote(roundText(n) + QStringLiteral(" found no new candidates; stopped early."));
            m_store->finishDiscovery(*m_run);
            co_return false;
        }
        if (depth == m_run->maxDepth()) {
            m_store->finishDiscovery(*m_run);
            co_return false;
        }
        co_return true;
    }

    // The related apps' metadata, or nothing when the lookup failed.
    QCoro::Task<QList<AppInfo>> lookUp(qint64 n, QList<RelatedApps::Score> related)
    {
        m_run->setPhase(roundText(n) + QStringLiteral(": inspecting ") + QString::number(related.size())
                        + QStringLiteral(" related apps"));
        QStringList ids;
        for (const auto &score : related)
            ids.append(score.appleAppId);
        std::optional<QString> failure;
        QList<AppInfo> found;
        try {
            // A stop does not cut a lookup under way short; it is noticed at the next check. Quitting does.
            found = co_await m_store->itunes()->lookupMany(ids, m_country, m_store->closing());
        } catch (const UserFacingError &error) {
            failure = error.description();
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
        if (!m_self)
            co_return {};
        if (failure) {
            m_run->appendNote(QStringLiteral("Related-app lookup failed (") + *failure
                              + QStringLiteral("); continued with other sources."));
            co_return {};
        }
        m_run->addRelatedInspected(found.size());
        for (const auto &id : std::as_const(ids))
            m_inspected.insert(id);
        co_return found;
    }

    // The round's searches, in order; false when the run has finished (or the store is gone).
    QCoro::Task<bool> search(qint64 n, QList<Keyword> picks)
    {
        const ASOStore::Burst burst(m_store);
        qint64 streak = 0;
        for (qsizetype taken = 0; taken < picks.size();) {
            const auto app = appOrStop();
            if (!app)
                co_return false;
            const auto keyword = picks.at(taken++);
            m_searched.insert(keyword.normalized);
            const auto outcome = co_await m_store->search(keyword, *app, m_country, false);
            if (!m_self)
                co_return false;

            m_run->addSearched(1);
            switch (outcome.position.state) {
            case RankingState::found:
                m_run->addFound(1);
                streak = 0;
                break;
            case RankingState::notFoundInSample:
                m_run->addNotFound(1);
                ++streak;
                break;
            default:
                m_run->addFailed(1);
                break;
            }
            if (m_run->searched() % 3 == 0)
                m_store->raiseDataVersion();
            if (streak >= missStreakLimit) {
                m_run->appendNote(roundText(n) + QStringLiteral(": ") + QString::number(streak)
                                  + QStringLiteral(" searches in a row found nothing, moved on early."));
                m_run->addQueued(-(picks.size() - taken));
                break;
            }
        }
        co_return true;
    }

    // The app as stored now, or nothing after finishing the run because the app was deleted or,
    // at the run's cancellation checks, because it was cancelled; a deleted app ends the run as
    // a stop would.
    std::optional<TrackedApp> appOrStop(bool cancellationCheck = true)
    {
        auto app = m_store->app(m_appleAppId);
        if (app && !(cancellationCheck && isCancelled(m_run->task())))
            return app;
        m_run->setIsCancelled(true);
        m_store->finishDiscovery(*m_run);
        return std::nullopt;
    }

    ASOStore *m_store;
    QPointer<ASOStore> m_self{m_store};
    std::shared_ptr<DiscoveryRun> m_run;
    QString m_appleAppId;
    QString m_country;
    QSet<QString> m_searched;   // searched in this run, never again
    QSet<QString> m_inspected;  // asked for in a lookup that succeeded
};

}

QCoro::Task<> ASOStore::runDiscovery(std::shared_ptr<DiscoveryRun> run, TrackedApp app)
{
    const QPointer<ASOStore> self(this);
    // The task runs once its starter has returned to the event loop, as a scheduled task does.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!self)
        co_return;
    try {
        Rounds rounds(this, run, app.appleAppId);
        co_await rounds.run();
    } catch (...) {
        // Nothing in the rounds is meant to throw; should something, the run still ends.
        if (self && run->isRunning())
            self->finishDiscovery(*run);
    }
}
