#include "ui/keywords/KeywordChecks.h"

#include "store/ASOStore.h"

QCoro::Task<> KeywordChecks::searchAndApply(QPointer<ASOStore> store, QString appleAppId, QString country,
                                            QStringList keywords, bool force)
{
    const ASOStore::Burst burst(store);
    for (const auto &normalized : keywords) {
        if (!store || !store->app(appleAppId))
            co_return;
        const auto keyword = store->keyword(normalized);
        if (!keyword)
            continue;
        const auto observation = co_await store->observation(*keyword, country, force);
        const auto app = store ? store->app(appleAppId) : std::nullopt;
        if (!app)
            co_return;
        store->apply(observation, *app);
    }
    const auto app = store ? store->app(appleAppId) : std::nullopt;
    if (!app)
        co_return;
    co_await store->refreshPopularity(*app, country, false);
    if (store && store->app(appleAppId))
        store->raiseDataVersion();
}
