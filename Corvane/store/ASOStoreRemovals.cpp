#include "store/ASOStore.h"

#include "workflows/DiscoveryRun.h"

#include <QCoroSignal>
#include <QElapsedTimer>

#include <algorithm>

// Removing an app: it leaves every read in one small save, and its history, which a year of
// daily tracking makes millions of rows long, goes afterwards in saves of bounded size.

namespace {

// Rows deleted in one save: the number adapts so that a save takes about `removalSave`, within
// these bounds; the upper one keeps the log within reach of its bound.
constexpr qint64 fewestRemoved = 50;
constexpr qint64 mostRemoved = 1000;
constexpr auto removalSave = std::chrono::milliseconds(5);
// A save that failed, as when another process holds the write lock, is tried again after this.
constexpr auto removalRetry = std::chrono::seconds(1);

qint64 nextRemovalLimit(qint64 limit, qint64 elapsedMs)
{
    if (elapsedMs * 2 < removalSave.count())
        return std::min(limit * 2, mostRemoved);
    if (elapsedMs > 2 * removalSave.count())
        return std::max(limit / 2, fewestRemoved);
    return limit;
}

}

void ASOStore::deleteApp(const TrackedApp &app)
{
    // The app's discovery runs stop and go first: nothing may go on working for an app that
    // is gone, and no screen may show a run of it.
    const auto prefix = app.appleAppId + u'|';
    auto runs = m_discoveries;
    bool dropped = false;
    for (auto it = runs.begin(); it != runs.end();) {
        if (it.key().startsWith(prefix)) {
            it.value()->cancel();
            it = runs.erase(it);
            dropped = true;
        } else {
            ++it;
        }
    }
    if (dropped)
        setDiscoveries(std::move(runs));

    if (const auto stored = m_db->appByAppleId(app.appleAppId)) {
        StoreDb::Transaction save(*m_db);
        m_db->beginRemoval(*stored);
        save.commit();
        forgetAlertEditsOf(stored->appleAppId);
    }
    raiseDataVersion();
    finishRemovals();
}

void ASOStore::finishRemovals()
{
    if (m_removing || isShutDown() || writesHeld() || m_db->appRemovals().isEmpty())
        return;
    m_removing = true;
    // On a later turn, so that the screens follow the app's departure before any of its rows go;
    // a store destroyed before that leaves nothing waiting.
    QTimer::singleShot(0, this, [this] { removeRows(this); });
}

QCoro::Task<> ASOStore::removeRows(QPointer<ASOStore> self)
{
    const Burst burst(self);
    qint64 limit = fewestRemoved;
    while (self && !self->isShutDown() && !self->writesHeld()) {
        const auto removals = self->m_db->appRemovals();
        if (removals.isEmpty())
            break;
        QElapsedTimer timer;
        timer.start();
        qint64 removed = -1;
        {
            StoreDb::Transaction save(*self->m_db);
            removed = self->m_db->continueRemoval(removals.first(), limit);
            if (!save.commit())
                removed = -1;
        }
        if (removed < 0) {
            const auto closing = self->m_closing;
            co_await qCoro(closing.get(), &CancelToken::cancelled, removalRetry);
            continue;
        }
        limit = nextRemovalLimit(limit, timer.elapsed());
        // Steps aside while the log begins anew, as a tracking run does.
        co_await self->pauseIfSliceSpent();
    }
    if (!self)
        co_return;
    self->m_removing = false;
    Q_EMIT self->removalsEnded();
}

QCoro::Task<bool> ASOStore::removalEnded(QString appleAppId)
{
    const QPointer<ASOStore> self(this);
    const auto pending = [&] {
        const auto removals = self->m_db->appRemovals();
        return std::any_of(removals.cbegin(), removals.cend(),
                           [&](const StoreDb::AppRemoval &removal) { return removal.appleAppId == appleAppId; });
    };
    while (self && pending()) {
        self->finishRemovals();
        if (!self->m_removing)
            co_return false;
        const auto woken = CancelToken::create();
        connect(self.data(), &ASOStore::removalsEnded, woken.get(), &CancelToken::cancel);
        connect(self->m_closing.get(), &CancelToken::cancelled, woken.get(), &CancelToken::cancel);
        co_await qCoro(woken.get(), &CancelToken::cancelled);
    }
    co_return bool(self);
}
