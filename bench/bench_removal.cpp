// Removing what a long history holds, with the main window open on the Alerts page:
//   remove_app/keywords:3000/alerts:1: one of two apps, 1,500 keywords each, tracked daily in 3
//     storefronts for a year (1.6 million readings per app; about 2 GB in all), with 150,000
//     alerts, removed from the sidebar, until its last row is gone. Reports the longest stretch in
//     which the window's thread did not return to its event loop (stall_ms, target: 100 ms), the
//     most memory the process held during the removal over what it held at rest before it
//     (memory_mb, resident, target: at most 512 MB), the largest size of the database's log
//     (log_mb, target: within 4 times its bound of 64 MB) and the wall time of the whole removal.
//     The account is written once into cache/ beside the program, and each run works on a copy; .../meanwhile:1: the same while the user deletes
//     500 of the other app's alerts one at a time and marks 20 filtered lists of them read, one click
//     each 10 ms; .../meanwhile:2: while Check Now runs and after a Clear of every alert;
//     .../meanwhile:3: while the user types a keyword for the other app, three times, each once
//     the removal's open save holds more than 64 MB of pages (click_ms: the longest such click,
//     target: 100 ms; the removal waits for the user to pause after each); .../meanwhile:4: with
//     room for only 80 MB of log on the disk (a file system layer refuses the log past that);
//     keywords:6000/alerts:0/meanwhile:0: an account of 3,000 keywords per app (about 4 GB);
//     .../alerts:0: the same with the other app's
//     keywords open; keywords:600: the same on an account of 300 keywords per app (about 420 MB),
//     quicker to write and to run while a change is tried. Also reports the bytes the window's
//     connection wrote into the log (log_written_mb) and those the process wrote to the disk in
//     all, the store's close included (disk_written_mb); and the pages, counted at SQLite's side,
//     the removal wrote into the log (log_pages) and into the database file (file_pages), each
//     page counted once between two syncs of its file, the store's close included. Beside them,
//     for reference: the pages of one save that deletes the same rows on a copy of the account,
//     the log and then the file (single_log_pages, single_file_pages), the account's size in pages
//     (account_pages), and the ratios log_pages / single_log_pages (log_vs_single),
//     file_pages / single_file_pages (file_vs_single) and file_pages / account_pages
//     (file_vs_account);
//   clear_alerts, mark_all_read_many: "Clear" (confirmed) and "Mark All Read" on 150,000 unread
//     alerts, until the list is painted again and every change is saved (stall_ms, target: 100 ms),
//     with the bytes written into the log (log_written_mb) and to the disk in all (disk_written_mb);
//   readd_app/1: the app just removed added again through the sheet while its removal runs, from
//     the end of the removal until the app is selected and its discovery run has ended
//     (stall_ms, target: 100 ms; wait_s: how long the sheet waited); readd_app/0: an app never
//     tracked added to the same account, from the sheet's button on.
#include "model/LogCheckpointer.h"
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "tracking/RankTracker.h"
#include "tracking/SilentNotifier.h"
#include "ui/shell/AddAppDialog.h"
#include "ui/shell/MainWindow.h"
#include "workflows/DiscoveryRun.h"

#include "FileSizeProbe.h"
#include "Painting.h"
#include "ResidentMemory.h"
#include "TrackedAccounts.h"
#include "WrittenPages.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <map>
#include <memory>

#include <malloc.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

using namespace TrackedAccounts;

namespace {

constexpr double mb = 1 << 20;

// Copies the whole log back into the file and waits until that is done.
void copyBack(StoreDb &db)
{
    db.checkpointInBackground();
    if (auto *checkpointer = db.logCheckpointer())
        checkpointer->waitUntilIdle();
}

const int alertCount = BenchRun::pick(150000, 300);

// Unread alerts of the given apps in turn, one a minute back from now.
void addAlerts(StoreDb &db, int count, const QStringList &apps)
{
    StoreDb::Transaction save(db);
    const auto now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < count; ++i) {
        const auto &app = apps.at(i % apps.size());
        RankAlert alert{0, QUuid::createUuid(), app, QStringLiteral("App ") + app, QStringLiteral("keyword %1").arg(i),
                        QStringLiteral("keyword %1").arg(i), QStringLiteral("us"), QStringLiteral("MOVED_UP"), 20, 10, {},
                        now.addSecs(-60 * i), false};
        require(db.insert(alert), "inserting an alert");
    }
    require(save.commit(), "saving the alerts");
}

const QStringList removalApps{QStringLiteral("100000"), QStringLiteral("100001")};

// The removal's accounts, by their keywords (of both apps): the large one, the mid one to try a
// change on quickly, and one of about 4 GB.
constexpr int largeKeywords = 3000;
constexpr int midKeywords = 600;
constexpr int hugeKeywords = 6000;

void removeDatabase(const QString &path)
{
    for (const auto &suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

QString removalAccount(int keywords)
{
    static std::map<int, QString> paths;
    auto &path = paths[keywords];
    if (!path.isEmpty())
        return path;
    // A smoke run writes a small one in its work folder.
    const auto folder = BenchRun::smoke() ? workDir->path()
                                          : QCoreApplication::applicationDirPath() + QStringLiteral("/cache");
    // Named after what it holds, so that one written before (with searches ordered by their ids)
    // is never taken for it.
    const auto file = folder + QStringLiteral("/removal-account-%1-random-ids.sqlite").arg(keywords);
    if (!QFileInfo::exists(file)) {
        keepAccount(file, folder + QStringLiteral("/removal-account-%1-partial.sqlite").arg(keywords),
                    {int(removalApps.size()), BenchRun::pick(keywords, keywords / 100), BenchRun::pick(365, 3)},
                    [](const QString &partial) {
                        ASOStore store(StoreDb::openFile(partial), std::make_shared<CannedClient>());
                        addAlerts(store.db(), alertCount, removalApps);
                    });
    }
    path = file;
    return path;
}

// A fresh copy of the account at `path`, without the log of an earlier copy.
void copyAccount(const QString &path, int keywords = largeKeywords)
{
    removeDatabase(path);
    require(QFile::copy(removalAccount(keywords), path), "copying the account");
}

// The pages a removal would write at least: its rows deleted in one save, each changed page
// written once into the log and once back into the file; and the account's size in pages.
struct SingleSave
{
    WrittenPages::Pages pages;
    qint64 accountPages = 0;
};

const SingleSave &singleSave(int keywords)
{
    static std::map<int, SingleSave> found;
    if (const auto it = found.find(keywords); it != found.end())
        return it->second;
    const auto path = databasePath("single-save");
    copyAccount(path, keywords);
    SingleSave single;
    const auto connection = QStringLiteral("single-save");
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        require(db.open(), "opening the copy for the single save");
        QSqlQuery query(db);
        const auto value = [&](const QString &sql, const QVariantList &values = {}) {
            require(query.prepare(sql), qPrintable(sql));
            for (const auto &bound : values)
                query.addBindValue(bound);
            require(query.exec(), qPrintable(sql + QStringLiteral(": ") + query.lastError().text()));
            const auto first = query.next() ? query.value(0) : QVariant();
            query.finish();
            return first;
        };
        value(QStringLiteral("PRAGMA foreign_keys = ON"));
        value(QStringLiteral("PRAGMA synchronous = NORMAL"));
        require(value(QStringLiteral("PRAGMA journal_mode = WAL")).toString() == QStringLiteral("wal"), "the log");
        value(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
        single.accountPages = value(QStringLiteral("PRAGMA page_count")).toLongLong();
        // Room for every page, so that none goes into the log before the commit.
        const auto kib = single.accountPages * value(QStringLiteral("PRAGMA page_size")).toLongLong() / 1024;
        value(QStringLiteral("PRAGMA cache_size = -%1").arg(kib + kib / 4 + 1024));
        value(QStringLiteral("PRAGMA cache_spill = OFF"));
        const auto &appleAppId = removalApps.first();
        const auto app = value(QStringLiteral("SELECT pk FROM tracked_app WHERE apple_app_id = ?"), {appleAppId});
        require(!app.isNull(), "finding the app");
        WrittenPages::reset();
        require(db.transaction(), "beginning the single save");
        value(QStringLiteral("DELETE FROM rank_alert WHERE apple_app_id = ?"), {appleAppId});
        value(QStringLiteral("DELETE FROM rank_state WHERE apple_app_id = ?"), {appleAppId});
        value(QStringLiteral("DELETE FROM rank_snapshot WHERE app_pk = ?"), {app});
        value(QStringLiteral("DELETE FROM keyword_link WHERE app_pk = ?"), {app});
        value(QStringLiteral("DELETE FROM tracked_app WHERE pk = ?"), {app});
        require(db.commit(), "the single save");
        value(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        single.pages = WrittenPages::written();
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
    removeDatabase(path);
    return found[keywords] = single;
}

struct Window
{
    explicit Window(std::unique_ptr<StoreDb> db, const QString &page = QStringLiteral("tool.alerts"),
                    std::shared_ptr<AppSearching> client = std::make_shared<CannedClient>())
        : store(std::move(db), std::move(client)), tracker(&store, &notifier),
          window(&store, &tracker, nullptr)
    {
        window.resize(1200, 800);
        window.setSelection(page);
        list = window.findChild<QTreeView *>(QStringLiteral("alertsList"));
        Painting::paint(&window, window.detail(), 60000, true);
    }

    // Processes events until the store has nothing left to write and the screens followed.
    void settle()
    {
        while (!store.isIdle())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // Past the interval in which the screens follow saves.
        Painting::until([] { return false; }, 2 * ASOStore::followInterval.count());
        Painting::paint(&window, window.detail(), 10000, true);
    }

    ASOStore store;
    SilentNotifier notifier;
    RankTracker tracker;
    MainWindow window;
    QTreeView *list = nullptr;
};

void remove_app(benchmark::State &state)
{
    const int keywords = int(state.range(0));
    const auto path = databasePath("removal");
    double longest = 0;
    double memory = 0;
    bool memoryMeasured = true;
    qint64 largestLog = 0;
    double logWritten = 0;
    double diskWritten = 0;
    WrittenPages::Pages pages;
    double longestClick = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copyAccount(path, keywords);
        {
            // The Alerts page, which lists every alert, or the other app's keywords.
            auto open = std::make_unique<Window>(StoreDb::openFile(path),
                                                 state.range(1) ? QStringLiteral("tool.alerts") : removalApps.last());
            // The application at rest: what the process holds without the memory that earlier
            // work freed and the allocator kept.
            ::malloc_trim(0);
            const auto resting = ResidentMemory::megabytes();
            const bool peakReset = ResidentMemory::resetPeak();
            state.ResumeTiming();
            WrittenPages::reset();
            const auto diskBefore = diskBytesWritten();
            const auto logBefore = open->store.db().bytesWritten();
            Painting::StallProbe probe;
            FileSizeProbe log(path + QStringLiteral("-wal"));
            // What the user does meanwhile: clicks on the other app's alerts, or Check Now and a
            // Clear, until the removal ends.
            QTimer clicks;
            const auto others = state.range(2) ? open->store.alerts() : QList<RankAlert>();
            probe.start();
            QTimer::singleShot(0, &open->window, [&open] { open->window.removeApp(removalApps.first()); });
            QCoreApplication::processEvents();
            int click = 0;
            if (state.range(2) == 1) {
                QObject::connect(&clicks, &QTimer::timeout, [&] {
                    if (open->store.db().appRemovals().isEmpty() || click >= 520)
                        return clicks.stop();
                    // Every 26th a Mark All Read of a filtered list: one storefront's alerts of a keyword.
                    if (click % 26 == 25) {
                        QList<RankAlert> shown;
                        for (const auto &alert : others) {
                            if (alert.keywordNormalized == others.at(click).keywordNormalized)
                                shown.append(alert);
                        }
                        open->store.markAlertsRead(shown, true);
                    } else {
                        open->store.deleteAlerts({others.at(others.size() - 1 - click)});
                    }
                    ++click;
                });
                clicks.start(10);
            } else if (state.range(2) == 3) {
                const auto other = open->store.app(removalApps.last());
                require(other.has_value(), "finding the other app");
                QObject::connect(&clicks, &QTimer::timeout, [&, other] {
                    if (open->store.db().appRemovals().isEmpty() || click >= 3)
                        return clicks.stop();
                    if (!open->store.db().inBackgroundSave() || open->store.db().cacheBytesUsed() < 64 * mb)
                        return;
                    const QStringList words{QStringLiteral("apricot jam"), QStringLiteral("blossom tea"),
                                            QStringLiteral("cobalt paint")};
                    QElapsedTimer typed;
                    typed.start();
                    const auto added = open->store.addKeywords({words.at(click++)}, *other);
                    require(added == 1, "adding a keyword");
                    longestClick = std::max(longestClick, double(typed.nsecsElapsed()) / 1e6);
                });
                clicks.start(20);
            } else if (state.range(2) == 4) {
                WrittenPages::logLimit = 80 << 20;
            } else if (state.range(2) == 2) {
                open->tracker.startManualRun();
                // A click of its own, on a later turn: the user cannot make two in one.
                QTimer::singleShot(0, &open->window, [&open, &others] { open->store.deleteAlerts(others); });
                QObject::connect(&clicks, &QTimer::timeout, [&] {
                    if (open->store.db().appRemovals().isEmpty()) {
                        open->tracker.stopManualRun();
                        clicks.stop();
                    }
                });
                clicks.start(50);
            }
            while (clicks.isActive())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            open->settle();
            WrittenPages::logLimit = -1;
            longest = std::max(longest, probe.stop());
            if (peakReset)
                memory = std::max(memory, ResidentMemory::peakMegabytes() - resting);
            else
                memoryMeasured = false;
            largestLog = std::max(largestLog, log.largest());
            logWritten = std::max(logWritten, (open->store.db().bytesWritten() - logBefore) / mb);
            if (open->store.app(removalApps.first()) || !open->store.app(removalApps.last()) ||
                !open->store.db().appRemovals().isEmpty()) {
                state.SkipWithError("the app was not removed, or the other one was");
                break;
            }
            // The store's close copies the rest of the log back into the file.
            open.reset();
            diskWritten = std::max(diskWritten, (diskBytesWritten() - diskBefore) / mb);
            const auto written = WrittenPages::written();
            pages.log = std::max(pages.log, written.log);
            pages.file = std::max(pages.file, written.file);
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    removeDatabase(path);
    state.counters["stall_ms"] = longest;
    if (state.range(2) == 3)
        state.counters["click_ms"] = longestClick;
    if (memoryMeasured)
        state.counters["memory_mb"] = memory;
    else
        std::fprintf(stderr, "bench_removal: the peak memory cannot be measured here (/proc/self/clear_refs)\n");
    state.counters["log_mb"] = double(largestLog) / mb;
    state.counters["log_written_mb"] = logWritten;
    state.counters["disk_written_mb"] = diskWritten;
    state.counters["log_pages"] = double(pages.log);
    state.counters["file_pages"] = double(pages.file);
    // Outside the timing: the reference is measured once for each account.
    const auto &single = singleSave(keywords);
    state.counters["single_log_pages"] = double(single.pages.log);
    state.counters["single_file_pages"] = double(single.pages.file);
    state.counters["account_pages"] = double(single.accountPages);
    const auto ratio = [](qint64 part, qint64 whole) { return whole > 0 ? double(part) / double(whole) : 0.0; };
    state.counters["log_vs_single"] = ratio(pages.log, single.pages.log);
    state.counters["file_vs_single"] = ratio(pages.file, single.pages.file);
    state.counters["file_vs_account"] = ratio(pages.file, single.accountPages);
}

// Presses the button of the Alerts page on 150,000 unread alerts.
void onManyAlerts(benchmark::State &state, const std::function<void(Window &)> &press)
{
    const auto path = databasePath("alerts");
    QFile::remove(path);
    Window open(StoreDb::openFile(path));
    double longest = 0;
    double logWritten = 0;
    double diskWritten = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            StoreDb::Transaction save(open.store.db());
            open.store.db().removeAlerts([&] {
                QList<qint64> ids;
                for (const auto &alert : open.store.alerts())
                    ids.append(alert.persistentId);
                return ids;
            }());
            require(save.commit(), "removing the alerts");
        }
        addAlerts(open.store.db(), alertCount, {QStringLiteral("500000"), QStringLiteral("500001")});
        open.store.raiseDataVersion();
        open.settle();
        // What was written so far is on the disk, so that the press alone is counted.
        copyBack(open.store.db());
        ::sync();
        state.ResumeTiming();
        const auto diskBefore = diskBytesWritten();
        const auto logBefore = open.store.db().bytesWritten();
        Painting::StallProbe probe;
        probe.start();
        QTimer::singleShot(0, &open.window, [&] { press(open); });
        // The press may take more than one event, as Clear's answer does.
        Painting::until([&] { return open.store.unreadAlertCount() == 0; }, 60000);
        open.settle();
        longest = std::max(longest, probe.stop());
        logWritten = std::max(logWritten, (open.store.db().bytesWritten() - logBefore) / mb);
        copyBack(open.store.db());
        diskWritten = std::max(diskWritten, (diskBytesWritten() - diskBefore) / mb);
        if (open.store.unreadAlertCount() != 0) {
            state.SkipWithError("the alerts were not all read or deleted");
            break;
        }
    }
    state.counters["stall_ms"] = longest;
    state.counters["log_written_mb"] = logWritten;
    state.counters["disk_written_mb"] = diskWritten;
}

void clear_alerts(benchmark::State &state)
{
    onManyAlerts(state, [](Window &open) {
        open.window.findChild<QPushButton *>(QStringLiteral("clear"))->click();
        // The answer comes in an event of its own, as the user's click does.
        QTimer::singleShot(0, &open.window, [&open] {
            auto *box = open.window.findChild<QMessageBox *>(QStringLiteral("clearConfirmation"));
            require(box != nullptr, "asking to clear");
            box->findChild<QPushButton *>(QStringLiteral("confirmDelete"))->click();
        });
    });
}

void mark_all_read_many(benchmark::State &state)
{
    onManyAlerts(state, [](Window &open) { open.window.findChild<QPushButton *>(QStringLiteral("markAllRead"))->click(); });
}

// Finds every app it is asked for, named after its ID; answers searches as CannedClient does,
// without icon addresses, so that painting fetches nothing over the network.
class FindingClient : public CannedClient
{
public:
    FindingClient()
    {
        for (auto &hit : response.hits)
            hit.iconURL.reset();
    }

    QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString, CancelTokenPtr) override
    {
        co_return AppInfo{appleAppId, QStringLiteral("App ") + appleAppId};
    }
};

// Types the app's ID into the add-app sheet and presses its button, then processes events until
// the app is selected, its discovery run has ended and the screens followed.
void addThroughSheet(Window &open, const QString &appleAppId)
{
    auto *sheet = open.window.openAddApp();
    QString failure;
    QObject::connect(sheet, &AddAppDialog::requestFinished, sheet, [&] { failure = sheet->errorText(); });
    sheet->findChild<QLineEdit *>(QStringLiteral("addAppInput"))->setText(appleAppId);
    sheet->submit();
    const auto added = [&] {
        const auto app = open.store.app(appleAppId);
        const auto run = app ? open.store.discoveryRun(*app, QStringLiteral("us")) : nullptr;
        return open.window.selection() == appleAppId && run && !run->isRunning();
    };
    while (!added() && failure.isEmpty())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    require(failure.isEmpty(), qPrintable(QStringLiteral("adding the app (") + failure + u')'));
    open.settle();
}

// An app added to the year account through the sheet: a new one (readd_app/0), or the app just
// removed, added while its removal runs (readd_app/1). Reports the longest stall from the moment
// the app's rows were gone (a new one: from the button) until it is selected, its discovery run
// has ended and the screens followed (stall_ms, target: 100 ms), and for the removed app the
// time the sheet waited for its removal (wait_s).
void readd_app(benchmark::State &state)
{
    const bool removed = state.range(0);
    const QString appleAppId = removed ? removalApps.first() : QStringLiteral("100002");
    const auto path = databasePath("readd");
    double longest = 0;
    double waited = 0;
    for (auto _ : state) {
        state.PauseTiming();
        copyAccount(path);
        {
            Window open(StoreDb::openFile(path), removalApps.last(), std::make_shared<FindingClient>());
            state.ResumeTiming();
            Painting::StallProbe probe;
            QElapsedTimer wait;
            wait.start();
            if (removed) {
                QObject::connect(&open.store, &ASOStore::removalsEnded, &open.window, [&] {
                    waited = std::max(waited, wait.elapsed() / 1000.0);
                    probe.start();
                });
                open.window.removeApp(appleAppId);
            } else {
                probe.start();
            }
            addThroughSheet(open, appleAppId);
            longest = std::max(longest, probe.stop());
            state.PauseTiming();
            if (!open.store.app(appleAppId) || !open.store.db().appRemovals().isEmpty()) {
                state.SkipWithError("the app was not added, or its removal did not end");
                break;
            }
        }
        state.ResumeTiming();
    }
    removeDatabase(path);
    state.counters["stall_ms"] = longest;
    if (removed)
        state.counters["wait_s"] = waited;
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    useWorkDir(dir);
    // Before any database is opened, so that every connection's writes are counted.
    require(WrittenPages::install(), "counting the pages SQLite writes");
    QApplication application(argc, argv);
    benchmark::RegisterBenchmark("clear_alerts", clear_alerts)->Iterations(BenchRun::pick(3, 1))
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("mark_all_read_many", mark_all_read_many)->Iterations(BenchRun::pick(3, 1))
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("remove_app", remove_app)->ArgNames({"keywords", "alerts", "meanwhile"})
        ->Args({midKeywords, 1, 0})->Args({midKeywords, 0, 0})->Args({midKeywords, 1, 1})->Args({midKeywords, 1, 2})
        ->Args({midKeywords, 0, 3})->Args({midKeywords, 1, 4})
        ->Args({largeKeywords, 1, 0})->Args({largeKeywords, 0, 0})->Args({largeKeywords, 1, 1})->Args({largeKeywords, 1, 2})
        ->Args({largeKeywords, 0, 3})->Args({largeKeywords, 1, 4})->Args({hugeKeywords, 0, 0})
        ->Iterations(BenchRun::pick(2, 1))->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("readd_app", readd_app)->Arg(1)->Arg(0)->Iterations(BenchRun::pick(3, 1))
        ->Unit(benchmark::kMillisecond)->UseRealTime();
    return BenchRun::run(argc, argv);
}
