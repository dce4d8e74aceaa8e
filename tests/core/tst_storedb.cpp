#include "model/StoreDb.h"
#include "model/StoredForm.h"
#include "store/ASOStore.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

static const QDateTime baseTime = QDateTime(QDate(2024, 5, 1), QTime(12, 0), QTimeZone::utc());

// The stored fields of a record as texts, so that two records can be compared field by field.
static QString field(const QString &value) { return value; }
static QString field(const QUuid &value) { return value.toString(); }
static QString field(const QByteArray &value) { return QString::fromLatin1(value.toHex()); }
static QString field(const QStringList &value) { return value.join(QLatin1Char(',')) + QLatin1Char(';'); }
static QString field(const QUrl &value) { return value.toString(); }
static QString field(const QDateTime &value) { return QString::number(value.toMSecsSinceEpoch()); }
static QString field(qint64 value) { return QString::number(value); }
static QString field(double value) { return QString::number(value); }
static QString field(bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); }
template<typename T>
static QString field(const std::optional<T> &value)
{
    return value ? field(*value) : QStringLiteral("<absent>");
}

template<typename... T>
static QStringList texts(const T &...values)
{
    return {field(values)...};
}

static QStringList fields(const TrackedApp &a)
{
    return texts(a.appleAppId, a.name, a.developerName, a.iconURL, a.storeURL, a.appDescription, a.primaryGenre,
                 a.genres, a.isOwn, a.averageRating, a.ratingCount, a.formattedPrice, a.version, a.trackedCountries,
                 a.createdAt, a.metadataUpdatedAt);
}

static QStringList fields(const Keyword &k) { return texts(k.normalized, k.display, k.translatedEn, k.createdAt); }
static QStringList fields(const KeywordLink &l)
{
    return texts(l.key, l.appPersistentId, l.keywordPersistentId, l.sourceRaw, l.detail, l.sourceAppleAppId,
                 l.priority, l.depth, l.createdAt, l.lastTestedAt);
}

static QStringList fields(const SearchObservation &o)
{
    return texts(o.id, o.keywordNormalized, o.country, o.checkedAt, o.succeeded, o.requestedLimit, o.resultCount,
                 o.attempts, o.errorMessage, o.isLatest, o.hitsData);
}

static QStringList fields(const RankSnapshot &s)
{
    return texts(s.key, s.appPersistentId, s.keywordNormalized, s.country, s.observationId, s.stateRaw, s.rank,
                 s.resultCount, s.checkedAt);
}

static QStringList fields(const RankState &r)
{
    return texts(r.key, r.appleAppId, r.keywordNormalized, r.country, r.latestObservationId, r.latestStateRaw,
                 r.latestRank, r.latestResultCount, r.latestCheckedAt, r.previousStateRaw, r.previousRank,
                 r.previousCheckedAt, r.lastFoundAt);
}

static QStringList fields(const KeywordMetric &m)
{
    return texts(m.key, m.keywordNormalized, m.country, m.popularity, m.popularitySourceRaw, m.difficulty,
                 m.resultCount, m.topRatingMedian, m.updatedAt, m.popularityCheckedAt);
}

static QStringList fields(const RankAlert &a)
{
    return texts(a.id, a.appleAppId, a.appName, a.keywordNormalized, a.keywordDisplay, a.country, a.kindRaw,
                 a.fromRank, a.toRank, a.observationId, a.createdAt, a.isRead);
}

static QStringList fields(const StoreMeta &m) { return texts(m.key, m.value); }
template<typename T>
static QStringList fields(const std::optional<T> &record)
{
    return record ? fields(*record) : QStringList{QStringLiteral("<missing>")};
}

// The layout upgrade as first written, with all history in memory at once; the store's
// streamed upgrade must leave the same data.
static void migrateAllAtOnce(StoreDb &db)
{
    StoreDb::Transaction save(db);
    db.removeAllRankStates();
    QList<RankState> states;
    QHash<QString, qsizetype> stateOf;
    for (const auto &entry : db.snapshotsOfAppsOldestFirst()) {
        const auto key = RankState::makeKey(entry.appleAppId, entry.snapshot.keywordNormalized, entry.snapshot.country);
        if (const auto found = stateOf.constFind(key); found != stateOf.cend()) {
            states[*found].apply(entry.snapshot);
        } else {
            stateOf.insert(key, states.size());
            states.append(RankState(entry.appleAppId, entry.snapshot));
        }
    }
    for (auto &state : states)
        db.insert(state);
    QSet<QString> seen;
    for (auto observation : db.successfulObservationsNewestFirst()) {
        const auto key = observation.keywordNormalized + QLatin1Char('|') + observation.country;
        observation.isLatest = !seen.contains(key);
        if (!observation.isLatest)
            observation.hitsData.clear();
        seen.insert(key);
        db.update(observation);
    }
    db.removeMeta(QStringLiteral("layoutVersion"));
    StoreMeta layout(QStringLiteral("layoutVersion"), 2);
    db.insert(layout);
    QVERIFY(save.commit());
}

static const QStringList oldLayoutApps = {QStringLiteral("11"), QStringLiteral("12"), QStringLiteral("13")};
static const QStringList oldLayoutCountries = {QStringLiteral("us"), QStringLiteral("de")};

static QUuid oldLayoutId(int n) { return QUuid(uint(n + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0); }

// A small account in the older layout, the same on every call: 3 apps, 4 keywords, 2
// storefronts, 6 days; some searches failed, latest flags and hits are left anywhere, one
// reading has lost its app and a rank state is stale.
static QList<QUuid> writeOldLayout(StoreDb &db)
{
    StoreDb::Transaction save(db);
    QList<TrackedApp> apps;
    for (const auto &appleAppId : oldLayoutApps) {
        TrackedApp app(AppInfo{appleAppId, QStringLiteral("App")}, false);
        db.insert(app);
        apps.append(app);
    }
    RankState stale(QStringLiteral("11"), RankSnapshot(apps.first(), SearchObservation{}, RankingState::found, 1));
    db.insert(stale);
    QList<QUuid> ids;
    for (int day = 0; day < 6; ++day) {
        for (int keyword = 0; keyword < 4; ++keyword) {
            for (int country = 0; country < 2; ++country) {
                const int n = ids.size();
                SearchObservation observation{0, oldLayoutId(n), QStringLiteral("keyword %1").arg(keyword),
                                              oldLayoutCountries.at(country),
                                              baseTime.addDays(day).addSecs(60 * keyword), n % 5 != 3, 200, 40, 1,
                                              {}, n % 3 == 0, n % 2 ? QByteArray("[{}]") : QByteArray()};
                db.insert(observation);
                ids.append(observation.id);
                for (int app = 0; app < apps.size(); ++app) {
                    if ((app + keyword) % 3 == 2)
                        continue;
                    const auto state = !observation.succeeded ? RankingState::requestFailed
                        : (n + app) % 4 == 0                  ? RankingState::notFoundInSample
                                                              : RankingState::found;
                    RankSnapshot snapshot(apps.at(app), observation, state,
                                          state == RankingState::found ? std::optional<qint64>(1 + (n * 7 + app) % 30)
                                                                       : std::nullopt);
                    if (n == 17 && app == 0)
                        snapshot.appPersistentId.reset();
                    db.insert(snapshot);
                }
            }
        }
    }
    save.commit();
    return ids;
}

// The data layer on an in-memory database: every field survives a write and a read, inserting
// an existing key updates that record, deletions cascade exactly along the relationships, a
// transaction saves all or nothing, and the queries select what they promise.
class TestStoreDb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_db = StoreDb::openInMemory();
    }

    void cleanup()
    {
        m_db.reset();
    }

    void everyFieldRoundTrips_data()
    {
        QTest::addColumn<bool>("filled");
        QTest::newRow("every optional present, distinct values") << true;
        QTest::newRow("every optional absent, empty texts") << false;
    }

    void everyFieldRoundTrips()
    {
        QFETCH(bool, filled);
        const auto at = [](int n) { return baseTime.addMSecs(1000 * n + n); };
        const auto some = [filled](auto value) { return filled ? std::optional(value) : std::nullopt; };

        TrackedApp app;
        app.appleAppId = QStringLiteral("100");
        app.name = filled ? QStringLiteral("Ünïcode 𝄞 app") : QString();
        app.developerName = some(QStringLiteral("Dev"));
        app.iconURL = some(QUrl(QStringLiteral("https://example.com/icon%20a.png?x=1&y=2")));
        app.storeURL = some(QUrl(QStringLiteral("https://apps.example.com/app/id100")));
        app.appDescription = some(QStringLiteral("Line one\nline two"));
        app.primaryGenre = some(QStringLiteral("Games"));
        app.genres = filled ? QStringList{QStringLiteral("Games"), QStringLiteral("Puzzle \"quoted\"")} : QStringList{};
        app.isOwn = filled;
        app.averageRating = some(4.25);
        app.ratingCount = some(qint64(1) << 40);
        app.formattedPrice = some(QStringLiteral("Free"));
        app.version = some(QStringLiteral("2.1"));
        app.trackedCountries = filled ? QStringList{QStringLiteral("us"), QStringLiteral("de")} : QStringList{};
        app.createdAt = at(1);
        app.metadataUpdatedAt = some(at(2));
        QVERIFY(m_db->insert(app));
        QCOMPARE(fields(m_db->app(app.persistentId)), fields(app));

        Keyword keyword(QStringLiteral("chess"), filled ? QStringLiteral("Chess") : QString());
        keyword.translatedEn = some(QStringLiteral("chess"));
        keyword.createdAt = at(3);
        QVERIFY(m_db->insert(keyword));
        QCOMPARE(fields(m_db->keywordByNormalized(QStringLiteral("chess"))), fields(keyword));

        KeywordLink link(app, keyword,
                         PlannedCandidate{QString(), KeywordSource::relatedApp, some(QStringLiteral("From X")),
                                          some(QStringLiteral("55"))},
                         3, 7);
        link.createdAt = at(4);
        link.lastTestedAt = some(at(5));
        QVERIFY(m_db->insert(link));
        QCOMPARE(fields(m_db->linkByKey(link.key)), fields(link));

        SearchObservation observation{0, QUuid::createUuid(), QStringLiteral("chess"), QStringLiteral("us"), at(6),
                                            filled, 200, 181, 3, some(QStringLiteral("The request timed out.")), filled,
                                            filled ? QByteArray("[]") : QByteArray()};
        QVERIFY(m_db->insert(observation));
        QCOMPARE(fields(m_db->observationById(observation.id)), fields(observation));

        RankSnapshot snapshot(app, observation, RankingState::notFoundInSample, some(qint64(17)));
        QVERIFY(m_db->insert(snapshot));
        QCOMPARE(fields(m_db->snapshotByKey(snapshot.key)), fields(snapshot));

        RankState state(app.appleAppId, snapshot);
        state.previousStateRaw = some(QStringLiteral("FOUND"));
        state.previousRank = some(qint64(9));
        state.previousCheckedAt = some(at(7));
        state.lastFoundAt = some(at(8));
        QVERIFY(m_db->insert(state));
        QCOMPARE(fields(m_db->rankState(state.key)), fields(state));
        const auto states = m_db->rankStates({state.key, RankState::makeKey(QStringLiteral("9\"|"), {}, {})});
        QVERIFY(states.size() == 1 && fields(states.value(state.key)) == fields(state));

        KeywordMetric metric(QStringLiteral("chess"), QStringLiteral("us"));
        metric.popularity = some(qint64(61));
        metric.popularitySourceRaw = some(QStringLiteral("APPLE_ADS_MINIMUM"));
        metric.difficulty = some(qint64(33));
        metric.resultCount = some(qint64(181));
        metric.topRatingMedian = some(qint64(4500));
        metric.updatedAt = at(9);
        metric.popularityCheckedAt = some(at(10));
        QVERIFY(m_db->insert(metric));
        QCOMPARE(fields(m_db->metric(metric.key)), fields(metric));

        RankAlert alert{0,      QUuid::createUuid(),    app.appleAppId, app.name,       QStringLiteral("chess"),
                        QStringLiteral("Chess"), QStringLiteral("us"), QStringLiteral("ENTERED_TOP_10"),
                        some(qint64(12)), some(qint64(8)), observation.id, at(11), filled};
        QVERIFY(m_db->insert(alert));
        const auto alerts = m_db->alertsNewestFirst();
        QCOMPARE(alerts.size(), 1);
        QCOMPARE(fields(alerts.first()), fields(alert));

        StoreMeta meta(QStringLiteral("layoutVersion"), filled ? -5 : 0);
        QVERIFY(m_db->insert(meta));
        QCOMPARE(fields(m_db->meta(meta.key)), fields(meta));
    }

    void hitsKeepTheirExactBytes()
    {
        const SearchHit full{QStringLiteral("284882215"), QStringLiteral("Fâcebook"), QStringLiteral("Meta"),
                             QUrl(QStringLiteral("https://is1.example.com/a/100x100.png")),
                             QUrl(QStringLiteral("https://apps.example.com/us/app/id284882215?uo=4")),
                             QStringLiteral("Social Networking"), 1234567, 4.5, 1};
        const SearchHit bare{QStringLiteral("7"), QStringLiteral("Bare"), {}, {}, {}, {}, {}, {}, 2};
        const QList<SearchHit> hits{full, bare};

        auto observation = addObservation(QStringLiteral("social"), QStringLiteral("us"), baseTime);
        observation.hitsData = AppRecords::encodeHits(hits);
        QVERIFY(m_db->update(observation));

        const auto stored = m_db->observation(observation.persistentId);
        QVERIFY(stored);
        QCOMPARE(stored->hitsData,
                 QByteArray(R"([{"appleAppId":"284882215","name":"Fâcebook","developerName":"Meta",)"
                            R"("iconURL":"https://is1.example.com/a/100x100.png",)"
                            R"("storeURL":"https://apps.example.com/us/app/id284882215?uo=4",)"
                            R"("primaryGenre":"Social Networking","ratingCount":1234567,"averageRating":4.5,"rank":1},)"
                            R"({"appleAppId":"7","name":"Bare","rank":2}])"));
        QCOMPARE(stored->hits(), hits);
    }

    // A second record under the same unique value: the stored one takes its values and keeps its
    // identity. An update in place never deletes the row, so nothing cascades away.
    void insertingAnExistingKeyUpdatesThatRecord()
    {
        auto app = addApp(QStringLiteral("1"));
        addLink(app, addKeyword(QStringLiteral("chess")), KeywordSource::manual);
        const auto observation = addObservation(QStringLiteral("chess"), QStringLiteral("us"), baseTime);
        const auto snapshot = addSnapshot(app, observation);

        TrackedApp renamed = app;
        renamed.persistentId = 0;
        renamed.name = QStringLiteral("Renamed");
        renamed.isOwn = true;
        QVERIFY(m_db->insert(renamed) && renamed.persistentId == app.persistentId && m_db->apps().size() == 1);
        QVERIFY(m_db->app(app.persistentId)->name == u"Renamed" && m_db->app(app.persistentId)->isOwn);
        QCOMPARE(m_db->linksOfApp(app.persistentId).size(), 1);

        RankSnapshot again(app, observation, RankingState::notFoundInSample, std::nullopt);
        QVERIFY(m_db->insert(again) && again.persistentId == snapshot.persistentId);
        const auto snapshots = m_db->snapshotsOfApp(app.persistentId, QStringLiteral("chess"), QStringLiteral("us"));
        QVERIFY(snapshots.size() == 1 && snapshots.first().state() == RankingState::notFoundInSample);

        KeywordMetric first(QStringLiteral("chess"), QStringLiteral("us"));
        first.popularity = 40;
        KeywordMetric second(QStringLiteral("chess"), QStringLiteral("us"));
        second.difficulty = 20;
        QVERIFY(m_db->insert(first) && m_db->insert(second) && second.persistentId == first.persistentId);
        QCOMPARE(m_db->metricsOfCountry(QStringLiteral("us")).size(), 1);
        QCOMPARE(fields(m_db->metric(first.key)), fields(second));
    }

    void deletionsCascade_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QStringList>("linksLeft");
        QTest::addColumn<int>("snapshotsLeft");
        QTest::addColumn<int>("appsLeft");
        QTest::addColumn<int>("keywordsLeft");
        QTest::newRow("app") << "app 1" << QStringList{"2|chess|MANUAL"} << 1 << 1 << 2;
        QTest::newRow("keyword") << "keyword chess" << QStringList{"1|go|MANUAL"} << 3 << 2 << 1;
    }

    void deletionsCascade()
    {
        QFETCH(QString, removed);
        QFETCH(QStringList, linksLeft);
        QFETCH(int, snapshotsLeft);
        QFETCH(int, appsLeft);
        QFETCH(int, keywordsLeft);

        const auto one = addApp(QStringLiteral("1"));
        const auto two = addApp(QStringLiteral("2"));
        const auto chess = addKeyword(QStringLiteral("chess"));
        const auto go = addKeyword(QStringLiteral("go"));
        addLink(one, chess, KeywordSource::manual);
        addLink(one, chess, KeywordSource::appName);
        addLink(one, go, KeywordSource::manual);
        addLink(two, chess, KeywordSource::manual);
        const auto chessUs = addObservation(QStringLiteral("chess"), QStringLiteral("us"), baseTime);
        const auto goUs = addObservation(QStringLiteral("go"), QStringLiteral("us"), baseTime);
        addSnapshot(one, chessUs);
        addSnapshot(one, goUs);
        addSnapshot(two, chessUs);
        RankState state(one.appleAppId, RankSnapshot(one, chessUs, RankingState::found, 3));
        QVERIFY(m_db->insert(state));
        KeywordMetric metric(QStringLiteral("chess"), QStringLiteral("us"));
        QVERIFY(m_db->insert(metric));

        if (removed == QLatin1String("app 1"))
            QVERIFY(m_db->remove(one));
        else
            QVERIFY(m_db->remove(chess));

        QStringList keys;
        int snapshots = 0;
        for (const auto &app : m_db->apps()) {
            for (const auto &entry : m_db->linksOfApp(app.persistentId))
                keys.append(entry.link.key);
            for (const auto &normalized : {QStringLiteral("chess"), QStringLiteral("go")})
                snapshots += m_db->snapshotsOfApp(app.persistentId, normalized, QStringLiteral("us")).size();
        }
        keys.sort();
        QCOMPARE(keys, linksLeft);
        QCOMPARE(snapshots, snapshotsLeft);
        QCOMPARE(m_db->snapshotsOfAppsOldestFirst().size(), snapshotsLeft);
        QCOMPARE(m_db->apps().size(), appsLeft);
        QCOMPARE(int(m_db->keywordByNormalized(QStringLiteral("chess")).has_value())
                     + int(m_db->keywordByNormalized(QStringLiteral("go")).has_value()),
                 keywordsLeft);
        // Records that refer by value only are the store's to delete.
        QVERIFY(m_db->rankState(state.key));
        QVERIFY(m_db->metric(metric.key));
        QVERIFY(m_db->observationById(chessUs.id));
    }

    void transactionSavesAllOrNothing()
    {
        QSignalSpy saved(m_db.get(), &StoreDb::committed);
        const auto app = addApp(QStringLiteral("1"));
        QCOMPARE(saved.count(), 1);

        {
            StoreDb::Transaction transaction(*m_db);
            addKeyword(QStringLiteral("kept"));
            {
                // A nested guard joins; its end does not save or discard anything.
                StoreDb::Transaction inner(*m_db);
                addKeyword(QStringLiteral("inner"));
                QVERIFY(inner.commit());
            }
            QCOMPARE(saved.count(), 1);
            QVERIFY(transaction.commit());
        }
        QCOMPARE(saved.count(), 2);
        QVERIFY(m_db->keywordByNormalized(QStringLiteral("kept")));
        QVERIFY(m_db->keywordByNormalized(QStringLiteral("inner")));

        {
            StoreDb::Transaction transaction(*m_db);
            addKeyword(QStringLiteral("dropped"));
            QVERIFY(m_db->keywordByNormalized(QStringLiteral("dropped")));
        }
        QVERIFY(!m_db->keywordByNormalized(QStringLiteral("dropped")));

        {
            StoreDb::Transaction transaction(*m_db);
            addKeyword(QStringLiteral("doomed"));
            KeywordLink orphan;
            orphan.key = QStringLiteral("x");
            orphan.appPersistentId = app.persistentId + 1000;
            QVERIFY(!m_db->insert(orphan));
            QVERIFY(!transaction.commit());
        }
        QVERIFY(!m_db->keywordByNormalized(QStringLiteral("doomed")));
        QCOMPARE(saved.count(), 2);

        // The connection is usable after a failed save.
        addKeyword(QStringLiteral("after"));
        QVERIFY(m_db->keywordByNormalized(QStringLiteral("after")));
    }

    void cachedObservation_data()
    {
        // The store's cache tests cover the cutoff and the limit through this query.
        QTest::addColumn<bool>("succeeded");
        QTest::addColumn<bool>("isLatest");
        QTest::addColumn<QString>("country");
        QTest::addColumn<bool>("found");
        QTest::newRow("latest success") << true << true << "us" << true;
        QTest::newRow("failed") << false << true << "us" << false;
        QTest::newRow("other storefront") << true << true << "gb" << false;
        QTest::newRow("hits already cleared") << true << false << "us" << false;
    }

    void cachedObservation()
    {
        QFETCH(bool, succeeded);
        QFETCH(bool, isLatest);
        QFETCH(QString, country);
        QFETCH(bool, found);
        const auto stored = addObservation(QStringLiteral("chess"), country, baseTime, succeeded, 200, isLatest);
        addObservation(QStringLiteral("checkers"), QStringLiteral("us"), baseTime, true, 200, true);

        const auto result = m_db->cachedObservation(QStringLiteral("chess"), QStringLiteral("us"), baseTime, 200);
        QCOMPARE(result.has_value(), found);
        if (found)
            QCOMPARE(result->id, stored.id);
    }

    void layoutUpgradeStreamsToTheSameResult()
    {
        writeOldLayout(*m_db);
        migrateAllAtOnce(*m_db);
        auto streamedDb = StoreDb::openInMemory();
        const auto ids = writeOldLayout(*streamedDb);
        ASOStore store(std::move(streamedDb));
        auto &streamed = store.db();

        int states = 0;
        for (const auto &appleAppId : oldLayoutApps) {
            for (const auto &country : oldLayoutCountries) {
                auto expected = m_db->rankStatesOfApp(appleAppId, country);
                auto actual = streamed.rankStatesOfApp(appleAppId, country);
                QCOMPARE(actual.size(), expected.size());
                const auto byKey = [](const RankState &a, const RankState &b) { return a.key < b.key; };
                std::sort(expected.begin(), expected.end(), byKey);
                std::sort(actual.begin(), actual.end(), byKey);
                for (qsizetype i = 0; i < actual.size(); ++i)
                    QCOMPARE(fields(actual.at(i)), fields(expected.at(i)));
                states += actual.size();
            }
        }
        QCOMPARE(states, 16);
        QVERIFY(!streamed.rankState(RankState::makeKey(QStringLiteral("11"), QString(), QString())));
        for (const auto &id : ids)
            QCOMPARE(fields(streamed.observationById(id)), fields(m_db->observationById(id)));
        QCOMPARE(fields(streamed.meta(QStringLiteral("layoutVersion"))), fields(m_db->meta(QStringLiteral("layoutVersion"))));
    }

    void clearingLatestKeepsOtherObservations()
    {
        const auto cleared = addObservation(QStringLiteral("chess"), QStringLiteral("us"), baseTime);
        const auto failed = addObservation(QStringLiteral("chess"), QStringLiteral("us"), baseTime, false, 100, false);
        const auto otherCountry = addObservation(QStringLiteral("chess"), QStringLiteral("gb"), baseTime);
        const auto otherKeyword = addObservation(QStringLiteral("go"), QStringLiteral("us"), baseTime);

        QVERIFY(m_db->clearLatestObservations(QStringLiteral("chess"), QStringLiteral("us")));

        auto expected = cleared;
        expected.isLatest = false;
        expected.hitsData = QByteArray("", 0);
        QCOMPARE(fields(m_db->observationById(cleared.id)), fields(expected));
        for (const auto &kept : {failed, otherCountry, otherKeyword})
            QCOMPARE(fields(m_db->observationById(kept.id)), fields(kept));
    }

    // A lookup's metadata written over the stored app: the new values are kept, an absent one
    // clears the stored one, and what the lookup does not carry stays.
    void refreshedMetadataIsKept_data()
    {
        QTest::addColumn<QString>("icon"); // "" when the lookup has none
        QTest::newRow("new icon address") << "https://is2.example.com/b/512x512.png";
        QTest::newRow("icon gone") << "";
    }

    void refreshedMetadataIsKept()
    {
        QFETCH(QString, icon);
        AppInfo info;
        info.appleAppId = QStringLiteral("7");
        info.name = QStringLiteral("Before");
        info.iconURL = QUrl(QStringLiteral("https://is1.example.com/a/100x100.png"));
        info.version = QStringLiteral("1.0");
        TrackedApp app(info, true);
        app.trackedCountries = {QStringLiteral("us"), QStringLiteral("de")};
        app.createdAt = baseTime;
        app.metadataUpdatedAt = baseTime;
        QVERIFY(m_db->insert(app));

        info.name = QStringLiteral("After");
        info.iconURL = icon.isEmpty() ? std::nullopt : std::optional(QUrl(icon));
        info.version = QStringLiteral("2.0");
        auto refreshed = *m_db->appByAppleId(QStringLiteral("7"));
        refreshed.update(info);
        QVERIFY(m_db->update(refreshed));

        const auto stored = m_db->appByAppleId(QStringLiteral("7"));
        QVERIFY(stored);
        QCOMPARE(stored->iconURL, info.iconURL);
        QCOMPARE(stored->name, "After");
        QCOMPARE(stored->version, "2.0");
        QVERIFY(stored->isOwn && stored->createdAt == baseTime);
        QCOMPARE(stored->trackedCountries, app.trackedCountries);
        QVERIFY(stored->metadataUpdatedAt > baseTime);
        QCOMPARE(m_db->apps().size(), 1);
    }

    // One statement of the schema fails (an index name is taken by a table): opening reports
    // it and leaves the file as it was, instead of opening a store without that index.
    void failedSchemaStatementFailsTheOpening()
    {
        QTemporaryDir folder;
        const auto path = folder.filePath(QStringLiteral("vantu.sqlite"));
        StoreDb::openFile(path).reset();
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery query(db);
            QVERIFY(query.exec(QStringLiteral("DROP INDEX rank_state_app_country")));
            QVERIFY(query.exec(QStringLiteral("CREATE TABLE rank_state_app_country (x)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tamper"));

        QString message;
        try {
            StoreDb::openFile(path);
        } catch (const StoreDb::OpenError &error) {
            message = error.description();
        }
        QVERIFY2(message.contains(QStringLiteral("could not be set up"))
                     && message.contains(QStringLiteral("already a table named rank_state_app_country")),
                 qPrintable(message));
    }

private:
    // Inserts the record and returns it with its row id.
    template<typename T>
    T stored(T record)
    {
        if (!m_db->insert(record))
            qFatal("could not store a record");
        return record;
    }
    TrackedApp addApp(const QString &appleAppId)
    {
        AppInfo info;
        info.appleAppId = info.name = appleAppId;
        return stored(TrackedApp(info, false));
    }
    Keyword addKeyword(const QString &normalized) { return stored(Keyword(normalized, normalized)); }
    KeywordLink addLink(const TrackedApp &app, const Keyword &keyword, KeywordSource source)
    {
        return stored(KeywordLink(app, keyword, PlannedCandidate{keyword.display, source, {}, {}}, 0, 0));
    }
    RankSnapshot addSnapshot(const TrackedApp &app, const SearchObservation &observation)
    {
        return stored(RankSnapshot(app, observation, RankingState::found, 3));
    }
    SearchObservation addObservation(const QString &normalized, const QString &country, const QDateTime &checkedAt,
                                     bool succeeded = true, qint64 limit = 100, bool isLatest = true)
    {
        return stored(SearchObservation{0, QUuid::createUuid(), normalized, country, checkedAt, succeeded, limit, 1, 1,
                                        std::nullopt, isLatest, R"([{"appleAppId":"1","name":"A","rank":1}])"});
    }

    std::unique_ptr<StoreDb> m_db;
};

QTEST_GUILESS_MAIN(TestStoreDb)
#include "tst_storedb.moc"
