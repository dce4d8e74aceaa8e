#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "support/TaskRunner.h"
#include "ui/cells/EmptyStateView.h"
#include "ui/cells/SortKeyProxy.h"
#include "ui/competitors/ComparisonTable.h"
#include "ui/competitors/CompetitorHeader.h"
#include "ui/competitors/CompetitorKeywordModel.h"
#include "ui/competitors/CompetitorKeywordTable.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/competitors/SuggestedCompetitorsModel.h"
#include "ui/competitors/SuggestedCompetitorsTable.h"
#include "ui/competitors/TableColumns.h"
#include "ui/keywords/AppDetailView.h"
#include "workflows/DiscoveryRun.h"

#include "GatedSearchClient.h"
#include "TestSettings.h"
#include "UiFixture.h"

#include <QComboBox>
#include <QCoroFuture>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSemaphore>
#include <QTableView>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>
#include <QUuid>
#include <QtTest>

namespace {

QStringList columnOf(const QAbstractItemModel *model, int column, int role = Qt::DisplayRole)
{
    QStringList values;
    for (int row = 0; row < model->rowCount(); ++row)
        values.append(model->index(row, column).data(role).toString());
    return values;
}

// "A:mine:theirs" per row: each position found at a rank, n (not in the sample), x (failed) or
// - (not checked); the lead follows from the two as the library derives it.
QList<CompetitorKeywordRow> comparisons(const QString &list)
{
    const auto position = [](const QString &text) {
        KeywordGap::Position position;
        bool number = false;
        const int rank = text.toInt(&number);
        position.state = number ? RankingState::found
            : text == u"n"      ? RankingState::notFoundInSample
            : text == u"x"      ? RankingState::requestFailed
                                : RankingState::notChecked;
        if (number)
            position.rank = rank;
        return position;
    };
    QList<CompetitorKeywordRow> rows;
    for (const auto &token : list.split(u' ', Qt::SkipEmptyParts)) {
        const auto parts = token.split(u':');
        CompetitorKeywordRow row;
        row.id = row.keyword = parts[0];
        row.mine = position(parts[1]);
        row.theirs = position(parts[2]);
        row.lead = KeywordGap::Comparison{row.id, row.mine, row.theirs, 10}.lead();
        rows.append(row);
    }
    return rows;
}

// Holds every thread of the global pool until opened, so that reads handed to it cannot end
// before the test has looked at the section while they run, however the machine schedules them.
class PoolGate
{
public:
    PoolGate()
    {
        auto *pool = QThreadPool::globalInstance();
        // As many as the pool runs at once: what is started later queues behind them.
        for (int i = 0; i < pool->maxThreadCount(); ++i)
            pool->start([gate = m_gate] {
                gate->acquire();
                gate->release();
            });
    }
    ~PoolGate() { open(); }
    PoolGate(const PoolGate &) = delete;
    PoolGate &operator=(const PoolGate &) = delete;

    void open()
    {
        if (!std::exchange(m_open, true))
            m_gate->release();
    }

private:
    std::shared_ptr<QSemaphore> m_gate = std::make_shared<QSemaphore>();
    bool m_open = false;
};

}

// The competitors section over a real store whose stored searches give the analysis its evidence.
class TestCompetitorsView : public QObject
{
    Q_OBJECT

    TestSettings m_settings;
    QTemporaryDir m_dir;
    std::shared_ptr<GatedSearchClient> m_client;
    std::unique_ptr<ASOStore> m_store;

    TrackedApp track(const QString &id, const QString &name, bool own = false, const QStringList &keywords = {})
    {
        TrackedApp app(AppInfo{id, name}, own);
        app.trackedCountries = {"us"};
        m_store->db().insert(app);
        m_store->addKeywords(keywords, *m_store->app(id));
        return *m_store->app(id);
    }

    // Stores a search of the keyword that finds these apps in this order; {"!"} fails.
    void search(const QString &keyword, const QStringList &ids, const QString &country = "us")
    {
        m_client->answer = [ids](auto) {
            return ids == QStringList{"!"} ? throw FakeSearchClient::failure() : FakeSearchClient::results(ids);
        };
        const auto stored = m_store->keyword(keyword);
        if (!stored)
            qFatal("no keyword %s", qPrintable(keyword));
        TaskRunner::run(m_store->observation(*stored, country, true));
    }

    // In a file, which the pool's threads read too: the app "1" with more searched keywords in
    // the United States and the United Kingdom than the window reads itself, and the
    // competitors "c" (Rival) and "c2" (Zed) with as many searched keywords of their own.
    void seedManySearches()
    {
        m_store = std::make_unique<ASOStore>(
            StoreDb::openFile(m_dir.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".sqlite")), m_client);
        QStringList mine, theirs, others;
        for (int i = 0; i < 20; ++i) {
            mine.append(QStringLiteral("mine %1").arg(i));
            theirs.append(QStringLiteral("theirs %1").arg(i));
            others.append(QStringLiteral("others %1").arg(i));
        }
        track("1", "Mine", true, mine);
        track("c", "Rival", false, theirs);
        track("c2", "Zed", false, others);
        for (const auto &keyword : mine) {
            search(keyword, {"1", "700", "701", "c"});
            search(keyword, {"800", "801", "1"}, "gb");
        }
        for (const auto &keyword : theirs + others)
            search(keyword, {"c", "c2", "1"});
    }

    // The analysis drawn: the suggested apps, or the kinds of the gap's untracked keywords.
    static QString drawnAnalysis(const CompetitorsView &view)
    {
        if (auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(view.contentWidget()))
            return "Suggested: " + columnOf(suggested->table()->model(), SuggestedCompetitorsModel::app).join(", ");
        if (auto *gap = qobject_cast<KeywordGapView *>(view.contentWidget())) {
            QStringList kinds;
            for (const auto &id : gap->untracked()->shownIds())
                kinds.append(id.section(u' ', 0, 0));
            kinds.removeDuplicates();
            return "Keyword Gap: " + kinds.join(", ");
        }
        return view.shownContent() == CompetitorsView::Content::loading ? "loading" : "other";
    }

    // The app "1" with keywords alpha to echo; the competitor "c" (delta, xray, yankee, zulu) leads on some.
    void seedRivalry()
    {
        track("1", "Mine", true, {"alpha", "bravo", "charlie", "delta", "echo"});
        track("c", "Rival", false, {"delta", "xray", "yankee", "zulu"});
        search("alpha", {"1", "5", "c"});     // ahead by 2
        search("bravo", {"c", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "1"}); // behind by 11
        search("charlie", {"1"});               // only mine
        search("delta", {"c", "5"});          // only theirs
        search("echo", {"5"});               // neither
        search("xray", {"7", "c"});
        search("yankee", {"c"});
        search("zulu", {"!"});
        m_store->raiseDataVersion();
    }

    std::unique_ptr<CompetitorsView> openSection(CompetitorTab tab, const QString &country = "us")
    {
        auto view = std::make_unique<CompetitorsView>(m_store.get(), "1", country);
        view->resize(900, 600);
        view->show();
        view->setTab(tab);
        return view;
    }

private Q_SLOTS:
    void init()
    {
        TestSettings::reset();
        TestSettings::set(SettingsKey::popularityServer, "");
        m_client = std::make_shared<GatedSearchClient>();
        m_client->open();
        m_store = std::make_unique<ASOStore>(StoreDb::openInMemory(), m_client);
    }

    void cleanup() { m_store.reset(); }

    void decisionTable_data()
    {
        QTest::addColumn<QStringList>("searches"); // per keyword of the app: the apps found, "!" failed, "-" none
        QTest::addColumn<QString>("tab");
        QTest::addColumn<bool>("competitor");
        QTest::addColumn<QString>("country");
        QTest::addColumn<QString>("title"); // of the empty state; empty: a tab's content
        QTest::addColumn<QString>("banner");
        const QString failed3 = "The latest search failed for 3 keywords. They are shown as failed, never as not ranked.";
        const QString failed1 = "The latest search failed for 1 keyword. They are shown as failed, never as not ranked.";
        QTest::newRow("no keywords, every tab") << QStringList{} << "Keyword Gap" << true << "us" << "No keywords yet" << "";
        QTest::newRow("never searched") << QStringList{"-", "-"} << "Suggested" << true << "us" << "No searches yet in United States" << "";
        QTest::newRow("unknown storefront") << QStringList{"-"} << "Compare" << true << "zz" << "No searches yet in ZZ" << "";
        QTest::newRow("all failed") << QStringList{"!", "!", "!"} << "Suggested" << true << "us" << "Searches failed" << failed3;
        QTest::newRow("one failed, one found") << QStringList{"!", "1 c"} << "Suggested" << false << "us" << "" << failed1;
        QTest::newRow("compare without competitor") << QStringList{"1 c"} << "Compare" << false << "us" << "No competitors tracked" << "";
        QTest::newRow("gap without competitor") << QStringList{"1"} << "Keyword Gap" << false << "us" << "No competitors tracked" << "";
        QTest::newRow("compare") << QStringList{"1 c", "-"} << "Compare" << true << "us" << "" << "";
        QTest::newRow("gap") << QStringList{"1 c"} << "Keyword Gap" << true << "us" << "" << "";
    }

    void decisionTable()
    {
        QFETCH(QStringList, searches);
        QFETCH(QString, tab);
        QFETCH(bool, competitor);
        QFETCH(QString, country);
        QFETCH(QString, title);
        QFETCH(QString, banner);
        QStringList keywords;
        for (int i = 0; i < searches.size(); ++i)
            keywords.append(QStringLiteral("keyword %1").arg(i));
        track("1", "Mine", true, keywords);
        if (competitor)
            track("c", "Rival");
        for (int i = 0; i < searches.size(); ++i) {
            if (searches[i] == u"!")
                search(keywords[i], {"!"});
            else if (searches[i] != u"-")
                search(keywords[i], searches[i].split(u' '));
        }
        const auto view = openSection(*CompetitorTabs::fromRaw(tab), country);
        auto *state = qobject_cast<EmptyStateView *>(view->contentWidget());
        QCOMPARE(state ? state->title() : QString(), title);
        auto *bannerLabel = childOf<QLabel>(view.get(), "failedSearchesBanner");
        QCOMPARE(bannerLabel->isVisible(), !banner.isEmpty());
        if (!banner.isEmpty())
            QVERIFY2(bannerLabel->text().endsWith(banner), qPrintable(bannerLabel->text()));
        // The picker shows only off "Suggested" and only with a competitor.
        QCOMPARE(childOf<QComboBox>(view.get(), "competitorPicker")->isVisible(), competitor && tab != "Suggested");
        if (title == "No competitors tracked") {
            childOf<QPushButton>(view->contentWidget(), "showSuggestions")->click();
            QCOMPARE(view->tab(), CompetitorTab::suggested);
            QVERIFY(childOf<QToolButton>(view.get(), "tabSuggested")->isChecked());
            QCOMPARE(view->shownContent(), CompetitorsView::Content::suggested);
        }
    }

    // Many searches to read: the section shows that it loads, and draws the tab once they are
    // read on the pool's threads; from then on it draws at once.
    void loadingThenResult()
    {
        seedManySearches();
        PoolGate gate;
        const auto view = openSection(CompetitorTab::suggested);
        QCOMPARE(view->shownContent(), CompetitorsView::Content::loading);
        auto *loading = qobject_cast<EmptyStateView *>(view->contentWidget());
        QVERIFY(loading && loading->isVisible());
        QCOMPARE(loading->title(), "Reading search results…");
        QSignalSpy loaded(view.get(), &CompetitorsView::loadingChanged);
        gate.open();
        QVERIFY(loaded.wait());
        QCOMPARE(loaded.takeFirst(), QVariantList{false});
        QVERIFY(!loading->isVisible() && view->contentWidget()->isVisible());
        QCOMPARE(drawnAnalysis(*view), "Suggested: App 700, App 701");
        view->setTab(CompetitorTab::compare);
        QCOMPARE(view->shownContent(), CompetitorsView::Content::compare);
        QVERIFY(loaded.isEmpty());
    }

    // A change while the reads of a tab run makes their analysis stale: the section goes on
    // waiting for reads rather than reading on the window's thread, only what it calls for once
    // they end is drawn, and a section gone by then is left alone.
    void staleAnalysisNotDrawn_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("drawn");
        QTest::newRow("storefront") << "storefront" << "Suggested: App 800, App 801";
        QTest::newRow("tab") << "tab" << "Keyword Gap: theirs";
        QTest::newRow("competitor") << "competitor" << "Keyword Gap: others";
        QTest::newRow("data") << "data" << "Suggested: App 701";
        QTest::newRow("section closed") << "closed" << "";
    }

    void staleAnalysisNotDrawn()
    {
        QFETCH(QString, change);
        QFETCH(QString, drawn);
        seedManySearches();
        PoolGate gate;
        auto view = openSection(change == u"competitor" ? CompetitorTab::gap : CompetitorTab::suggested);
        QCOMPARE(view->shownContent(), CompetitorsView::Content::loading);
        QStringList draws;
        connect(view.get(), &CompetitorsView::loadingChanged, view.get(), [&] { draws.append(drawnAnalysis(*view)); });
        if (change == u"storefront")
            view->setCountry("gb");
        else if (change == u"tab")
            view->setTab(CompetitorTab::gap);
        else if (change == u"competitor")
            view->chooseCompetitor("c2");
        else if (change == u"data")
            trackApps(*m_store, "c700"); // tracked now, so no longer suggested
        else
            view.reset();
        if (view)
            QCOMPARE(view->shownContent(), CompetitorsView::Content::loading);
        gate.open();
        // Every read ends, the stale ones too.
        const auto apps = QList<TrackedApp>{*m_store->app("1"), *m_store->app("c"), *m_store->app("c2")};
        for (const auto &read : m_store->readCompetitorSearches(apps, "us") + m_store->readCompetitorSearches(apps, "gb"))
            QCoro::waitFor(qCoro(read).waitForFinished());
        QCoreApplication::processEvents();
        if (!view)
            return;
        QTRY_VERIFY(view->shownContent() != CompetitorsView::Content::loading);
        QCOMPARE(draws, QStringList{drawn});
    }

    void pickerChoice()
    {
        track("1", "Mine", true, {"alpha"});
        search("alpha", {"1"});
        track("10", "App 10"), track("9", "App 9"), track("2", "Own", true);
        const auto view = openSection(CompetitorTab::compare);
        auto *picker = childOf<QComboBox>(view.get(), "competitorPicker");
        // Numbers in names by value; own apps are never offered.
        QCOMPARE(QStringList({picker->itemText(0), picker->itemText(1)}), QStringList({"App 9", "App 10"}));
        QCOMPARE(picker->count(), 2);
        QCOMPARE(picker->currentText(), "App 9");
        QCOMPARE(qobject_cast<ComparisonTable *>(view->contentWidget())->competitorId(), "9");

        auto *table = view->contentWidget();
        Q_EMIT picker->activated(1);
        QCOMPARE(view->contentWidget(), table); // the same comparison, another competitor
        QCOMPARE(qobject_cast<ComparisonTable *>(table)->competitorId(), "10");
        QCOMPARE(childOf<QLabel>(table, "competitorName")->text(), "App 10");

        // The choice is removed: the first competitor stands in; none left: the "no competitor" state.
        m_store->deleteApp(*m_store->app("10"));
        QCOMPARE(qobject_cast<ComparisonTable *>(view->contentWidget())->competitorId(), "9");
        m_store->setOwn(*m_store->app("9"), true);
        QCOMPARE(view->shownContent(), CompetitorsView::Content::noCompetitors);
        QVERIFY(!picker->isVisible());
    }

    void sectionInDetailScreen()
    {
        seedRivalry();
        AppDetailView detail(m_store.get(), "1");
        detail.show();
        detail.setSection(AppDetailView::Section::competitors);
        QPointer<CompetitorsView> section = detail.findChild<CompetitorsView *>();
        QVERIFY(section && section->isVisible());
        section->setTab(CompetitorTab::gap);
        // A storefront change keeps the tab; leaving the section and coming back starts afresh.
        detail.setCountry("gb");
        QCOMPARE(section->country(), "gb");
        QCOMPARE(section->tab(), CompetitorTab::gap);
        detail.setSection(AppDetailView::Section::keywords);
        detail.setSection(AppDetailView::Section::competitors);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!section);
        section = detail.findChild<CompetitorsView *>();
        QCOMPARE(section->tab(), CompetitorTab::suggested);
        QCOMPARE(section->country(), "gb");
    }

    void removedCompetitorWhileShown_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::newRow("compare") << "Compare";
        QTest::newRow("gap") << "Keyword Gap";
    }

    void removedCompetitorWhileShown()
    {
        QFETCH(QString, tab);
        seedRivalry();
        const auto view = openSection(*CompetitorTabs::fromRaw(tab));
        QVERIFY(view->shownContent() != CompetitorsView::Content::noCompetitors);
        m_store->deleteApp(*m_store->app("c"));
        QCOMPARE(view->shownContent(), CompetitorsView::Content::noCompetitors);
        QCOMPARE(qobject_cast<EmptyStateView *>(view->contentWidget())->title(), "No competitors tracked");
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("room");
        QTest::addColumn<QList<int>>("expected");
        // Minimum and ideal 100/200 and 50/60; the second title needs 80.
        QTest::newRow("room to spare: ideal, or the title when wider") << 500 << QList<int>{200, 80};
        QTest::newRow("short: the same share above the smallest") << 230 << QList<int>{150, 80};
        QTest::newRow("too short: the smallest, titles whole") << 100 << QList<int>{100, 80};
    }

    void columnWidths()
    {
        QFETCH(int, room);
        QFETCH(QList<int>, expected);
        const std::array widths{ColumnWidth{100, 200}, ColumnWidth{50, 60}};
        const std::array titles{40, 80};
        QCOMPARE(TableColumns::fitted(widths, titles, room), expected);
    }

    void suggestedSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QString>("expected");
        // In the store's order: a (3 shared, #2.0, no ratings), b (3, #2.0, 0 ratings), C (1, #5.5, 1,200), d (3, #1.5, 90).
        using M = SuggestedCompetitorsModel;
        QTest::newRow("shared descending (initial): ties keep the store's order") << int(M::shared) << Qt::DescendingOrder << "a b d C";
        QTest::newRow("shared ascending: ties keep it too") << int(M::shared) << Qt::AscendingOrder << "C a b d";
        QTest::newRow("ratings: absent before zero") << int(M::ratings) << Qt::AscendingOrder << "a b d C";
        QTest::newRow("ratings descending: absent last") << int(M::ratings) << Qt::DescendingOrder << "C d b a";
        QTest::newRow("average rank by value") << int(M::averageRank) << Qt::AscendingOrder << "d a b C";
        QTest::newRow("name by code point") << int(M::app) << Qt::AscendingOrder << "C a b d";
    }

    void suggestedSort()
    {
        QFETCH(int, column);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QString, expected);
        const auto suggestion = [](QString name, int shared, double average, std::optional<qint64> ratings) {
            KeywordGap::Suggestion row;
            row.appleAppId = row.name = name;
            for (int i = 0; i < shared; ++i)
                row.keywords.append(QString::number(i));
            row.averageRank = average;
            row.bestRank = 1;
            row.ratingCount = ratings;
            return row;
        };
        SuggestedCompetitorsModel model;
        model.setRows({suggestion("a", 3, 2, {}), suggestion("b", 3, 2, 0), suggestion("C", 1, 5.5, 1200),
                       suggestion("d", 3, 1.5, 90)});
        SortKeyProxy proxy(SuggestedCompetitorsModel::SortRole);
        proxy.setSourceModel(&model);
        proxy.sort(column, order);
        QCOMPARE(columnOf(&proxy, SuggestedCompetitorsModel::app).join(u' '), expected);
        // What the cells show.
        QCOMPARE(columnOf(&model, SuggestedCompetitorsModel::averageRank), QStringList({"#2.0", "#2.0", "#5.5", "#1.5"}));
        QCOMPARE(columnOf(&model, SuggestedCompetitorsModel::ratings), QStringList({"—", "0", "1.2K", "90"}));
    }

    void trackSuggestion()
    {
        track("1", "Mine", true, {"alpha", "bravo"});
        search("alpha", {"1", "70000", "80000"});
        search("bravo", {"80000", "70000"});
        m_client->lookupScript.insert("us", "found");
        const auto view = openSection(CompetitorTab::suggested);
        auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(view->contentWidget());
        QVERIFY(suggested);
        auto *table = suggested->table();
        QCOMPARE(columnOf(table->model(), SuggestedCompetitorsModel::app), QStringList({"App 70000", "App 80000"}));
        QCOMPARE(table->model()->index(0, SuggestedCompetitorsModel::shared).data(Qt::DisplayRole).toString(), "2");
        auto help = table->model()->index(0, SuggestedCompetitorsModel::shared).data(Qt::ToolTipRole).toString();
        QVERIFY2(help.startsWith("In the top 20 for: "), qPrintable(help));
        auto named = help.mid(19).split(", ");
        named.sort();
        QCOMPARE(named, QStringList({"alpha", "bravo"}));
        QVERIFY(suggested->footerText().contains(" in United States. Already tracked apps are hidden."));

        // The press on the first row's button; the row stays "Tracking…" through a reset of the rows.
        const auto button = [table](int row) { return table->model()->index(row, SuggestedCompetitorsModel::track); };
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(button(0)).center());
        QCOMPARE(suggested->tracking(), QSet<QString>{"70000"});
        m_store->raiseDataVersion();
        QCOMPARE(button(0).data().toString(), "Tracking…");
        QCOMPARE(button(1).data().toString(), "Track as Competitor");
        // Pressed again while it runs, nothing more happens.
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(button(0)).center());

        // Tracked: compared at once, chosen in the picker.
        QTRY_COMPARE(view->shownContent(), CompetitorsView::Content::compare);
        QCOMPARE(childOf<QComboBox>(view.get(), "competitorPicker")->currentData().toString(), "70000");
        QVERIFY(childOf<QToolButton>(view.get(), "tabCompare")->isChecked());
        QCOMPARE(m_client->lookups.count(u"70000|us"), 1);
        QVERIFY(!m_store->app("70000")->isOwn);
    }

    void trackFailure()
    {
        track("1", "Mine", true, {"alpha"});
        search("alpha", {"1", "70000"});
        m_client->lookupScript.insert("us", "fail");
        const auto view = openSection(CompetitorTab::suggested);
        auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(view->contentWidget());
        suggested->track("70000");
        QTRY_VERIFY(suggested->findChild<QMessageBox *>("trackFailedAlert"));
        auto *alert = childOf<QMessageBox>(suggested, "trackFailedAlert");
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->text(), "Could not track app");
        QCOMPARE(alert->informativeText(), FakeSearchClient::failure().description());
        QCOMPARE(suggested->error(), FakeSearchClient::failure().description());
        // The row stays, its button usable again; "OK" clears the error.
        QCOMPARE(view->shownContent(), CompetitorsView::Content::suggested);
        QCOMPARE(suggested->table()->model()->index(0, SuggestedCompetitorsModel::track).data().toString(), "Track as Competitor");
        alert->buttons().first()->click();
        QCOMPARE(suggested->error(), std::nullopt);
    }

    void leadCells_data()
    {
        QTest::addColumn<QString>("row"); // keyword:mine:theirs
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<int>("tone");
        QTest::addColumn<QString>("tooltip");
        const int green = int(Style::Tone::green), red = int(Style::Tone::red);
        QTest::newRow("ahead") << "k:3:8" << "5" << "arrow.up" << green << "My app ranks 5 places higher.";
        QTest::newRow("behind") << "k:8:3" << "5" << "arrow.down" << red << "My app ranks 5 places lower.";
        QTest::newRow("tied") << "k:4:4" << "Tied" << "" << int(Style::Tone::secondary) << "";
        QTest::newRow("only mine") << "k:4:n" << "Only mine" << "" << green << "";
        QTest::newRow("only theirs") << "k:n:4" << "Only theirs" << "" << red << "";
        QTest::newRow("neither") << "k:n:n" << "Neither" << "" << int(Style::Tone::secondary) << "";
        const QString nothing = "No successful search: nothing can be compared.";
        QTest::newRow("failed search") << "k:x:x" << "—" << "" << int(Style::Tone::tertiary) << nothing;
        QTest::newRow("never searched") << "k:-:-" << "—" << "" << int(Style::Tone::tertiary) << nothing;
    }

    void leadCells()
    {
        QFETCH(QString, row);
        QFETCH(QString, text);
        QFETCH(QString, symbol);
        QFETCH(int, tone);
        QFETCH(QString, tooltip);
        const auto cell = CompetitorKeywordModel::leadCell(comparisons(row).first().lead);
        QCOMPARE(cell.text, text);
        QCOMPARE(cell.symbol, symbol);
        QCOMPARE(int(cell.tone), tone);
        QCOMPARE(cell.tooltip, tooltip);
    }

    void tiles()
    {
        // Ahead, behind, a tie, only mine, only theirs, neither, failed.
        const auto rows = comparisons("a:3:8 b:8:3 c:4:4 d:2:n e:n:2 f:n:n g:x:x");
        QCOMPARE(CompetitorHeader::tally(rows), (CompetitorHeader::Tally{2, 2, 3}));
        QCOMPARE(CompetitorHeader::tally({}), (CompetitorHeader::Tally{0, 0, 0}));
    }

    void comparison()
    {
        seedRivalry();
        m_store->addKeywords({"foxtrot"}, *m_store->app("1")); // never searched
        track("c2", "Zed");
        const auto view = openSection(CompetitorTab::compare);
        auto *comparison = qobject_cast<ComparisonTable *>(view->contentWidget());
        QCOMPARE(comparison->competitorId(), "c");
        // Nothing to compare, only theirs, neither, shared keywords from the rival's lead up, only mine last.
        auto *table = comparison->table();
        QCOMPARE(table->shownIds(), QStringList({"foxtrot", "delta", "echo", "bravo", "alpha", "charlie"}));
        for (const auto &[name, count] : {std::pair{"tileAhead", "2"}, {"tileBehind", "2"}, {"tileBothRanked", "2"}})
            QCOMPARE(childOf<QLabel>(comparison, name)->text(), count);
        const auto *model = table->model();
        QCOMPARE(columnOf(model, CompetitorKeywordModel::myRank),
                 QStringList({"Not checked", "Not in top 2", "Not in top 1", "#12", "#1", "#1"}));
        QCOMPARE(model->index(0, CompetitorKeywordModel::theirRank).data(CellContents::contentRole).value<CellContent>().tooltip,
                 "Rival");
        QCOMPARE(table->selectionMode(), QAbstractItemView::NoSelection);

        // Sorting by my rank puts the unranked after every rank; the sort outlives a new competitor.
        table->horizontalHeader()->setSortIndicator(CompetitorKeywordModel::myRank, Qt::AscendingOrder);
        QCOMPARE(table->shownIds(), QStringList({"alpha", "charlie", "bravo", "delta", "echo", "foxtrot"}));
        auto *picker = childOf<QComboBox>(view.get(), "competitorPicker");
        Q_EMIT picker->activated(picker->findData("c2"));
        QCOMPARE(comparison->competitorId(), "c2");
        QCOMPARE(table->sortColumn(), int(CompetitorKeywordModel::myRank));

        // Another storefront keeps the tab and the chosen competitor.
        view->setCountry("gb");
        QCOMPARE(qobject_cast<EmptyStateView *>(view->contentWidget())->title(), "No searches yet in United Kingdom");
        view->setCountry("us");
        QCOMPARE(view->tab(), CompetitorTab::compare);
        QCOMPARE(qobject_cast<ComparisonTable *>(view->contentWidget())->competitorId(), "c2");
    }

    void gapAddTitle()
    {
        QCOMPARE(KeywordGapView::addTitle(0, false), "Add to My Keywords");
        QCOMPARE(KeywordGapView::addTitle(1, false), "Add 1 to My Keywords");
        QCOMPARE(KeywordGapView::addTitle(3, false), "Add 3 to My Keywords");
        QCOMPARE(KeywordGapView::addTitle(3, true), "Adding…");
    }

    void gapAdd()
    {
        seedRivalry();
        m_store->addKeywords({"whiskey"}, *m_store->app("c"));
        search("whiskey", {"c"});
        m_store->raiseDataVersion();
        const auto view = openSection(CompetitorTab::gap);
        auto *gap = qobject_cast<KeywordGapView *>(view->contentWidget());
        QVERIFY(gap);
        QCOMPARE(gap->opportunities()->shownIds(), QStringList({"bravo", "delta"}));
        QCOMPARE(childOf<QLabel>(gap, "opportunitiesTitle")->text(), "Opportunities (2)");
        // Unranked rows last, by state.
        auto *untracked = gap->untracked();
        QCOMPARE(untracked->shownIds(), QStringList({"whiskey", "yankee", "xray", "zulu"}));
        QCOMPARE(childOf<QLabel>(gap, "untrackedTitle")->text(), "Their keywords you don’t track (4)");

        // The menu on a row outside the selection acts on that row; inside it, on the whole selection.
        untracked->setSelection({"zulu", "xray", "whiskey"});
        auto *add = childOf<QPushButton>(gap, "addToMyKeywords");
        QCOMPARE(add->text(), "Add 3 to My Keywords");
        const auto at = [untracked](int row) { return untracked->visualRect(untracked->model()->index(row, 0)).center(); };
        // A right click on a row outside the selection keeps the selection.
        QTest::mouseClick(untracked->viewport(), Qt::RightButton, {}, at(1));
        QCOMPARE(untracked->selection(), QSet<QString>({"zulu", "xray", "whiskey"}));
        QCOMPARE(gap->menuTargets(at(1)), QStringList{"yankee"});
        QCOMPARE(gap->menuTargets(at(3)), QStringList({"whiskey", "xray", "zulu"}));
        QCOMPARE(gap->menuTargets(QPoint(5, untracked->viewport()->height() - 2)), QStringList{});
        std::unique_ptr<QMenu> none(gap->contextMenu({}));
        QVERIFY(!none->actions().first()->isEnabled());

        // Stale stored searches, so that the add searches anew: once, in ascending order.
        m_store->setNow([] { return QDateTime::currentDateTimeUtc().addDays(30); });
        m_client->searches.clear();
        untracked->setSelection({"zulu", "yankee", "xray", "whiskey"});
        std::unique_ptr<QMenu> menu(gap->contextMenu(gap->menuTargets(at(0)).mid(0, 3)));
        menu->actions().first()->trigger();
        QCOMPARE(add->text(), "Adding…");
        QVERIFY(!add->isEnabled());
        QSignalSpy added(gap, &KeywordGapView::added);
        QVERIFY(added.wait());
        QCOMPARE(m_client->searches, QStringList({"us|whiskey|200", "us|xray|200", "us|yankee|200"}));
        QCOMPARE(untracked->selection(), QSet<QString>{"zulu"});
        QCOMPARE(add->text(), "Add 1 to My Keywords");
        QCOMPARE(untracked->shownIds(), QStringList{"zulu"});
        QVERIFY(m_store->linkedKeywords(*m_store->app("1")).contains("xray"));
    }

    void addWhileAppRemoved_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QString>("title"); // what the section shows then
        QTest::newRow("competitor") << "c" << "No competitors tracked";
        QTest::newRow("app") << "1" << "No keywords yet";
    }

    void addWhileAppRemoved()
    {
        QFETCH(QString, removed);
        QFETCH(QString, title);
        seedRivalry();
        const auto view = openSection(CompetitorTab::gap);
        auto *gap = qobject_cast<KeywordGapView *>(view->contentWidget());
        m_store->setNow([] { return QDateTime::currentDateTimeUtc().addDays(30); });
        m_store->setPopularityError(std::nullopt);
        m_client->searches.clear();
        gap->addToMyKeywords({"yankee", "xray"});
        // The add waits for its first search when the app goes; the section follows once the
        // add's burst of changes lets it.
        m_store->deleteApp(*m_store->app(removed));
        const auto shownTitle = [&view] {
            auto *state = qobject_cast<EmptyStateView *>(view->contentWidget());
            return state ? state->title() : QString();
        };
        QTRY_COMPARE(shownTitle(), title);
        if (removed == "c")
            QTRY_VERIFY(m_store->popularityError().has_value()); // the add ran to its end
        else
            QTRY_COMPARE(m_client->searches, QStringList{"us|xray|200"}); // and stopped after the search
        QCoreApplication::processEvents();
        QCOMPARE(shownTitle(), title);
    }

    void gapSelectionFollowsCompetitor()
    {
        seedRivalry();
        track("c2", "Zed", false, {"xray"});
        const auto view = openSection(CompetitorTab::gap);
        auto *gap = qobject_cast<KeywordGapView *>(view->contentWidget());
        gap->untracked()->setSelection({"xray", "yankee"});
        gap->untracked()->horizontalHeader()->setSortIndicator(CompetitorKeywordModel::keyword, Qt::DescendingOrder);
        // A data version keeps the selection; another competitor empties it, keeping the sort.
        m_store->raiseDataVersion();
        QCOMPARE(gap->untracked()->selection(), QSet<QString>({"xray", "yankee"}));
        auto *picker = childOf<QComboBox>(view.get(), "competitorPicker");
        Q_EMIT picker->activated(picker->findData("c2"));
        QCOMPARE(view->contentWidget(), gap);
        QCOMPARE(gap->competitorId(), "c2");
        QCOMPARE(gap->untracked()->selection(), QSet<QString>{});
        QCOMPARE(gap->untracked()->sortColumn(), int(CompetitorKeywordModel::keyword));
    }

    void gapUntrackedStates()
    {
        track("1", "Mine", true, {"alpha"});
        search("alpha", {"1"});
        track("c", "Rival");
        const auto view = openSection(CompetitorTab::gap);
        auto *gap = qobject_cast<KeywordGapView *>(view->contentWidget());
        QVERIFY(gap->opportunitiesState()->isVisible());
        QCOMPARE(gap->opportunitiesState()->title(), "No gaps among your keywords");
        auto *state = gap->untrackedState();
        QVERIFY(state->isVisible());
        QCOMPARE(state->title(), "No keywords tracked for Rival");
        QVERIFY(state->description().startsWith("Run discovery on Rival"));
        auto *discover = childOf<QPushButton>(state, "discoverCompetitorKeywords");
        QCOMPARE(discover->text(), "Discover Keywords for Rival");

        // The rival's keywords all tracked by the app; the button is still offered.
        m_store->addKeywords({"alpha"}, *m_store->app("c"));
        m_store->raiseDataVersion();
        QCOMPARE(state->title(), "Nothing new");
        QVERIFY(state->description().startsWith("This app already tracks every keyword tracked for Rival"));
        QVERIFY(discover->isVisible());

        // While the rival's discovery runs, its phase stands in for the button.
        discover->click();
        const auto run = m_store->discoveryRun(*m_store->app("c"), "us");
        QVERIFY(run && run->isRunning());
        auto *phase = childOf<QLabel>(state, "discoveryPhase");
        QVERIFY(!discover->isVisibleTo(state));
        QVERIFY(phase->isVisibleTo(state));
        run->setPhase("Reading related apps");
        QCOMPARE(phase->text(), "Reading related apps");
        run->cancel();
        QTRY_VERIFY(!run->isRunning());
        QVERIFY(discover->isVisibleTo(state));
    }

    void gapPopularityNeedsLinks_data()
    {
        QTest::addColumn<QStringList>("keywords");
        QTest::addColumn<bool>("refreshed");
        QTest::newRow("no links") << QStringList{} << false;
        QTest::newRow("links") << QStringList{"zulu"} << true;
    }

    void gapPopularityNeedsLinks()
    {
        QFETCH(QStringList, keywords);
        QFETCH(bool, refreshed);
        track("1", "Mine", true, {"alpha"});
        search("alpha", {"1", "c"});
        track("c", "Rival", false, keywords);
        // Without a popularity service a refresh leaves its problem in the store.
        const auto view = openSection(CompetitorTab::gap);
        QTRY_COMPARE(view->shownContent(), CompetitorsView::Content::gap);
        QTRY_COMPARE(m_store->popularityError().has_value(), refreshed);
    }

    void selectedRowsReadable()
    {
        seedRivalry();
        const auto view = openSection(CompetitorTab::gap);
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        auto *untracked = qobject_cast<KeywordGapView *>(view->contentWidget())->untracked();
        untracked->setSelection({"yankee"});
        const int row = untracked->shownIds().indexOf("yankee");
        const auto image = untracked->viewport()->grab().toImage();
        const auto highlighted = untracked->palette().color(QPalette::Active, QPalette::HighlightedText);
        const auto near = [](const QColor &a, const QColor &b) {
            return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 60;
        };
        // Every cell's text, the red "Only theirs" too, is drawn in the highlighted-text colour.
        for (int col = 0; col < CompetitorKeywordModel::columns; ++col) {
            if (col == CompetitorKeywordModel::popularity)
                continue; // "—", too thin to count
            const QRect cell = untracked->visualRect(untracked->model()->index(row, col));
            int matching = 0;
            for (int x = cell.left(); x <= cell.right(); ++x)
                for (int y = cell.top(); y <= cell.bottom(); ++y)
                    matching += near(image.pixelColor(x, y), highlighted);
            QVERIFY2(matching > 3, qPrintable(QString::number(col)));
        }
    }

    void destroyWithFocus_data()
    {
        QTest::addColumn<QString>("tab");
        QTest::addColumn<QString>("field");
        QTest::newRow("tab buttons") << "Suggested" << "tabSuggested";
        QTest::newRow("competitor picker") << "Compare" << "competitorPicker";
        QTest::newRow("untracked table") << "Keyword Gap" << "untrackedTable";
        QTest::newRow("add button") << "Keyword Gap" << "addToMyKeywords";
    }

    void destroyWithFocus()
    {
        QFETCH(QString, tab);
        QFETCH(QString, field);
        seedRivalry();
        auto view = openSection(*CompetitorTabs::fromRaw(tab));
        view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(view.get()));
        auto *widget = childOf<QWidget>(view.get(), field);
        widget->setEnabled(true);
        widget->setFocus();
        QTRY_VERIFY(widget->hasFocus());
        auto *gap = qobject_cast<KeywordGapView *>(view->contentWidget());
        if (gap) {
            // An add action still waiting for its searches when the section goes.
            m_store->setNow([] { return QDateTime::currentDateTimeUtc().addDays(30); });
            m_store->setPopularityError(std::nullopt);
            gap->untracked()->setSelection({"xray"});
            gap->addToMyKeywords({"xray"});
        }
        view.reset();
        if (gap)
            QTRY_VERIFY(m_store->popularityError().has_value());
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TestCompetitorsView)
#include "tst_competitorsview.moc"
