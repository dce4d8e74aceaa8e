#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"
#include "support/TaskRunner.h"

#include "FakeSearchClient.h"
#include "LockHolder.h"
#include "TestSettings.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

// Removing an app whose rows go after it left every read, and alert edits written in turns.
class TestAppRemoval : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<FakeSearchClient> m_client = std::make_shared<FakeSearchClient>();

    // Two keywords in two storefronts over three days, with an alert and a rank state each.
    static void seed(ASOStore &store, TrackedApp &app)
    {
        auto &db = store.db();
        QVERIFY(db.insert(app));
        store.addKeywords({QStringLiteral("photo"), QStringLiteral("video")}, app);
        StoreDb::Transaction save(db);
        for (const auto *keyword : {"photo", "video"}) {
            for (const auto *country : {"us", "gb"}) {
                std::optional<RankState> state;
                for (int day = 0; day < 3; ++day) {
                    SearchObservation observation{0, QUuid::createUuid(), QString::fromLatin1(keyword),
                                                  QString::fromLatin1(country),
                                                  QDateTime::currentDateTimeUtc().addDays(day - 3), true, 200, 10, 1,
                                                  {}, day == 2, {}};
                    QVERIFY(db.insert(observation));
                    RankSnapshot snapshot(app, observation, RankingState::found, 1 + day);
                    QVERIFY(db.insert(snapshot));
                    if (state)
                        state->apply(snapshot);
                    else
                        state.emplace(app.appleAppId, snapshot);
                }
                QVERIFY(db.insert(*state));
                RankAlert alert{0, QUuid::createUuid(), app.appleAppId, app.name, QString::fromLatin1(keyword),
                                QString::fromLatin1(keyword), QString::fromLatin1(country), QStringLiteral("MOVED_UP"),
                                3, 1, state->latestObservationId, QDateTime::currentDateTimeUtc(), false};
                QVERIFY(db.insert(alert));
            }
        }
        QVERIFY(save.commit());
    }

    // The rows stored for an app, as another connection to the file reads them: whether its app
    // row and its removal's record are there, then its alerts, rank states, snapshots and links.
    QList<qint64> storedRows(const QString &path, const TrackedApp &app)
    {
        QList<qint64> counts;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
            db.setDatabaseName(path);
            if (!db.open())
                return counts;
            const auto count = [&](const QString &sql, const QVariant &value) {
                QSqlQuery query(db);
                query.prepare(sql);
                query.addBindValue(value);
                query.exec();
                counts.append(query.next() ? query.value(0).toLongLong() : -1);
            };
            count(QStringLiteral("SELECT count(*) FROM tracked_app WHERE pk = ?"), app.persistentId);
            count(QStringLiteral("SELECT count(*) FROM store_meta WHERE key = 'appRemoval:' || ?"), app.appleAppId);
            count(QStringLiteral("SELECT count(*) FROM rank_alert WHERE apple_app_id = ?"), app.appleAppId);
            count(QStringLiteral("SELECT count(*) FROM rank_state WHERE apple_app_id = ?"), app.appleAppId);
            count(QStringLiteral("SELECT count(*) FROM rank_snapshot WHERE app_pk = ?"), app.persistentId);
            count(QStringLiteral("SELECT count(*) FROM keyword_link WHERE app_pk = ?"), app.persistentId);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        return counts;
    }

    // Alerts of two apps in turn, unread, each three minutes apart.
    static void addAlerts(StoreDb &db, int count, const QStringList &apps)
    {
        StoreDb::Transaction save(db);
        for (int i = 0; i < count; ++i) {
            RankAlert alert{0, QUuid::createUuid(), apps.at(i % apps.size()), QStringLiteral("App"), QStringLiteral("k"),
                            QStringLiteral("k"), QStringLiteral("us"), QStringLiteral("MOVED_UP"), 3, 1, QUuid::createUuid(),
                            QDateTime::currentDateTimeUtc().addSecs(-180 * i), false};
            QVERIFY(db.insert(alert));
        }
        QVERIFY(save.commit());
    }

    // The app and read flag of each alert the database holds, as another connection reads it.
    static QStringList storedAlerts(const QString &path)
    {
        QStringList alerts;
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alerts"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(QStringLiteral("SELECT apple_app_id, is_read FROM rank_alert ORDER BY pk"), db);
                while (query.next())
                    alerts.append(query.value(0).toString() + (query.value(1).toBool() ? u'r' : u'o'));
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("alerts"));
        return alerts;
    }

    // The same, as read through the store.
    static QStringList readAlerts(ASOStore &store)
    {
        auto read = store.alerts();
        std::sort(read.begin(), read.end(), [](const RankAlert &a, const RankAlert &b) { return a.persistentId < b.persistentId; });
        QStringList alerts;
        for (const auto &alert : read)
            alerts.append(alert.appleAppId + (alert.isRead ? u'r' : u'o'));
        return alerts;
    }

    // Clears or marks read app a's alerts, every other one, as a filtered list shows them, and
    // gives every alert as the store reads it then.
    static QStringList editAppAsAlerts(ASOStore &store, bool remove)
    {
        QList<RankAlert> edited;
        for (const auto &alert : store.alerts()) {
            if (alert.appleAppId == u"a")
                edited.append(alert);
        }
        if (remove)
            store.deleteAlerts(edited);
        else
            store.markAlertsRead(edited, true);
        return readAlerts(store);
    }

    static bool removalsEnd(ASOStore &store)
    {
        QSignalSpy ended(&store, &ASOStore::removalsEnded);
        return ended.wait(60000);
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        EventLoopSlice::setBudget(std::chrono::milliseconds(0));
        m_client->lookupScript = {{QStringLiteral("us"), QStringLiteral("found")}};
    }

    void cleanup() { EventLoopSlice::setBudget(EventLoopSlice::standardBudget); }

    void removalCutShortIsFinishedAtTheNextStart_data()
    {
        QTest::addColumn<int>("steps"); // rows removed before the crash, two at a time; -1: all
        QTest::newRow("before any row went") << 0;
        QTest::newRow("among the alerts") << 1;
        QTest::newRow("among the snapshots") << 6;
        QTest::newRow("after the last row") << -1;
    }

    void removalCutShortIsFinishedAtTheNextStart()
    {
        QFETCH(int, steps);
        const auto path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-') + ".sqlite");
        const auto crashed = path + QStringLiteral("-crashed");
        TrackedApp removed(AppInfo{QStringLiteral("100"), QStringLiteral("Removed")}, true);
        TrackedApp kept(AppInfo{QStringLiteral("200"), QStringLiteral("Kept")}, false);
        QList<qint64> keptRows;
        {
            ASOStore store(StoreDb::openFile(path), m_client);
            seed(store, removed);
            seed(store, kept);
            keptRows = storedRows(path, kept);
            QCOMPARE(storedRows(path, removed), (QList<qint64>{1, 0, 4, 4, 12, 2}));

            store.deleteApp(removed);
            // Gone from every read at once, its rows all still there.
            QVERIFY(!store.app(removed.appleAppId) && store.apps().size() == 1);
            QCOMPARE(store.alerts().size() + store.unreadAlertCount(), 8);
            QCOMPARE(storedRows(path, removed), (QList<qint64>{1, 1, 4, 4, 12, 2}));

            const auto removal = store.db().appRemovals().value(0);
            for (int step = 0; step != steps && store.db().continueRemoval(removal, 2) > 0; ++step) {
            }
            // The crash: what is saved in the file and its log is all that is left.
            for (const auto *suffix : {"", "-wal"})
                QVERIFY(QFile::copy(path + QLatin1String(suffix), crashed + QLatin1String(suffix)));
        }
        ASOStore store(StoreDb::openFile(crashed), m_client);
        QVERIFY(!store.app(removed.appleAppId) && store.app(kept.appleAppId));
        if (steps >= 0)
            QVERIFY(removalsEnd(store));
        QCOMPARE(storedRows(crashed, removed), (QList<qint64>{0, 0, 0, 0, 0, 0}));
        QCOMPARE(storedRows(crashed, kept), keptRows);
        QVERIFY(store.isIdle());
    }

    void addingTheAppAgainStartsAfresh()
    {
        const auto path = m_dir.filePath(QStringLiteral("again.sqlite"));
        ASOStore store(StoreDb::openFile(path), m_client);
        TrackedApp app(AppInfo{QStringLiteral("284882215"), QStringLiteral("App")}, true);
        seed(store, app);
        store.deleteApp(app);
        const auto outcome = TaskRunner::run(store.addApp(QStringLiteral("284882215"), true));
        QVERIFY(outcome.value);
        const auto &added = *outcome.value;
        // The new row may take the old one's row id: nothing of the old app may point at it.
        QVERIFY(added.created);
        QCOMPARE(storedRows(path, added.app), (QList<qint64>{1, 0, 0, 0, 0, 0}));
        QVERIFY(store.alerts().isEmpty() && store.linkCount(added.app) == 0);
    }

    // Once "Clear" or "Mark All Read" returned, the edit is kept whatever follows: a crash before
    // any alert was written or in the middle of the writing, or a quit before the end.
    void anEditOfManyAlertsIsKept_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QString>("end"); // "crash" or "quit"
        QTest::addColumn<bool>("writing"); // ends while the alerts are written, else at the click
        for (const bool remove : {true, false}) {
            const auto edit = remove ? "clear, " : "mark read, ";
            QTest::newRow(QByteArray(edit) + "crash at the click") << remove << "crash" << false;
            QTest::newRow(QByteArray(edit) + "crash while written") << remove << "crash" << true;
            QTest::newRow(QByteArray(edit) + "quit while written") << remove << "quit" << true;
        }
    }

    void anEditOfManyAlertsIsKept()
    {
        QFETCH(bool, remove);
        QFETCH(QString, end);
        QFETCH(bool, writing);
        const auto path = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-').remove(u',') + ".sqlite");
        const auto crashed = path + QStringLiteral("-crashed");
        QStringList expected;
        {
            ASOStore store(StoreDb::openFile(path), m_client);
            addAlerts(store.db(), 3000, {QStringLiteral("a"), QStringLiteral("b")});
            expected = editAppAsAlerts(store, remove);
            QCOMPARE(expected.size(), remove ? 1500 : 3000);
            if (writing)
                QTRY_VERIFY(store.db().inBackgroundSave());
            if (end == u"crash") {
                // What is saved in the file, its log and the journal of edits is all that is left.
                for (const auto *suffix : {"", "-wal", "-edits"})
                    QVERIFY(QFile::copy(path + QLatin1String(suffix), crashed + QLatin1String(suffix)));
            } else {
                // Quitting while the edit is still recorded, as unfinished.
                store.shutDown();
                QVERIFY(!store.db().alertEditRecords().isEmpty());
            }
        }
        const auto reopened = end == u"crash" ? crashed : path;
        ASOStore store(StoreDb::openFile(reopened), m_client);
        QCOMPARE(readAlerts(store), expected);
        QCOMPARE(store.unreadAlertCount(), 1500);
        QVERIFY(store.isIdle() || removalsEnd(store));
        QCOMPARE(storedAlerts(reopened), expected);
        QCOMPARE(readAlerts(store), expected);
    }

    // A save of the edits that fails, as while another program holds the write lock, is tried
    // again, never dropped; the window's thread never waits long for that lock.
    void anEditWaitsOutALockHeldElsewhere()
    {
        const auto path = m_dir.filePath(QStringLiteral("locked.sqlite"));
        ASOStore store(StoreDb::openFile(path), m_client);
        addAlerts(store.db(), 10, {QStringLiteral("a")});
        {
            // Released long after a short wait would end: a save that waited for it would succeed.
            LockHolder holder(path, std::chrono::seconds(3));
            StoreDb::BackgroundSave save(store.db());
            QVERIFY(!save.ok());
        }
        LockHolder holder(path, std::chrono::seconds(60));
        store.deleteAlerts(store.alerts().mid(0, 4));
        store.markAlertsRead(store.alerts().mid(0, 2), true);
        const QStringList expected{"ar", "ar", "ao", "ao", "ao", "ao"};
        QCOMPARE(readAlerts(store), expected);
        QCOMPARE(storedAlerts(path).size(), 10);
        holder.release();
        QVERIFY(removalsEnd(store));
        QCOMPARE(storedAlerts(path), expected);
    }

    // An edit made while another program holds the write lock is kept through a quit, whether
    // the lock is gone by then or not: it goes to the journal of edits at the click. Where even
    // that cannot be written, the user is told, and the quit saves it, waiting for the lock.
    void anEditMadeDuringALockIsKeptThroughAQuit_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<bool>("journal"); // whether the journal of edits can be written
        QTest::addColumn<bool>("heldAtQuit");
        QTest::newRow("clear, lock held at the quit") << true << true << true;
        QTest::newRow("clear, lock gone before the quit") << true << true << false;
        QTest::newRow("mark read, lock held at the quit") << false << true << true;
        QTest::newRow("clear, no journal, lock gone before the quit") << true << false << false;
        QTest::newRow("mark read, no journal, lock gone before the quit") << false << false << false;
    }

    void anEditMadeDuringALockIsKeptThroughAQuit()
    {
        QFETCH(bool, remove);
        QFETCH(bool, journal);
        QFETCH(bool, heldAtQuit);
        const auto path = m_dir.filePath(QStringLiteral("quit-%1.sqlite").arg(QTest::currentDataTag()).replace(u' ', u'-').remove(u','));
        QStringList expected;
        {
            std::optional<LockHolder> holder;
            ASOStore store(StoreDb::openFile(path), m_client);
            addAlerts(store.db(), 3000, {QStringLiteral("a"), QStringLiteral("b")});
            if (!journal)
                QVERIFY(QDir().mkpath(store.db().alertEditJournalPath()));
            holder.emplace(path, std::chrono::seconds(60));
            QSignalSpy problems(&store, &ASOStore::problem);
            expected = editAppAsAlerts(store, remove);
            QCOMPARE(expected.size(), remove ? 1500 : 3000);
            QCOMPARE(problems.size(), journal ? 0 : 1);
            if (!heldAtQuit)
                holder->release();
            store.shutDown();
        }
        QDir(m_dir.filePath(QFileInfo(path).fileName() + QStringLiteral("-edits"))).removeRecursively();
        ASOStore store(StoreDb::openFile(path), m_client);
        QCOMPARE(readAlerts(store), expected);
        QVERIFY(store.isIdle() || removalsEnd(store));
        QCOMPARE(storedAlerts(path), expected);
        QVERIFY(store.db().alertEditRecords().isEmpty());
    }

    // A background save that is rolled back, as on a full disk, takes none of its edits out of
    // what the store shows, not even for a moment, and the alerts need no reading anew.
    void editsStayShownWhenTheirSaveIsRolledBack()
    {
        const auto path = m_dir.filePath(QStringLiteral("rolledback.sqlite"));
        ASOStore store(StoreDb::openFile(path), m_client);
        addAlerts(store.db(), 3000, {QStringLiteral("a")});
        auto alerts = store.alerts();
        std::sort(alerts.begin(), alerts.end(), [](const RankAlert &a, const RankAlert &b) { return a.persistentId < b.persistentId; });
        // The second step of the save fails, after the first wrote its part into it.
        QSqlDatabase db;
        for (const auto &name : QSqlDatabase::connectionNames()) {
            // Those of the store's other threads are not given here.
            if (name.startsWith(u"vantu.storedb.") && QSqlDatabase::database(name, false).databaseName() == path)
                db = QSqlDatabase::database(name, false);
        }
        QVERIFY(db.isOpen());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TEMP TRIGGER full BEFORE DELETE ON main.rank_alert WHEN old.pk = %1 "
                                                  "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END")
                                       .arg(alerts.at(1500).persistentId)));
        const auto before = store.alertsMark().rewritten;
        store.deleteAlerts(alerts.mid(0, 2000));
        const auto expected = readAlerts(store);
        QCOMPARE(expected.size(), 1000);
        std::optional<QStringList> shownAtRollback;
        connect(&store.db(), &StoreDb::backgroundSaveEnded, this, [&](bool saved) {
            if (!saved && !shownAtRollback)
                shownAtRollback = readAlerts(store);
        });
        QTRY_VERIFY_WITH_TIMEOUT(shownAtRollback.has_value(), 60000);
        QCOMPARE(*shownAtRollback, expected);
        QCOMPARE(store.alertsMark().rewritten, before);
        QCOMPARE(store.unreadAlertCount(), 1000);
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("DROP TRIGGER temp.full")));
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
        QCOMPARE(storedAlerts(path), expected);
    }

    // An app added again while other apps' removals go on waits for its own removal only, which
    // goes first meanwhile: the other app, removed before or after it and with far more rows,
    // is still being removed once the app is back.
    void addingWaitsOnlyForThatAppsRemoval_data()
    {
        QTest::addColumn<int>("added"); // which of the two removed apps is added again
        QTest::newRow("removed first") << 0;
        QTest::newRow("removed last") << 1;
    }

    void addingWaitsOnlyForThatAppsRemoval()
    {
        QFETCH(int, added);
        ASOStore store(StoreDb::openInMemory(), m_client);
        QList<TrackedApp> apps{TrackedApp(AppInfo{QStringLiteral("10001"), QStringLiteral("One")}, true),
                               TrackedApp(AppInfo{QStringLiteral("20002"), QStringLiteral("Two")}, false)};
        for (auto &app : apps)
            seed(store, app);
        const auto &other = apps.at(1 - added);
        {
            StoreDb::Transaction save(store.db());
            for (int i = 0; i < 5000; ++i) {
                RankAlert alert{0, QUuid::createUuid(), other.appleAppId, other.name, QStringLiteral("k"),
                                QStringLiteral("k"), QStringLiteral("us"), QStringLiteral("MOVED_UP"), 3, 1,
                                QUuid::createUuid(), QDateTime::currentDateTimeUtc(), false};
                QVERIFY(store.db().insert(alert));
            }
            QVERIFY(save.commit());
        }
        for (const auto &app : apps)
            store.deleteApp(app);

        const auto outcome = TaskRunner::run(store.addApp(apps.at(added).appleAppId, true));
        QVERIFY(outcome.value && outcome.value->created);
        QVERIFY(store.alerts().isEmpty() && store.linkCount(outcome.value->app) == 0);
        const auto removals = store.db().appRemovals();
        QCOMPARE(removals.size(), 1);
        QCOMPARE(removals.first().appleAppId, other.appleAppId);
        QVERIFY(removalsEnd(store));
    }

    void manyAlertEditsAreSeenAtOnceAndSavedInTurns()
    {
        ASOStore store(StoreDb::openInMemory(), m_client);
        TrackedApp app(AppInfo{QStringLiteral("100"), QStringLiteral("App")}, true);
        TrackedApp other(AppInfo{QStringLiteral("200"), QStringLiteral("Other")}, false);
        QVERIFY(store.db().insert(app) && store.db().insert(other));
        {
            StoreDb::Transaction save(store.db());
            for (int i = 0; i < 12000; ++i) {
                const auto &of = i % 3 ? app : other;
                RankAlert alert{0, QUuid::createUuid(), of.appleAppId, of.name, QStringLiteral("k"), QStringLiteral("k"),
                                QStringLiteral("us"), QStringLiteral("MOVED_UP"), 3, 1, QUuid::createUuid(),
                                QDateTime::currentDateTimeUtc(), false};
                QVERIFY(store.db().insert(alert));
            }
            QVERIFY(save.commit());
        }
        const auto all = store.alerts();
        store.markAlertsRead(all, true);
        // Read for every reader through the store at once; the database follows in turns.
        QCOMPARE(store.unreadAlertCount(), 0);
        QVERIFY(store.db().unreadAlertCount() > 0 && !store.isIdle());
        // An alert marked unread again while the first edit is not saved stays unread, and one
        // deleted stays deleted.
        store.markAlertsRead({store.alerts().last()}, false);
        store.deleteAlerts(store.alerts().mid(0, 1));
        QCOMPARE(store.unreadAlertCount(), 1);
        QCOMPARE(store.alerts().size(), 11999);
        // The other app's alerts go with it, and the count stays right.
        store.deleteApp(other);
        QCOMPARE(store.unreadAlertCount(), all.last().appleAppId == app.appleAppId ? 1 : 0);
        QTRY_VERIFY_WITH_TIMEOUT(store.isIdle(), 60000);
        QCOMPARE(store.db().unreadAlertCount(), store.unreadAlertCount());
        QCOMPARE(store.db().alertsNewestFirst().size(), 8000 - (all.first().appleAppId == app.appleAppId));
    }
};

QTEST_GUILESS_MAIN(TestAppRemoval)
#include "tst_appremoval.moc"
