// Start-up to the first painted main window on a year of daily tracking, beside opening the
// store alone: what the window adds to the start (target: at most 150 ms).
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
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
        PaintWatch watch;
        // The sidebar is painted last of what the first frame shows.
        window.findChild<QTreeView *>(QStringLiteral("sidebar"))->viewport()->installEventFilter(&watch);
        window.show();
        QElapsedTimer limit;
        limit.start();
        while (!watch.painted && limit.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!watch.painted)
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
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto store = reporter.times.find("open_store");
    const auto window = reporter.times.find("open_window");
    if (store != reporter.times.end() && window != reporter.times.end())
        std::printf("\nThe main window adds %.1f ms to opening the store (target: at most 150 ms).\n",
                    window->second - store->second);
    return 0;
}
