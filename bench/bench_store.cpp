// The store's heavy paths on a database file in a temporary folder, each next to a floor
// measured in the same run:
//   record_and_apply  one forced 200-hit search recorded and applied to the 25 tracked apps it
//                     concerns, against parse_answer: reading Apple's JSON answer of that search
//                     into hits (target: within 2x);
//   rows              the keyword rows of an app with 2,000 linked keywords, built afresh,
//                     against sql_scan: one plain query over the same links, keywords, rank
//                     states and metrics (target: within 2x);
//   open_store        opening the store with its start-up repairs on a year of daily tracking
//                     (500 keywords, 3 storefronts, 25 apps); open_store_unclean, the same after
//                     a run that did not end cleanly (the whole file is checked); and
//                     migrate_layout, the one-time rebuild of an older layout of that database;
//   record_and_apply_large  a forced search on the large account whose answer holds all its
//                     apps, recorded and applied, against parse_answer_large (target: within 2x);
//   migrate_layout_large  the layout rebuild on the large account (5,000 keywords of 50 apps, 3
//                     storefronts, a year: 5.5 million searches), with its peak memory (peak_MB,
//                     target: under 300). That account is written once into cache/ beside the
//                     program; the first run takes several minutes.
// A smoke run (BenchRun.h) runs each once, on small accounts written into the temporary folder.
#include "clients/ITunesClient.h"
#include "model/StoredForm.h"
#include "store/ASOStore.h"

#include "RatioReporter.h"
#include "ResidentMemory.h"
#include "TrackedAccounts.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

using namespace TrackedAccounts;

namespace {

void parse_answer(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(parseAnswer(answer()));
}

void record_and_apply(benchmark::State &state)
{
    auto store = freshStore("search");
    const auto hits = parseAnswer(answer()).hits;
    QList<TrackedApp> apps;
    for (int i = 0; i < trackedApps; ++i) {
        // 20 apps among the hits, 5 that are not; every one linked to the keyword.
        TrackedApp app(AppInfo{i < 20 ? hits.at(i * 9).appleAppId : QString::number(100000 + i), QStringLiteral("App")}, i < 5);
        store->db().insert(app);
        store->addKeywords({QStringLiteral("photo editor")}, app);
        apps.append(app);
    }
    const auto keyword = *store->keyword(QStringLiteral("photo editor"));
    for (auto _ : state) {
        const auto observation = QCoro::waitFor(store->observation(keyword, QStringLiteral("us"), true));
        store->apply(observation, apps.first());
    }
}

void rows(benchmark::State &state)
{
    TrackedApp app;
    const auto store = rowsStore(app);
    for (auto _ : state) {
        store->raiseDataVersion();
        benchmark::DoNotOptimize(store->rows(app, QStringLiteral("us")));
    }
}

void sql_scan(benchmark::State &state)
{
    {
        TrackedApp app;
        rowsStore(app);
    }
    auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("scan"));
    db.setDatabaseName(databasePath("rows"));
    db.open();
    {
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.prepare(QStringLiteral(
            "SELECT l.pk, l.key, l.source_raw, l.detail, l.priority, k.pk, k.normalized, k.display, k.translated_en, "
            "r.latest_state_raw, r.latest_rank, r.latest_result_count, r.latest_checked_at, r.latest_observation_id, "
            "r.previous_state_raw, r.previous_rank, r.previous_checked_at, r.last_found_at, "
            "m.popularity, m.popularity_source_raw, m.difficulty "
            "FROM keyword_link l JOIN tracked_app a ON a.pk = l.app_pk JOIN keyword k ON k.pk = l.keyword_pk "
            "LEFT JOIN rank_state r ON r.key = a.apple_app_id || '|' || k.normalized || '|' || ? "
            "LEFT JOIN keyword_metric m ON m.key = k.normalized || '|' || ? "
            "WHERE a.apple_app_id = ?"));
        for (auto _ : state) {
            query.addBindValue(QStringLiteral("us"));
            query.addBindValue(QStringLiteral("us"));
            query.addBindValue(QStringLiteral("100001"));
            query.exec();
            while (query.next()) {
                for (int column = 0; column < 21; ++column)
                    benchmark::DoNotOptimize(query.value(column));
            }
        }
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("scan"));
}


void open_store(benchmark::State &state)
{
    const auto path = yearPath();
    for (auto _ : state)
        ASOStore store(StoreDb::openFile(path), std::make_shared<CannedClient>());
}

// After a run that did not end cleanly: the whole file is checked, in the background. The marker
// goes again at the end, so that the benchmarks that follow write to the file as before.
void open_store_unclean(benchmark::State &state)
{
    const auto path = yearPath();
    UncleanEnd unclean(path);
    for (auto _ : state) {
        state.PauseTiming();
        unclean.leave();
        state.ResumeTiming();
        ASOStore store(StoreDb::openFile(path), std::make_shared<CannedClient>());
        if (!store.db().writesHeld()) {
            state.SkipWithError("the file was not checked");
            break;
        }
    }
}

void migrate(benchmark::State &state, const QString &path)
{
    double peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        setLayout(path, 1);
        ResidentMemory::resetPeak();
        state.ResumeTiming();
        ASOStore store(StoreDb::openFile(path), std::make_shared<CannedClient>());
        peak = std::max(peak, ResidentMemory::peakMegabytes());
    }
    state.counters["peak_MB"] = peak;
}

void migrate_layout(benchmark::State &state)
{
    migrate(state, yearPath());
}

void migrate_layout_large(benchmark::State &state)
{
    migrate(state, largeCopy());
}

void parse_answer_large(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(parseAnswer(largeAnswer()));
}

// A forced search on the large account whose answer holds all 50 tracked apps.
void record_and_apply_large(benchmark::State &state)
{
    ASOStore store(StoreDb::openFile(largeCopy()), std::make_shared<CannedClient>(largeAnswer()));
    const auto app = *store.app(QStringLiteral("100000"));
    const auto keyword = *store.keyword(QStringLiteral("keyword 0"));
    for (auto _ : state) {
        const auto observation = QCoro::waitFor(store.observation(keyword, QStringLiteral("us"), true));
        store.apply(observation, app);
    }
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    useWorkDir(dir);
    QCoreApplication application(argc, argv);

    benchmark::RegisterBenchmark("parse_answer", parse_answer)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("record_and_apply", record_and_apply)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("sql_scan", sql_scan)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("rows", rows)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("open_store", open_store)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_store_unclean", open_store_unclean)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("migrate_layout", migrate_layout)->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("parse_answer_large", parse_answer_large)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("record_and_apply_large", record_and_apply_large)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("migrate_layout_large", migrate_layout_large)->Unit(benchmark::kMillisecond)->Iterations(1);

    RatioReporter reporter;
    const int status = BenchRun::run(argc, argv, &reporter);
    if (reporter.times.empty())
        return status;

    std::printf("\nRatio to the floor (target 2x):\n");
    for (const auto &[name, floor] : {std::pair{"record_and_apply", "parse_answer"}, {"rows", "sql_scan"},
                                      {"record_and_apply_large", "parse_answer_large"}}) {
        const auto time = reporter.times.find(name);
        const auto base = reporter.times.find(floor);
        if (time != reporter.times.end() && base != reporter.times.end() && base->second > 0)
            std::printf("  %-22s %.2fx %s\n", name, time->second / base->second, floor);
    }
    return status;
}
