#include "store/ASOStore.h"
#include "workflows/DiscoveryRun.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"

#include <QtTest>

// A scripted client that runs a hook as each lookup starts, as a user's stop arrives while the
// run waits for the lookup.
class LookupHookClient : public FakeSearchClient
{
public:
    std::function<void()> onLookup = [] {};

    QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString country, CancelTokenPtr cancel) override
    {
        onLookup();
        return FakeSearchClient::lookup(std::move(appleAppId), std::move(country), std::move(cancel));
    }
};

// Whole discovery runs on an in-memory database with a scripted search client, and the choice
// of keywords to search.
class TestDiscovery : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<LookupHookClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    std::shared_ptr<DiscoveryRun> m_run;
    TrackedApp m_app;
    std::function<char(int)> m_outcome;  // per search, from 1: 'f' finds the app, 'x' fails, else a miss
    std::function<void(int)> m_onSearch;
    QList<QPair<qint64, qint64>> m_versions; // round and data version as each search starts
    QStringList m_phases;
    const QString us = QStringLiteral("us");
    const QString firstNote = QStringLiteral(
        "Apple has no public autocomplete API; suggestions come from titles in real Apple search results.");

    // "key=value key=value"
    static void configure(const QString &settings)
    {
        for (const auto &pair : settings.split(u' ', Qt::SkipEmptyParts))
            TestSettings::set(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    }
    void start(const QString &country)
    {
        m_run = m_store->startDiscovery(m_app, country);
        connect(m_run.get(), &DiscoveryRun::phaseChanged, this, [this](const QString &phase) { m_phases << phase; });
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        configure(QStringLiteral("popularityServer="));
        m_outcome = [](int) { return 'f'; };
        m_onSearch = [](int) {};
        m_versions.clear();
        m_phases.clear();
        m_client = std::make_shared<LookupHookClient>();
        m_client->lookupScript.insert(us, QStringLiteral("found"));
        m_client->answer = [this](const QString &) {
            const int n = int(m_client->searches.size());
            m_versions.append({m_run->round(), m_store->dataVersion()});
            m_onSearch(n);
            if (m_outcome(n) == 'x')
                throw FakeSearchClient::failure();
            return FakeSearchClient::results(m_outcome(n) == 'f' ? QStringList{"7", "1"} : QStringList{"7", "8"});
        };
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
        m_app = TrackedApp(AppInfo{QStringLiteral("1"), QStringLiteral("Pocket Ledger")}, true);
        m_store->db().insert(m_app);
        QStringList words;
        for (int i = 0; i < 320; ++i)
            words << QStringLiteral("budget word%1").arg(i);
        if (QByteArray(QTest::currentTestFunction()) != "searchQueue")
            m_store->addKeywords(words, m_app);
    }

    void budgetAndStreak_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("foundEvery"); // 0: never
        QTest::addColumn<int>("failEvery");  // 0: never
        QTest::addColumn<QList<qint64>>("picks");
        QTest::addColumn<qint64>("queued");
        QTest::addColumn<bool>("streak");  // every round ends on 40 misses in a row
        QTest::addColumn<int>("related"); // looked up in round 2, never again
        QTest::newRow("every round its even share") << "" << 1 << 0 << QList<qint64>{75, 75, 75, 75} << 300LL << false << 1;
        QTest::newRow("40 misses end each round") << "" << 0 << 0 << QList<qint64>{75, 87, 110, 180} << 160LL << true << 2;
        QTest::newRow("failures leave the streak") << "" << 0 << 5 << QList<qint64>{75, 84, 101, 151} << 199LL << true << 2;
        QTest::newRow("a find restarts the streak") << "" << 30 << 0 << QList<qint64>{75, 75, 75, 75} << 300LL << false << 2;
        QTest::newRow("smallest budget, deepest run") << "discoveryBudget=0 discoveryDepth=9 relatedApps=0" << 1 << 0 << QList<qint64>{1, 1, 1, 1, 1} << 5LL << false << 0;
        QTest::newRow("depth 0 spends all at once") << "discoveryDepth=-1" << 1 << 0 << QList<qint64>{300} << 300LL << false << 0;
    }
    void budgetAndStreak()
    {
        QFETCH(int, foundEvery);
        QFETCH(int, failEvery);
        QFETCH(QList<qint64>, picks);
        QFETCH(int, related);
        QFETCH(QString, settings);
        QFETCH(bool, streak);
        configure(settings);
        m_outcome = [=](int n) { return failEvery && n % failEvery == 0 ? 'x' : foundEvery && n % foundEvery == 0 ? 'f' : 'm'; };
        start(us);
        QCOMPARE(m_store->startDiscovery(m_app, us), m_run);
        QTRY_VERIFY_WITH_TIMEOUT(!m_run->isRunning() && m_run->finishedAt(), 60'000);

        QStringList phases, notes{firstNote};
        for (int round = 1; round <= picks.size(); ++round) {
            phases << QStringLiteral("Round %1: generating candidates").arg(round);
            if (round == 2 && related > 0)
                phases << QStringLiteral("Round 2: inspecting %1 related apps").arg(related);
            phases << QStringLiteral("Round %1: searching %2 keywords on Apple").arg(round).arg(picks[round - 1]);
            if (streak)
                notes << QStringLiteral("Round %1: 40 searches in a row found nothing, moved on early.").arg(round);
        }
        QCOMPARE(m_phases, phases << QStringLiteral("Done"));
        QCOMPARE(m_run->notes(), notes);
        QTEST(m_run->queued(), "queued");
        QCOMPARE(m_store->app(m_app.appleAppId)->trackedCountries, QStringList{us}); // added once
        QCOMPARE(m_run->relatedInspected(), related);
        QCOMPARE(m_run->searched(), m_run->found() + m_run->notFound() + m_run->failed());
        QCOMPARE(m_run->searched(), m_client->searches.size());
        // No keyword twice in a run, not even one whose search failed.
        QCOMPARE(QSet<QString>(m_client->searches.begin(), m_client->searches.end()).size(), m_client->searches.size());
        // Inside a round the data version moves once every third search.
        for (int n = 1; n < m_versions.size(); ++n) {
            if (m_versions[n].first == m_versions[n - 1].first)
                QCOMPARE(m_versions[n].second - m_versions[n - 1].second, n % 3 == 0 ? 1 : 0);
        }
    }

    void endings_data()
    {
        QTest::addColumn<int>("at");        // the search that brings the event; 0: right after the start
        QTest::addColumn<QString>("event"); // "cancel", "delete" (the app), "lookup" (cancel during the
                                            // related-app lookup), or "" for running out of candidates
        QTest::addColumn<qint64>("round");
        QTest::addColumn<qint64>("queued");
        QTest::newRow("cancelled before the first round") << 0 << "cancel" << 0LL << 0LL;
        QTest::newRow("cancelled during a search") << 5 << "cancel" << 1LL << 75LL;
        QTest::newRow("app deleted during a search") << 5 << "delete" << 1LL << 75LL;
        // The round still links, queues its picks and shows its searching phase; the stop comes
        // at its first search.
        QTest::newRow("cancelled during the related-app lookup") << 75 << "lookup" << 2LL << 150LL;
        QTest::newRow("nothing new in a later round") << -1 << "" << 2LL << -1LL;
    }
    void endings()
    {
        QFETCH(int, at);
        QFETCH(QString, event);
        m_onSearch = [&](int n) { if (n == at && event != u"lookup") event == u"delete" ? void(m_store->deleteApp(m_app)) : m_run->cancel(); };
        m_client->onLookup = [&] { if (event == u"lookup") m_run->cancel(); };
        if (event.isEmpty()) { // every search fails, and the first round searches all it links
            configure(QStringLiteral("discoveryBudget=500 discoveryDepth=1"));
            m_outcome = [](int) { return 'x'; };
            for (const auto &keyword : m_store->linkedKeywords(m_app))
                m_store->unlink(keyword, m_app);
        }
        start(us);
        if (at == 0)
            m_run->cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!m_run->isRunning() && m_run->finishedAt(), 60'000);
        QCOMPARE(m_run->phase(), event.isEmpty() ? QStringLiteral("Done") : QStringLiteral("Stopped"));
        QCOMPARE(m_run->notes(), QStringList{firstNote} + (event.isEmpty() ? QStringList{
            "Round 2 found no new candidates; stopped early."} : QStringList()));
        QTEST(m_run->round(), "round");
        if (at >= 0) {
            QTEST(m_run->queued(), "queued"); // the picks not searched stay queued
            QCOMPARE(m_client->searches.size(), at);
        }
        if (event == u"lookup") {
            QCOMPARE(m_phases.mid(m_phases.size() - 3), (QStringList{"Round 2: inspecting 1 related apps",
                                                                      "Round 2: searching 75 keywords on Apple", "Stopped"}));
            QCOMPARE(m_run->relatedInspected(), 1);
        }
        const auto finished = m_run; // a new run replaces a finished one
        start(us);
        QVERIFY(m_run != finished && m_run->isRunning() && m_run->notes().isEmpty());
        QCOMPARE(m_store->discoveryRun(m_app, us), m_run);
        m_run->cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!m_run->isRunning() && m_run->finishedAt(), 60'000);
    }

    void searchQueue()
    {
        for (const char *text : {"bee", "apple", "app", "fresh", "stale", "failed", "skipped"})
            m_store->addKeywords({QString::fromLatin1(text)}, m_app); // each first in its batch
        m_store->link({{QStringLiteral("seen"), KeywordSource::observedInSearch, {}, {}},
                       {QStringLiteral("seen"), KeywordSource::probe, {}, {}},
                       {QStringLiteral("mid"), KeywordSource::description, {}, {}}}, m_app);
        const std::tuple<const char *, RankingState, int> readings[] = {{"fresh", RankingState::found, 600},
            {"stale", RankingState::notFoundInSample, 7200}, {"failed", RankingState::requestFailed, 600}};
        for (const auto &[keyword, state, secondsAgo] : readings) {
            const auto at = QDateTime::currentDateTimeUtc().addSecs(-secondsAgo);
            const SearchObservation search{0, {}, QString::fromLatin1(keyword), us, at, true, 200, 0, 1, {}, false, {}};
            RankState reading(m_app.appleAppId, RankSnapshot(m_app, search, state, {}));
            m_store->db().insert(reading);
        }
        const auto queue = [&](qint64 limit) {
            QStringList texts;
            for (const auto &keyword : m_store->keywordsToSearch(m_app, us, limit, {QStringLiteral("skipped")}))
                texts << keyword.normalized;
            return texts;
        };
        // Never read first, then by the best priority of the links, then by text.
        QCOMPARE(queue(100), (QStringList{"app", "apple", "bee", "seen", "mid", "failed", "stale"}));
        configure(QStringLiteral("cacheMinutes=5"));
        QCOMPARE(queue(100), (QStringList{"app", "apple", "bee", "seen", "mid", "failed", "fresh", "stale"}));
        QVERIFY(queue(0).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDiscovery)
#include "tst_discovery.moc"
