#include "store/ASOStore.h"
#include "support/TaskRunner.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/keywords/AddKeywordsDialog.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/research/ResearchView.h"
#include "workflows/DiscoveryRun.h"

#include "FakeSearchClient.h"
#include "LockHolder.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QtTest>

// Each kind of click while another program holds the database's write lock: refused without
// waiting for that program, told once, nothing stored, searched or started, and the screen as
// stored, ready for another try; once the lock is gone, the same click saves.
class TestClickSaves : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;

    // Each app with its own flag, storefronts and keywords, as the store reads them.
    static QString stored(ASOStore &store)
    {
        QStringList out;
        for (const auto &app : store.apps()) {
            auto keywords = store.linkedKeywords(app).values();
            keywords.sort();
            out.append(app.appleAppId + (app.isOwn ? " own " : " ") + app.trackedCountries.join(u',') + ": "
                       + keywords.join(u','));
        }
        return out.join("; ");
    }

private Q_SLOTS:
    void refusedWhileAnotherProgramWrites_data()
    {
        QTest::addColumn<QString>("refused"); // what the user is told first, while the lock is held
        QTest::addColumn<QString>("shown");   // what the click gave back or the screen showed then, and after
        QTest::addColumn<QString>("saved");   // what is stored once the lock is gone and the click is made again
        const QString apps = "11111 own us: alpha,beta; 22222 us: delta";
        QTest::newRow("add app") << "The app could not be added" << "refused done" << apps + "; 33333 us: ";
        QTest::newRow("track as competitor, new") << "The app could not be added" << "refused done" << apps + "; 33333 us,gb: ";
        QTest::newRow("track as competitor, tracked") << "The app could not be tracked in this storefront"
                                                      << "refused done" << "11111 own us: alpha,beta; 22222 us,gb: delta";
        QTest::newRow("mark as my app") << "The app could not be marked as your app" << "refused done"
                                        << "11111 own us: alpha,beta; 22222 own us: delta";
        QTest::newRow("discover") << "Discovery could not start" << "refused done" << "11111 own us,gb: alpha,beta; 22222 us: delta";
        QTest::newRow("remove") << "The app could not be removed" << "refused done" << "11111 own us: alpha,beta";
        QTest::newRow("track and check") << "The keywords could not be added" << "open:gamma closed"
                                         << "11111 own us: alpha,beta,gamma; 22222 us: delta";
        QTest::newRow("stop tracking") << "Tracking of the keyword could not be stopped" << "- -"
                                       << "11111 own us: ; 22222 us: delta";
        QTest::newRow("add to my keywords") << "The keywords could not be added" << "kept added"
                                            << "11111 own us: alpha,beta,delta; 22222 us: delta";
        QTest::newRow("track in") << "The keywords could not be added"
                                  << "Nothing was added to App 11111. Tracking 1 new keyword for App 11111"
                                  << "11111 own us,gb: alpha,beta,photo; 22222 us: delta";
    }

    void refusedWhileAnotherProgramWrites()
    {
        QFETCH(QString, refused);
        QFETCH(QString, shown);
        QFETCH(QString, saved);
        const auto kind = QString::fromLatin1(QTest::currentDataTag());
        const auto path = m_dir.filePath(kind + ".sqlite");
        auto client = std::make_shared<FakeSearchClient>();
        client->lookupScript.insert("us", "found");
        ASOStore store(StoreDb::openFile(path), client, std::make_shared<NoPopularity>());
        trackApps(store, "o11111 c22222");
        const auto mine = *store.app("11111");
        const auto rival = *store.app("22222");
        store.addKeywords({"alpha", "beta"}, mine);
        store.addKeywords({"delta"}, rival);
        // The sheet deletes itself once it closes.
        const QPointer<AddKeywordsDialog> sheet = new AddKeywordsDialog(&store, "11111", "us");
        const auto sheetGone = qScopeGuard([&] { delete sheet.data(); });
        sheet->show();
        sheet->findChild<QPlainTextEdit *>("addKeywordsText")->setPlainText("gamma");
        AppDetailView detail(&store, "11111");
        KeywordGapView gap(&store, "11111", "22222", "us");
        QSignalSpy added(&gap, &KeywordGapView::added);
        // Its terms are tracked in a storefront new to the app.
        TestSettings::set(SettingsKey::defaultCountry, "gb");
        ResearchView research(&store, nullptr, [] { return std::make_shared<NoTopTerms>(); });
        TestSettings::reset();
        QSignalSpy status(&research, &ResearchView::statusChanged);

        // What the click gave back or the screen shows, and what the user was told.
        const auto click = [&]() -> std::pair<QString, QStringList> {
            QSignalSpy problems(&store, &ASOStore::problem);
            QStringList told;
            const auto outcome = [&](bool done) { return QString(done ? "done" : "refused"); };
            const auto thrown = [&](const auto &result) {
                if (const auto error = result.template errorAs<ASOStore::StoreError>())
                    told.append(error->description());
                return outcome(result.succeeded());
            };
            QString result = "-";
            if (kind == u"add app") {
                result = thrown(TaskRunner::run(store.addApp("33333", false)));
            } else if (kind.startsWith(u"track as competitor")) {
                result = thrown(TaskRunner::run(store.addCompetitor(kind.endsWith(u"new") ? "33333" : "22222", "gb")));
            } else if (kind == u"mark as my app") {
                result = outcome(store.setOwn(rival, true));
            } else if (kind == u"discover") {
                const auto run = store.startDiscovery(mine, "gb");
                if (run)
                    run->cancel();
                result = outcome(bool(run));
            } else if (kind == u"remove") {
                result = outcome(store.deleteApp(rival));
            } else if (kind == u"track and check") {
                sheet->findChild<QPushButton *>("addKeywordsTrack")->click();
                result = sheet->isVisible() ? "open:" + sheet->findChild<QPlainTextEdit *>("addKeywordsText")->toPlainText()
                                            : "closed";
            } else if (kind == u"stop tracking") {
                const std::unique_ptr<QMenu> menu(detail.findChild<KeywordTable *>()->contextMenu({"alpha", "beta"}));
                actionNamed(menu.get(), "Stop Tracking")->trigger();
            } else if (kind == u"add to my keywords") {
                const std::unique_ptr<QMenu> menu(gap.contextMenu({"delta"}));
                actionNamed(menu.get(), "Add to My Keywords")->trigger();
                const auto *button = gap.findChild<QPushButton *>("addToMyKeywords");
                result = !QTest::qWaitFor([&] { return button->text() != u"Adding…"; }) ? "adding"
                       : added.isEmpty()                                                 ? "kept"
                                                                                         : "added";
            } else {
                const std::unique_ptr<QMenu> menu(research.contextMenu({"photo"}, nullptr));
                actionNamed(menu.get(), "App 11111")->trigger();
                result = status.isEmpty() && !status.wait() ? "no status" : status.takeFirst().first().toString().section(" in ", 0, 0);
            }
            for (const auto &problem : problems)
                told.append(problem.first().toString());
            return {result, told};
        };

        const auto before = stored(store);
        std::pair<QString, QStringList> whileHeld;
        {
            // Released long after a short wait would end: a save that waited for it would succeed.
            LockHolder holder(path, std::chrono::seconds(3));
            whileHeld = click();
            QCOMPARE(stored(store), before);
        }
        QCOMPARE(whileHeld.second, QStringList{refused + ": another program is using the database. Try again in a moment."});
        QVERIFY(client->searches.isEmpty());
        QVERIFY(store.discoveries().isEmpty());
        const auto again = click();
        QCOMPARE(again.second, QStringList());
        QCOMPARE(whileHeld.first + ' ' + again.first, shown);
        QCOMPARE(stored(store), saved);
        store.shutDown();
        QTRY_VERIFY(store.isIdle());
    }
};

QTEST_MAIN(TestClickSaves)
#include "tst_clicksaves.moc"
