// The windows' costs, each beside its floor:
//   open_window against open_store: start-up to the first painted main window on a year of daily
//     tracking, against opening the store alone (the window may add at most 150 ms);
//   open_detail against rows: the detail screen of an app with 2,000 keywords built and painted,
//     against the store reading that app's rows in full (target: within 2x); both start without
//     kept rows;
//   open_alerts: the alerts screen over 10,000 alerts built and painted (target: 100 ms);
//   redraw_after_raise: the detail screen brought up to date and painted after one data-version
//     raise that follows three searches' readings, as a discovery run raises it every third
//     search (target: one frame, 16 ms).
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/alerts/AlertsView.h"
#include "ui/keywords/AppDetailView.h"
#include "ui/keywords/KeywordTable.h"
#include "ui/shell/MainWindow.h"

#include "RatioReporter.h"
#include "TrackedAccounts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
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
        store.forgetRows();
        benchmark::DoNotOptimize(store.rows(app, QStringLiteral("us")));
    }
}

void open_detail(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    for (auto _ : state) {
        store.forgetRows();
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
    int search = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Three searches' readings of the app, as applying them writes them.
        for (int i = 0; i < 3; ++i, search += 7) {
            auto reading = store.rankState(app.appleAppId, QStringLiteral("keyword %1").arg(search % 2000),
                                           QStringLiteral("us"));
            SearchObservation observation{0, QUuid::createUuid(), reading->keywordNormalized, QStringLiteral("us"),
                                          QDateTime::currentDateTimeUtc(), true, 200, 200, 1, {}, true, {}};
            reading->apply(RankSnapshot(app, observation, RankingState::found, 1 + search % 97));
            store.db().update(*reading);
        }
        state.ResumeTiming();
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
    return 0;
}
