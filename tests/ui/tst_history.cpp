#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/StateBadge.h"
#include "ui/keywords/AddKeywordsDialog.h"
#include "ui/keywords/HistoryPanel.h"
#include "ui/keywords/SidePanelDivider.h"

#include "GatedSearchClient.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QChartView>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedLayout>
#include <QUuid>
#include <QValueAxis>
#include <QtTest>

// The rank-history panel, its divider and the add-keywords sheet over a store on an in-memory
// database with a scripted search client.
class TestHistory : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QStringList m_log;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    TrackedApp m_app;

    // Stores readings such as "FOUND:3 NOT_FOUND_IN_SAMPLE" of "photo editor" in the United
    // States, an hour apart in that order, inserted newest first.
    void storeReadings(const QString &readings, const QDateTime &start = QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC))
    {
        const auto list = readings.split(u' ', Qt::SkipEmptyParts);
        for (auto i = list.size() - 1; i >= 0; --i) {
            RankSnapshot snapshot;
            snapshot.key = RankSnapshot::makeKey(m_app.appleAppId, QUuid::createUuid());
            snapshot.appPersistentId = m_app.persistentId;
            snapshot.keywordNormalized = QStringLiteral("photo editor");
            snapshot.country = QStringLiteral("us");
            snapshot.stateRaw = list[i].section(u':', 0, 0);
            if (const auto rank = list[i].section(u':', 1); !rank.isEmpty())
                snapshot.rank = rank.toLongLong();
            snapshot.resultCount = 200;
            snapshot.checkedAt = start.addSecs(3600 * i);
            m_store->db().insert(snapshot);
        }
    }

    // The list's rows, top to bottom: "#N" or the badge's text.
    static QStringList listed(const HistoryPanel &panel)
    {
        QStringList rows;
        const auto *list = panel.findChild<QListWidget *>("historyList");
        for (int i = 0; i < list->count(); ++i) {
            const auto *row = list->itemWidget(list->item(i));
            if (const auto *rank = row->findChild<QLabel *>("historyRank"))
                rows.append(rank->text());
            else
                rows.append(row->findChild<StateBadge *>("historyBadge")->content().text);
        }
        return rows;
    }

    static QList<double> charted(const HistoryPanel &panel)
    {
        const auto *view = panel.findChild<QChartView *>("historyChart");
        QList<double> ranks;
        if (view->isHidden())
            return ranks;
        const auto *line = qobject_cast<QLineSeries *>(view->chart()->series().first());
        for (const auto &point : line->points())
            ranks.append(point.y());
        return ranks;
    }

    QPointer<AddKeywordsDialog> openSheet(const QString &text)
    {
        QPointer<AddKeywordsDialog> sheet = new AddKeywordsDialog(m_store.get(), m_app.appleAppId, "us");
        sheet->show();
        sheet->findChild<QPlainTextEdit *>("addKeywordsText")->setPlainText(text);
        return sheet;
    }

    // A store whose searches wait until the test opens the gate.
    void makeStore()
    {
        m_client = std::make_shared<GatedSearchClient>();
        m_client->answer = [this](const QString &term) {
            m_log.append("search " + term);
            return FakeSearchClient::results({"2001", "1001"});
        };
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, std::make_shared<DownPopularity>(&m_log));
        TrackedApp app(AppInfo{"1001", "Lumen Photo Editor"}, true);
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        m_app = *m_store->app("1001");
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_log.clear();
        makeStore();
        m_client->open();
    }

    void cleanup()
    {
        // Closed sheets delete themselves once the event loop gets to it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_store.reset();
    }

    void history_data()
    {
        QTest::addColumn<QString>("readings"); // oldest first
        QTest::addColumn<QList<double>>("chartedRanks");
        QTest::addColumn<double>("axisLow");
        QTest::addColumn<double>("axisHigh");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("found and missing") << "FOUND:3 NOT_FOUND_IN_SAMPLE FOUND:7 REQUEST_FAILED FOUND:12"
                                           << QList<double>{3, 7, 12} << 2.0 << 13.0
                                           << QStringList{"#12", "Request failed", "#7", "Not in top 200", "#3"};
        QTest::newRow("a single point") << "FOUND:5" << QList<double>{5} << 4.0 << 6.0 << QStringList{"#5"};
        QTest::newRow("rank 1 stays above 0") << "FOUND:1 FOUND:1" << QList<double>{1, 1} << 0.5 << 2.0
                                              << QStringList{"#1", "#1"};
        QTest::newRow("never found") << "NOT_FOUND_IN_SAMPLE REQUEST_FAILED" << QList<double>{} << 0.0 << 0.0
                                     << QStringList{"Request failed", "Not in top 200"};
        QTest::newRow("found without rank, unknown state") << "FOUND BOGUS:4" << QList<double>{} << 0.0 << 0.0
                                                           << QStringList{"Not checked", "Found"};
    }

    void history()
    {
        QFETCH(QString, readings);
        QFETCH(QList<double>, chartedRanks);
        m_store->addKeywords({"Photo Editor"}, m_app);
        storeReadings(readings);
        HistoryPanel panel(m_store.get());
        panel.setKeyword("1001", "us", "photo editor");
        panel.show();
        QCOMPARE(panel.findChild<QLabel *>("historyTitle")->text(), "“Photo Editor”");
        QCOMPARE(panel.findChild<QLabel *>("historyCaption")->text(),
                 "Rank history in United States. Every observation is kept.");
        QCOMPARE(charted(panel), chartedRanks);
        QTEST(listed(panel), "rows");
        if (!chartedRanks.isEmpty()) {
            const auto *axis = panel.findChild<QChartView *>("historyChart")->chart()->axes(Qt::Vertical).first();
            const auto *ranks = qobject_cast<const QValueAxis *>(axis);
            QVERIFY(ranks->isReverse());
            QCOMPARE(ranks->titleText(), "Rank");
            QTEST(ranks->min(), "axisLow");
            QTEST(ranks->max(), "axisHigh");
        }
    }

    void followsTheStore()
    {
        HistoryPanel panel(m_store.get());
        panel.show();
        const auto *pages = panel.findChild<QStackedLayout *>();
        QCOMPARE(qobject_cast<EmptyStateView *>(pages->currentWidget())->title(), "Select a keyword");

        // Without a keyword record the normal form is the title.
        storeReadings("FOUND:4");
        panel.setKeyword("1001", "us", "photo editor");
        QCOMPARE(panel.findChild<QLabel *>("historyTitle")->text(), "“photo editor”");

        storeReadings("FOUND:9", QDateTime(QDate(2026, 12, 2), QTime(9, 0), Qt::UTC));
        m_store->raiseDataVersion();
        QCOMPARE(listed(panel), (QStringList{"#9", "#4"}));
        QCOMPARE(charted(panel), (QList<double>{4, 9}));

        m_store->deleteApp(m_app);
        QCOMPARE(listed(panel), QStringList());
        QCOMPARE(charted(panel), QList<double>());
    }

    void divider_data()
    {
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
        QTest::addColumn<QString>("moves");   // translations of one drag; "end" ends it
        QTest::addColumn<double>("width");
        QTest::newRow("50 to the left") << QVariant() << "-50" << 390.0;
        QTest::newRow("300 to the left") << QVariant() << "-300" << 520.0;
        QTest::newRow("200 to the right") << QVariant() << "200" << 260.0;
        QTest::newRow("each change from the start") << QVariant() << "-20 -50" << 390.0;
        QTest::newRow("next drag from the new width") << QVariant() << "-50 end -50" << 440.0;
        QTest::newRow("clamped at the first change") << QVariant(600.0) << "10" << 520.0;
    }

    void divider()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, moves);
        QFETCH(double, width);
        if (stored.isValid())
            TestSettings::set("historyPanelWidth", stored);
        SidePanelDivider divider;
        QSignalSpy changes(&divider, &SidePanelDivider::widthChanged);
        for (const auto &move : moves.split(u' ', Qt::SkipEmptyParts)) {
            if (move == "end")
                divider.dragEnded();
            else
                divider.dragChanged(move.toDouble());
        }
        QCOMPARE(Settings::shared().historyPanelWidth(), width);
        QCOMPARE(changes.last().first().toDouble(), width);
    }

    void mouseDrag()
    {
        // The pointer moves 50 pixels to the left of where the button went down.
        SidePanelDivider divider;
        divider.resize(7, 100);
        divider.show();
        QTest::mousePress(&divider, Qt::LeftButton, {}, QPoint(3, 50));
        QTest::mouseMove(&divider, QPoint(-20, 50));
        QTest::mouseMove(&divider, QPoint(-47, 50));
        QTest::mouseRelease(&divider, Qt::LeftButton, {}, QPoint(-47, 50));
        QCOMPARE(Settings::shared().historyPanelWidth(), 390.0);
    }

    void trackEnabling_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("empty") << "" << false;
        QTest::newRow("separators only") << " , ;\n ,\t" << false;
        QTest::newRow("one word") << "  alpha " << true;
    }

    void trackEnabling()
    {
        QFETCH(QString, text);
        const auto sheet = openSheet(text);
        QTEST(sheet->findChild<QPushButton *>("addKeywordsTrack")->isEnabled(), "enabled");
        sheet->reject();
    }

    void trackAndCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("searchedBefore"); // fresh stored searches
        QTest::addColumn<int>("linked");
        QTest::addColumn<QStringList>("log"); // after the sheet opened
        QTest::newRow("comma and line") << "alpha, beta\ngamma" << "" << 3
                                        << QStringList{"raise", "closed", "search alpha", "search beta",
                                                       "search gamma", "popularity", "raise"};
        QTest::newRow("repeats and unusable entries") << "Beta;alpha;x;beta" << "" << 2
                                                      << QStringList{"raise", "closed", "search Beta", "search alpha",
                                                                     "popularity", "raise"};
        QTest::newRow("a fresh search is reused") << "alpha, beta" << "beta" << 2
                                                  << QStringList{"raise", "closed", "search alpha", "popularity",
                                                                 "raise"};
    }

    void trackAndCheck()
    {
        QFETCH(QString, text);
        QFETCH(QString, searchedBefore);
        QFETCH(int, linked);
        QFETCH(QStringList, log);
        if (!searchedBefore.isEmpty()) {
            m_store->addKeywords({searchedBefore}, m_app);
            QCoro::waitFor(m_store->observation(*m_store->keyword(searchedBefore), "us", true));
        }
        const auto sheet = openSheet(text);
        m_log.clear();
        connect(m_store.get(), &ASOStore::dataVersionChanged, this, [this] { m_log.append("raise"); });
        QSet<QString> linkedAtClose;
        connect(sheet, &QDialog::finished, this, [&] {
            m_log.append("closed");
            linkedAtClose = m_store->linkedKeywords(m_app);
        });

        // Through the button, which drops the search's handle.
        sheet->findChild<QPushButton *>("addKeywordsTrack")->click();
        QTRY_COMPARE(m_log, log);
        QCOMPARE(linkedAtClose, m_store->linkedKeywords(m_app));
        QCOMPARE(linkedAtClose.size(), linked);
        // Every search applied its result to the app.
        for (const auto &keyword : linkedAtClose)
            QCOMPARE(m_store->rankState("1001", keyword, "us")->latestRank, 2);
        QTRY_VERIFY(!sheet);
    }

    void appRemovedMidway()
    {
        makeStore();
        auto task = openSheet("alpha, beta")->trackAndCheck();
        QTRY_COMPARE(m_client->waiting, 1);
        m_store->deleteApp(m_app);
        QSignalSpy raises(m_store.get(), &ASOStore::dataVersionChanged);
        m_client->open();
        QCoro::waitFor(std::move(task));
        QCOMPARE(m_client->searches, QStringList{"us|alpha|200"});
        QVERIFY(!m_log.contains("popularity"));
        QCOMPARE(raises.count(), 0);
    }
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
