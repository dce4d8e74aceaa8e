// The windows' costs, each beside its floor:
//   open_window against open_store: start-up to the first painted main window on a year of daily
//     tracking, against opening the store alone (the window may add at most 150 ms);
//   open_detail against rows: the detail screen of an app with 2,000 keywords built and painted,
//     against the store building that app's rows (target: within 2x);
//   open_alerts: the alerts screen over 10,000 alerts built and painted (target: 100 ms);
//   redraw_after_raise: the detail screen brought up to date and painted after one data-version
//     raise, as a discovery run raises it every third search (target: one frame, 16 ms);
//   open_suggested, open_compare, open_gap against suggested_competitors, comparison_rows,
//     keyword_gap_rows: each tab of the competitors section opened and painted for an app and a
//     competitor with 2,000 keywords each, against the store's analysis for that tab (target:
//     within 2x each).
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/alerts/AlertsView.h"
#include "ui/competitors/ComparisonTable.h"
#include "ui/competitors/CompetitorKeywordTable.h"
#include "ui/competitors/CompetitorsView.h"
#include "ui/competitors/KeywordGapView.h"
#include "ui/competitors/SuggestedCompetitorsTable.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/shell/MainWindow.h"

#include "RatioReporter.h"
#include "TrackedAccounts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

// Notes the first paint of a widget.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Shows the widget's window and processes events until `painted` was painted.
bool paint(QWidget *window, QWidget *painted)
{
    PaintWatch watch;
    painted->installEventFilter(&watch);
    window->show();
    painted->update();
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted && limit.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    painted->removeEventFilter(&watch);
    return watch.painted;
}

ASOStore &keywordsStore(TrackedApp &app)
{
    static TrackedApp stored;
    static const auto store = TrackedAccounts::rowsStore(stored);
    app = stored;
    return *store;
}

void rows(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    for (auto _ : state) {
        store.raiseDataVersion();
        benchmark::DoNotOptimize(store.rows(app, QStringLiteral("us")));
    }
}

void open_detail(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    for (auto _ : state) {
        store.raiseDataVersion();
        AppDetailView view(&store, app.appleAppId);
        view.resize(1000, 760);
        if (!paint(&view, view.findChild<KeywordTable *>()->viewport()))
            state.SkipWithError("the detail screen was never painted");
    }
}

void redraw_after_raise(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    AppDetailView view(&store, app.appleAppId);
    view.resize(1000, 760);
    auto *table = view.findChild<KeywordTable *>()->viewport();
    paint(&view, table);
    for (auto _ : state) {
        store.raiseDataVersion();
        if (!paint(&view, table))
            state.SkipWithError("the table was never painted again");
    }
}

void open_alerts(benchmark::State &state)
{
    static const auto store = [] {
        auto store = TrackedAccounts::freshStore("alerts");
        const QStringList kinds{"ENTERED_TOP_10", "LEFT_TOP_10", "NEW_RANKING", "LOST_RANKING", "MOVED_UP", "MOVED_DOWN"};
        StoreDb::Transaction save(store->db());
        const auto now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < 10000; ++i) {
            RankAlert alert{0, QUuid::createUuid(), QString::number(100000 + i % 25), QStringLiteral("App %1").arg(i % 25),
                            QStringLiteral("keyword %1").arg(i), QStringLiteral("keyword %1").arg(i), QStringLiteral("us"),
                            kinds[i % kinds.size()], 1 + i % 40, 1 + i % 30, {}, now.addSecs(-i * 300), i % 3 == 0};
            TrackedAccounts::require(store->db().insert(alert), "inserting an alert");
        }
        TrackedAccounts::require(save.commit(), "saving the alerts");
        return store;
    }();
    SilentNotifier notifier;
    RankTracker tracker(store.get(), &notifier);
    for (auto _ : state) {
        AlertsView view(store.get(), &tracker);
        view.resize(1000, 760);
        if (!paint(&view, view.findChild<QTreeView *>()->viewport()))
            state.SkipWithError("the alerts screen was never painted");
    }
}

// An app and a competitor with 2,000 keywords each, half of them shared, every keyword searched
// once in the United States with both apps somewhere in its 200 results (or one of them missing),
// and a metric for each.
struct Rivalry
{
    std::unique_ptr<ASOStore> store;
    TrackedApp app;
    TrackedApp competitor;
};

Rivalry &rivalry()
{
    static Rivalry rivalry = [] {
        Rivalry made{TrackedAccounts::freshStore("competitors"), {}, {}};
        auto &store = *made.store;
        made.app = TrackedApp(AppInfo{QStringLiteral("100001"), QStringLiteral("App")}, true);
        made.competitor = TrackedApp(AppInfo{QStringLiteral("100002"), QStringLiteral("Rival")}, false);
        TrackedAccounts::require(store.db().insert(made.app), "inserting the app");
        TrackedAccounts::require(store.db().insert(made.competitor), "inserting the competitor");
        QList<PlannedCandidate> mine;
        QList<PlannedCandidate> theirs;
        for (int i = 0; i < 3000; ++i) {
            const PlannedCandidate candidate{QStringLiteral("keyword %1").arg(i), KeywordSource::manual, {}, {}};
            (i < 2000 ? mine : theirs).append(candidate);
            if (i >= 1000 && i < 2000)
                theirs.append(candidate);
        }
        store.link(mine, made.app);
        store.link(theirs, made.competitor);

        // Answers with the two apps at changing places, every fourth hit from the top.
        QList<QByteArray> answers;
        for (int variant = 0; variant < 8; ++variant) {
            QStringList among;
            for (int slot = 0; slot < 12; ++slot)
                among.append(QString::number(400000 + slot));
            if (variant != 7)
                among[variant] = made.app.appleAppId;
            among[(variant * 5 + 3) % 12] = made.competitor.appleAppId;
            // Without icon addresses, so that painting fetches nothing over the network.
            auto hits = TrackedAccounts::parseAnswer(TrackedAccounts::searchAnswer(among)).hits;
            for (auto &hit : hits)
                hit.iconURL.reset();
            answers.append(AppRecords::encodeHits(hits));
        }
        StoreDb::Transaction save(store.db());
        for (int i = 0; i < 3000; ++i) {
            const auto normalized = QStringLiteral("keyword %1").arg(i);
            SearchObservation observation{0, QUuid::createUuid(), normalized, QStringLiteral("us"),
                                          QDateTime::currentDateTimeUtc(), true, 200, 200, 1, {}, true,
                                          answers[i % answers.size()]};
            TrackedAccounts::require(store.db().insert(observation), "inserting a search");
            KeywordMetric metric(normalized, QStringLiteral("us"));
            metric.popularity = 5 + i % 95;
            metric.popularitySourceRaw = PopularitySources::rawValue(PopularitySource::appleCountry);
            metric.popularityCheckedAt = QDateTime::currentDateTimeUtc();
            metric.difficulty = i % 90;
            TrackedAccounts::require(store.db().insert(metric), "inserting a metric");
        }
        TrackedAccounts::require(save.commit(), "saving the searches");
        return made;
    }();
    return rivalry;
}

void suggested_competitors(benchmark::State &state)
{
    auto &[store, app, competitor] = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(store->suggestedCompetitors(app, QStringLiteral("us"), SuggestedCompetitorsTable::rowLimit));
}

void comparison_rows(benchmark::State &state)
{
    auto &[store, app, competitor] = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(store->comparisonRows(app, competitor, QStringLiteral("us")));
}

void keyword_gap_rows(benchmark::State &state)
{
    auto &[store, app, competitor] = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(store->keywordGapRows(app, competitor, QStringLiteral("us")));
}

// The table painted last when the tab opens.
QWidget *tabTable(CompetitorsView &view)
{
    if (auto *suggested = qobject_cast<SuggestedCompetitorsTable *>(view.contentWidget()))
        return suggested->table()->viewport();
    if (auto *comparison = qobject_cast<ComparisonTable *>(view.contentWidget()))
        return comparison->table()->viewport();
    if (auto *gap = qobject_cast<KeywordGapView *>(view.contentWidget()))
        return gap->untracked()->viewport();
    return nullptr;
}

// The section opens on "Suggested"; the other tabs open from it, as the user clicks them.
void openTab(benchmark::State &state, CompetitorTab tab)
{
    auto &[store, app, competitor] = rivalry();
    if (tab == CompetitorTab::suggested) {
        for (auto _ : state) {
            CompetitorsView view(store.get(), app.appleAppId, QStringLiteral("us"));
            view.resize(1000, 640);
            auto *table = tabTable(view);
            if (!table || !paint(&view, table))
                state.SkipWithError("the suggested tab was never painted");
        }
        return;
    }
    CompetitorsView view(store.get(), app.appleAppId, QStringLiteral("us"));
    view.resize(1000, 640);
    paint(&view, tabTable(view));
    for (auto _ : state) {
        state.PauseTiming();
        view.setTab(CompetitorTab::suggested);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        view.setTab(tab);
        auto *table = tabTable(view);
        if (!table || !paint(&view, table))
            state.SkipWithError("the tab was never painted");
    }
}

void open_suggested(benchmark::State &state)
{
    openTab(state, CompetitorTab::suggested);
}

void open_compare(benchmark::State &state)
{
    openTab(state, CompetitorTab::compare);
}

void open_gap(benchmark::State &state)
{
    openTab(state, CompetitorTab::gap);
}

void open_store(benchmark::State &state)
{
    const auto path = TrackedAccounts::yearPath();
    for (auto _ : state)
        ASOStore store(StoreDb::openFile(path), std::make_shared<TrackedAccounts::CannedClient>());
}

void open_window(benchmark::State &state)
{
    const auto path = TrackedAccounts::yearPath();
    for (auto _ : state) {
        ASOStore store(StoreDb::openFile(path), std::make_shared<TrackedAccounts::CannedClient>());
        SilentNotifier notifier;
        RankTracker tracker(&store, &notifier);
        MainWindow window(&store, &tracker, nullptr);
        // The sidebar is painted last of what the first frame shows.
        if (!paint(&window, window.findChild<QTreeView *>(QStringLiteral("sidebar"))->viewport()))
            state.SkipWithError("the window was never painted");
    }
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    qputenv("HOME", dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TrackedAccounts::workDir = &dir;

    benchmark::RegisterBenchmark("open_store", open_store)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_window", open_window)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rows", rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_detail", open_detail)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("redraw_after_raise", redraw_after_raise)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_alerts", open_alerts)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("suggested_competitors", suggested_competitors)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_suggested", open_suggested)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("comparison_rows", comparison_rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_compare", open_compare)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("keyword_gap_rows", keyword_gap_rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_gap", open_gap)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto time = [&reporter](const char *name) {
        const auto found = reporter.times.find(name);
        return found == reporter.times.end() ? 0.0 : found->second;
    };
    if (time("open_store") > 0 && time("open_window") > 0)
        std::printf("\nThe main window adds %.1f ms to opening the store (target: at most 150 ms).\n",
                    time("open_window") - time("open_store"));
    if (time("rows") > 0 && time("open_detail") > 0)
        std::printf("The detail screen of 2,000 keywords takes %.2fx the store's rows (target: within 2x).\n",
                    time("open_detail") / time("rows"));
    for (const auto &[open, floor] : {std::pair{"open_suggested", "suggested_competitors"},
                                      {"open_compare", "comparison_rows"}, {"open_gap", "keyword_gap_rows"}}) {
        if (time(floor) > 0 && time(open) > 0)
            std::printf("%s takes %.2fx %s (target: within 2x).\n", open, time(open) / time(floor), floor);
    }
    return 0;
}
