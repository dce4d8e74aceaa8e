#include "model/AlertEditCoding.h"
#include "model/LogCheckpointer.h"
#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"
#include "WrittenPages.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// What removing an app and editing many alerts write to the disk, in pages counted at SQLite's
// side, on readings written as the application writes them: each search with a random id.
class TestRemovalPages : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();
    LogCheckpointer::Limits m_limits;

    static qint64 total(const WrittenPages::Pages &pages) { return pages.log + pages.file; }

    // Two apps, each with its own keywords, read daily in three storefronts; alerts of both.
    static QList<TrackedApp> writeAccount(const QString &path, int days)
    {
        QList<TrackedApp> apps{TrackedApp(AppInfo{QStringLiteral("10001"), QStringLiteral("One")}, true),
                               TrackedApp(AppInfo{QStringLiteral("20002"), QStringLiteral("Two")}, false)};
        ASOStore store(StoreDb::openFile(path), std::make_shared<FakeSearchClient>());
        auto &db = store.db();
        for (auto &app : apps)
            db.insert(app);
        const QDateTime start(QDate(2025, 1, 1), QTime(9, 0), Qt::UTC);
        for (int day = 0; day < days; ++day) {
            StoreDb::Transaction save(db);
            for (int keyword = 0; keyword < 40; ++keyword) {
                for (const auto *country : {"us", "gb", "de"}) {
                    SearchObservation observation{0, QUuid::createUuid(), QStringLiteral("keyword %1").arg(keyword),
                                                  QString::fromLatin1(country), start.addDays(day).addSecs(keyword),
                                                  true, 200, 200, 1, {}, false, {}};
                    db.insert(observation);
                    RankSnapshot snapshot(apps.at(keyword % 2), observation, RankingState::found, 1 + (day + keyword) % 150);
                    db.insert(snapshot);
                    if ((keyword + day) % 10 == 0) {
                        const auto &app = apps.at(keyword % 2);
                        RankAlert alert{0, QUuid::createUuid(), app.appleAppId, app.name, observation.keywordNormalized,
                                        observation.keywordNormalized, observation.country, QStringLiteral("MOVED_UP"),
                                        3, 1, observation.id, observation.checkedAt, false};
                        db.insert(alert);
                    }
                }
            }
            save.commit();
        }
        return apps;
    }

    // The pages of deleting the app's rows in one save, on a copy, and copying them back.
    qint64 singleSave(const QString &path, const TrackedApp &app)
    {
        const auto copy = path + QStringLiteral("-single");
        QFile::copy(path, copy);
        qint64 pages = 0;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("single"));
            db.setDatabaseName(copy);
            db.open();
            QSqlQuery query(db);
            for (const auto *pragma : {"PRAGMA foreign_keys = ON", "PRAGMA journal_mode = WAL", "PRAGMA synchronous = NORMAL",
                                       "PRAGMA wal_autocheckpoint = 0", "PRAGMA cache_size = -262144", "PRAGMA cache_spill = OFF"})
                query.exec(QString::fromLatin1(pragma));
            WrittenPages::reset();
            db.transaction();
            for (const auto *sql : {"DELETE FROM rank_alert WHERE apple_app_id = '%1'", "DELETE FROM rank_state WHERE apple_app_id = '%1'",
                                    "DELETE FROM rank_snapshot WHERE app_pk = %2", "DELETE FROM keyword_link WHERE app_pk = %2",
                                    "DELETE FROM tracked_app WHERE pk = %2"})
                query.exec(QString::fromLatin1(sql)
                               .replace(QStringLiteral("%1"), app.appleAppId)
                               .replace(QStringLiteral("%2"), QString::number(app.persistentId)));
            db.commit();
            query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            pages = total(WrittenPages::written());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("single"));
        return pages;
    }

    static bool removalsEnd(ASOStore &store)
    {
        QSignalSpy ended(&store, &ASOStore::removalsEnded);
        return ended.wait(120000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The driver's library is loaded with the first connection.
        StoreDb::openInMemory();
        QVERIFY(WrittenPages::install());
        m_limits = LogCheckpointer::defaultLimits();
    }

    void init()
    {
        TestSettings::reset();
        EventLoopSlice::setBudget(std::chrono::milliseconds(0));
        // A small log, so that saves of a bounded size would be many; stretches of a small account.
        LogCheckpointer::defaultLimits().pages = 32;
        LogCheckpointer::defaultLimits().boundPages = 64;
        StoreDb::removalRowsPerStretch = 5000;
        // Clicks that ended its save would not make the removal wait: each would cost a save.
        StoreDb::removalQuiet = std::chrono::milliseconds(0);
    }

    void cleanup()
    {
        StoreDb::standardCacheKiB = 32768;
        EventLoopSlice::setBudget(EventLoopSlice::standardBudget);
        LogCheckpointer::defaultLimits() = m_limits;
        StoreDb::removalRowsPerStretch = 500000;
        StoreDb::removalQuiet = std::chrono::milliseconds(10000);
    }

    // A removal writes about what one save of the same rows would, not each page once per save,
    // and so do clicks on the alerts meanwhile, which add about their own writes.
    void aRemovalWritesAboutWhatOneSaveWould_data()
    {
        QTest::addColumn<int>("deletes"); // single alerts of the other app deleted during the removal
        QTest::newRow("alone") << 0;
        QTest::newRow("with deletes meanwhile") << 40;
    }

    void aRemovalWritesAboutWhatOneSaveWould()
    {
        QFETCH(int, deletes);
        const auto path = m_dir.filePath(QStringLiteral("removal-%1.sqlite").arg(deletes));
        const auto apps = writeAccount(path, 120);
        const auto single = singleSave(path, apps.first());
        qint64 removal = 0;
        {
            ASOStore store(StoreDb::openFile(path), m_client);
            store.db().checkpointInBackground();
            store.db().logCheckpointer()->waitUntilIdle();
            WrittenPages::reset();
            store.deleteApp(apps.first());
            const auto others = store.alerts();
            // One click a turn of the writer, from when it deletes readings on.
            for (int i = 0; i < deletes && i < others.size() && !store.db().appRemovals().isEmpty();) {
                if (store.db().inRemovalStretch())
                    store.deleteAlerts({others.at(i++)});
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            QVERIFY(store.isIdle() || removalsEnd(store));
            QCOMPARE(store.alerts().size(), others.size() - deletes);
        }
        removal = total(WrittenPages::written());
        QVERIFY2(removal <= 2 * single, qPrintable(QStringLiteral("%1 pages against %2").arg(removal).arg(single)));
    }

    // The readings of a stretch change many pages again and again, more than the cache holds
    // (made small here): none may go into the log twice in one save, since its commit would then
    // read back and rewrite every frame after it, holding the window.
    void aStretchWritesEachPageIntoTheLogOnce()
    {
        const auto path = m_dir.filePath(QStringLiteral("stretch.sqlite"));
        const auto apps = writeAccount(path, 120);
        StoreDb::standardCacheKiB = 256;
        ASOStore store(StoreDb::openFile(path), m_client);
        // From the first deleted reading of a stretch to its save.
        bool watching = false;
        qint64 stretchSaves = 0;
        qint64 rewrites = 0;
        connect(&store.db(), &StoreDb::backgroundSaveEnded, this, [&] {
            if (std::exchange(watching, false))
                rewrites += WrittenPages::written().logRewrites;
        });
        store.deleteApp(apps.first());
        while (!store.isIdle()) {
            if (store.db().inRemovalStretch() && !watching) {
                watching = true;
                ++stretchSaves;
                WrittenPages::reset();
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QVERIFY(stretchSaves >= 2);
        QCOMPARE(rewrites, 0);
        QVERIFY(store.db().appRemovals().isEmpty());
    }

    // A Clear of many alerts goes in several saves, each within the log's bound.
    void aClearOfManyGoesInSeveralSaves()
    {
        const auto path = m_dir.filePath(QStringLiteral("clear.sqlite"));
        writeAccount(path, 300);
        ASOStore store(StoreDb::openFile(path), m_client);
        const auto alerts = store.alerts();
        QVERIFY(alerts.size() > 3000);
        QSignalSpy saves(&store.db(), &StoreDb::backgroundSaveEnded);
        store.deleteAlerts(alerts);
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
        QVERIFY(saves.size() >= 3);
        QVERIFY(store.db().alertsNewestFirst().isEmpty());
    }

    // A recorded edit of alerts whose app was removed before a crash is dropped at the next start,
    // and the writer then stops.
    void anEditOfARemovedAppsAlertsIsDropped_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::newRow("in the database") << false;
        QTest::newRow("in the journal") << true;
    }

    void anEditOfARemovedAppsAlertsIsDropped()
    {
        QFETCH(bool, journal);
        const auto path = m_dir.filePath(QStringLiteral("dropped-%1.sqlite").arg(journal));
        const auto apps = writeAccount(path, 3);
        {
            auto db = StoreDb::openFile(path);
            QList<qint64> ids;
            for (const auto &alert : db->alertsNewestFirst()) {
                if (alert.appleAppId == apps.first().appleAppId)
                    ids.append(alert.persistentId);
            }
            QVERIFY(!ids.isEmpty());
            const auto runs = AlertEditCoding::runsOf(ids);
            if (journal)
                QVERIFY(db->renewAlertEditJournalOwner() && db->journalAlertEdit(1, StoreDb::AlertEditKind::markRead, runs));
            else
                QVERIFY(!db->recordAlertEdit(1, StoreDb::AlertEditKind::markRead, runs).isEmpty());
            QVERIFY(db->beginRemoval(*db->appByAppleId(apps.first().appleAppId)));
            while (db->continueRemoval(db->appRemovals().first(), 1000) > 0) {
            }
            QVERIFY(db->appRemovals().isEmpty());
        }
        ASOStore store(StoreDb::openFile(path), m_client);
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
        QVERIFY(store.db().alertEditRecords().isEmpty());
        QCOMPARE(store.db().unreadAlertCount(), store.unreadAlertCount());
    }
};

QTEST_GUILESS_MAIN(TestRemovalPages)
#include "tst_removalpages.moc"
