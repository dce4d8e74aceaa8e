// A full discovery run (budget 300, depth 3, 8 related apps per round) of one app on a database
// file in a temporary folder, against a search client that answers at once with 200 hits drawn
// from the app corpus and a popularity service that answers at once. A screen rebuilds the
// app's keyword rows on every raise of the data version, as the keyword table does.
//
// With an instant client the whole run is main-thread work, so the time per search is what the
// window loses to the run. Counters, per search made:
//   ms_per_search  everything: planning, linking, picking, recording, applying, popularity, rows
//   planning       from "generating candidates" to "searching": evidence, planner, links, queue
//   searching      the searches with their recording and applying, and the popularity refresh
//   rows           the screen's keyword rows
// Target: ms_per_search under 10. A smoke run makes one short run (budget 20, depth 1, 2 related
// apps).
//
// record_search and apply_search split one search of the run on the database the run leaves:
// recording a 200-hit answer with its metric, and applying it to the tracked app.
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "workflows/DiscoveryRun.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>


namespace {

const QString country = QStringLiteral("us");
const QString appId = QStringLiteral("1234567890");

// FNV-1a over the UTF-16 units: the same answer for the same term in every run.
quint64 fingerprint(const QString &text)
{
    quint64 hash = 14695981039346656037ULL;
    for (const QChar c : text) {
        hash ^= c.unicode();
        hash *= 1099511628211ULL;
    }
    return hash;
}

const QList<AppInfo> &corpus()
{
    static const QList<AppInfo> apps = [] {
        QList<AppInfo> list;
        const auto array = BenchRun::appCorpus();
        for (qsizetype i = 0; i < array.size(); ++i) {
            const auto object = array.at(i).toObject();
            AppInfo app{QString::number(300000000 + i), object.value(QStringLiteral("name")).toString()};
            app.description = object.value(QStringLiteral("description")).toString();
            app.developerName = QStringLiteral("Developer %1").arg(i);
            app.primaryGenre = i % 3 ? QStringLiteral("Photo & Video") : QStringLiteral("Productivity");
            app.genres = {*app.primaryGenre};
            app.ratingCount = 1000 + 37 * i;
            app.averageRating = 3.5 + (i % 15) / 10.0;
            list.append(app);
        }
        return list;
    }();
    return apps;
}

AppInfo target()
{
    AppInfo app{appId, QStringLiteral("Snap Photo Editor: Collage Maker")};
    app.description = corpus().at(3).description.value() + u' ' + corpus().at(8).description.value() + u' '
                      + corpus().at(13).description.value();
    app.developerName = QStringLiteral("Snap Labs");
    app.primaryGenre = QStringLiteral("Photo & Video");
    app.genres = {QStringLiteral("Photo & Video"), QStringLiteral("Graphics & Design")};
    return app;
}

// Answers at once: 200 hits from the corpus, the app among them for about a third of the terms.
class InstantClient : public AppSearching
{
public:
    int maxLimit() const override { return 200; }

    QCoro::Task<SearchResponse> search(QString term, QString, int limit, CancelTokenPtr) override
    {
        quint64 state = fingerprint(term);
        const auto next = [&state](quint64 bound) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            return (state >> 33) % bound;
        };
        const int targetRank = next(3) == 0 ? int(1 + next(80)) : 0;
        SearchResponse response;
        for (int rank = 1; rank <= limit; ++rank) {
            const AppInfo &app = rank == targetRank ? m_target : corpus().at(qsizetype(std::min(next(460), next(460))));
            response.hits.append(SearchHit{app.appleAppId, app.name, app.developerName, {}, {}, app.primaryGenre,
                                           app.ratingCount, app.averageRating, rank});
        }
        response.resultCount = limit;
        co_return response;
    }

    QCoro::Task<std::optional<AppInfo>> lookup(QString appleAppId, QString, CancelTokenPtr) override
    {
        co_return find(appleAppId);
    }

    QCoro::Task<QList<AppInfo>> lookupMany(QStringList appleAppIds, QString, CancelTokenPtr) override
    {
        QList<AppInfo> found;
        for (const auto &id : appleAppIds) {
            if (auto app = find(id))
                found.append(*app);
        }
        co_return found;
    }

private:
    std::optional<AppInfo> find(const QString &appleAppId) const
    {
        const auto index = appleAppId.toLongLong() - 300000000;
        if (index >= 0 && index < corpus().size())
            return corpus().at(index);
        return std::nullopt;
    }

    AppInfo m_target = target();
};

class InstantPopularity : public PopularityProviding
{
public:
    QCoro::Task<PopularityResponse> popularity(QString country, QStringList terms, CancelTokenPtr) override
    {
        PopularityResponse response{country, std::nullopt, {}};
        for (const auto &term : terms)
            response.items.append({term, qint64(5 + fingerprint(term) % 90), PopularityItem::Source::appleCountry});
        co_return response;
    }
};

struct Timings
{
    double totalMs = 0;
    double planningMs = 0;
    double searchingMs = 0;
    double rowsMs = 0;
    qint64 searches = 0;
};

std::unique_ptr<ASOStore> freshStore(const QString &name, TrackedApp &app)
{
    const auto path = BenchRun::workDir->filePath(name + QStringLiteral(".sqlite"));
    QFile::remove(path);
    auto store = std::make_unique<ASOStore>(StoreDb::openFile(path), std::make_shared<InstantClient>(),
                                            std::make_shared<InstantPopularity>());
    app = TrackedApp(target(), true);
    app.trackedCountries = {country};
    store->db().insert(app);
    store->addKeywords({QStringLiteral("photo editor"), QStringLiteral("collage maker"), QStringLiteral("picture frames"),
                        QStringLiteral("selfie camera"), QStringLiteral("photo filters")},
                       app);
    return store;
}

void finish(const DiscoveryRun &run)
{
    while (run.isRunning())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void runOnce(Timings &timings, int iteration)
{
    TrackedApp app;
    const auto owner = freshStore(QStringLiteral("run-%1").arg(iteration), app);
    ASOStore &store = *owner;

    // The keyword table of the app, rebuilt whenever the data version moves.
    double rowsMs = 0;
    QObject::connect(&store, &ASOStore::dataVersionChanged, &store, [&] {
        QElapsedTimer clock;
        clock.start();
        benchmark::DoNotOptimize(store.rows(app, country));
        rowsMs += double(clock.nsecsElapsed()) / 1e6;
    });

    QElapsedTimer total;
    QElapsedTimer phase;
    double planning = 0;
    double searching = 0;
    double rowsAtPhase = 0;
    bool inPlanning = false;
    const auto closePhase = [&] {
        const double spent = double(phase.nsecsElapsed()) / 1e6 - (rowsMs - rowsAtPhase);
        (inPlanning ? planning : searching) += spent;
        phase.restart();
        rowsAtPhase = rowsMs;
    };
    const auto run = store.startDiscovery(app, country);
    QObject::connect(run.get(), &DiscoveryRun::phaseChanged, &store, [&](const QString &text) {
        if (text.endsWith(QLatin1String("generating candidates"))) {
            if (phase.isValid())
                closePhase();
            else
                phase.start();
            inPlanning = true;
        } else if (text.contains(QLatin1String(": searching "))) {
            closePhase();
            inPlanning = false;
        } else if (text == QLatin1String("Done") || text == QLatin1String("Stopped")) {
            closePhase();
        }
    });
    total.start();
    finish(*run);
    timings.totalMs += double(total.nsecsElapsed()) / 1e6;
    timings.planningMs += planning;
    timings.searchingMs += searching;
    timings.rowsMs += rowsMs;
    timings.searches += run->searched();
}

void discovery_run(benchmark::State &state)
{
    Timings timings;
    int iteration = 0;
    for (auto _ : state)
        runOnce(timings, iteration++);
    const double searches = double(std::max<qint64>(timings.searches, 1));
    state.counters["searches"] = benchmark::Counter(double(timings.searches) / iteration);
    state.counters["ms_per_search"] = benchmark::Counter(timings.totalMs / searches);
    state.counters["planning"] = benchmark::Counter(timings.planningMs / searches);
    state.counters["searching"] = benchmark::Counter(timings.searchingMs / searches);
    state.counters["rows"] = benchmark::Counter(timings.rowsMs / searches);
}


// The database a whole run leaves, and a keyword of the app's that the run linked.
std::unique_ptr<ASOStore> afterRun(TrackedApp &app, Keyword &keyword)
{
    auto store = freshStore(QStringLiteral("after-run"), app);
    finish(*store->startDiscovery(app, country));
    keyword = *store->keyword(QStringLiteral("photo editor"));
    return store;
}

void record_search(benchmark::State &state)
{
    TrackedApp app;
    Keyword keyword;
    const auto store = afterRun(app, keyword);
    for (auto _ : state)
        benchmark::DoNotOptimize(QCoro::waitFor(store->observation(keyword, country, true)));
}

void apply_search(benchmark::State &state)
{
    TrackedApp app;
    Keyword keyword;
    const auto store = afterRun(app, keyword);
    for (auto _ : state) {
        state.PauseTiming();
        const auto observation = QCoro::waitFor(store->observation(keyword, country, true));
        state.ResumeTiming();
        store->apply(observation, app);
    }
}

}

BENCHMARK(discovery_run)->Unit(benchmark::kMillisecond)->Iterations(BenchRun::pick(3, 1));
BENCHMARK(record_search)->Unit(benchmark::kMillisecond);
BENCHMARK(apply_search)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    // The run's settings are kept away from the user's: the defaults apply.
    QTemporaryDir dir;
    BenchRun::useWorkDir(dir);
    QCoreApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    registerDefaultSettings();
    if (BenchRun::smoke()) {
        Settings::shared().setValue(SettingsKey::discoveryBudget, 20);
        Settings::shared().setValue(SettingsKey::discoveryDepth, 1);
        Settings::shared().setValue(SettingsKey::relatedApps, 2);
    }
    return BenchRun::run(argc, argv);
}
