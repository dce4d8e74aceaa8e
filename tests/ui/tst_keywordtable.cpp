#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/keywords/DiscoveryBanner.h"
#include "ui/keywords/KeywordFilter.h"
#include "ui/keywords/KeywordFilterProxy.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/keywords/KeywordTableModel.h"
#include "workflows/DiscoveryRun.h"

#include "GatedSearchClient.h"
#include "RenderedTexts.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

namespace {

// "id[=keyword]:state[:rank]" with state f(ound), n(ot in sample), x (failed) or - (not checked).
QList<KeywordRow> rowsOf(const QString &list)
{
    QList<KeywordRow> rows;
    for (const auto &token : list.split(u' ', Qt::SkipEmptyParts)) {
        const auto parts = token.split(u':');
        KeywordRow row;
        row.id = row.keyword = QString(parts[0]).replace(u'_', u' ');
        if (const auto shown = row.id.indexOf(u'='); shown >= 0) {
            row.keyword = row.id.mid(shown + 1);
            row.id.truncate(shown);
        }
        const QChar state = parts.value(1, QStringLiteral("-"))[0];
        row.state = state == u'f' ? RankingState::found
            : state == u'n'      ? RankingState::notFoundInSample
            : state == u'x'      ? RankingState::requestFailed
                                 : RankingState::notChecked;
        if (parts.size() > 2)
            row.rank = parts[2].toLongLong();
        rows.append(row);
    }
    return rows;
}

QStringList idsOf(const QAbstractItemModel *model)
{
    QStringList ids;
    for (int row = 0; row < model->rowCount(); ++row)
        ids.append(model->index(row, 0).data(KeywordTableModel::IdRole).toString());
    return ids;
}

}

class TestKeywordTable : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;
    QStringList m_log;

    TrackedApp addApp(const QStringList &keywords)
    {
        TrackedApp app(AppInfo{QStringLiteral("1"), QStringLiteral("App 1")}, true);
        app.trackedCountries = {QStringLiteral("us")};
        m_store->db().insert(app);
        const auto stored = *m_store->app(QStringLiteral("1"));
        m_store->addKeywords(keywords, stored);
        return stored;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        m_log.clear();
        m_client = std::make_shared<GatedSearchClient>();
        m_client->answer = [this](const QString &term) {
            m_log.append(QStringLiteral("search ") + term);
            return FakeSearchClient::results({QStringLiteral("9"), QStringLiteral("1")});
        };
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client, std::make_shared<DownPopularity>(&m_log));
        connect(m_store.get(), &ASOStore::dataVersionChanged, this, [this] { m_log.append(QStringLiteral("raise")); });
    }

    void cleanup() { m_store.reset(); }

    void sorting_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QString>("expected");
        // a beta: pop 50, diff 40, opp 30, #3, an hour ago; b Alpha: nothing known;
        // c alpha: pop 10, diff 70, opp 30, #12, two hours ago; d gamma: pop 50, opp 5, found without rank, an hour ago.
        using M = KeywordTableModel;
        QTest::newRow("keyword by code point") << int(M::keyword) << Qt::AscendingOrder << "b c a d";
        QTest::newRow("popularity: absent first") << int(M::popularity) << Qt::AscendingOrder << "b c a d";
        QTest::newRow("popularity descending, ties in store order") << int(M::popularity) << Qt::DescendingOrder << "a d c b";
        QTest::newRow("difficulty: absent last") << int(M::difficulty) << Qt::AscendingOrder << "a c b d";
        QTest::newRow("opportunity descending (initial)") << int(M::opportunity) << Qt::DescendingOrder << "a c d b";
        QTest::newRow("opportunity ascending") << int(M::opportunity) << Qt::AscendingOrder << "b d a c";
        QTest::newRow("rank: unranked last") << int(M::rank) << Qt::AscendingOrder << "a c b d";
        QTest::newRow("rank descending") << int(M::rank) << Qt::DescendingOrder << "b d c a";
        QTest::newRow("checked: never is oldest") << int(M::checked) << Qt::AscendingOrder << "b c a d";
        QTest::newRow("checked descending") << int(M::checked) << Qt::DescendingOrder << "a d c b";
        QTest::newRow("change is not sortable") << int(M::change) << Qt::AscendingOrder << "a c d b";
    }

    void sorting()
    {
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QString, expected);
        KeywordTable table(m_store.get(), QStringLiteral("1"), QStringLiteral("us"));
        const auto now = QDateTime::currentDateTimeUtc();
        auto rows = rowsOf("beta:f:3 Alpha alpha:f:12 gamma:f");
        const QStringList names{"a", "b", "c", "d"};
        for (int i = 0; i < 4; ++i)
            rows[i].id = names[i];
        rows[0].popularity = 50, rows[0].difficulty = 40, rows[0].opportunity = 30, rows[0].checkedAt = now.addSecs(-3600);
        rows[2].popularity = 10, rows[2].difficulty = 70, rows[2].opportunity = 30, rows[2].checkedAt = now.addSecs(-7200);
        rows[3].popularity = 50, rows[3].opportunity = 5, rows[3].checkedAt = rows[0].checkedAt;
        table.tableModel()->setRows(rows);

        table.setSort(column, order);
        QCOMPARE(idsOf(table.model()).join(u' '), expected);
        // "Change" ignores header clicks as well.
        table.horizontalHeader()->setSortIndicator(KeywordTableModel::change, Qt::AscendingOrder);
        QCOMPARE(idsOf(table.model()).join(u' '), expected);
        QCOMPARE(table.horizontalHeader()->sortIndicatorSection(), column == KeywordTableModel::change
                     ? int(KeywordTableModel::opportunity) : column);
    }

    void filterAndSearch_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("expected"); // in store order, comma-separated
        QTest::newRow("all") << "All" << "" << "seafood,fo o,foot,football,food truck,cafe";
        QTest::newRow("blanks only filter nothing") << "All" << " \t\u00a0" << "seafood,fo o,foot,football,food truck,cafe";
        QTest::newRow("capitals with blanks") << "All" << "\u00a0FOO\t " << "seafood,foot,football,food truck";
        QTest::newRow("inner blank counts") << "All" << "D T" << "food truck";
        QTest::newRow("line breaks are not trimmed") << "All" << "foo\n" << "";
        QTest::newRow("found") << "Found" << "" << "seafood,food truck";
        QTest::newRow("found and search") << "Found" << "sea" << "seafood";
        QTest::newRow("not in sample") << "Not in sample" << "" << "fo o,cafe";
        // The shown keyword is searched, not its normal form.
        QTest::newRow("normal form not searched") << "All" << "cafe" << "";
        QTest::newRow("shown keyword searched") << "All" << "CAFÉ " << "cafe";
        QTest::newRow("failed") << "Failed" << "" << "foot";
        QTest::newRow("not checked") << "Not checked" << "foo" << "football";
    }

    void filterAndSearch()
    {
        QFETCH(QString, filter);
        QFETCH(QString, search);
        QFETCH(QString, expected);
        const auto rows = rowsOf("seafood:f:2 fo_o:n foot:x football:- food_truck:f:30 cafe=Café:n");
        const auto kind = KeywordFilters::fromRaw(filter);
        QVERIFY(kind);
        QStringList pure;
        for (const auto &row : KeywordFilters::visibleRows(rows, *kind, search))
            pure.append(row.id);
        QCOMPARE(pure, expected.split(u',', Qt::SkipEmptyParts));

        // The table's proxy agrees, in its own (keyword) order.
        KeywordTable table(m_store.get(), QStringLiteral("1"), QStringLiteral("us"));
        table.tableModel()->setRows(rows);
        table.setSort(KeywordTableModel::keyword, Qt::AscendingOrder);
        table.setFilter(*kind);
        table.setSearch(search);
        pure.sort();
        QCOMPARE(idsOf(table.model()), pure);
        QCOMPARE(table.emptyState()->isVisibleTo(&table), pure.isEmpty());
    }

    void counts()
    {
        const auto rows = rowsOf("a:f:10 b:f:11 c:f d:n e:n f:x g:- h:f:1");
        QCOMPARE(KeywordFilters::counters(rows), (KeywordFilters::Counters{8, 4, 2}));
        QStringList titles;
        for (const auto filter : KeywordFilters::allCases)
            titles.append(KeywordFilters::pickerTitle(filter, KeywordFilters::rowCount(rows, filter)));
        QCOMPARE(titles, (QStringList{"All 8", "Found 4", "Not in sample 2", "Not checked 1", "Failed 1"}));
        QCOMPARE(KeywordFilters::fromRaw(u"not in sample"), std::nullopt);
    }

    void cells()
    {
        auto rows = rowsOf("a:f:7 b:f c:n");
        rows[2].resultCount = 200;
        rows[0].sources = {KeywordSource::manual, KeywordSource::appName};
        QCOMPARE(KeywordTable::rankCell(rows[0]).text, "#7");
        QCOMPARE(KeywordTable::rankCell(rows[1]).text, "Found");
        QCOMPARE(KeywordTable::rankCell(rows[2]).text, "Not in top 200");
        QCOMPARE(KeywordTableModel::sourceLabels(rows[0]), KeywordSources::label(KeywordSource::manual) + " · "
                     + KeywordSources::label(KeywordSource::appName));
        QCOMPARE(KeywordTableModel::sourceLabels(rows[1]), "");
        QCOMPARE(KeywordTableModel::opportunityCell(rows[0]).text, "—");
        QCOMPARE(KeywordTableModel::checkedCell(rows[0], QDateTime::currentDateTimeUtc()).text, "—");
    }

    void versionRaiseKeepsSelectionAndScroll()
    {
        QStringList keywords;
        for (int i = 0; i < 60; ++i)
            keywords.append(QStringLiteral("keyword %1").arg(i, 2, 10, QChar(u'0')));
        const auto app = addApp(keywords);
        KeywordTable table(m_store.get(), app.appleAppId, QStringLiteral("us"));
        table.resize(700, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.setSort(KeywordTableModel::keyword, Qt::AscendingOrder);
        table.selectRow(30);
        QCOMPARE(table.selection(), "keyword 30");
        table.verticalScrollBar()->setValue(5); // the selected row lies below
        QSignalSpy changes(&table, &KeywordTable::selectionChanged);

        m_store->raiseDataVersion();
        QCOMPARE(table.selection(), "keyword 30");
        QCOMPARE(table.selectionModel()->selectedRows().value(0).data(KeywordTableModel::IdRole), "keyword 30");
        QCOMPARE(table.verticalScrollBar()->value(), 5);

        // Filtered out and back: still the same keyword, never cleared on the way.
        table.setSearch(QStringLiteral("keyword 1"));
        QCOMPARE(table.selection(), "keyword 30");
        table.setSearch(QString());
        QCOMPARE(table.selectionModel()->selectedRows().value(0).data(KeywordTableModel::IdRole), "keyword 30");
        QCOMPARE(changes.count(), 0);

        // Stop Tracking unlinks without touching the selection.
        table.stopTrackingAction({QStringLiteral("keyword 30")});
        QVERIFY(!m_store->linkedKeywords(app).contains("keyword 30"));
        QCOMPARE(table.selection(), "keyword 30");
        QCOMPARE(table.model()->rowCount(), 59);
    }

    void raiseUpdatesRowsInPlace_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("selected");
        QTest::newRow("by keyword") << int(KeywordTableModel::keyword) << "keyword 30";
        // The search moves the selected row to the top.
        QTest::newRow("by rank, the selected row moves") << int(KeywordTableModel::rank) << "keyword 45";
    }

    void raiseUpdatesRowsInPlace()
    {
        // A discovery run between two raises: keywords linked and unlinked, a search applied.
        QFETCH(int, column);
        QFETCH(QString, selected);
        QStringList keywords;
        for (int i = 0; i < 60; ++i)
            keywords.append(QStringLiteral("keyword %1").arg(i, 2, 10, QChar(u'0')));
        const auto app = addApp(keywords);
        KeywordTable table(m_store.get(), app.appleAppId, QStringLiteral("us"));
        table.resize(700, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.setSort(column, Qt::AscendingOrder);
        table.setSelection(selected);
        table.verticalScrollBar()->setValue(7);
        QSignalSpy resets(table.tableModel(), &QAbstractItemModel::modelReset);
        QSignalSpy changes(&table, &KeywordTable::selectionChanged);

        m_store->link({{"keyword 00a", KeywordSource::probe, {}, {}}, {"keyword 99", KeywordSource::probe, {}, {}}}, app);
        m_store->unlink(QStringLiteral("keyword 10"), app);
        const auto hits = FakeSearchClient::results({QStringLiteral("9"), app.appleAppId}).hits;
        SearchObservation observation{0, QUuid::createUuid(), QStringLiteral("keyword 45"), QStringLiteral("us"),
                                      QDateTime::currentDateTimeUtc(), true, 200, hits.size(), 1, {}, true,
                                      AppRecords::encodeHits(hits)};
        m_store->db().insert(observation);
        m_store->apply(observation, app);
        m_store->raiseDataVersion();

        QCOMPARE(resets.count(), 0);
        QCOMPARE(table.tableModel()->rows(), m_store->readRows(app, QStringLiteral("us")));
        QCOMPARE(table.model()->rowCount(), 61);
        QCOMPARE(table.selection(), selected);
        QCOMPARE(table.selectionModel()->selectedRows().size(), 1);
        QCOMPARE(table.selectionModel()->selectedRows().value(0).data(KeywordTableModel::IdRole), selected);
        QCOMPARE(table.verticalScrollBar()->value(), 7);
        QCOMPARE(changes.count(), 0);
        const auto order = idsOf(table.model());
        QCOMPARE(column == KeywordTableModel::rank ? order.first() : order.value(1), column == KeywordTableModel::rank
                     ? "keyword 45" : "keyword 00a");
    }

    void menu()
    {
        addApp({});
        KeywordTable table(m_store.get(), QStringLiteral("1"), QStringLiteral("us"));
        QVERIFY(table.emptyState()->isVisibleTo(&table));
        QCOMPARE(table.emptyState()->title(), "No keywords here");
        for (const auto &ids : {QStringList{}, QStringList{"a"}}) {
            std::unique_ptr<QMenu> menu(table.contextMenu(ids));
            QStringList items;
            for (const auto *action : menu->actions())
                items.append(action->isSeparator() ? "|" : action->text());
            QCOMPARE(items, (QStringList{"Check Now", "|", "Stop Tracking"}));
        }
    }

    void checkNow_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("three keywords") << QStringList{"gamma", "alpha", "beta"}
                                        << QStringList{"search gamma", "search alpha", "search beta", "popularity", "raise"};
        QTest::newRow("a keyword gone meanwhile is skipped")
            << QStringList{"alpha", "unknown", "beta"} << QStringList{"search alpha", "search beta", "popularity", "raise"};
        QTest::newRow("empty selection") << QStringList{} << QStringList{"popularity", "raise"};
    }

    void checkNow()
    {
        QFETCH(QStringList, ids);
        m_client->open();
        const auto app = addApp({"alpha", "beta", "gamma"});
        // Fresh stored searches, which Check Now must not reuse.
        for (const auto &term : {"alpha", "beta", "gamma"})
            QCoro::waitFor(m_store->search(*m_store->keyword(term), app, QStringLiteral("us")));
        KeywordTable table(m_store.get(), app.appleAppId, QStringLiteral("us"));
        m_log.clear();
        QCoro::waitFor(table.checkNowAction(ids));
        QTEST(m_log, "log");
        if (!ids.isEmpty())
            QCOMPARE(KeywordTable::rankCell(table.tableModel()->rows().value(0)).text, "#2");
    }

    void checkNowStopsWhenTheAppIsRemoved()
    {
        const auto app = addApp({"alpha", "beta"});
        auto task = [](std::unique_ptr<KeywordTable> table) -> QCoro::Task<> {
            // The table may go too; the task does not need it.
            auto running = table->checkNowAction({QStringLiteral("alpha"), QStringLiteral("beta")});
            table.reset();
            co_await std::move(running);
        }(std::make_unique<KeywordTable>(m_store.get(), app.appleAppId, QStringLiteral("us")));
        QTRY_COMPARE(m_client->waiting, 1);
        m_store->deleteApp(app);
        m_log.clear();
        m_client->open();
        QCoro::waitFor(std::move(task));
        QCOMPARE(m_log, QStringList{"search alpha"});
    }

    void bannerContent_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<int>("searched");
        QTest::addColumn<int>("queued");
        QTest::addColumn<int>("failed");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("counter");  // "Searched" value
        QTest::addColumn<int>("progress");     // percent, -1 when hidden
        QTest::addColumn<bool>("failedRed");
        QTest::newRow("nothing queued") << true << false << 0 << 0 << 0 << "Round 1 · round 1 of 1" << "0/0" << -1 << false;
        QTest::newRow("12 of 40") << true << false << 12 << 40 << 1 << "Round 1 · round 1 of 1" << "12/40" << 30 << true;
        QTest::newRow("stopped") << false << true << 3 << 40 << 0 << "Discovery stopped" << "3/40" << -1 << false;
        QTest::newRow("finished") << false << false << 40 << 40 << 2 << "Discovery finished" << "40/40" << -1 << true;
    }

    void bannerContent()
    {
        QFETCH(bool, running);
        QFETCH(bool, cancelled);
        QFETCH(int, searched);
        QFETCH(int, queued);
        QFETCH(int, failed);
        QFETCH(int, progress);
        QFETCH(bool, failedRed);
        DiscoveryRun run(QStringLiteral("us"), 100, 0);
        run.setRound(1);
        run.setPhase(QStringLiteral("Round 1"));
        run.setSearched(searched);
        run.setQueued(queued);
        run.setFailed(failed);
        run.setIsCancelled(cancelled);
        run.setIsRunning(running);
        const auto content = DiscoveryBanner::describe(run);
        QTEST(content.status, "status");
        QTEST(content.counters.at(1).value, "counter");
        QCOMPARE(content.showProgress, progress >= 0);
        if (progress >= 0)
            QCOMPARE(content.progressValue * 100 / content.progressTotal, progress);
        QCOMPARE(content.counters.at(4).tone, failedRed ? Style::Tone::red : Style::Tone::secondary);
        QCOMPARE(content.symbol, running ? "" : cancelled ? "stop.circle" : "checkmark.circle.fill");
    }

    void bannerAcrossARun_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("ended");
        QTest::newRow("stopped") << true << "Discovery stopped";
        QTest::newRow("finished") << false << "Discovery finished";
    }

    void bannerAcrossARun()
    {
        QFETCH(bool, stop);
        QFETCH(QString, ended);
        TestSettings::set(QStringLiteral("discoveryDepth"), 0);
        const auto app = addApp({"photo editor"});
        QWidget screen;
        auto &banner = *new DiscoveryBanner(m_store.get(), app.appleAppId, QStringLiteral("us"), &screen);
        QVERIFY(banner.isHidden());
        m_store->startDiscovery(app, QStringLiteral("us"));
        QVERIFY(!banner.isHidden());
        QTRY_VERIFY(m_client->waiting >= 1);
        auto *status = banner.findChild<QLabel *>("discoveryStatus");
        auto *stopButton = banner.findChild<QPushButton *>("discoveryStop");
        QVERIFY(status->text().endsWith(" · round 1 of 1"));
        QVERIFY(!stopButton->isHidden());
        QVERIFY(!banner.findChild<QProgressBar *>("discoveryProgress")->isHidden());
        if (stop) {
            stopButton->click();
            stopButton->click();
            QVERIFY(banner.run()->isCancelled());
            // Still running until the run winds down.
            QVERIFY(status->text().endsWith(" · round 1 of 1"));
        }
        m_client->open();
        QTRY_VERIFY(!banner.run()->isRunning());
        QCOMPARE(status->text(), ended);
        QVERIFY(stopButton->isHidden());
        QVERIFY(banner.findChild<QProgressBar *>("discoveryProgress")->isHidden());
        QCOMPARE(banner.findChild<QLabel *>("discoveryNote")->text(), DiscoveryBanner::note());
        // The app's removal takes its run with it.
        m_store->deleteApp(app);
        QVERIFY(banner.isHidden());
    }

    // Each row paints its keyword and its rank once. A raise that adds a row above the selected
    // one and removes another repaints the rows and keeps the one selected row on its keyword.
    void rowsPaintOnceAndFollowARaise()
    {
        m_client->open();
        const auto app = addApp({"beta", "delta", "gamma"});
        QCoro::waitFor(m_store->search(*m_store->keyword("beta"), app, QStringLiteral("us")));
        KeywordTable table(m_store.get(), app.appleAppId, QStringLiteral("us"));
        table.resize(900, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        table.setSort(KeywordTableModel::keyword, Qt::AscendingOrder);
        table.setSelection(QStringLiteral("gamma"));
        auto shown = renderedTexts(table.viewport());
        for (const auto &text : {"beta", "delta", "gamma", "#2"})
            QVERIFY2(shown.count(text) == 1, qPrintable(shown.join(", ")));
        QCOMPARE(shown.count("Not checked"), 2);

        m_store->addKeywords({QStringLiteral("alpha")}, app);
        m_store->unlink(QStringLiteral("delta"), app);
        shown = renderedTexts(table.viewport());
        QVERIFY2(shown.count("alpha") == 1 && shown.count("delta") == 0 && shown.count("gamma") == 1,
                 qPrintable(shown.join(", ")));
        QCOMPARE(table.selection(), "gamma");
        const auto selected = table.selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().data(KeywordTableModel::IdRole), "gamma");
        QCOMPARE(selected.first().row(), 2);
    }
};

QTEST_MAIN(TestKeywordTable)
#include "tst_keywordtable.moc"
