#include "store/ASOStore.h"

#include "workflows/DiscoveryRun.h"

#include <QCoroSignal>

#include <algorithm>
#include <utility>

// Removing an app: it leaves every read in one small save, and its history, which a year of
// daily tracking makes millions of rows long, goes afterwards in saves of bounded size.

bool ASOStore::deleteApp(const TrackedApp &app)
{
    if (const auto stored = m_db->appByAppleId(app.appleAppId)) {
        if (!saveAtClickOrTell(QStringLiteral("The app could not be removed"),
                               [&] { return m_db->beginRemoval(*stored); }))
            return false;
        forgetAlertEditsOf(stored->appleAppId);
    }

    // The app's discovery runs stop and go once it is gone: nothing may go on working for an app
    // that is gone, and no screen may show a run of it.
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
    raiseDataVersion();
    finishRemovals();
    return true;
}

void ASOStore::finishRemovals()
{
    startBackgroundWrites();
}

const StoreDb::AppRemoval &ASOStore::nextRemoval(const QList<StoreDb::AppRemoval> &removals)
{
    const auto removalOf = [&](const QString &appleAppId) {
        return std::find_if(removals.cbegin(), removals.cend(), [&](const StoreDb::AppRemoval &removal) {
            return removal.appleAppId == appleAppId;
        });
    };
    auto next = removals.cend();
    for (const auto &[appleAppId, woken] : std::as_const(m_removalWaits)) {
        const auto removal = removalOf(appleAppId);
        if (removal == removals.cend())
            woken->cancel();
        else if (next == removals.cend())
            next = removal;
    }
    return next == removals.cend() ? removals.first() : *next;
}

QCoro::Task<bool> ASOStore::removalEnded(QString appleAppId, CancelTokenPtr cancel)
{
    const QPointer<ASOStore> self(this);
    const auto pending = [&] {
        const auto removals = self->m_db->appRemovals();
        return std::any_of(removals.cbegin(), removals.cend(),
                           [&](const StoreDb::AppRemoval &removal) { return removal.appleAppId == appleAppId; });
    };
    bool waited = false;
    while (self && pending()) {
        self->finishRemovals();
        if (!self->m_removing || isCancelled(cancel))
            co_return false;
        // Woken once this app's removal is no longer pending (see nextRemoval()), or when the
        // removals stop, the store quits or the caller gives up.
        const auto woken = CancelToken::create();
        connect(self.data(), &ASOStore::removalsEnded, woken.get(), &CancelToken::cancel);
        connect(self->m_closing.get(), &CancelToken::cancelled, woken.get(), &CancelToken::cancel);
        if (cancel)
            connect(cancel.get(), &CancelToken::cancelled, woken.get(), &CancelToken::cancel);
        self->m_removalWaits.append({appleAppId, woken});
        // Told once the wait can be woken: whoever hears it may give up at once.
        if (!std::exchange(waited, true))
            Q_EMIT self->removalAwaited(appleAppId);
        if (self && !woken->isCancelled())
            co_await qCoro(woken.get(), &CancelToken::cancelled);
        if (self)
            self->m_removalWaits.removeIf([&](const auto &wait) { return wait.second == woken; });
    }
    // A caller that gave up while it waited adds nothing, even if the removal ended meanwhile.
    co_return self && !(waited && isCancelled(cancel));
}
