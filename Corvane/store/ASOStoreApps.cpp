#include "store/ASOStore.h"

#include "clients/AppStoreInput.h"
#include "clients/Storefront.h"
#include "keywords/KeywordText.h"
#include "store/Settings.h"
#include "workflows/DiscoveryRun.h"

#include <algorithm>
#include <exception>

// Tracked apps, keywords and the links between them.

std::optional<QString> ASOStore::saveAtClick(const QString &refused, const std::function<bool()> &writes)
{
    {
        StoreDb::Transaction save(*m_db, StoreDb::shortLockWait);
        if (writes() && save.commit())
            return std::nullopt;
    }
    return refused
        + (m_db->lockHeldElsewhere()
               ? QStringLiteral(": another program is using the database. Try again in a moment.")
               : QStringLiteral(": the change could not be saved to the local database."));
}

bool ASOStore::saveAtClickOrTell(const QString &refused, const std::function<bool()> &writes)
{
    const auto failure = saveAtClick(refused, writes);
    // Damage found by this save was told already, and held writes offer no action.
    if (failure && !writesHeld())
        Q_EMIT problem(*failure);
    return !failure;
}

QCoro::Task<ASOStore::AddAppResult> ASOStore::addApp(QString input, bool isOwn, QStringList extraCountries,
                                                     CancelTokenPtr cancel)
{
    co_return co_await addAppTracked(std::move(input), isOwn, std::move(extraCountries), std::move(cancel), {});
}

QCoro::Task<ASOStore::AddAppResult> ASOStore::addAppTracked(QString input, bool isOwn, QStringList extraCountries,
                                                            CancelTokenPtr cancel, QString alsoTracked)
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
    if (!alsoTracked.isEmpty() && alsoTracked != chosen)
        created.trackedCountries.append(alsoTracked);
    if (const auto failure = saveAtClick(QStringLiteral("The app could not be added"), [&] { return m_db->insert(created); }))
        throw StoreError::notSaved(parsed.appleAppId, *failure);
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


bool ASOStore::setOwn(const TrackedApp &app, bool isOwn)
{
    bool saved = true;
    if (auto stored = m_db->appByAppleId(app.appleAppId)) {
        stored->isOwn = isOwn;
        saved = saveAtClickOrTell(isOwn ? QStringLiteral("The app could not be marked as your app")
                                        : QStringLiteral("The app could not be marked as a competitor"),
                                  [&] { return m_db->update(*stored); });
    }
    raiseDataVersion();
    return saved;
}

std::optional<TrackedApp> ASOStore::withCountry(const QString &appleAppId, const QString &country)
{
    auto stored = m_db->appByAppleId(appleAppId);
    if (!stored || stored->trackedCountries.contains(country))
        return std::nullopt;
    stored->trackedCountries.append(country);
    return stored;
}

std::optional<Keyword> ASOStore::keyword(const QString &normalized)
{
    return m_db->keywordByNormalized(normalized);
}

std::pair<QList<ASOStore::PlannedLink>, qint64> ASOStore::planLinks(const QList<PlannedCandidate> &candidates,
                                                                    const TrackedApp &stored)
{
    QSet<QString> linkedBefore;
    QSet<QString> keys;
    for (const auto &entry : m_db->linksOfApp(stored.persistentId)) {
        keys.insert(entry.link.key);
        if (entry.keyword)
            linkedBefore.insert(entry.keyword->normalized);
    }

    QList<PlannedLink> links;
    QHash<KeywordSource, qint64> positions;
    QSet<QString> newlyLinked;
    for (const auto &candidate : candidates) {
        const auto entries = KeywordText::dedupe({candidate.text});
        if (entries.isEmpty())
            continue;
        const auto &entry = entries.first();
        const auto key = KeywordLink::makeKey(stored.appleAppId, entry.normalized, candidate.source);
        if (keys.contains(key))
            continue;
        keys.insert(key);
        links.append({candidate, entry.normalized, entry.display, m_db->keywordByNormalized(entry.normalized),
                      positions[candidate.source]++});
        if (!linkedBefore.contains(entry.normalized))
            newlyLinked.insert(entry.normalized);
    }
    return {links, newlyLinked.size()};
}

bool ASOStore::writeLinks(const QList<PlannedLink> &links, const TrackedApp &stored, qint64 depth)
{
    // A keyword two candidates share is stored once.
    QHash<QString, Keyword> created;
    for (const auto &planned : links) {
        auto keyword = planned.keyword;
        if (const auto known = created.constFind(planned.normalized); !keyword && known != created.cend())
            keyword = *known;
        if (!keyword) {
            Keyword fresh(planned.normalized, planned.display);
            if (!m_db->insert(fresh))
                return false;
            keyword = created.insert(planned.normalized, fresh).value();
        }
        KeywordLink link(stored, *keyword, planned.candidate, depth, planned.position);
        if (!m_db->insert(link))
            return false;
    }
    return true;
}

qint64 ASOStore::link(const QList<PlannedCandidate> &candidates, const TrackedApp &app, qint64 depth)
{
    qint64 newlyLinked = 0;
    if (const auto stored = m_db->appByAppleId(app.appleAppId)) {
        StoreDb::Transaction save(*m_db);
        const auto [links, count] = planLinks(candidates, *stored);
        writeLinks(links, *stored, depth);
        save.commit();
        newlyLinked = count;
    }
    raiseDataVersion();
    return newlyLinked;
}

std::optional<qint64> ASOStore::linkAtClick(const QList<PlannedCandidate> &candidates, const TrackedApp &app,
                                            const QString &country)
{
    std::optional<qint64> newlyLinked = 0;
    if (const auto stored = m_db->appByAppleId(app.appleAppId)) {
        const auto [links, count] = planLinks(candidates, *stored);
        const auto tracked = country.isEmpty() ? std::nullopt : withCountry(stored->appleAppId, country);
        // Nothing to write takes no lock, which another program might hold.
        if ((!links.isEmpty() || tracked)
            && !saveAtClickOrTell(QStringLiteral("The keywords could not be added"), [&] {
                   return writeLinks(links, *stored, 0) && (!tracked || m_db->update(*tracked));
               }))
            newlyLinked.reset();
        else
            newlyLinked = count;
    }
    raiseDataVersion();
    return newlyLinked;
}

QList<PlannedCandidate> ASOStore::manualCandidates(const QStringList &texts)
{
    QList<PlannedCandidate> candidates;
    for (const auto &text : texts)
        candidates.append(PlannedCandidate{text, KeywordSource::manual, std::nullopt, std::nullopt});
    return candidates;
}

std::optional<qint64> ASOStore::addKeywords(const QStringList &texts, const TrackedApp &app)
{
    return linkAtClick(manualCandidates(texts), app);
}

bool ASOStore::unlink(const QString &normalized, const TrackedApp &app)
{
    bool saved = true;
    if (const auto stored = m_db->appByAppleId(app.appleAppId); stored && m_db->isLinked(stored->persistentId, normalized))
        saved = saveAtClickOrTell(QStringLiteral("Tracking of the keyword could not be stopped"), [&] {
            return m_db->removeLinksOfAppToKeyword(stored->persistentId, normalized);
        });
    raiseDataVersion();
    return saved;
}

QSet<QString> ASOStore::linkedKeywords(const TrackedApp &app)
{
    return m_db->keywordsOfApp(app.persistentId);
}

qint64 ASOStore::linkCount(const TrackedApp &app)
{
    return m_db->linkCountOfApp(app.persistentId);
}
