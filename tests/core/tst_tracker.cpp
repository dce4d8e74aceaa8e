#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"
#include "tracking/RankTracker.h"
#include "tracking/TrackingSchedule.h"
#include "workflows/DiscoveryRun.h"

#include "DamagedDatabase.h"
#include "FakeSearchClient.h"
#include "TestSettings.h"
#include "VirtualClock.h"

#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

static const bool utc = [] { return qputenv("TZ", "UTC"), tzset(), true; }();

class TestTracker : public QObject
{
    Q_OBJECT

    struct Notifier : TrackingNotifying
    {
        QStringList titles;
        QCoro::Task<bool> requestAuthorization() override { co_return true; }
        QCoro::Task<> notify(QString title, QString) override { co_return titles.append(title); }
    };
    struct Popularity : PopularityProviding
    {
        QCoro::Task<PopularityResponse> popularity(QString country, QStringList, CancelTokenPtr) override { co_return {country, {}, {}}; }
    };

    TestSettings m_settings;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();
    std::unique_ptr<ASOStore> m_store;
    Notifier m_notifier;
    std::unique_ptr<RankTracker> m_tracker;
    // The run as it goes: "<country>:<total>" as a job starts, each term sent, the progress count at each
    // data version ("-" when idle), "z<seconds>" for each wait of the loop.
    QStringList m_log;

    // "<app id>:<storefronts>:<manual keywords>" tracks an own app, "key=value" sets a setting,
    // "discovering:<job key>" is a running discovery.
    // Searching "f…" fails and "r…" finds app 1 first, which missed it two hours ago; "c…" comes
    // from a fresh stored search; "d…" deletes app 1 and "s…" stops the run; "m…" presses "Check Now" and
    // logs whether a manual run is then active; the rest find another app.
    void setUp(const QString &setup)
    {
        for (const auto &token : setup.split(u' ', Qt::SkipEmptyParts)) {
            if (token.contains(u'='))
                TestSettings::set(token.section(u'=', 0, 0), token.section(u'=', 1));
            const auto part = token.split(u':');
            if (part[0] == u"discovering")
                m_store->setDiscoveries({{part[1], std::make_shared<DiscoveryRun>(part[1].section(u'|', 1), 5, 0)}});
            if (part.size() < 3)
                continue;
            TrackedApp app(AppInfo{part[0], "App " + part[0]}, true);
            app.trackedCountries = part[1].split(u',');
            m_store->db().insert(app);
            m_store->addKeywords(part[2].split(u',', Qt::SkipEmptyParts), app);
            for (const auto &term : part[2].split(u',', Qt::SkipEmptyParts)) {
                SearchObservation earlier{0, QUuid::createUuid(), term, app.trackedCountries[0],
                                          QDateTime::currentDateTimeUtc().addSecs(term[0] == u'r' ? -7200 : 0), true, 200, 0, 1,
                                          {}, true, "[]"};
                if (term[0] == u'c' || term[0] == u'r')
                    m_store->db().insert(earlier), m_store->apply(earlier, app);
            }
        }
        // Alerts from before the run are not the run's.
        RankAlert old{0, QUuid::createUuid(), "1", "App 1", "k", "k", "us", "MOVED_UP", {}, {}, {},
                      QDateTime::currentDateTimeUtc().addSecs(-60), false};
        m_store->db().insert(old);
        m_log.clear();
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        // Slices as the application cuts them; a test that needs shorter ones sets them itself.
        EventLoopSlice::setBudget(EventLoopSlice::standardBudget);
        m_client->answer = [this](const QString &term) {
            m_log.append(term);
            if (term[0] == u'd')
                m_store->deleteApp(*m_store->app("1"));
            if (term[0] == u's')
                m_tracker->stopManualRun();
            if (term[0] == u'm') {
                m_tracker->startManualRun();
                m_log.append(m_tracker->manualRunActive() ? "manual" : "not manual");
            }
            if (term[0] == u'f')
                throw FakeSearchClient::failure();
            return FakeSearchClient::results({term[0] == u'r' ? "1" : "9"});
        };
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, std::make_shared<Popularity>());
        m_tracker = std::make_unique<RankTracker>(m_store.get(), &m_notifier);
        m_notifier.titles.clear();
        connect(m_tracker.get(), &RankTracker::progressChanged, this, [this](const auto &progress) {
            if (progress && progress->done == 0)
                m_log.append(progress->country + u':' + QString::number(progress->total));
        });
        connect(m_store.get(), &ASOStore::dataVersionChanged, this, [this] {
            m_log.append(m_tracker->progress() ? QString::number(m_tracker->progress()->done) : "-");
        });
    }

    void run_data()
    {
        QTest::addColumn<QString>("setup"); // "loop" runs the due jobs through the loop instead of "Check Now"
        QTest::addColumn<QStringList>("outcome"); // summary, problem, jobs marked as run, log, notification title
        QTest::newRow("no jobs") << "" << QStringList{"0 keywords rechecked", "", "", "-", ""};
        QTest::newRow("an alert, notified") << "1:us:r1 notificationsEnabled=true"
            << QStringList{"1 keyword rechecked, 1 alert", "", "1|us", "us:1 r1 1 -", "1 keyword entered the top 10 for App 1"};
        QTest::newRow("notifications off") << "1:us:r1" << QStringList{"1 keyword rechecked, 1 alert", "", "1|us", "us:1 r1 1 -", ""};
        QTest::newRow("some searches fail") << "1:us:f1,f2,f3,c4,c5,c6,c7,c8,c9,c10" << QStringList{"7 keywords rechecked",
            "3 of 10 searches for App 1 (US) failed and are shown as failed.", "1|us", "us:10 5 f1 f2 f3 10 10 -", ""};
        QTest::newRow("every search fails") << "1:us:f1,f2,f3,f4 2:us:" << QStringList{"0 keywords rechecked",
            "All 4 searches for App 1 (US) failed; retrying at the next check.", "2|us", "us:4 f1 f2 f3 f4 us:0 -", ""};
        QTest::newRow("discovery running") << "1:us,de:n1 discovering:1|us" << QStringList{"1 keyword rechecked",
            "Skipped App 1 (US) while discovery runs; it is retried at the next check.", "1|de", "de:1 n1 1 -", ""};
        QTest::newRow("twelve keywords") << "1:de:c1,c2,c3,c4,c5,c6,c7,c8,c9,c10,c11,c12"
                                         << QStringList{"12 keywords rechecked", "", "1|de", "de:12 5 10 12 -", ""};
        QTest::newRow("deleted app ends the run") << "1:us,de:c1,d2,n3 2:us:n4"
                                                  << QStringList{"2 keywords rechecked", "", "", "us:3 d2 1 -", ""};
        QTest::newRow("stop ends the run, its alerts uncounted") << "1:us:r1,s2 2:us:n4"
                                                                 << QStringList{"2 keywords rechecked", "", "", "us:2 r1 s2 -", ""};
        // The loop is cancelled as its third wait begins.
        QTest::newRow("loop") << "1:us:n1 trackingHour=0 loop" << QStringList{"1 keyword rechecked", "", "1|us", "z20 us:1 n1 1 - z1800 z1800", ""};
        // Check Now during a run starts nothing: only a run that it started counts as manual.
        QTest::newRow("check now during a manual run") << "1:us:m1" << QStringList{"1 keyword rechecked", "", "1|us", "us:1 m1 manual 1 -", ""};
        QTest::newRow("check now during the loop's run") << "1:us:m1 trackingHour=0 loop"
                                                         << QStringList{"1 keyword rechecked", "", "1|us", "z20 us:1 m1 not manual 1 - z1800 z1800", ""};
    }

    void run()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, outcome);
        setUp(setup);
        const auto clock = VirtualClock::create();
        if (setup.contains("loop")) {
            m_tracker->setClock([clock] { return QDateTime::fromSecsSinceEpoch(qint64(clock->now), QTimeZone::utc()); });
            m_tracker->setSleep(clock->sleep());
            clock->onSleep = [this, c = clock.get()] {
                m_log.append(u'z' + QString::number(c->delays.last()));
                if (c->delays.size() == 3)
                    m_tracker->loop()->cancel();
            };
            m_tracker->start();
            m_tracker->start();
            QTRY_COMPARE(clock->delays.size(), 3);
            QTest::qWait(10);
        } else {
            m_tracker->startManualRun();
            const auto handle = m_tracker->manualRun();
            // Runs never overlap.
            if (m_tracker->isRunning()) {
                m_tracker->startManualRun();
                const auto ignored = m_tracker->runAll();
                QCOMPARE(m_tracker->manualRun(), handle);
            }
        }
        QTRY_VERIFY(!m_tracker->isRunning());
        QVERIFY(!m_tracker->manualRunActive());
        const auto marked = Settings::shared().value(TrackingSchedule::lastRunsKey).toMap().keys();
        QCOMPARE((QStringList{m_tracker->lastSummary().value_or("?"), m_tracker->lastProblem().value_or(""), marked.join(u' '),
                              m_log.join(u' '), m_notifier.titles.join(u'\n')}),
                 outcome);
    }

    // A run over stored searches gives the event loop a turn between them, where a timer fires
    // and a Stop pressed then ends the run after the keyword in hand.
    void storedSearchesLetTheEventLoopIn()
    {
        setUp("1:us:c1,c2,c3,c4,c5,c6");
        EventLoopSlice::setBudget(std::chrono::milliseconds(0));
        QList<qint64> seen;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this, [&] {
            if (const auto progress = m_tracker->progress(); progress && seen.size() < 3) {
                seen.append(progress->done);
                if (seen.size() == 3)
                    m_tracker->stopManualRun();
            }
        });
        probe.start(0);
        m_tracker->startManualRun();
        QTRY_VERIFY(!m_tracker->isRunning());
        QCOMPARE(seen.size(), 3);
        QVERIFY(seen.last() < 6);
        QCOMPARE(m_tracker->lastSummary(), QString::number(seen.last() + 1) + " keywords rechecked");
        QVERIFY(m_log.filter(QRegularExpression("^c\\d$")).isEmpty());
    }

    // A keyword whose tracking stops during a run gets no reading from the rest of the run, not
    // even from its search under way, and counts as neither searched nor failed: the job's count
    // shrinks instead, so that the progress still reaches it.
    void stoppedKeywordsAreLeftOut_data()
    {
        QTest::addColumn<QString>("keywords"); // app 1's in the US: "r…" find it at 1, "f…" fail
        QTest::addColumn<QString>("stop"); // "<searched>><stopped>": while the first is searched, the second stops
        QTest::addColumn<QStringList>("outcome"); // searches and job counts, summary, problem, jobs marked as run
        QTest::newRow("a later keyword") << "r1,r2,r3,r4" << "r2>r3"
                                         << QStringList{"of 4 r1 r2 of 3 r4", "3 keywords rechecked, 3 alerts", "", "1|us"};
        QTest::newRow("the keyword under search") << "r1,r2,r3" << "r2>r2"
                                                  << QStringList{"of 3 r1 r2 of 2 r3", "2 keywords rechecked, 2 alerts", "", "1|us"};
        QTest::newRow("failures among those left") << "f1,f2,r3,r4" << "r3>r4" << QStringList{"of 4 f1 f2 r3 of 3",
            "1 keyword rechecked, 1 alert", "2 of 3 searches for App 1 (US) failed and are shown as failed.", "1|us"};
        QTest::newRow("all failed but the one stopped") << "f1,f2,r3" << "f2>r3" << QStringList{"of 3 f1 f2 of 2",
            "0 keywords rechecked", "All 2 searches for App 1 (US) failed; retrying at the next check.", ""};
        QTest::newRow("none left") << "r1" << "r1>r1" << QStringList{"of 1 r1 of 0", "0 keywords rechecked", "", "1|us"};
    }

    void stoppedKeywordsAreLeftOut()
    {
        QFETCH(QString, keywords);
        QFETCH(QString, stop);
        QFETCH(QStringList, outcome);
        setUp("1:us:" + keywords);
        const auto stopped = stop.section(u'>', 1);
        QStringList log;
        qint64 total = -1;
        connect(m_tracker.get(), &RankTracker::progressChanged, this, [&](const auto &progress) {
            if (progress && progress->total != total)
                log.append("of " + QString::number(total = progress->total));
        });
        m_client->answer = [&](const QString &term) {
            log.append(term);
            if (term == stop.section(u'>', 0, 0))
                m_store->unlink(stopped, *m_store->app("1"));
            if (term[0] == u'f')
                throw FakeSearchClient::failure();
            return FakeSearchClient::results({"1"});
        };
        const auto startedAt = QDateTime::currentDateTimeUtc();
        m_tracker->startManualRun();
        QTRY_VERIFY(!m_tracker->isRunning());

        const auto marked = Settings::shared().value(TrackingSchedule::lastRunsKey).toMap().keys();
        QCOMPARE((QStringList{log.join(u' '), m_tracker->lastSummary().value_or("?"), m_tracker->lastProblem().value_or(""),
                              marked.join(u' ')}),
                 outcome);
        for (const auto &snapshot : m_store->snapshots(*m_store->app("1"), "us", stopped))
            QVERIFY(snapshot.checkedAt < startedAt);
        for (const auto &alert : m_store->alertsSince(startedAt))
            QVERIFY(alert.keywordNormalized != stopped);
    }

    // Damage met by the run's own lookup of a keyword's stored search ends the run there: the
    // keyword is not searched anew, as nothing found could be saved.
    void damageMetInAStoredSearchLookupEndsTheRun()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath(QStringLiteral("vantu.sqlite"));
        DamagedDatabase::writeSearched(path, 3);
        DamagedDatabase::rawQuery(path, {QStringLiteral("UPDATE tracked_app SET tracked_countries = '[\"us\"]'")});
        // The first store brings the stored searches to the current layout, reading them all.
        ASOStore(StoreDb::openFile(path), m_client);
        // Of the run's reads, the lookup of a stored search is the first to need this index.
        DamagedDatabase::damageTable(path, QStringLiteral("search_observation_keyword_country_checked"));
        ASOStore store(StoreDb::openFile(path), m_client, std::make_shared<Popularity>());
        RankTracker tracker(&store, &m_notifier);
        m_client->searches.clear();
        QCoro::waitFor(tracker.runAll());
        QVERIFY(store.databaseDamage());
        QCOMPARE(m_client->searches, QStringList());
        QCOMPARE(tracker.lastSummary(), QStringLiteral("0 keywords rechecked"));
        QVERIFY(tracker.lastProblem() && tracker.lastProblem()->contains(QStringLiteral("local database is damaged")));
    }

    // An app removed while an earlier job of the run searches is passed over when its jobs come
    // up: nothing of it is searched, noted or marked, and the jobs after it still run.
    void appRemovedBeforeItsJobIsSkipped()
    {
        setUp("1:us:e1 2:us,de:n2 3:us:n3");
        m_client->answer = [this](const QString &term) {
            m_log.append(term);
            if (term == u"e1")
                m_store->deleteApp(*m_store->app("2"));
            return FakeSearchClient::results({"9"});
        };
        m_tracker->startManualRun();
        QTRY_VERIFY(!m_tracker->isRunning());
        QCOMPARE(m_log.filter(QRegularExpression("^[a-z]\\d$")), (QStringList{"e1", "n3"}));
        QCOMPARE(m_tracker->lastSummary(), "2 keywords rechecked");
        QCOMPARE(m_tracker->lastProblem(), std::nullopt);
        QCOMPARE(Settings::shared().value(TrackingSchedule::lastRunsKey).toMap().keys(), (QStringList{"1|us", "3|us"}));
    }
};

QTEST_GUILESS_MAIN(TestTracker)
#include "tst_tracker.moc"
