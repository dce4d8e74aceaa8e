#include "store/ASOStore.h"

#include "store/Settings.h"
#include "workflows/DiscoveryRun.h"

// Starting, finding and finishing the discovery runs, one per app and storefront.

namespace {

QString discoveryKey(const QString &appleAppId, const QString &country)
{
    return appleAppId + QLatin1Char('|') + country;
}

}

std::shared_ptr<DiscoveryRun> ASOStore::startDiscovery(const TrackedApp &app, const QString &country)
{
    const auto key = discoveryKey(app.appleAppId, country);
    if (const auto running = m_discoveries.value(key); running && running->isRunning())
        return running;

    // Saved at once: the records here are values, so nothing would carry the change to a later save.
    // Refused, no run starts: its results would wait for the same lock.
    if (const auto tracked = withCountry(app.appleAppId, country);
        tracked && !saveAtClickOrTell(QStringLiteral("Discovery could not start"), [&] { return m_db->update(*tracked); }))
        return nullptr;

    // Read once: a change of the settings during the run applies to later runs.
    const auto &settings = Settings::shared();
    auto run = std::make_shared<DiscoveryRun>(country, settings.discoveryBudget(), settings.discoveryDepth());
    auto runs = m_discoveries;
    runs.insert(key, run);
    setDiscoveries(std::move(runs));

    // The token exists before the task does, so a cancel right after the start is seen.
    run->setTask(CancelToken::create());
    runDiscovery(run, app);
    return run;
}

std::shared_ptr<DiscoveryRun> ASOStore::discoveryRun(const TrackedApp &app, const QString &country) const
{
    return m_discoveries.value(discoveryKey(app.appleAppId, country));
}

void ASOStore::finishDiscovery(DiscoveryRun &run)
{
    run.setIsRunning(false);
    run.setPhase(run.isCancelled() ? QStringLiteral("Stopped") : QStringLiteral("Done"));
    run.setFinishedAt(QDateTime::currentDateTimeUtc());
    raiseDataVersion();
}
