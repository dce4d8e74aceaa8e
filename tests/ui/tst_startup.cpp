#include "clients/RateLimiter.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "support/EventLoopSlice.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "tracking/Updater.h"
#include "ui/shell/AppShell.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/SingleInstance.h"

#include "DamagedDatabase.h"
#include "GatedSearchClient.h"
#include "LocalHttpServer.h"
#include "TestSettings.h"

#include <QAction>
#include <QLabel>
#include <QLocalSocket>
#include <QMessageBox>
#include <QNetworkProxy>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QtTest>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT

    TestSettings m_settings;

    // The application as the user starts it, on a data folder of the test's own.
    static void start(QProcess &vantu, const QTemporaryDir &data)
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.remove("VANTU_TEST_MODE");
        environment.insert("XDG_DATA_HOME", data.path());
        environment.insert("XDG_CONFIG_HOME", data.filePath("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        vantu.setProcessEnvironment(environment);
        vantu.start(VANTU_EXECUTABLE, {});
    }

    static bool listening(const QTemporaryDir &data)
    {
        QLocalSocket socket;
        socket.connectToServer(SingleInstance::serverName(data.filePath("Vantu")));
        return socket.waitForConnected(100);
    }

private Q_SLOTS:
    // An empty value is enough for test mode: nothing touches the disk, nothing is notified,
    // nothing runs in the background.
    void testMode()
    {
        qputenv("VANTU_TEST_MODE", "");
        QVERIFY(StoreDb::isTestMode());
        AppShell shell(StoreDb::isTestMode());
        QVERIFY(shell.testMode());
        QVERIFY(shell.store()->db().filePath().isEmpty());
        QVERIFY(shell.store()->apps().isEmpty());
        QVERIFY(qobject_cast<SilentNotifier *>(shell.notifier()));
        QVERIFY(!shell.tracker()->loop());
        QVERIFY(!shell.updater()->canCheckForUpdates());
        // The defaults are registered before the store reads its pace.
        QCOMPARE(shell.store()->limiter()->ratePerMinute(), 20.0);
        QCOMPARE(shell.mainWindow()->minimumSize(), QSize(1000, 640));
        QCOMPARE(shell.mainWindow()->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }

    // A database that cannot be opened ends the process with the reason, before any window.
    void unusableDatabase()
    {
        QTemporaryDir data;
        QVERIFY(QDir(data.path()).mkpath("Vantu"));
        QFile foreign(data.filePath("Vantu/vantu.sqlite"));
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write("not a database, but somebody's notes\n");
        foreign.close();

        QProcess vantu;
        start(vantu, data);
        QVERIFY(vantu.waitForFinished(60000));
        QCOMPARE(vantu.exitStatus(), QProcess::NormalExit);
        QVERIFY(vantu.exitCode() != 0);
        const auto message = QString::fromUtf8(vantu.readAllStandardError());
        QVERIFY2(message.contains("Could not open the local database: "), qPrintable(message));
        QVERIFY(foreign.open(QIODevice::ReadOnly));
        QCOMPARE(foreign.readAll(), QByteArray("not a database, but somebody's notes\n"));
    }

    // A second start leaves the first in charge of the database; a lock left by a process that
    // was killed is taken over.
    void oneInstance()
    {
        QTemporaryDir data;
        QProcess first;
        start(first, data);
        QTRY_VERIFY_WITH_TIMEOUT(listening(data), 30000);
        QProcess second;
        start(second, data);
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        QVERIFY(first.waitForFinished(30000));
        QProcess third;
        start(third, data);
        QTRY_VERIFY_WITH_TIMEOUT(listening(data), 30000);
        QCOMPARE(third.state(), QProcess::Running);
        third.terminate();
        QVERIFY(third.waitForFinished(30000));
    }

    // A logout, a kill or Ctrl+C quits as the menu does: the database is closed cleanly, so the
    // next start need not check it.
    void terminationSignalsQuitCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }

    void terminationSignalsQuitCleanly()
    {
        QFETCH(int, signal);
        QTemporaryDir data;
        const auto marker = StoreDb::runningMarkerPath(data.filePath("Vantu/vantu.sqlite"));
        QProcess vantu;
        start(vantu, data);
        QTRY_VERIFY_WITH_TIMEOUT(listening(data), 30000);
        // The instance listens before it opens its database.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 30000);
        QCOMPARE(::kill(pid_t(vantu.processId()), signal), 0);
        QVERIFY(vantu.waitForFinished(30000));
        QCOMPARE(vantu.exitStatus(), QProcess::NormalExit);
        QCOMPARE(vantu.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(marker));
    }

    // After an unclean end the window comes up at once and says that the file is being checked;
    // the line goes when the check passes, and damage it finds is told as damage found later is.
    void windowWhileTheDatabaseIsChecked_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("sound file") << false;
        QTest::newRow("damaged page") << true;
    }

    void windowWhileTheDatabaseIsChecked()
    {
        QFETCH(bool, damaged);
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        DamagedDatabase::leaveUncleanEnd(path, damaged);
        AppShell shell(true, StoreDb::openFile(path));
        auto *window = shell.mainWindow();
        // The check reports through the event loop, which has not run yet.
        QVERIFY(shell.store()->db().writesHeld());
        QVERIFY(shell.databaseCheckLine() && shell.databaseCheckLine()->isVisibleTo(window));
        QVERIFY(shell.databaseCheckLine()->text().startsWith("Checking the local database"));
        window->show();

        if (!damaged) {
            QTRY_VERIFY_WITH_TIMEOUT(!shell.databaseCheckLine(), 30000);
            QVERIFY(!shell.store()->db().writesHeld());
            QVERIFY(!window->findChild<QMessageBox *>("databaseDamage"));
            return;
        }
        QMessageBox *box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = window->findChild<QMessageBox *>("databaseDamage")) && box->isVisible(), 30000);
        QCOMPARE(box->text(), *shell.store()->databaseDamage());
        QVERIFY(box->text().contains(QDir::toNativeSeparators(path)));
        QCOMPARE(shell.databaseCheckLine()->text(), "The local database is damaged. Changes are not saved.");
    }

    // Quitting from the menu ends the work in progress before the application goes: the run or
    // the discovery stops, a search under way is cut short and recorded nowhere, and none of
    // their tasks is left suspended (the leak checker would report them at exit).
    void quitDuringWork_data()
    {
        QTest::addColumn<QString>("work");
        QTest::newRow("run between slices of stored searches") << "stored";
        QTest::newRow("run waiting for a search") << "run";
        QTest::newRow("run waiting for the popularity service") << "popularity";
        QTest::newRow("discovery waiting for a search") << "discovery";
    }

    void quitDuringWork()
    {
        QFETCH(QString, work);
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        auto client = std::make_shared<GatedSearchClient>();
        auto shell = std::make_unique<AppShell>(true, StoreDb::openFile(path), client);
        auto *store = shell->store();
        TrackedApp app(AppInfo{"1", "App 1"}, true);
        app.trackedCountries = {"us"};
        store->db().insert(app);
        QStringList keywords;
        for (int i = 10; i < 50; ++i)
            keywords.append("k" + QString::number(i));
        store->addKeywords(keywords, app);
        const auto restore = qScopeGuard([] {
            EventLoopSlice::setBudget(EventLoopSlice::standardBudget);
            TestSettings::reset();
        });
        LocalHttpServer popularity;
        if (work == "popularity") {
            QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
            LocalHttpServer::Reply silent;
            silent.neverAnswer = true;
            popularity.reply(silent);
            TestSettings::set("popularityServer", popularity.baseUrl().toString());
        }
        if (work == "stored" || work == "popularity") {
            client->open();
            for (const auto &keyword : keywords)
                QCoro::waitFor(store->observation(*store->keyword(keyword), "us"));
        }
        if (work == "stored")
            EventLoopSlice::setBudget(std::chrono::milliseconds(0));

        // As the user quits: the menu's Quit ends the application's event loop, then main()
        // destroys the shell.
        auto *quit = shell->mainWindow()->findChild<QAction *>("quitAction");
        QVERIFY(quit);
        // The run over stored searches never waits for the test: it is quit from its own progress,
        // a few keywords in, or from its end, which the counts below then tell.
        RankTracker::Progress furthest;
        bool quitting = false;
        if (work == "stored") {
            QObject::connect(shell->tracker(), &RankTracker::progressChanged, quit,
                             [&furthest, &quitting, quit](const std::optional<RankTracker::Progress> &progress) {
                                 if (progress && progress->done >= furthest.done)
                                     furthest = *progress;
                                 if (!quitting && (!progress || progress->done >= 3)) {
                                     quitting = true;
                                     QTimer::singleShot(0, quit, &QAction::trigger);
                                 }
                             });
        }

        // What the work's tasks hold for as long as they live.
        std::weak_ptr<void> held;
        if (work == "discovery") {
            held = store->startDiscovery(app, "us");
        } else {
            shell->tracker()->startManualRun();
            held = shell->tracker()->manualRun();
        }
        if (work == "popularity")
            QTRY_COMPARE(popularity.requests().size(), 1);
        else if (work != "stored")
            QTRY_COMPARE(client->waiting, 1);

        if (work != "stored")
            QTimer::singleShot(0, quit, &QAction::trigger);
        QCoreApplication::exec();
        shell.reset();
        QVERIFY(held.expired());
        if (work == "stored") {
            QCOMPARE(furthest.total, qint64(keywords.size()));
            QVERIFY2(furthest.done >= 3 && furthest.done < furthest.total, qPrintable(QString::number(furthest.done)));
        }

        const auto name = QStringLiteral("reader");
        {
            auto db = QSqlDatabase::addDatabase("QSQLITE", name);
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery failed("SELECT (SELECT count(*) FROM search_observation WHERE succeeded = 0)"
                             " + (SELECT count(*) FROM rank_snapshot WHERE state_raw = 'REQUEST_FAILED')", db);
            QVERIFY(failed.next());
            QCOMPARE(failed.value(0).toInt(), 0);
        }
        QSqlDatabase::removeDatabase(name);
    }

    // Stored data that the store passes over as it starts, before the window listens, is told
    // once the window is up, once, and writes go on.
    void unreadableDataToldAtTheStart()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        StoreDb::openFile(path).reset();
        {
            auto db = QSqlDatabase::addDatabase("QSQLITE", "other");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            // The deletion of an alert never made.
            QSqlQuery insert(db);
            insert.prepare("INSERT INTO store_meta (key, value) VALUES ('alertEdit:1', ?)");
            insert.addBindValue(QByteArray::fromHex("640100"));
            QVERIFY(insert.exec());
        }
        QSqlDatabase::removeDatabase("other");
        AppShell shell(true, StoreDb::openFile(path));
        auto *window = shell.mainWindow();
        window->show();
        QMessageBox *box = nullptr;
        QTRY_VERIFY((box = window->findChild<QMessageBox *>("storeProblem")) && box->isVisible());
        QVERIFY(box->text().contains("found damaged"));
        QCOMPARE(window->findChildren<QMessageBox *>("storeProblem").size(), 1);
        QVERIFY(!shell.store()->writesHeld() && !shell.databaseCheckLine());
    }

    // Damage that building the window meets, before the line is set up, is told by the line at
    // once and stays told when the check ends; it is told once, in one dialog.
    void damageFoundWhileTheWindowIsBuilt()
    {
        QTemporaryDir dir;
        const auto path = dir.filePath("vantu.sqlite");
        DamagedDatabase::leaveUncleanEnd(path, true, "tracked_app");
        AppShell shell(true, StoreDb::openFile(path));
        auto *window = shell.mainWindow();
        QVERIFY(shell.store()->databaseDamage());
        QVERIFY(shell.databaseCheckLine() && shell.databaseCheckLine()->isVisibleTo(window));
        const QString damaged = "The local database is damaged. Changes are not saved.";
        QCOMPARE(shell.databaseCheckLine()->text(), damaged);
        auto *addApp = window->findChild<QPushButton *>("addAppButton");
        QVERIFY(!addApp->isEnabled());
        QVERIFY(addApp->toolTip().contains("damaged"));

        window->show();
        QTRY_VERIFY_WITH_TIMEOUT(!shell.store()->db().writesHeld(), 30000);
        QTRY_COMPARE(shell.databaseCheckLine()->text(), damaged);
        QTRY_COMPARE(window->findChildren<QMessageBox *>("databaseDamage").size(), 1);
        QVERIFY(!addApp->isEnabled());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
