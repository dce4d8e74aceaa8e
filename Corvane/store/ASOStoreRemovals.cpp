#include "store/ASOStore.h"

#include "workflows/DiscoveryRun.h"

#include <QCoroSignal>

#include <algorithm>

// Removing an app: it leaves every read in one small save, and its history, which a year of
// daily tracking makes millions of rows long, goes afterwards in saves of bounded size.

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
    startBackgroundWrites();
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
