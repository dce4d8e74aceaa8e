// Tracking runs whose searches are all stored and fresh (a Check Now twice within the hour, or
// the daily run shortly after one), with the main window open on a page that follows the run:
//   run_alerts/N: two own apps with N manual keywords each, six competitors among the hits,
//     9,000 alerts, the Alerts page open;
//   run_keywords/N: the same with the first own app's Keywords page open;
//   run_alerts_busy_disk/N: run_alerts while another thread writes large files and syncs each,
//     as a file copy, a backup or a download does; frozen_ms adds up the stalls over 100 ms;
//   mark_all_read: "Mark All Read" on 9,000 unread alerts with the Alerts page open, until the
//     list is painted again.
// Each reports the wall time of the whole run (the benchmark's time) and the longest stretch in
// which the window's thread did not return to its event loop (stall_ms, target: 100 ms), as a
// probe timer that fires every millisecond sees it. The tracking runs also report the largest
// size of the database's log during the runs (log_mb, target: under 80 MB), as its file size
// read every 10 ms shows it. A smoke run makes one run of each with 10 and 30 keywords, 200
// alerts, and files of 4 MB on the busy disk.
#include "keywords/KeywordText.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/shell/MainWindow.h"

#include "FileSizeProbe.h"
#include "Painting.h"
#include "TrackedAccounts.h"

#include <QApplication>
#include <QFileInfo>
#include <QCoroTask>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int competitors = 6;
const int keptAlerts = BenchRun::pick(9000, 200);

QStringList appIds()
{
    QStringList ids;
    for (int a = 0; a < 2 + competitors; ++a)
        ids.append(QString::number(500000 + a));
    return ids;
}

// Two answers in turn, each with all the tracked apps among the hits but at other ranks, so
// that every run moves their readings and raises alerts.
const QByteArray &answer(int turn)
{
    static const QByteArray first = TrackedAccounts::searchAnswer(appIds());
    static const QByteArray second = [] {
        auto ids = appIds();
        std::reverse(ids.begin(), ids.end());
        ids.prepend(QStringLiteral("1"));
        ids.prepend(QStringLiteral("2"));
        ids.prepend(QStringLiteral("3"));
        return TrackedAccounts::searchAnswer(ids);
    }();
    return turn % 2 == 0 ? first : second;
}

struct Account
{
    std::shared_ptr<TrackedAccounts::CannedClient> client = std::make_shared<TrackedAccounts::CannedClient>(answer(0));
    int turn = 0;
    std::unique_ptr<ASOStore> store;
    QList<TrackedApp> own;
    QStringList keywords;
};

Account makeAccount(int keywords)
{
    Account account;
    const auto name = "tracking-" + std::to_string(keywords);
    QFile::remove(TrackedAccounts::databasePath(name.c_str()));
    account.store = std::make_unique<ASOStore>(StoreDb::openFile(TrackedAccounts::databasePath(name.c_str())),
                                               account.client);
    auto &store = *account.store;
    const auto ids = appIds();
    for (int a = 0; a < ids.size(); ++a) {
        TrackedApp app(AppInfo{ids.at(a), QStringLiteral("App %1").arg(a)}, a < 2);
        app.trackedCountries = {QStringLiteral("us")};
        TrackedAccounts::require(store.db().insert(app), "inserting an app");
        if (a < 2)
            account.own.append(app);
    }
    for (const auto &app : std::as_const(account.own)) {
        QList<PlannedCandidate> candidates;
        for (int k = 0; k < keywords; ++k) {
            account.keywords.append(QStringLiteral("keyword %1 %2").arg(app.name).arg(k));
            candidates.append({account.keywords.last(), KeywordSource::manual, {}, {}});
        }
        TrackedAccounts::require(store.link(candidates, app) == keywords, "linking keywords");
    }
    return account;
}

// Stores a fresh search of every keyword, from the next answer, untimed.
void storeSearches(Account &account)
{
    account.client->response = TrackedAccounts::parseAnswer(answer(++account.turn));
    for (const auto &text : std::as_const(account.keywords)) {
        const auto keyword = account.store->keyword(KeywordText::normalize(text));
        TrackedAccounts::require(keyword.has_value(), "finding a keyword");
        QCoro::waitFor(account.store->observation(*keyword, QStringLiteral("us"), true));
    }
}

// Brings the alerts to `count`, all unread: the newest beyond it go, missing ones are added.
void keepAlerts(ASOStore &store, int count)
{
    auto &db = store.db();
    StoreDb::Transaction save(db);
    auto alerts = db.alertsNewestFirst();
    for (qsizetype i = 0; i + count < alerts.size(); ++i)
        db.remove(alerts.at(i));
    const auto now = QDateTime::currentDateTimeUtc();
    for (auto i = alerts.size(); i < count; ++i) {
        RankAlert alert{0, QUuid::createUuid(), QString::number(500000 + i % 2), QStringLiteral("App %1").arg(i % 2),
                        QStringLiteral("keyword %1").arg(i), QStringLiteral("keyword %1").arg(i), QStringLiteral("us"),
                        QStringLiteral("MOVED_UP"), 20, 10, {}, now.addSecs(-3600 - i * 60), false};
        db.insert(alert);
    }
    for (auto alert : std::as_const(alerts)) {
        if (alert.isRead) {
            alert.isRead = false;
            db.update(alert);
        }
    }
    TrackedAccounts::require(save.commit(), "keeping the alerts");
}

// Writes files of 256 MB (4 MB in a smoke run) beside the database, each synced, until destroyed.
class BusyDisk
{
public:
    explicit BusyDisk(const QString &folder)
        : m_path((folder + QStringLiteral("/busy-disk")).toStdString()), m_thread([this] { run(); })
    {
    }
    ~BusyDisk()
    {
        m_stop = true;
        m_thread.join();
        ::unlink(m_path.c_str());
    }
    BusyDisk(const BusyDisk &) = delete;
    BusyDisk &operator=(const BusyDisk &) = delete;

private:
    void run()
    {
        const std::vector<char> block(1 << 20, 'x');
        while (!m_stop) {
            const int file = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            TrackedAccounts::require(file >= 0, "opening the busy disk's file");
            for (int i = 0; i < BenchRun::pick(256, 4) && !m_stop; ++i)
                TrackedAccounts::require(::write(file, block.data(), block.size()) == ssize_t(block.size()),
                                         "writing the busy disk's file");
            ::fdatasync(file);
            ::close(file);
        }
    }

    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

void trackingRun(benchmark::State &state, bool alertsPage, bool busyDisk = false)
{
    auto account = makeAccount(int(state.range(0)));
    SilentNotifier notifier;
    RankTracker tracker(account.store.get(), &notifier);
    MainWindow window(account.store.get(), &tracker, nullptr);
    window.resize(1200, 800);
    window.setSelection(alertsPage ? QStringLiteral("tool.alerts") : account.own.first().appleAppId);
    Painting::paint(&window, window.detail());
    Painting::StallProbe probe;
    double longest = 0;
    double frozen = 0;
    qint64 largestLog = 0;
    for (auto _ : state) {
        state.PauseTiming();
        storeSearches(account);
        keepAlerts(*account.store, keptAlerts);
        // Stored a while ago, as before a Check Now within the hour: what the setup wrote is on
        // the disk, not left for the run's first file sync to write out.
        ::sync();
        account.store->raiseDataVersion();
        Painting::paint(&window, window.detail(), 10000, true);
        state.ResumeTiming();
        std::optional<BusyDisk> busy;
        if (busyDisk)
            busy.emplace(QFileInfo(account.store->db().filePath()).absolutePath());
        std::optional<FileSizeProbe> log(std::in_place, account.store->db().filePath() + QStringLiteral("-wal"));
        probe.start();
        tracker.startManualRun();
        while (tracker.manualRunActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Painting::paint(&window, window.detail());
        longest = std::max(longest, probe.stop());
        frozen += probe.frozen();
        busy.reset();
        largestLog = std::max(largestLog, log->largest());
        log.reset();
        if (tracker.lastSummary().value_or(QString()).section(u' ', 0, 0).toLongLong() < 2 * state.range(0)) {
            std::fprintf(stderr, "%s\n", qPrintable(tracker.lastSummary().value_or(QString())));
            state.SkipWithError("the run did not recheck every keyword");
            break;
        }
    }
    state.counters["stall_ms"] = longest;
    state.counters["frozen_ms"] = frozen / double(state.iterations());
    state.counters["log_mb"] = double(largestLog) / (1 << 20);
}

void run_alerts(benchmark::State &state)
{
    trackingRun(state, true);
}

void run_alerts_busy_disk(benchmark::State &state)
{
    trackingRun(state, true, true);
}

void run_keywords(benchmark::State &state)
{
    trackingRun(state, false);
}

void mark_all_read(benchmark::State &state)
{
    auto account = makeAccount(10);
    SilentNotifier notifier;
    RankTracker tracker(account.store.get(), &notifier);
    MainWindow window(account.store.get(), &tracker, nullptr);
    window.resize(1200, 800);
    window.setSelection(QStringLiteral("tool.alerts"));
    auto *list = window.findChild<QTreeView *>(QStringLiteral("alertsList"));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("markAllRead"));
    Painting::StallProbe probe;
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        keepAlerts(*account.store, keptAlerts);
        account.store->raiseDataVersion();
        Painting::paint(&window, list->viewport(), 10000, true);
        state.ResumeTiming();
        probe.start();
        QTimer::singleShot(0, button, &QPushButton::click);
        Painting::paint(&window, list->viewport(), 10000, true);
        longest = std::max(longest, probe.stop());
        if (account.store->unreadAlertCount() != 0) {
            state.SkipWithError("the alerts were not marked read");
            break;
        }
    }
    state.counters["stall_ms"] = longest;
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    TrackedAccounts::useWorkDir(dir);
    QApplication application(argc, argv);
    using Run = void (*)(benchmark::State &);
    const int few = BenchRun::pick(300, 10);
    const int many = BenchRun::pick(3000, 30);
    const int runs = BenchRun::pick(3, 1);
    for (const auto &[name, run] : {std::pair<const char *, Run>{"run_alerts", run_alerts}, {"run_keywords", run_keywords}}) {
        benchmark::RegisterBenchmark(name, run)->Arg(few)->Arg(many)->Iterations(runs)->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("run_alerts_busy_disk", run_alerts_busy_disk)->Arg(many)->Iterations(runs)
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("mark_all_read", mark_all_read)->Iterations(BenchRun::pick(5, 1))
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    return BenchRun::run(argc, argv);
}
