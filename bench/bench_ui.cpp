// The windows' costs, each beside its floor:
//   open_window against open_store: start-up to the first painted main window on a year of daily
//     tracking, against opening the store alone (the window may add at most 150 ms);
//   open_window_unclean against open_window: the same after an unclean end, when the whole file
//     is checked in the background (target: within 2x); open_window_large and
//     open_window_unclean_large: the same pair on a copy of the large account (bench_store's, 3.2 GB);
//   open_detail against rows: the detail screen of an app with 2,000 keywords built and painted,
//     against the store reading that app's rows in full (target: within 2x); both start without
//     kept rows;
//   open_alerts: the alerts screen over 10,000 alerts built and painted (target: 100 ms);
//   redraw_after_raise: the detail screen brought up to date and painted after one data-version
//     raise that follows three searches' readings, as a discovery run raises it every third
//     search (target: one frame, 16 ms);
//   metadata_keystroke against metadata_optimizer: one keystroke in the keyword field of an app
//     with 2,000 keyword rows and 10 targets, analysed again with every row's coverage and the
//     coverage, issues and suggested words painted, against the optimiser's analysis and the
//     rows' coverage alone (target: one frame, 16 ms);
//   research_resort: the research table of 1,000 terms sorted by another column and painted
//     (target: one frame, 16 ms);
//   open_suggested, open_compare, open_gap against suggested_competitors, comparison_rows,
//     keyword_gap_rows: each tab of the competitors section opened and painted for an app and a
//     competitor with 2,000 keywords each, against the store's analysis for that tab (target:
//     within 2x each); the analysis rows also report the first, cold analysis, its searches read
//     ahead on the pool's threads (cold_ms), and the heap that the copies of all 3,000 searches
//     take (cache_MB);
//   gap_after_search against decode_one_search: the gap analysed again after one keyword was
//     searched anew, against decoding that one search (target: little more);
//   cold_open, cold_compare, cold_gap, cold_storefront, cold_storefront_gap: the competitors
//     section on a store that has analysed nothing yet, as after a start: opened and drawn,
//     then (after the opening, untimed) each competitor tab, and a change of storefront to one
//     with as many searches on "Suggested" and on "Keyword Gap", each until its table is painted
//     with the result; with uncached:1 the database file is dropped from the page cache first.
//     The time is what the user waits for; stall_ms, the longest the window's thread was held
//     at a time meanwhile (target: under 100 ms each); the *_large ones: the same for the large
//     account's own app (100 keywords) against its first competitor, on a copy of the account.
// A smoke run (BenchRun.h) runs each once, on smaller accounts.
#include "model/StoreDb.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
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
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataView.h"
#include "ui/research/ResearchView.h"
#include "ui/shell/MainWindow.h"
#include "workflows/MetadataDraft.h"

#include "RatioReporter.h"
#include "Painting.h"
#include "TrackedAccounts.h"

#include <QApplication>
#include <QCoroFuture>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <optional>

#include <malloc.h>

namespace {

using Painting::paint;

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
        for (int i = 0; i < BenchRun::pick(10000, 1000); ++i) {
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

// An app and a competitor with 2,000 keywords each (200 in a smoke run), half of them shared,
// every keyword searched once in the United States with both apps somewhere in its 200 results
// (or one of them missing), and a metric for each.
const int rivalKeywords = BenchRun::pick(3000, 300);

struct Rivalry
{
    std::unique_ptr<ASOStore> store;
    TrackedApp app;
    TrackedApp competitor;
    // The stored hits of the searches, eight answers in turn.
    QList<QByteArray> answers;
    // The first analysis, which reads and scans every search: its time, and the heap that
    // copies of all 3,000 searches take.
    double coldMs = 0;
    double cacheMB = 0;
};

Rivalry &rivalry()
{
    static Rivalry rivalry = [] {
        Rivalry made{TrackedAccounts::freshStore("competitors"), {}, {}, {}};
        auto &store = *made.store;
        made.app = TrackedApp(AppInfo{QStringLiteral("100001"), QStringLiteral("App")}, true);
        made.competitor = TrackedApp(AppInfo{QStringLiteral("100002"), QStringLiteral("Rival")}, false);
        TrackedAccounts::require(store.db().insert(made.app), "inserting the app");
        TrackedAccounts::require(store.db().insert(made.competitor), "inserting the competitor");
        QList<PlannedCandidate> mine;
        QList<PlannedCandidate> theirs;
        for (int i = 0; i < rivalKeywords; ++i) {
            const PlannedCandidate candidate{QStringLiteral("keyword %1").arg(i), KeywordSource::manual, {}, {}};
            (i < rivalKeywords * 2 / 3 ? mine : theirs).append(candidate);
            if (i >= rivalKeywords / 3 && i < rivalKeywords * 2 / 3)
                theirs.append(candidate);
        }
        store.link(mine, made.app);
        store.link(theirs, made.competitor);

        // Answers with the two apps at changing places, every fourth hit from the top.
        auto &answers = made.answers;
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
        for (int i = 0; i < rivalKeywords; ++i) {
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

        QElapsedTimer cold;
        cold.start();
        for (const auto &read : store.readCompetitorSearches({made.app, made.competitor}, QStringLiteral("us")))
            QCoro::waitFor(qCoro(read).waitForFinished());
        store.keywordGapRows(made.app, made.competitor, QStringLiteral("us"));
        made.coldMs = double(cold.nsecsElapsed()) / 1e6;
        // Measured on a cache of its own, once the database's pages are read.
        QSet<QString> keywords;
        for (int i = 0; i < rivalKeywords; ++i)
            keywords.insert(QStringLiteral("keyword %1").arg(i));
        const auto before = mallinfo2().uordblks;
        LatestSearchCache cache;
        cache.searches(store.db(), keywords, QStringLiteral("us"));
        made.cacheMB = double(mallinfo2().uordblks - before) / 1e6;
        return made;
    }();
    return rivalry;
}

// Reports the first analysis beside the warm ones.
void noteCold(benchmark::State &state, const Rivalry &rivalry)
{
    state.counters["cold_ms"] = rivalry.coldMs;
    state.counters["cache_MB"] = rivalry.cacheMB;
}

void suggested_competitors(benchmark::State &state)
{
    auto &rival = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            rival.store->suggestedCompetitors(rival.app, QStringLiteral("us"), SuggestedCompetitorsTable::rowLimit));
    noteCold(state, rival);
}

void comparison_rows(benchmark::State &state)
{
    auto &rival = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(rival.store->comparisonRows(rival.app, rival.competitor, QStringLiteral("us")));
    noteCold(state, rival);
}

void keyword_gap_rows(benchmark::State &state)
{
    auto &rival = rivalry();
    for (auto _ : state)
        benchmark::DoNotOptimize(rival.store->keywordGapRows(rival.app, rival.competitor, QStringLiteral("us")));
    noteCold(state, rival);
}

// The gap analysed again after one keyword was searched anew, as while a discovery run goes on,
// against decoding that one search.
void gap_after_search(benchmark::State &state)
{
    auto &rival = rivalry();
    int searched = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const auto normalized = QStringLiteral("keyword %1").arg(searched % rivalKeywords);
        SearchObservation observation{0, QUuid::createUuid(), normalized, QStringLiteral("us"),
                                      QDateTime::currentDateTimeUtc(), true, 200, 200, 1, {}, true,
                                      rival.answers[(searched + 3) % rival.answers.size()]};
        ++searched;
        StoreDb::Transaction save(rival.store->db());
        rival.store->db().clearLatestObservations(normalized, QStringLiteral("us"));
        rival.store->db().insert(observation);
        save.commit();
        state.ResumeTiming();
        benchmark::DoNotOptimize(rival.store->keywordGapRows(rival.app, rival.competitor, QStringLiteral("us")));
    }
}

void decode_one_search(benchmark::State &state)
{
    const auto &answers = rivalry().answers;
    for (auto _ : state)
        benchmark::DoNotOptimize(AppRecords::decodeHits(answers.first()));
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

// The same once the section has drawn it, after whatever it read first on the pool's threads.
QWidget *drawnTable(CompetitorsView &view)
{
    Painting::until([&view] { return view.shownContent() != CompetitorsView::Content::loading; });
    return tabTable(view);
}

// The section opens on "Suggested"; the other tabs open from it, as the user clicks them.
void openTab(benchmark::State &state, CompetitorTab tab)
{
    const auto &store = rivalry().store;
    const auto &app = rivalry().app;
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

// The section as a user meets it after a start: a store that has analysed nothing yet. Each
// iteration opens a store of its own on a copy of the account; opening it is not timed.
struct ColdSection
{
    QString path;
    TrackedApp app;
    QString country;
};

std::unique_ptr<ASOStore> openCold(const QString &path)
{
    return std::make_unique<ASOStore>(StoreDb::openFile(path), std::make_shared<TrackedAccounts::CannedClient>());
}

// The rival account copied once, with the same searches made in Great Britain as well, so that a
// change of storefront has as much to read as the first opening.
const ColdSection &coldRivalry()
{
    static const ColdSection section = [] {
        auto &rival = rivalry();
        const auto path = TrackedAccounts::databasePath("competitors-cold");
        QFile::remove(path);
        {
            auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("coldCopy"));
            db.setDatabaseName(TrackedAccounts::databasePath("competitors"));
            QSqlQuery copy(db);
            TrackedAccounts::require(db.open() && copy.exec(QStringLiteral("VACUUM INTO '%1'").arg(path)),
                                     "copying the rival account");
        }
        QSqlDatabase::removeDatabase(QStringLiteral("coldCopy"));
        auto store = openCold(path);
        StoreDb::Transaction save(store->db());
        for (int i = 0; i < rivalKeywords; ++i) {
            SearchObservation observation{0, QUuid::createUuid(), QStringLiteral("keyword %1").arg(i), QStringLiteral("gb"),
                                          QDateTime::currentDateTimeUtc(), true, 200, 200, 1, {}, true,
                                          rival.answers[(i + 1) % rival.answers.size()]};
            TrackedAccounts::require(store->db().insert(observation), "inserting a search");
        }
        TrackedAccounts::require(save.commit(), "saving the searches");
        return ColdSection{path, rival.app, QStringLiteral("us")};
    }();
    return section;
}

// The large account's own app, against its first competitor by name.
const ColdSection &coldLarge()
{
    static const ColdSection section{TrackedAccounts::largeCopy(),
                                     TrackedApp(AppInfo{QStringLiteral("100000"), QStringLiteral("App 0")}, true),
                                     QStringLiteral("us")};
    return section;
}

// Opens the section cold on `tab` (the others are reached from "Suggested", as the user clicks
// them); with `country`, times the change to that storefront once the section is open. With the
// argument 1, the file comes from the disk rather than the page cache.
void coldSection(benchmark::State &state, const ColdSection &section, CompetitorTab tab,
                 const std::optional<QString> &country = std::nullopt)
{
    const bool opening = tab == CompetitorTab::suggested && !country;
    const bool uncached = state.range(0) != 0;
    Painting::StallProbe probe;
    double stall = 0;
    const auto openView = [&section](const std::unique_ptr<ASOStore> &store) {
        auto view = std::make_unique<CompetitorsView>(store.get(), section.app.appleAppId, section.country);
        view->resize(1000, 640);
        return view;
    };
    for (auto _ : state) {
        state.PauseTiming();
        auto store = openCold(section.path);
        std::unique_ptr<CompetitorsView> view;
        if (!opening) {
            view = openView(store);
            paint(view.get(), drawnTable(*view));
            if (country) {
                view->setTab(tab);
                paint(view.get(), drawnTable(*view));
            }
        }
        if (uncached)
            TrackedAccounts::dropFromPageCache(section.path);
        probe.start();
        state.ResumeTiming();
        if (opening)
            view = openView(store);
        else if (country)
            view->setCountry(*country);
        else
            view->setTab(tab);
        auto *table = drawnTable(*view);
        if (!table || !paint(view.get(), table))
            state.SkipWithError("the tab was never painted");
        state.PauseTiming();
        stall = std::max(stall, probe.stop());
        view.reset();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["stall_ms"] = stall;
}

void cold_open(benchmark::State &state)
{
    coldSection(state, coldRivalry(), CompetitorTab::suggested);
}

void cold_compare(benchmark::State &state)
{
    coldSection(state, coldRivalry(), CompetitorTab::compare);
}

void cold_gap(benchmark::State &state)
{
    coldSection(state, coldRivalry(), CompetitorTab::gap);
}

void cold_storefront(benchmark::State &state)
{
    coldSection(state, coldRivalry(), CompetitorTab::suggested, QStringLiteral("gb"));
}

void cold_storefront_gap(benchmark::State &state)
{
    coldSection(state, coldRivalry(), CompetitorTab::gap, QStringLiteral("gb"));
}

void cold_open_large(benchmark::State &state)
{
    coldSection(state, coldLarge(), CompetitorTab::suggested);
}

void cold_compare_large(benchmark::State &state)
{
    coldSection(state, coldLarge(), CompetitorTab::compare);
}

void cold_gap_large(benchmark::State &state)
{
    coldSection(state, coldLarge(), CompetitorTab::gap);
}

void cold_storefront_large(benchmark::State &state)
{
    coldSection(state, coldLarge(), CompetitorTab::suggested, QStringLiteral("gb"));
}

void cold_storefront_gap_large(benchmark::State &state)
{
    coldSection(state, coldLarge(), CompetitorTab::gap, QStringLiteral("gb"));
}

void open_store(benchmark::State &state)
{
    const auto path = TrackedAccounts::yearPath();
    for (auto _ : state)
        ASOStore store(StoreDb::openFile(path), std::make_shared<TrackedAccounts::CannedClient>());
}

// Start-up to the first painted main window, after a clean end or, with `unclean`, after one
// that left the marker (the full check of the file then runs in the background). The marker goes
// again at the end.
void openWindow(benchmark::State &state, const QString &path, bool unclean)
{
    std::optional<TrackedAccounts::UncleanEnd> uncleanEnd;
    if (unclean)
        uncleanEnd.emplace(path);
    for (auto _ : state) {
        if (unclean) {
            state.PauseTiming();
            uncleanEnd->leave();
            state.ResumeTiming();
        }
        ASOStore store(StoreDb::openFile(path), std::make_shared<TrackedAccounts::CannedClient>());
        if (unclean && !store.db().writesHeld())
            state.SkipWithError("the file was not checked");
        // As after a run that was stopped while it had the file open.
        if (!unclean && store.db().writesHeld())
            state.SkipWithError("the file was checked: the marker of an unclean end lies beside it");
        SilentNotifier notifier;
        RankTracker tracker(&store, &notifier);
        MainWindow window(&store, &tracker, nullptr);
        // The sidebar is painted last of what the first frame shows.
        if (!paint(&window, window.findChild<QTreeView *>(QStringLiteral("sidebar"))->viewport()))
            state.SkipWithError("the window was never painted");
    }
}

void open_window(benchmark::State &state)
{
    openWindow(state, TrackedAccounts::yearPath(), false);
}

void open_window_unclean(benchmark::State &state)
{
    openWindow(state, TrackedAccounts::yearPath(), true);
}

void open_window_large(benchmark::State &state)
{
    openWindow(state, TrackedAccounts::largeCopy(), false);
}

void open_window_unclean_large(benchmark::State &state)
{
    openWindow(state, TrackedAccounts::largeCopy(), true);
}

// The keyword field that the keystrokes edit: its words cover "keyword 1" and, with one more
// digit, "keyword 10" as well.
const QString typedField = QStringLiteral("keyword,1,photo, editor,the,filters");

void metadata_optimizer(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    const auto rows = store.rows(app, QStringLiteral("us"));
    const auto chosen = suggestedTargets(rows, MetadataEditor::defaultTargetCount);
    const auto targets = optimizerTargets(rows, QSet<QString>(chosen.cbegin(), chosen.cend()));
    QList<MetadataOptimizer::Target> rowTargets;
    for (const auto &row : rows)
        rowTargets.append({row.id, row.popularity, row.difficulty});
    bool longer = false;
    for (auto _ : state) {
        const auto field = longer ? typedField + u'0' : typedField;
        longer = !longer;
        benchmark::DoNotOptimize(MetadataOptimizer::analyze(app.name, {}, field, targets));
        benchmark::DoNotOptimize(MetadataOptimizer::coverage(app.name, {}, field, rowTargets));
    }
}

void metadata_keystroke(benchmark::State &state)
{
    TrackedApp app;
    auto &store = keywordsStore(app);
    Settings::shared().remove(MetadataDraft::settingsKey(app.appleAppId));
    MetadataView view(&store, app.appleAppId, QStringLiteral("us"));
    view.resize(1000, 760);
    if (view.editor()->targets().size() != MetadataEditor::defaultTargetCount)
        state.SkipWithError("the editor did not choose 10 targets");
    auto *field = view.findChild<QPlainTextEdit *>(QStringLiteral("keywordField"));
    auto *coverage = view.findChild<QWidget *>(QStringLiteral("coverageBlock"));
    field->setPlainText(typedField);
    paint(&view, coverage);
    field->setFocus();
    field->moveCursor(QTextCursor::End);
    bool longer = false;
    for (auto _ : state) {
        // A digit typed, then taken back: both change the figures and the rows' coverage.
        QKeyEvent press(QEvent::KeyPress, longer ? Qt::Key_Backspace : Qt::Key_0, Qt::NoModifier,
                        longer ? QString() : QStringLiteral("0"));
        QCoreApplication::sendEvent(field, &press);
        longer = !longer;
        if (!paint(&view, coverage))
            state.SkipWithError("the coverage was never painted again");
    }
}

// Five pages of 200 terms, answered at once.
struct ThousandTerms : TopTermsProviding
{
    QCoro::Task<TopTermsResponse> topTerms(QString country, std::optional<QString>, std::optional<qint64>,
                                           std::optional<qint64>, std::optional<QString>, qint64 limit, qint64 offset,
                                           CancelTokenPtr) override
    {
        const QStringList genres{"PHOTO_VIDEO", "PRODUCTIVITY_UTILITIES", "SOCIAL_NETWORKING", "GAMES_PUZZLE"};
        TopTermsResponse page{country, QStringLiteral("2026-11-30"), genres, 1000, {}};
        for (qint64 i = offset; i < std::min<qint64>(1000, offset + limit); ++i)
            page.items.append({QStringLiteral("term %1").arg((i * 7919) % 1000), 1 + (i * 37) % 100, genres[i % 4],
                               i % 5 ? std::optional<qint64>(1 + (i * 13) % 200) : std::nullopt});
        co_return page;
    }
};

void research_resort(benchmark::State &state)
{
    auto terms = std::make_shared<ThousandTerms>();
    ResearchView view(nullptr, nullptr, [terms] { return terms; });
    view.resize(1000, 760);
    auto *model = view.model();
    QElapsedTimer limit;
    limit.start();
    while (model->items().size() < 1000 && limit.elapsed() < 10000) {
        if (model->canLoadMore() && !model->isLoading())
            model->loadMore();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (model->items().size() < 1000)
        state.SkipWithError("the 1,000 terms never loaded");
    auto *table = view.findChild<QTableView *>(QStringLiteral("researchTable"));
    paint(&view, table->viewport());
    int step = 0;
    for (auto _ : state) {
        // Each column in turn, each way.
        table->sortByColumn(step % 4, step % 8 < 4 ? Qt::AscendingOrder : Qt::DescendingOrder);
        ++step;
        if (!paint(&view, table->viewport()))
            state.SkipWithError("the table was never painted again");
    }
}

}

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    TrackedAccounts::useWorkDir(dir);
    QApplication application(argc, argv);

    benchmark::RegisterBenchmark("open_store", open_store)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_window", open_window)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_window_unclean", open_window_unclean)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_window_large", open_window_large)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_window_unclean_large", open_window_unclean_large)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("rows", rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_detail", open_detail)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("redraw_after_raise", redraw_after_raise)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_alerts", open_alerts)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("metadata_optimizer", metadata_optimizer)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("metadata_keystroke", metadata_keystroke)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("research_resort", research_resort)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("suggested_competitors", suggested_competitors)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_suggested", open_suggested)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("comparison_rows", comparison_rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_compare", open_compare)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("keyword_gap_rows", keyword_gap_rows)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("open_gap", open_gap)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode_one_search", decode_one_search)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("gap_after_search", gap_after_search)->Unit(benchmark::kMillisecond);
    using Case = std::pair<const char *, void (*)(benchmark::State &)>;
    for (const auto &[name, run] :
         std::initializer_list<Case>{{"cold_open", cold_open}, {"cold_compare", cold_compare}, {"cold_gap", cold_gap},
          {"cold_storefront", cold_storefront}, {"cold_storefront_gap", cold_storefront_gap},
          {"cold_open_large", cold_open_large}, {"cold_compare_large", cold_compare_large},
          {"cold_gap_large", cold_gap_large}, {"cold_storefront_large", cold_storefront_large},
          {"cold_storefront_gap_large", cold_storefront_gap_large}})
        benchmark::RegisterBenchmark(name, run)->ArgName("uncached")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
    RatioReporter reporter;
    const int status = BenchRun::run(argc, argv, &reporter);

    const auto time = [&reporter](const char *name) {
        const auto found = reporter.times.find(name);
        return found == reporter.times.end() ? 0.0 : found->second;
    };
    if (time("open_store") > 0 && time("open_window") > 0)
        std::printf("\nThe main window adds %.1f ms to opening the store (target: at most 150 ms).\n",
                    time("open_window") - time("open_store"));
    if (time("open_window") > 0 && time("open_window_unclean") > 0)
        std::printf("After an unclean end the first painted window takes %.2fx a clean start (target: at most 2x).\n",
                    time("open_window_unclean") / time("open_window"));
    if (time("open_window_large") > 0 && time("open_window_unclean_large") > 0)
        std::printf("On the large account: %.2fx (target: at most 2x).\n",
                    time("open_window_unclean_large") / time("open_window_large"));
    if (time("rows") > 0 && time("open_detail") > 0)
        std::printf("The detail screen of 2,000 keywords takes %.2fx the store's rows (target: within 2x).\n",
                    time("open_detail") / time("rows"));
    if (time("metadata_optimizer") > 0 && time("metadata_keystroke") > 0)
        std::printf("A keystroke in the keyword field takes %.2f ms, %.2fx the optimiser alone (target: 16 ms).\n",
                    time("metadata_keystroke"), time("metadata_keystroke") / time("metadata_optimizer"));
    for (const auto &[open, floor] : {std::pair{"open_suggested", "suggested_competitors"},
                                      {"open_compare", "comparison_rows"}, {"open_gap", "keyword_gap_rows"}}) {
        if (time(floor) > 0 && time(open) > 0)
            std::printf("%s takes %.2fx %s (target: within 2x).\n", open, time(open) / time(floor), floor);
    }
    if (time("decode_one_search") > 0 && time("gap_after_search") > 0)
        std::printf("The gap after one new search takes %.2f ms, %.1fx decoding that search.\n",
                    time("gap_after_search"), time("gap_after_search") / time("decode_one_search"));
    return status;
}
