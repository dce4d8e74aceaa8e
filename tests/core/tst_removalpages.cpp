#include "model/AlertEditCoding.h"
#include "model/LogCheckpointer.h"
#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"

#include "FakeSearchClient.h"
#include "TestSettings.h"
#include "WrittenPages.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <thread>

#include <dlfcn.h>

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
        StoreDb::heldPagesKiB = 393216;
        StoreDb::mostHeldKiB = 491520;
        StoreDb::yieldAboveKiB = 8192;
        StoreDb::fewestHeldKiB = 4096;
        WrittenPages::logLimit = -1;
        setHeapLimit(0);
    }

    // SQLite's bound on all its memory, for the whole process; 0 takes it away.
    static void setHeapLimit(qint64 bytes)
    {
        static auto *const limit = reinterpret_cast<sqlite3_int64 (*)(sqlite3_int64)>(
            dlsym(dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD), "sqlite3_hard_heap_limit64"));
        QVERIFY(limit);
        limit(bytes);
    }
    // SQLite's memory now, and the most it took since the last reset, which this call makes.
    static std::pair<qint64, qint64> sqliteMemory()
    {
        static auto *const status = reinterpret_cast<int (*)(int, sqlite3_int64 *, sqlite3_int64 *, int)>(
            dlsym(dlopen("libsqlite3.so.0", RTLD_NOW | RTLD_NOLOAD), "sqlite3_status64"));
        sqlite3_int64 now = 0;
        sqlite3_int64 most = 0;
        if (status)
            status(SQLITE_STATUS_MEMORY_USED, &now, &most, 1);
        return {now, most};
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

    // The pages a removal holds stay within their bound, whether its saves end there or SQLite
    // writes some into the log first; every row still goes.
    void aRemovalsMemoryStaysWithinItsBound_data()
    {
        QTest::addColumn<qint64>("heldKiB");
        QTest::addColumn<qint64>("mostKiB");
        QTest::newRow("saves end at the bound") << qint64(256) << qint64(491520);
        QTest::newRow("pages spill past the bound") << qint64(393216) << qint64(1024);
    }

    void aRemovalsMemoryStaysWithinItsBound()
    {
        QFETCH(qint64, heldKiB);
        QFETCH(qint64, mostKiB);
        const auto path = m_dir.filePath(QStringLiteral("bound-%1-%2.sqlite").arg(heldKiB).arg(mostKiB));
        const auto apps = writeAccount(path, 240);
        StoreDb::standardCacheKiB = 256;
        StoreDb::removalRowsPerStretch = 100000;
        StoreDb::heldPagesKiB = heldKiB;
        StoreDb::mostHeldKiB = mostKiB;
        ASOStore store(StoreDb::openFile(path), m_client);
        QSignalSpy saves(&store.db(), &StoreDb::backgroundSaveEnded);
        const auto atRest = sqliteMemory().first;
        store.deleteApp(apps.first());
        QVERIFY(store.isIdle() || removalsEnd(store));
        const auto most = sqliteMemory().second - atRest;
        // The clean pages kept beside the held ones, and what SQLite takes besides: statements,
        // what one statement changes past the bound, and the cache of the connection that copies
        // the log back (2 MB). Held whole, the stretch takes more than 5 MB.
        const auto bound = (StoreDb::standardCacheKiB + std::min(heldKiB, mostKiB) + 3072) * 1024;
        QVERIFY2(most <= bound, qPrintable(QStringLiteral("%1 bytes against %2").arg(most).arg(bound)));
        QVERIFY(store.db().appRemovals().isEmpty());
        QCOMPARE(saves.count(QList<QVariant>{false}), 0);
    }

    // A click during a stretch rolls the stretch's save back rather than write the pages it holds
    // on the window's thread; the removal does that work again and finishes.
    void aClickDuringAStretchDoesNotWriteItsPages()
    {
        const auto path = m_dir.filePath(QStringLiteral("yield.sqlite"));
        const auto apps = writeAccount(path, 240);
        StoreDb::removalRowsPerStretch = 100000;
        StoreDb::yieldAboveKiB = 64;
        ASOStore store(StoreDb::openFile(path), m_client);
        store.deleteApp(apps.first());
        // Each turn of the writer checked, until its save holds some pages.
        while (!(store.db().inBackgroundSave() && store.db().cacheBytesUsed() > 2048 * 1024)) {
            QVERIFY(!store.isIdle());
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        WrittenPages::reset();
        const auto flagged = store.db().alertsMark().flagged;
        QVERIFY(store.addKeywords({QStringLiteral("typed keyword")}, apps.last()) == 1);
        // Its own few, not the 500 and more the save held.
        QVERIFY2(WrittenPages::written().log < 200, qPrintable(QString::number(WrittenPages::written().log)));
        QVERIFY(!store.db().inBackgroundSave());
        // It held no edit of alerts: a screen that lists them need not read their flags again.
        QCOMPARE(store.db().alertsMark().flagged, flagged);
        QVERIFY(store.isIdle() || removalsEnd(store));
        QVERIFY(store.db().appRemovals().isEmpty());
        QVERIFY(store.linkedKeywords(apps.last()).contains(QStringLiteral("typed keyword")));
    }

    // When memory or the disk's room for the log runs short, a removal goes on in smaller saves;
    // when even the smallest does not fit, it stops and says so, rather than try again forever.
    void aRemovalShortOfRoomGoesOnInSmallerSaves_data()
    {
        QTest::addColumn<qint64>("heapRoom"); // SQLite's memory beyond what it uses at the start
        QTest::addColumn<qint64>("logLimit");
        QTest::addColumn<bool>("finishes");
        QTest::newRow("memory") << qint64(1536 * 1024) << qint64(-1) << true;
        QTest::newRow("disk") << qint64(0) << qint64(1024 * 1024) << true;
        QTest::newRow("disk too small for any save") << qint64(0) << qint64(48 * 1024) << false;
    }

    void aRemovalShortOfRoomGoesOnInSmallerSaves()
    {
        QFETCH(qint64, heapRoom);
        QFETCH(qint64, logLimit);
        QFETCH(bool, finishes);
        const auto path = m_dir.filePath(QStringLiteral("room-%1-%2.sqlite").arg(heapRoom).arg(logLimit));
        const auto apps = writeAccount(path, 120);
        StoreDb::standardCacheKiB = 256;
        StoreDb::fewestHeldKiB = 64;
        const auto removed = apps.first();
        {
            ASOStore store(StoreDb::openFile(path), m_client);
            QSignalSpy problems(&store, &ASOStore::problem);
            QSignalSpy saves(&store.db(), &StoreDb::backgroundSaveEnded);
            if (heapRoom > 0)
                setHeapLimit(sqliteMemory().first + heapRoom);
            WrittenPages::logLimit = logLimit;
            QVERIFY(store.deleteApp(removed));
            QVERIFY(store.isIdle() || removalsEnd(store));
            setHeapLimit(0);
            WrittenPages::logLimit = -1;
            QCOMPARE(store.db().appRemovals().isEmpty(), finishes);
            QCOMPARE(problems.isEmpty(), finishes);
            // Each failed save halves the next, down to the least: a few, not one a turn.
            QVERIFY2(saves.count(QList<QVariant>{false}) <= 16, qPrintable(QString::number(saves.count(QList<QVariant>{false}))));
        }
        // Whatever was left, the next start finishes.
        ASOStore store(StoreDb::openFile(path), m_client);
        QVERIFY(store.isIdle() || removalsEnd(store));
        QVERIFY(store.db().appRemovals().isEmpty());
        QVERIFY(!store.db().appByAppleId(removed.appleAppId));
    }

    // Once the disk had no room for a save's log, each next save begins on a log begun anew: else
    // one that takes more than half of the room, and leaves the log short of its bound, fails
    // every other time and is done twice.
    void aSaveShortOfRoomIsNotFollowedByFailures_data()
    {
        QTest::addColumn<qint64>("heldKiB");
        QTest::newRow("five eighths of the room") << qint64(1280);
        QTest::newRow("three quarters of the room") << qint64(1536);
    }

    void aSaveShortOfRoomIsNotFollowedByFailures()
    {
        QFETCH(qint64, heldKiB);
        const auto path = m_dir.filePath(QStringLiteral("short-%1.sqlite").arg(heldKiB));
        const auto apps = writeAccount(path, 240);
        StoreDb::removalRowsPerStretch = 100000;
        StoreDb::heldPagesKiB = heldKiB;
        // Above the room: the log never asks to begin anew by itself.
        LogCheckpointer::defaultLimits().boundPages = 2048;
        ASOStore store(StoreDb::openFile(path), m_client);
        QSignalSpy saves(&store.db(), &StoreDb::backgroundSaveEnded);
        WrittenPages::logLimit = 2048 * 1024;
        QVERIFY(store.deleteApp(apps.first()));
        QVERIFY(store.isIdle() || removalsEnd(store));
        WrittenPages::logLimit = -1;
        QVERIFY(store.db().appRemovals().isEmpty());
        const auto failed = saves.count(QList<QVariant>{false});
        QVERIFY2(saves.count(QList<QVariant>{true}) >= 6, "too few saves to tell");
        QVERIFY2(failed <= 2, qPrintable(QString::number(failed)));
    }

    // The log's restart holds the write lock over its syncs, on its own thread: a click meanwhile
    // waits for it, rather than be refused as if another program held the lock.
    void aClickWaitsForTheLogsOwnRestart()
    {
        const auto path = m_dir.filePath(QStringLiteral("own-restart.sqlite"));
        const auto apps = writeAccount(path, 3);
        // However slow the sync, here: the click is to wait for it, not for a time.
        const auto wait = std::exchange(StoreDb::ownWritesWait, std::chrono::milliseconds(60000));
        ASOStore store(StoreDb::openFile(path), m_client);
        // Before the store goes, which waits for the log's thread.
        const auto restore = qScopeGuard([wait] {
            StoreDb::ownWritesWait = wait;
            WrittenPages::holdSyncs(false);
        });
        QSignalSpy problems(&store, &ASOStore::problem);
        QVERIFY(store.isIdle() || removalsEnd(store));
        // Copied back in full, so that the first sync of the log is the restart's.
        store.db().checkpointInBackground();
        store.db().logCheckpointer()->waitUntilIdle();
        const auto before = store.db().logCheckpointer()->ownWrites().begun;
        WrittenPages::holdSyncs(true);
        QVERIFY(store.db().beginLogAnew());
        QTRY_VERIFY(WrittenPages::syncsHeld() > 0);
        QVERIFY(store.db().logCheckpointer()->ownWrites().running);
        std::thread letGo([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            WrittenPages::holdSyncs(false);
        });
        const auto added = store.addKeywords({QStringLiteral("typed keyword")}, apps.last());
        letGo.join();
        QCOMPARE(added, std::optional<qint64>(1));
        QVERIFY(problems.isEmpty());
        QVERIFY(store.linkedKeywords(apps.last()).contains(QStringLiteral("typed keyword")));
        QCOMPARE(store.db().logCheckpointer()->ownWrites().begun, before + 1);
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
