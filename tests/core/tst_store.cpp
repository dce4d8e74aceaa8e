#include "clients/AppStoreInput.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "support/EventLoopSlice.h"
#include "support/TaskRunner.h"

#include "FakeSearchClient.h"
#include "LockHolder.h"
#include "TestSettings.h"

#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

// The store on an in-memory database with a scripted search client: adding apps, linking,
// the search path, applying results, alerts, popularity, rows and the start-up repairs.
class TestStore : public QObject
{
    Q_OBJECT

    // Answers every term, every other one from the minimum source, unless told to fail.
    struct FakePopularity : PopularityProviding
    {
        QList<QStringList> requests;
        std::optional<QString> failure;
        QCoro::Task<PopularityResponse> popularity(QString country, QStringList terms, CancelTokenPtr) override
        {
            requests.append(terms);
            if (failure)
                throw PopularityError(*failure);
            PopularityResponse response{country, std::nullopt, {}};
            for (const auto &term : terms)
                response.items.append({term, 10, response.items.size() % 2 ? PopularityItem::Source::appleMinimum
                                                                            : PopularityItem::Source::appleCountry});
            co_return response;
        }
    };

    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client;
    std::shared_ptr<FakePopularity> m_popularity;
    std::unique_ptr<ASOStore> m_store;
    const QDateTime m_now = QDateTime::currentDateTimeUtc();
    const QString us = QStringLiteral("us");

    template<typename T>
    T run(QCoro::Task<T> task) { return *TaskRunner::run(std::move(task)).value; }
    // "key=value key=value"
    static void configure(const QString &settings)
    {
        for (const auto &pair : settings.split(u' ', Qt::SkipEmptyParts))
            TestSettings::set(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    }
    TrackedApp track(const QString &id, bool own = false)
    {
        TrackedApp app(AppInfo{id, QStringLiteral("App ") + id}, own);
        m_store->db().insert(app);
        return app;
    }
    Keyword linked(const TrackedApp &app, const QString &text)
    {
        m_store->addKeywords({text}, app);
        return *m_store->keyword(text.toLower());
    }
    // A successful search in "us" stored as the latest of its keyword, app 100001 at `rank` (0: absent).
    SearchObservation stored(const QString &keyword, int rank, const QDateTime &at, qint64 limit = 200)
    {
        QStringList ids;
        for (int i = 1; i <= std::max(rank, 3); ++i)
            ids.append(i == rank ? QStringLiteral("100001") : QString::number(90 + i));
        const auto hits = FakeSearchClient::results(ids).hits;
        SearchObservation observation{0, QUuid::createUuid(), keyword, us, at, true, limit, hits.size(), 1, {}, true,
                                      AppRecords::encodeHits(hits)};
        m_store->db().clearLatestObservations(keyword, us);
        m_store->db().insert(observation);
        return observation;
    }
    QString latest(const TrackedApp &app, const QString &keyword)
    {
        const auto state = m_store->rankState(app.appleAppId, keyword, us);
        return state ? state->latestStateRaw + u' ' + QString::number(state->latestRank.value_or(0)) : QString();
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        // Slices as the application cuts them; a test that needs shorter ones sets them itself.
        EventLoopSlice::setBudget(EventLoopSlice::standardBudget);
        m_client = std::make_shared<FakeSearchClient>();
        m_popularity = std::make_shared<FakePopularity>();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, m_popularity);
        m_store->setNow([this] { return m_now; });
    }

    void addApp_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("script"); // "<country>=found|fail …", the default storefront, "twice": a second add meanwhile
        QTest::addColumn<QString>("asked");
        QTest::addColumn<QString>("expected"); // "created <country>", "tracked <country>" or an error text
        QTest::newRow("tracked already") << "654321" << "" << "" << "tracked us";
        QTest::newRow("unknown link storefront") << "https://apps.apple.com/xx/app/a/id123456" << "us=found" << "us" << "created us";
        QTest::newRow("every storefront empty") << "123456" << "default=gb" << "gb,us,de,tr,br"
                                                << "No app with ID 123456 was returned by Apple in your favorite storefronts. "
                                                   "Check the ID; the app may be removed or unavailable there.";
        QTest::newRow("last failure wins") << "123456" << "gb=fail default=gb" << "gb,us,de,tr,br" << FakeSearchClient::failure().description();
        QTest::newRow("added twice at once") << "123456" << "us=found twice" << "us,us" << "created us";
        QTest::newRow("found in a favourite") << "apps.apple.com/tr/app/a/id123456" << "de=found" << "tr,us,gb,de" << "created tr";
        QTest::newRow("not an ID") << "hello" << "" << ""
                                   << std::get<AppStoreInput::ParseError>(AppStoreInput::parse(u"hello"_qs)).description();
    }

    void addApp()
    {
        QFETCH(QString, input);
        QFETCH(QString, script);
        QFETCH(QString, asked);
        QFETCH(QString, expected);
        track(QStringLiteral("654321"));
        for (const auto &step : script.split(u' ', Qt::SkipEmptyParts))
            m_client->lookupScript.insert(step.section(u'=', 0, 0), step.section(u'=', 1));
        TestSettings::set(SettingsKey::defaultCountry, m_client->lookupScript.value(u"default"_qs, us));
        auto adding = m_store->addApp(input, true);
        std::optional<QCoro::Task<ASOStore::AddAppResult>> meanwhile;
        if (m_client->lookupScript.contains(u"twice"_qs))
            meanwhile.emplace(m_store->addApp(input, false));
        const auto outcome = TaskRunner::run(std::move(adding));
        if (meanwhile)
            QVERIFY(!run(std::move(*meanwhile)).created && m_store->apps().size() == 2 && m_store->apps().last().isOwn);
        QString result;
        try {
            if (outcome.error)
                std::rethrow_exception(outcome.error);
            result = (outcome.value->created ? u"created "_qs : u"tracked "_qs) + outcome.value->country;
            QVERIFY(!outcome.value->created || outcome.value->app.trackedCountries == QStringList{outcome.value->country});
        } catch (const UserFacingError &error) {
            result = error.description();
        }
        QCOMPARE(result, expected);
        QCOMPARE(m_client->lookups.join(u',').remove(u"123456|"_qs), asked);
        QCOMPARE(m_store->dataVersion(), result.startsWith(u"created") ? 1 : 0);
    }

    void link_data()
    {
        QTest::addColumn<QStringList>("candidates"); // "<text>/<source raw value>"
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("added"); // "<normal form>/<source>/<priority>", in order
        QTest::newRow("same source twice") << QStringList{"Puzzle/MANUAL", "puzzle/MANUAL"} << 1 << QStringList{"puzzle/MANUAL/10000"};
        QTest::newRow("two sources") << QStringList{"puzzle/MANUAL", "Puzzle/APP_NAME"} << 1 << QStringList{"puzzle/MANUAL/10000", "puzzle/APP_NAME/9000"};
        QTest::newRow("linked already") << QStringList{"Chess/MANUAL"} << 0 << QStringList{};
        QTest::newRow("known keyword, new source") << QStringList{"chess/PROBE"} << 0 << QStringList{"chess/PROBE/8000"};
        QTest::newRow("single character") << QStringList{"a/MANUAL"} << 0 << QStringList{};
        QTest::newRow("positions per source") << QStringList{"one/PROBE", "two/MANUAL", "three/PROBE"} << 3
                                              << QStringList{"one/PROBE/8000", "two/MANUAL/10000", "three/PROBE/7999"};
    }

    void link()
    {
        QFETCH(QStringList, candidates);
        QFETCH(int, count);
        QFETCH(QStringList, added);
        const auto app = track(QStringLiteral("100001"));
        linked(app, QStringLiteral("Chess"));
        QSignalSpy saved(m_store.get(), &ASOStore::saved);
        QList<PlannedCandidate> planned;
        for (const auto &candidate : candidates)
            planned.append({candidate.section(u'/', 0, 0), *KeywordSources::fromRaw(candidate.section(u'/', 1)), {}, {}});
        QCOMPARE(m_store->link(planned, app, 1), count);
        QStringList links;
        for (const auto &entry : m_store->db().linksOfApp(app.persistentId).mid(1))
            links.append(QStringLiteral("%1/%2/%3").arg(entry.keyword->normalized, entry.link.sourceRaw).arg(entry.link.priority));
        QCOMPARE(links, added);
        QVERIFY(m_store->dataVersion() == 2 && saved.size() == 1 && !m_store->keyword(QStringLiteral("a")));
    }

    void cacheWindow_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("age"); // seconds before now
        QTest::addColumn<int>("storedLimit");
        QTest::addColumn<bool>("reused");
        QTest::newRow("at the cutoff") << "" << 3600 << 200 << true;
        QTest::newRow("past the cutoff") << "" << 3601 << 200 << false;
        QTest::newRow("larger limit answers") << "searchLimit=100" << 0 << 200 << true;
        QTest::newRow("smaller limit does not") << "" << 0 << 100 << false;
        QTest::newRow("one minute at least") << "cacheMinutes=0" << 61 << 200 << false;
    }

    void cacheWindow()
    {
        QFETCH(QString, settings);
        QFETCH(int, age);
        QFETCH(int, storedLimit);
        QFETCH(bool, reused);
        configure(settings);
        const auto keyword = linked(track(QStringLiteral("100001")), QStringLiteral("chess"));
        const auto cached = stored(keyword.normalized, 1, m_now.addSecs(-age), storedLimit);
        QCOMPARE(run(m_store->observation(keyword, us)).id == cached.id, reused);
        QCOMPARE(m_client->searches.size(), reused ? 0 : 1);
    }

    void sharedForcedAndFailedSearches()
    {
        const auto keyword = linked(track(QStringLiteral("100001")), QStringLiteral("Photo Editor"));
        m_client->answer = [](const QString &) { return FakeSearchClient::results({"100001", "7", "8"}); };
        configure(QStringLiteral("requestsPerMinute=500"));
        // Two callers and a forced one while the search runs share one request.
        auto a = m_store->observation(keyword, us);
        auto b = m_store->observation(keyword, us);
        auto c = m_store->observation(keyword, us, true);
        const auto first = run(std::move(a));
        QVERIFY(run(std::move(b)).id == first.id && run(std::move(c)).id == first.id);
        QCOMPARE(m_client->searches, QStringList{"us|Photo Editor|200"});
        QVERIFY(m_store->limiter()->ratePerMinute() == 60 && m_store->db().metric(QStringLiteral("photo editor|us"))->difficulty);

        // A cache hit leaves the limiter alone; a forced search takes the hits of the older one.
        configure(QStringLiteral("requestsPerMinute=7"));
        QVERIFY(run(m_store->observation(keyword, us)).id == first.id && m_store->limiter()->ratePerMinute() == 60);
        const auto second = run(m_store->observation(keyword, us, true));
        QCOMPARE(m_store->limiter()->ratePerMinute(), 7);
        const auto older = *m_store->db().observation(first.persistentId);
        QVERIFY(!older.isLatest && older.hitsData.isEmpty() && second.isLatest);

        // A failed search is recorded as such and takes nothing from the last successful one.
        m_client->answer = [](const QString &) -> SearchResponse { throw FakeSearchClient::failure(4); };
        const auto failed = run(m_store->observation(keyword, us, true));
        QVERIFY(!failed.succeeded && !failed.isLatest && failed.resultCount == 0 && failed.hitsData == "[]");
        QVERIFY(failed.attempts == 4 && failed.errorMessage == FakeSearchClient::failure(4).description());
        QCOMPARE(m_store->db().observation(second.persistentId)->hits().size(), 3);

        // A search that lost its hits never answers for a larger limit, as if no app were found.
        m_client->answer = [](const QString &) { return FakeSearchClient::results({"100001"}); };
        configure(QStringLiteral("searchLimit=100"));
        run(m_store->observation(keyword, us, true));
        configure(QStringLiteral("searchLimit=200"));
        QVERIFY(run(m_store->observation(keyword, us)).hits().size() == 1 && m_client->searches.size() == 5);
    }

    // Screens re-read on dataVersionSettled and follow saves through saved(): once per change,
    // but a burst holds them back to one per interval and one at its end.
    void burstsFollowedInFewSteps()
    {
        const auto app = track(QStringLiteral("100001"));
        QSignalSpy changed(m_store.get(), &ASOStore::dataVersionChanged);
        QSignalSpy settled(m_store.get(), &ASOStore::dataVersionSettled);
        QSignalSpy saved(m_store.get(), &ASOStore::saved);
        m_store->raiseDataVersion();
        QVERIFY(settled.size() == 1 && changed.size() == 1);
        {
            const ASOStore::Burst outer(m_store.get());
            {
                const ASOStore::Burst inner(m_store.get());
                for (int i = 0; i < 10; ++i) {
                    m_store->addKeywords({QStringLiteral("word %1").arg(i)}, app);
                    m_store->raiseDataVersion();
                }
            }
            QVERIFY(settled.size() == 1 && saved.isEmpty() && changed.size() == 21);
            // The interval passes during the burst: the screens catch up once, with the latest version.
            QVERIFY(settled.wait());
            QVERIFY(settled.size() == 2 && saved.size() == 1);
            QCOMPARE(settled.last().first().toLongLong(), m_store->dataVersion());
            m_store->raiseDataVersion();
        }
        QVERIFY(settled.size() == 3 && saved.size() == 1);
        QCOMPARE(settled.last().first().toLongLong(), m_store->dataVersion());
    }

    // Results that come back without waiting give the event loop a turn between slices: a timer
    // fires in the middle of a loop over stored searches.
    void storedSearchesLetTheEventLoopIn()
    {
        const auto app = track(QStringLiteral("100001"));
        QList<Keyword> keywords;
        for (int i = 0; i < 4; ++i) {
            keywords.append(linked(app, QStringLiteral("word %1").arg(i)));
            stored(keywords.last().normalized, 1, m_now);
        }
        EventLoopSlice::setBudget(std::chrono::milliseconds(0));
        int taken = 0;
        QList<int> seen;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] { seen.append(taken); });
        probe.start(0);
        run([](ASOStore *store, QList<Keyword> keywords, int &taken) -> QCoro::Task<bool> {
            for (const auto &keyword : keywords) {
                co_await store->observation(keyword, QStringLiteral("us"));
                ++taken;
            }
            co_return true;
        }(m_store.get(), keywords, taken));
        QVERIFY2(std::any_of(seen.begin(), seen.end(), [](int n) { return n > 0 && n < 4; }), qPrintable(QString::number(seen.size())));
        QVERIFY(m_client->searches.isEmpty());
    }

    void applyReachesCallingLinkedAndFoundApps()
    {
        const auto mine = track(QStringLiteral("100001"), true);
        const auto rival = track(QStringLiteral("200002"));
        const auto seen = track(QStringLiteral("300003"));
        const auto absent = track(QStringLiteral("400004"));
        const auto keyword = linked(mine, QStringLiteral("Photo Editor"));
        const auto &kw = keyword.normalized;
        linked(rival, kw);
        m_client->answer = [](const QString &) { return FakeSearchClient::results({"1", "2", "3", "4", "200002", "6", "300003", "200002"}); };
        const auto outcome = run(m_store->search(keyword, mine, us));
        QVERIFY(outcome.position.state == RankingState::notFoundInSample && m_store->linkCount(mine) == 1);
        QCOMPARE(QStringList({latest(mine, kw), latest(rival, kw), latest(seen, kw), latest(absent, kw)}),
                 QStringList({"NOT_FOUND_IN_SAMPLE 0", "FOUND 5", "FOUND 7", ""}));
        const auto seenLink = m_store->db().linksOfApp(seen.persistentId).value(0).link;
        QCOMPARE(seenLink.sourceRaw + u": "_qs + seenLink.detail.value_or(QString()),
                 u"OBSERVED_IN_SEARCH: Seen in US results while scanning for App 100001"_qs);
        for (const auto &concerned : {mine, rival, seen})
            QCOMPARE(m_store->db().linksOfApp(concerned.persistentId).first().link.lastTestedAt, outcome.observation.checkedAt);

        // Applying again changes nothing; a failed search is a failed reading, without links or alerts.
        m_store->apply(outcome.observation, mine);
        QCOMPARE(m_store->snapshots(rival, us, kw).size(), 1);
        m_client->answer = [](const QString &) -> SearchResponse { throw FakeSearchClient::failure(); };
        const auto failed = run(m_store->search(keyword, mine, us, true));
        QCOMPARE(latest(rival, kw), u"REQUEST_FAILED 0"_qs);
        QCOMPARE(m_store->db().linksOfApp(rival.persistentId).first().link.lastTestedAt, failed.observation.checkedAt);
        QCOMPARE(m_store->linkCount(absent) + m_store->alerts().size(), 0);

        // An older search applied after a newer reading leaves the readings as they are.
        m_store->apply(outcome.observation, seen);
        QVERIFY(latest(seen, kw) == u"REQUEST_FAILED 0" && m_store->snapshots(seen, us, kw).size() == 2);

        // Deleting an app takes what belongs to it and leaves searches, keywords and metrics.
        QSignalSpy removed(m_store.get(), &ASOStore::removalsEnded);
        m_store->deleteApp(rival);
        QVERIFY(removed.wait(60000));
        QVERIFY(latest(rival, kw).isEmpty() && m_store->linkCount(rival) + m_store->snapshots(rival, us, kw).size() == 0);
        QVERIFY(m_store->keyword(kw) && m_store->db().observationById(outcome.observation.id));
    }

    void alerts_data()
    {
        QTest::addColumn<QString>("readings"); // "<rank>[/<limit>] …": 0 not found, x a failed search
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("own");
        QTest::addColumn<QString>("expected"); // "<kind> <from>><to>"
        QTest::newRow("entered top 10") << "12 9" << "alertMoveThreshold=50" << true << "ENTERED_TOP_10 12>9";
        QTest::newRow("left top 10") << "9 12" << "" << true << "LEFT_TOP_10 9>12";
        QTest::newRow("moved up") << "30 24" << "" << true << "MOVED_UP 30>24";
        QTest::newRow("below threshold") << "30 24" << "alertMoveThreshold=7" << true << "";
        QTest::newRow("moved down") << "24 30" << "" << true << "MOVED_DOWN 24>30";
        QTest::newRow("small move, low threshold") << "3 1" << "alertMoveThreshold=2" << true << "MOVED_UP 3>1";
        QTest::newRow("threshold 0 acts as 1") << "5 5" << "alertMoveThreshold=0" << true << "";
        QTest::newRow("threshold 80 acts as 50") << "120 70" << "alertMoveThreshold=80" << true << "MOVED_UP 120>70";
        QTest::newRow("new in top 10") << "0 8" << "" << true << "ENTERED_TOP_10 >8";
        QTest::newRow("new beyond a shallow search") << "0/100 150" << "" << true << "";
        QTest::newRow("new ranking") << "0 150" << "" << true << "NEW_RANKING >150";
        QTest::newRow("lost from top 10") << "7 0" << "" << true << "LEFT_TOP_10 7>";
        QTest::newRow("lost beyond a shallow search") << "150 0/100" << "" << true << "";
        QTest::newRow("lost ranking") << "150 0" << "" << true << "LOST_RANKING 150>";
        QTest::newRow("failed reading passed over") << "12 x 9" << "" << true << "ENTERED_TOP_10 12>9";
        QTest::newRow("competitor, own apps") << "12 9" << "" << false << "";
        QTest::newRow("competitor, all apps") << "12 9" << "trackingScope=ALL" << false << "ENTERED_TOP_10 12>9";
        QTest::newRow("alerts off") << "12 9" << "alertsEnabled=false" << true << "";
    }

    void alerts()
    {
        QFETCH(QString, readings);
        QFETCH(QString, settings);
        QFETCH(bool, own);
        QFETCH(QString, expected);
        configure(settings);
        const auto app = track(QStringLiteral("100001"), own);
        const auto keyword = linked(app, QStringLiteral("chess"));
        m_client->answer = [](const QString &) -> SearchResponse { throw FakeSearchClient::failure(); };
        int at = -200;
        for (const auto &reading : readings.split(u' ')) {
            const auto limit = reading.contains(u'/') ? reading.section(u'/', 1).toInt() : 200;
            const auto time = QDateTime::currentDateTimeUtc().addSecs(at += 100);
            m_store->apply(reading == u"x" ? run(m_store->observation(keyword, us, true))
                                           : stored(keyword.normalized, reading.section(u'/', 0, 0).toInt(), time, limit), app);
        }
        QStringList raised;
        for (const auto &alert : m_store->alerts())
            raised.append(alert.kindRaw + u' ' + (alert.fromRank ? QString::number(*alert.fromRank) : QString()) + u'>'
                          + (alert.toRank ? QString::number(*alert.toRank) : QString()));
        QCOMPARE(raised.join(u';'), expected);
        QCOMPARE(m_store->unreadAlertCount(), raised.size());
        m_store->markAlertsRead(m_store->alerts(), true);
        m_store->deleteAlerts({});
        QVERIFY(m_store->unreadAlertCount() == 0 && m_store->dataVersion() == 3);
    }

    void popularity_data()
    {
        QTest::addColumn<int>("age"); // seconds since the stored values were checked; -1: no metric
        QTest::addColumn<bool>("force");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("error"); // also tells whether the service was asked
        QTest::newRow("almost a day") << 86'340 << false << "" << "earlier problem";
        QTest::newRow("over a day") << 86'460 << false << "" << "";
        QTest::newRow("never fetched") << -1 << false << "" << "";
        QTest::newRow("forced") << 3600 << true << "" << "";
        QTest::newRow("service fails") << -1 << false << "Service down" << "Service down";
    }

    void popularity()
    {
        QFETCH(int, age);
        QFETCH(bool, force);
        QFETCH(QString, failure);
        QFETCH(QString, error);
        const auto app = track(QStringLiteral("100001"));
        m_store->link({{"alpha", KeywordSource::manual, {}, {}}, {"Alpha", KeywordSource::appName, {}, {}},
                       {"beta", KeywordSource::probe, {}, {}}}, app);
        for (const auto &term : {u"alpha"_qs, u"beta"_qs}) {
            KeywordMetric metric(term, us);
            metric.popularity = 3;
            metric.popularityCheckedAt = QDateTime::currentDateTimeUtc().addSecs(-age);
            if (age >= 0)
                m_store->db().insert(metric);
        }
        m_store->setPopularityError(QStringLiteral("earlier problem"));
        m_popularity->failure = failure.isEmpty() ? std::nullopt : std::optional(failure);
        QSignalSpy errors(m_store.get(), &ASOStore::popularityErrorChanged);
        TaskRunner::run(m_store->refreshPopularity(app, us, force));

        const bool asked = error != u"earlier problem";
        const bool written = asked && failure.isEmpty();
        QCOMPARE(m_popularity->requests.value(0), asked ? QStringList({"alpha", "beta"}) : QStringList());
        QCOMPARE(m_store->popularityError().value_or(QString()), error);
        QVERIFY(errors.size() == int(asked) && m_store->dataVersion() == 1 + int(written));
        const auto metrics = m_store->metrics(us);
        QCOMPARE(metrics.value(QStringLiteral("alpha")).popularity.value_or(0), written ? 10 : age >= 0 ? 3 : 0);
        QCOMPARE(metrics.value(QStringLiteral("beta")).popularitySourceRaw.value_or(QString()), written ? "APPLE_ADS_MINIMUM" : "");
    }

    void rowsAndHistory()
    {
        const auto app = track(QStringLiteral("100001"));
        m_store->link({{"Alpha", KeywordSource::description, QStringLiteral("from the text"), {}}, {"alpha", KeywordSource::appName, {}, {}},
                       {"alpha", KeywordSource::manual, QString(), {}}, {"beta", KeywordSource::manual, {}, {}},
                       {"gamma", KeywordSource::probe, {}, {}}}, app);
        KeywordLink legacy(app, *m_store->keyword(QStringLiteral("beta")), {"beta", KeywordSource::probe, {}, {}}, 0, 0);
        legacy.sourceRaw = QStringLiteral("LEGACY");
        m_store->db().insert(legacy);
        for (const auto &[keyword, before, after] : {std::tuple{"alpha", 9, 4}, {"beta", 0, 2}}) {
            m_store->apply(stored(QString::fromLatin1(keyword), before, m_now.addSecs(-200)), app);
            m_store->apply(stored(QString::fromLatin1(keyword), after, m_now.addSecs(-100)), app);
        }
        KeywordMetric metric(QStringLiteral("alpha"), us);
        metric.popularity = 40;
        metric.difficulty = 60;
        m_store->db().insert(metric);
        m_store->raiseDataVersion();
        QSignalSpy versions(m_store.get(), &ASOStore::dataVersionChanged);
        m_store->setDataVersion(m_store->dataVersion());

        QHash<QString, KeywordRow> rows;
        for (const auto &row : m_store->rows(app, us))
            rows.insert(row.id, row);
        const auto &alpha = rows[QStringLiteral("alpha")];
        QCOMPARE(alpha.sources, (QList{KeywordSource::manual, KeywordSource::appName, KeywordSource::description}));
        QCOMPARE(alpha.provenance, u"Description: from the text\nApp name\nManual: "_qs);
        QVERIFY(alpha.rank == 4 && alpha.previousRank == 9 && alpha.change == Ranking::Change::moved(5) && alpha.opportunity == 40);
        const auto &beta = rows[QStringLiteral("beta")];
        QVERIFY(beta.sources == QList{KeywordSource::manual} && beta.provenance == u"Manual\nManual");
        QVERIFY(!beta.previousRank && beta.change == Ranking::Change::newRanking() && !beta.popularity);
        const auto &gamma = rows[QStringLiteral("gamma")];
        QVERIFY(gamma.state == RankingState::notChecked && gamma.rankSortKey() > 1'000'000 && gamma.checkedAtSortKey() < alpha.checkedAtSortKey());

        // The rows are kept until the data version changes; another storefront has its own.
        m_store->db().removeLinksOfAppToKeyword(app.persistentId, QStringLiteral("gamma"));
        QCOMPARE(m_store->rows(app, us).size(), 3);
        QCOMPARE(m_store->rows(app, QStringLiteral("gb")).first().state, RankingState::notChecked);
        m_store->raiseDataVersion();
        QVERIFY(m_store->rows(app, us).size() == 2 && versions.size() == 1);

        QCOMPARE(m_store->snapshots(app, us, QStringLiteral("alpha")).value(0).rank, 9);
        QCOMPARE(m_store->latestObservations({QStringLiteral("alpha"), QStringLiteral("gamma")}, us).size(), 1);
        QVERIFY(m_store->latestObservations({QStringLiteral("alpha")}, QStringLiteral("gb")).isEmpty());
    }

    void keptRowsFollowEveryWrite()
    {
        // Kept rows brought up to date keyword by keyword read exactly as a full read, in order.
        auto mine = track(QStringLiteral("100001"), true);
        auto rival = track(QStringLiteral("200002"));
        const QString gb = QStringLiteral("gb");
        QList<PlannedCandidate> candidates;
        for (int i = 0; i < 12; ++i)
            candidates.append({QStringLiteral("k%1").arg(i), i % 3 ? KeywordSource::manual : KeywordSource::description,
                               i % 2 ? std::optional<QString>(QStringLiteral("d%1").arg(i)) : std::nullopt, {}});
        m_store->link(candidates, mine);
        m_store->link(candidates.mid(4, 4), rival);
        const auto check = [&](const char *step) {
            m_store->raiseDataVersion();
            for (const auto &app : {mine, rival}) {
                for (const auto &country : {us, gb}) {
                    const auto kept = m_store->rows(app, country);
                    QVERIFY2(!kept.isEmpty() && kept == m_store->readRows(app, country), step);
                }
            }
        };
        check("first read");

        for (const auto &[keyword, rank] : {std::pair{"k1", 3}, {"k2", 0}, {"k5", 7}, {"k1", 1}})
            m_store->apply(stored(QString::fromLatin1(keyword), rank, m_now.addSecs(-100 + rank)), mine);
        check("searches applied");
        m_store->link({{"k12", KeywordSource::probe, {}, {}}, {"k3", KeywordSource::appName, QStringLiteral("again"), {}}},
                      mine);
        check("links added");
        m_store->unlink(QStringLiteral("k4"), mine);
        check("unlinked");
        // Linked anew, its first link is the newest: the row moves to the end.
        m_store->addKeywords({QStringLiteral("k4")}, mine);
        check("linked again");
        QCOMPARE(m_store->rows(mine, us).last().id, "k4");
        TaskRunner::run(m_store->refreshPopularity(mine, us, true));
        KeywordMetric metric(QStringLiteral("k6"), gb);
        metric.difficulty = 30;
        m_store->db().insert(metric);
        check("metrics written");
        {
            // Written and read, then rolled back.
            StoreDb::Transaction save(m_store->db());
            m_store->db().removeLinksOfAppToKeyword(mine.persistentId, QStringLiteral("k7"));
            m_store->raiseDataVersion();
            QCOMPARE(m_store->rows(mine, us).size(), 12);
        }
        check("rolled back");
        Keyword renamed = *m_store->keyword(QStringLiteral("k8"));
        renamed.display = QStringLiteral("K8");
        m_store->db().insert(renamed);
        check("display changed");
        m_store->deleteApp(rival);
        rival = track(QStringLiteral("200002"));
        m_store->link(candidates.mid(0, 2), rival);
        check("app tracked again");
    }

    void repairsBringAnOldLayoutUpToDate()
    {
        const auto at = [](int hour) { return QDateTime(QDate(2024, 3, 1), QTime(hour, 0), QTimeZone::utc()); };
        auto db = StoreDb::openInMemory();
        TrackedApp app(AppInfo{QStringLiteral("100001"), QStringLiteral("A")}, true);
        db->insert(app);
        const auto observe = [&](const QString &country, int hour, bool ok, bool latest) {
            SearchObservation o{0, QUuid::createUuid(), QStringLiteral("alpha"), country, at(hour), ok, 200, 3, 1, {}, latest,
                                ok ? QByteArray(R"([{"appleAppId":"1","name":"A","rank":1}])") : "[]"};
            db->insert(o);
            return o;
        };
        // Snapshots stored out of time order: the state follows time.
        for (const auto &[hour, rank] : {std::pair{9, 5}, {7, 3}, {8, 0}}) {
            RankSnapshot snapshot(app, observe(QStringLiteral("gb"), hour, true, true),
                                  rank ? RankingState::found : RankingState::notFoundInSample, rank ? std::optional<qint64>(rank) : std::nullopt);
            db->insert(snapshot);
        }
        observe(us, 10, true, false);
        observe(us, 9, true, true);
        observe(us, 11, false, true);
        for (const auto &source : {u"APPLE_ADS_MINIMUM"_qs, u"apple_ads_country"_qs, QString()}) {
            KeywordMetric metric(QStringLiteral("k") + source, us);
            metric.popularity = 50;
            metric.popularitySourceRaw = source.isEmpty() ? std::nullopt : std::optional(source);
            db->insert(metric);
        }

        ASOStore store(std::move(db), m_client);
        const auto state = *store.rankState(QStringLiteral("100001"), QStringLiteral("alpha"), QStringLiteral("gb"));
        QVERIFY(state.latestRank == 5 && state.previousStateRaw == u"NOT_FOUND_IN_SAMPLE" && state.lastFoundAt == at(9));
        QStringList latest; // hour and hit count of the latest searches
        for (const auto &o : store.db().latestObservations(us) + store.db().latestObservations(QStringLiteral("gb")))
            latest.append(QStringLiteral("%1:%2").arg(o.checkedAt.time().hour()).arg(o.hits().size()));
        QCOMPARE(latest, (QStringList{"10:1", "11:0", "9:1"}));
        const auto metrics = store.metrics(us);
        QVERIFY(metrics[u"kAPPLE_ADS_MINIMUM"_qs].popularity && !metrics[u"kapple_ads_country"_qs].popularity && !metrics[u"k"_qs].popularity);
        QCOMPARE(store.db().meta(QStringLiteral("layoutVersion"))->value, 2);

        // Without a usable service address there is no popularity, and the user is told so: with a
        // stored address that has no scheme, and with none stored, as the test build names no service.
        const QString notConfigured = QStringLiteral("No popularity server is configured, so keyword popularity is not available.");
        configure(QStringLiteral("popularityServer=popularity.example.com"));
        TaskRunner::run(store.refreshPopularity(app, us));
        QCOMPARE(store.popularityError().value_or(QString()), notConfigured);
        store.setPopularityError(std::nullopt);
        Settings::shared().remove(SettingsKey::popularityServer);
        TaskRunner::run(store.refreshPopularity(app, us));
        QCOMPARE(store.popularityError().value_or(QString()), notConfigured);
    }

    // An alert compares a reading with an earlier one: a second reading of the same time (the
    // same search applied again, or two taken in one millisecond) raises none.
    void alertNeedsAnEarlierReading_data()
    {
        QTest::addColumn<int>("apartMs"); // from the first reading (rank 12) to the second (rank 9)
        QTest::addColumn<QString>("expected");
        QTest::newRow("same check time") << 0 << "";
        QTest::newRow("one millisecond later") << 1 << "ENTERED_TOP_10";
        QTest::newRow("earlier reading applied later") << -1 << "";
    }

    void alertNeedsAnEarlierReading()
    {
        QFETCH(int, apartMs);
        const auto app = track(QStringLiteral("100001"), true);
        const auto keyword = linked(app, QStringLiteral("chess"));
        const auto first = m_now.addSecs(-600);
        m_store->apply(stored(keyword.normalized, 12, first), app);
        m_store->apply(stored(keyword.normalized, 9, first.addMSecs(apartMs)), app);
        QStringList raised;
        for (const auto &alert : m_store->alerts())
            raised.append(alert.kindRaw);
        QTEST(raised.join(u';'), "expected");
    }

    // The unknown-source repair runs again only when a program of another layout used the file
    // since it last ran (it is skipped otherwise, so a source it would clear is left alone).
    // A search's result and its readings, or popularity, that come back while another program
    // holds the write lock wait for it between turns of the event loop, not in the save, and are
    // saved once it goes. The lock goes after ten turns of a timer: a save that held the window
    // until it went would wait in vain, and one that did not wait would find it held.
    void repliesWaitForAnotherProgramsLockBetweenTurns_data()
    {
        QTest::addColumn<bool>("popularity");
        QTest::newRow("search") << false;
        QTest::newRow("popularity") << true;
    }

    void repliesWaitForAnotherProgramsLockBetweenTurns()
    {
        QFETCH(bool, popularity);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        ASOStore store(StoreDb::openFile(path), m_client, m_popularity);
        TrackedApp app(AppInfo{QStringLiteral("11111"), QStringLiteral("App 11111")}, true);
        QVERIFY(store.db().insert(app));
        QVERIFY(store.addKeywords({QStringLiteral("photo")}, app) == 1);
        m_client->answer = [](const QString &) { return FakeSearchClient::results({QStringLiteral("22222"), QStringLiteral("11111")}); };
        const auto keyword = store.keyword(QStringLiteral("photo"));
        QVERIFY(keyword);
        auto holder = std::make_unique<LockHolder>(path, std::chrono::seconds(60));
        bool done = false;
        std::optional<ASOStore::SearchOutcome> outcome;
        auto task = popularity ? store.refreshPopularity(app, us, true).then([&] { done = true; })
                               : store.search(*keyword, app, us, true).then([&](ASOStore::SearchOutcome found) {
                                     outcome = std::move(found);
                                     done = true;
                                 });
        QTRY_VERIFY(popularity ? !m_popularity->requests.isEmpty() : !m_client->searches.isEmpty());
        int turns = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, [&] {
            if (++turns == 10)
                holder.reset();
        });
        ticks.start(10);
        QTRY_VERIFY_WITH_TIMEOUT(done, 20000);
        QVERIFY(!holder);
        if (popularity) {
            QCOMPARE(store.metrics(us).value(QStringLiteral("photo")).popularity, std::optional<qint64>(10));
        } else {
            QVERIFY(outcome->observation.persistentId != 0);
            const auto state = store.rankState(app.appleAppId, QStringLiteral("photo"), us);
            QVERIFY(state);
            QCOMPARE(state->latestObservationId, outcome->observation.id);
        }
    }

    void unknownSourcesClearedOncePerLayout_data()
    {
        QTest::addColumn<std::optional<qint64>>("clearedBy");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("file of an older program") << std::optional<qint64>() << true;
        QTest::newRow("another layout since") << std::optional<qint64>(3) << true;
        QTest::newRow("this layout") << std::optional<qint64>(2) << false;
    }

    void unknownSourcesClearedOncePerLayout()
    {
        QFETCH(std::optional<qint64>, clearedBy);
        QFETCH(bool, cleared);
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        { ASOStore(StoreDb::openFile(path), m_client); }
        {
            auto db = StoreDb::openFile(path);
            QVERIFY(db->removeMeta(QStringLiteral("popularitySourcesClearedLayout")));
            if (clearedBy) {
                StoreMeta meta(QStringLiteral("popularitySourcesClearedLayout"), *clearedBy);
                QVERIFY(db->insert(meta));
            }
            KeywordMetric metric(QStringLiteral("alpha"), us);
            metric.popularity = 40;
            metric.popularitySourceRaw = QStringLiteral("SOME_FUTURE_SOURCE");
            QVERIFY(db->insert(metric));
        }
        ASOStore store(StoreDb::openFile(path), m_client);
        QCOMPARE(!store.metrics(us).value(QStringLiteral("alpha")).popularity, cleared);
        QCOMPARE(store.db().meta(QStringLiteral("popularitySourcesClearedLayout"))->value, 2);
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
