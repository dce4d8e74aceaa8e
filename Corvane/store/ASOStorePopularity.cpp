#include "store/ASOStore.h"

#include "store/Settings.h"

// Keyword popularity from the popularity service, and the metrics it is kept in.

namespace {

constexpr qint64 popularityLifetime = 86'400; // seconds

QString noServiceMessage()
{
    return QStringLiteral("No popularity server is configured, so keyword popularity is not available.");
}

}

QCoro::Task<> ASOStore::refreshPopularity(TrackedApp app, QString country, bool force, CancelTokenPtr cancel)
{
    const auto provider = popularityProvider();
    if (!provider) {
        setPopularityError(noServiceMessage());
        co_return;
    }
    const auto stored = m_db->appByAppleId(app.appleAppId);
    if (!stored)
        co_return;

    const auto known = metrics(country);
    const auto cutoff = QDateTime::currentDateTimeUtc().addSecs(-popularityLifetime);
    QStringList terms;
    for (const auto &entry : m_db->linksOfApp(stored->persistentId)) {
        if (entry.keyword)
            terms.append(entry.keyword->normalized);
    }
    QStringList due;
    for (const auto &term : uniquedPreservingOrder(terms)) {
        const auto metric = known.constFind(term);
        if (force || metric == known.cend() || !metric->popularityCheckedAt || *metric->popularityCheckedAt < cutoff)
            due.append(term);
    }
    if (due.isEmpty())
        co_return;

    const QPointer<ASOStore> self(this);
    std::optional<PopularityResponse> response;
    std::optional<QString> failure;
    try {
        response = co_await provider->popularity(country, due, m_closing);
    } catch (const UserFacingError &error) {
        failure = error.description();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QStringLiteral("The popularity service could not be reached.");
    }
    if (!self || isCancelled(cancel) || self->isShutDown())
        co_return;
    if (failure) {
        self->setPopularityError(failure);
        co_return;
    }

    co_await self->awaitWriteLock();
    if (!self || isCancelled(cancel) || self->isShutDown())
        co_return;
    // Read again: other work may have written metrics while the service answered.
    auto fresh = self->metrics(country);
    StoreDb::Transaction save(*self->m_db, StoreDb::shortLockWait);
    const auto checkedAt = QDateTime::currentDateTimeUtc();
    for (const auto &item : response->items) {
        auto metric = fresh.value(item.term, KeywordMetric(item.term, country));
        metric.popularity = item.popularity;
        metric.popularitySourceRaw = PopularitySources::rawValue(item.source == PopularityItem::Source::appleCountry
                                                                     ? PopularitySource::appleCountry
                                                                     : PopularitySource::appleMinimum);
        metric.popularityCheckedAt = checkedAt;
        self->m_db->insert(metric);
        fresh.insert(item.term, metric);
    }
    save.commit();
    self->setPopularityError(std::nullopt);
    self->raiseDataVersion();
}

QHash<QString, KeywordMetric> ASOStore::metrics(const QString &country)
{
    QHash<QString, KeywordMetric> byKeyword;
    const auto metrics = m_db->metricsOfCountry(country);
    byKeyword.reserve(metrics.size());
    for (const auto &metric : metrics)
        byKeyword.insert(metric.keywordNormalized, metric);
    return byKeyword;
}

std::shared_ptr<PopularityProviding> ASOStore::popularityProvider()
{
    if (m_popularityOverride)
        return m_popularityOverride;
    const auto url = Settings::shared().popularityServerURL();
    if (!url)
        return nullptr;
    // The service this deployment uses needs no access token.
    return std::make_shared<PopularityClient>(*url, std::nullopt, m_network);
}
