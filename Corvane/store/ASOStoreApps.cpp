#include "store/ASOStore.h"

#include "clients/AppStoreInput.h"
#include "clients/Storefront.h"
#include "keywords/KeywordText.h"
#include "store/Settings.h"
#include "workflows/DiscoveryRun.h"

#include <algorithm>
#include <exception>

// Tracked apps, keywords and the links between them.

QCoro::Task<ASOStore::AddAppResult> ASOStore::addApp(QString input, bool isOwn, QStringList extraCountries,
                                                     CancelTokenPtr cancel)
{
    const auto parseResult = AppStoreInput::parse(input);
    if (const auto *error = std::get_if<AppStoreInput::ParseError>(&parseResult))
        throw *error;
    const auto parsed = std::get<AppStoreInput::Parsed>(parseResult);

    const auto &settings = Settings::shared();
    const auto defaultCountry = settings.defaultCountry();
    const auto chosen =
        parsed.countryCode && Storefront::isSupported(*parsed.countryCode) ? *parsed.countryCode : defaultCountry;
    if (const auto tracked = app(parsed.appleAppId))
        co_return AddAppResult{*tracked, false, chosen};

    const auto countries = uniquedPreservingOrder(QStringList{chosen, defaultCountry} + settings.favoriteCountries()
                                                  + extraCountries);
    const QPointer<ASOStore> self(this);
    const auto client = m_itunes;
    std::optional<AppInfo> info;
    std::exception_ptr lastError;
    for (const auto &country : countries) {
        try {
            info = co_await client->lookup(parsed.appleAppId, country);
        } catch (...) {
            lastError = std::current_exception();
        }
        if (info)
            break;
    }
    if (!self)
        co_return AddAppResult{TrackedApp(), false, chosen};
    if (!info) {
        if (lastError)
            std::rethrow_exception(lastError);
        throw StoreError::notFound(parsed.appleAppId);
    }
    // Added again while its earlier removal goes on: the new app starts with none of the old
    // rows, so they go first.
    const bool removalOver = co_await removalEnded(parsed.appleAppId, cancel);
    if (!self)
        co_return AddAppResult{TrackedApp(), false, chosen};
    if (!removalOver && isCancelled(cancel))
        throw StoreError::cancelled(parsed.appleAppId);
    // Quitting or refused writes stopped the removal: the old rows would join the new app.
    if (!removalOver)
        throw StoreDb::SaveError();
    // Another addition of the same app may have finished while this one waited.
    if (const auto tracked = app(parsed.appleAppId))
        co_return AddAppResult{*tracked, false, chosen};

    TrackedApp created(*info, isOwn);
    created.trackedCountries = {chosen};
    StoreDb::Transaction save(*m_db);
    if (!m_db->insert(created) || !save.commit())
        throw StoreDb::SaveError();
    raiseDataVersion();
    co_return AddAppResult{created, true, chosen};
}

std::optional<TrackedApp> ASOStore::app(const QString &appleAppId)
{
    return m_db->appByAppleId(appleAppId);
}

QList<TrackedApp> ASOStore::apps()
{
    auto apps = m_db->apps();
    std::stable_sort(apps.begin(), apps.end(),
                     [](const TrackedApp &a, const TrackedApp &b) { return a.createdAt < b.createdAt; });
    return apps;
}


void ASOStore::setOwn(const TrackedApp &app, bool isOwn)
{
    if (auto stored = m_db->appByAppleId(app.appleAppId)) {
        stored->isOwn = isOwn;
        StoreDb::Transaction save(*m_db);
        m_db->update(*stored);
        save.commit();
    }
    raiseDataVersion();
}

std::optional<Keyword> ASOStore::keyword(const QString &normalized)
{
    return m_db->keywordByNormalized(normalized);
}

qint64 ASOStore::link(const QList<PlannedCandidate> &candidates, const TrackedApp &app, qint64 depth)
{
    const auto stored = m_db->appByAppleId(app.appleAppId);
    if (!stored) {
        raiseDataVersion();
        return 0;
    }
    StoreDb::Transaction save(*m_db);
    QSet<QString> linkedBefore;
    QSet<QString> keys;
    for (const auto &entry : m_db->linksOfApp(stored->persistentId)) {
        keys.insert(entry.link.key);
        if (entry.keyword)
            linkedBefore.insert(entry.keyword->normalized);
    }

    QHash<KeywordSource, qint64> positions;
    QSet<QString> newlyLinked;
    for (const auto &candidate : candidates) {
        const auto entries = KeywordText::dedupe({candidate.text});
        if (entries.isEmpty())
            continue;
        const auto &entry = entries.first();
        auto keyword = m_db->keywordByNormalized(entry.normalized);
        if (!keyword) {
            Keyword created(entry.normalized, entry.display);
            if (!m_db->insert(created))
                continue;
            keyword = created;
        }
        const auto key = KeywordLink::makeKey(stored->appleAppId, entry.normalized, candidate.source);
        if (keys.contains(key))
            continue;
        keys.insert(key);
        KeywordLink link(*stored, *keyword, candidate, depth, positions[candidate.source]++);
        m_db->insert(link);
        if (!linkedBefore.contains(entry.normalized))
            newlyLinked.insert(entry.normalized);
    }
    save.commit();
    raiseDataVersion();
    return newlyLinked.size();
}

qint64 ASOStore::addKeywords(const QStringList &texts, const TrackedApp &app)
{
    QList<PlannedCandidate> candidates;
    for (const auto &text : texts)
        candidates.append(PlannedCandidate{text, KeywordSource::manual, std::nullopt, std::nullopt});
    return link(candidates, app, 0);
}

void ASOStore::unlink(const QString &normalized, const TrackedApp &app)
{
    if (const auto stored = m_db->appByAppleId(app.appleAppId)) {
        StoreDb::Transaction save(*m_db);
        m_db->removeLinksOfAppToKeyword(stored->persistentId, normalized);
        save.commit();
    }
    raiseDataVersion();
}

QSet<QString> ASOStore::linkedKeywords(const TrackedApp &app)
{
    return m_db->keywordsOfApp(app.persistentId);
}

qint64 ASOStore::linkCount(const TrackedApp &app)
{
    return m_db->linkCountOfApp(app.persistentId);
}
