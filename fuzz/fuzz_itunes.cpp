// Search and lookup answers from Apple, read through the client over a scripted transport, then
// stored as the store keeps them and read back: the search's hits in a recorded search, each
// looked-up app as a tracked app. The same bytes are also read as a stored hit list and a stored
// app, which must write back to what they read.

#include "clients/ITunesClient.h"
#include "store/ASOStore.h"
#include "support/TaskRunner.h"

#include "FakeTransport.h"
#include "FuzzSupport.h"
#include "TestSettings.h"

#include <QSet>

#include <algorithm>

namespace {

// Fresh stores now and then keep the database small over millions of runs.
constexpr int runsPerStore = 2048;

struct Harness
{
    TestSettings settings;
    std::shared_ptr<FakeTransport> transport = std::make_shared<FakeTransport>();
    // No retry: a malformed answer fails at once instead of being asked for four times.
    std::shared_ptr<ITunesClient> client =
        std::make_shared<ITunesClient>(AppleHTTP(transport, nullptr, RetryPolicy{15, 0, 2, 30}));
    // Made here, so that Qt's table of database connections outlives the harness.
    std::unique_ptr<ASOStore> store = std::make_unique<ASOStore>(StoreDb::openInMemory(), client);
    int runs = 0;

    ASOStore &freshStore()
    {
        if (++runs % runsPerStore == 0)
            store = std::make_unique<ASOStore>(StoreDb::openInMemory(), client);
        return *store;
    }
};

Harness &harness()
{
    static Harness h;
    return h;
}

// A positive trackId written in decimal.
bool isDecimalId(const QString &id)
{
    return !id.isEmpty() && id.front() != u'0'
        && std::all_of(id.cbegin(), id.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

template<typename T>
void requireMalformed(const TaskOutcome<T> &outcome, const QString &what)
{
    const auto error = outcome.template errorAs<AppleRequestError>();
    FUZZ_CHECK(error && error->kind == AppleRequestError::Kind::malformed, what);
}

// The fields a hit takes from the app it was read with.
bool sameApp(const SearchHit &hit, const AppInfo &app)
{
    return hit.appleAppId == app.appleAppId && hit.name == app.name && hit.developerName == app.developerName
        && hit.storeURL == app.storeURL && hit.primaryGenre == app.primaryGenre && hit.ratingCount == app.ratingCount
        && hit.averageRating == app.averageRating;
}

void checkSearch(ASOStore &store, const TaskOutcome<SearchResponse> &outcome)
{
    const SearchObservation recorded =
        *TaskRunner::run(store.observation(Keyword(QStringLiteral("photo"), QStringLiteral("Photo")), QStringLiteral("us"), true)).value;
    FUZZ_CHECK(recorded.succeeded == outcome.succeeded(), QStringLiteral("search and recorded search disagree"));
    if (!outcome.succeeded()) {
        requireMalformed(outcome, QStringLiteral("search failed otherwise than malformed"));
        return;
    }

    const SearchResponse &response = *outcome.value;
    int previousRank = 0;
    for (const SearchHit &hit : response.hits) {
        FUZZ_CHECK(hit.rank > previousRank && hit.rank <= response.resultCount, QStringLiteral("rank out of order"));
        FUZZ_CHECK(isDecimalId(hit.appleAppId) && !hit.name.isEmpty(), hit.appleAppId);
        previousRank = hit.rank;
    }
    FUZZ_CHECK(AppRecords::decodeHits(AppRecords::encodeHits(response.hits)) == response.hits,
               QString::fromUtf8(AppRecords::encodeHits(response.hits)));

    const std::optional<SearchObservation> stored = store.db().observation(recorded.persistentId);
    FUZZ_CHECK(stored && stored->resultCount == response.resultCount && stored->hits() == response.hits,
               QStringLiteral("stored search differs"));
}

void checkLookups(ASOStore &store, const TaskOutcome<SearchResponse> &search)
{
    QStringList ids;
    if (search.succeeded()) {
        for (const SearchHit &hit : search.value->hits)
            ids.append(hit.appleAppId);
    }
    ids.removeDuplicates();
    if (ids.isEmpty())
        ids.append(QStringLiteral("284882215"));

    const auto many = TaskRunner::run(harness().client->lookupMany(ids, QStringLiteral("us")));
    const auto one = TaskRunner::run(harness().client->lookup(ids.first(), QStringLiteral("us")));
    FUZZ_CHECK(many.succeeded() == search.succeeded() && one.succeeded() == search.succeeded(),
               QStringLiteral("lookup and search disagree"));
    if (!search.succeeded()) {
        requireMalformed(many, QStringLiteral("lookup failed otherwise than malformed"));
        return;
    }

    const QList<AppInfo> &apps = *many.value;
    const QList<SearchHit> &hits = search.value->hits;
    // In one batch the apps come in answer order, one per hit.
    if (ids.size() <= ITunesClient::batchSize) {
        FUZZ_CHECK(apps.size() == hits.size(), QStringLiteral("%1 apps for %2 hits").arg(apps.size()).arg(hits.size()));
        for (qsizetype i = 0; i < apps.size(); ++i)
            FUZZ_CHECK(sameApp(hits.at(i), apps.at(i)), apps.at(i).appleAppId);
    }
    const auto first = std::find_if(apps.cbegin(), apps.cend(), [&](const AppInfo &app) { return app.appleAppId == ids.first(); });
    FUZZ_CHECK(*one.value == (first == apps.cend() ? std::nullopt : std::optional<AppInfo>(*first)), ids.first());

    const QSet<QString> asked(ids.cbegin(), ids.cend());
    for (const AppInfo &app : apps) {
        FUZZ_CHECK(asked.contains(app.appleAppId), app.appleAppId);
        FUZZ_CHECK(AppRecords::decodeAppInfo(AppRecords::encodeAppInfo(app)) == app,
                   QString::fromUtf8(AppRecords::encodeAppInfo(app)));

        TrackedApp tracked(app, false);
        FUZZ_CHECK(store.db().insert(tracked), app.appleAppId);
        const std::optional<TrackedApp> read = store.db().app(tracked.persistentId);
        FUZZ_CHECK(read && read->appInfo() == tracked.appInfo(), QStringLiteral("stored app differs: ") + app.appleAppId);
        store.db().remove(tracked);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::ensureApplication();
    harness();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    harness().transport->steps = {FakeTransport::json(body)};
    harness().transport->urls.clear();
    harness().transport->timeouts.clear();
    ASOStore &store = harness().freshStore();

    const auto search = TaskRunner::run(harness().client->search(QStringLiteral("photo"), QStringLiteral("us"), 200));
    checkSearch(store, search);
    checkLookups(store, search);

    // Read as stored forms, written back and read again.
    if (const auto hits = AppRecords::decodeHits(body))
        FUZZ_CHECK(AppRecords::decodeHits(AppRecords::encodeHits(*hits)) == hits, QString::fromUtf8(AppRecords::encodeHits(*hits)));
    if (const auto app = AppRecords::decodeAppInfo(body))
        FUZZ_CHECK(AppRecords::decodeAppInfo(AppRecords::encodeAppInfo(*app)) == app, QString::fromUtf8(AppRecords::encodeAppInfo(*app)));
    return 0;
}
