#pragma once

// Accounts for the benchmarks: Apple's answer to one search, a client that answers every search
// with it at once, and databases of daily tracking written through the store's own code. In a
// smoke run (BenchRun.h) the accounts are small, and none is written beside the program.
#include "clients/ITunesClient.h"
#include "model/LogCheckpointer.h"
#include "model/StoredForm.h"
#include "store/ASOStore.h"

#include "BenchRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <QCoroTask>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace TrackedAccounts {

inline constexpr int hitCount = 200;
inline constexpr int trackedApps = 25;

// The run's work folder and its checks, as the programs name them here.
using BenchRun::require;
using BenchRun::useWorkDir;
using BenchRun::workDir;

inline QString databasePath(const char *name)
{
    return workDir->filePath(QString::fromLatin1(name) + QStringLiteral(".sqlite"));
}

// Apple's answer to one search: every field a real result carries, descriptions from the corpus;
// the given apps are every fourth hit from the top.
inline QByteArray searchAnswer(const QStringList &among = {})
{
    const auto corpus = BenchRun::appCorpus();
    QJsonArray results;
    for (int i = 0; i < hitCount; ++i) {
        const auto app = corpus.at(i % corpus.size()).toObject();
        const auto id = i % 4 == 0 && i / 4 < among.size() ? among.at(i / 4) : QString::number(300000000 + i);
        const auto art = QStringLiteral("https://is1-ssl.mzstatic.com/image/thumb/Purple/v4/%1/AppIcon.png/").arg(id);
        QJsonArray screenshots;
        for (int s = 0; s < 5; ++s)
            screenshots.append(art + QStringLiteral("screen%1_392x696bb.jpg").arg(s));
        results.append(QJsonObject{
            {"wrapperType", "software"}, {"kind", "software"}, {"trackId", id.toLongLong()},
            {"trackName", app.value("name")}, {"artistName", "Developer " + id}, {"artistId", 900000000 + i},
            {"sellerName", "Developer " + id + " Ltd"}, {"bundleId", "com.example.app" + id},
            {"artworkUrl60", art + "60x60bb.jpg"}, {"artworkUrl100", art + "100x100bb.jpg"},
            {"artworkUrl512", art + "512x512bb.jpg"}, {"screenshotUrls", screenshots}, {"ipadScreenshotUrls", screenshots},
            {"trackViewUrl", "https://apps.apple.com/us/app/app/id" + id + "?uo=4"},
            {"description", app.value("description")}, {"releaseNotes", "Bug fixes and performance improvements."},
            {"primaryGenreName", "Photo & Video"}, {"primaryGenreId", 6008}, {"genres", QJsonArray{"Photo & Video", "Graphics & Design"}},
            {"genreIds", QJsonArray{"6008", "6027"}}, {"userRatingCount", 1000 + 37 * i}, {"averageUserRating", 4.5},
            {"price", 0.0}, {"formattedPrice", "Free"}, {"currency", "USD"}, {"version", "3.2.1"},
            {"currentVersionReleaseDate", "2024-02-01T08:00:00Z"}, {"releaseDate", "2019-06-12T07:00:00Z"},
            {"minimumOsVersion", "15.0"}, {"fileSizeBytes", "104857600"}, {"contentAdvisoryRating", "4+"},
            {"languageCodesISO2A", QJsonArray{"EN", "DE", "FR", "JA"}}, {"isGameCenterEnabled", false}});
    }
    return QJsonDocument(QJsonObject{{"resultCount", hitCount}, {"results", results}}).toJson(QJsonDocument::Compact);
}

inline SearchResponse parseAnswer(const QByteArray &json)
{
    const auto results = ITunesClient::results(QJsonDocument::fromJson(json).object());
    SearchResponse response;
    response.resultCount = results.size();
    for (qsizetype i = 0; i < results.size(); ++i) {
        if (auto hit = AppRecords::parseHit(results.at(i), i))
            response.hits.append(*hit);
    }
    return response;
}

inline const QByteArray &answer()
{
    static const QByteArray json = searchAnswer();
    return json;
}

// The answer of a search on the large account, which holds all its 50 apps.
inline const QByteArray &largeAnswer()
{
    static const QByteArray json = [] {
        QStringList ids;
        for (int a = 0; a < 50; ++a)
            ids.append(QString::number(100000 + a));
        return searchAnswer(ids);
    }();
    return json;
}

// Answers every search at once with the parsed answer.
class CannedClient : public AppSearching
{
public:
    explicit CannedClient(const QByteArray &json = answer()) : response(parseAnswer(json)) {}
    SearchResponse response;
    int maxLimit() const override { return 200; }
    QCoro::Task<SearchResponse> search(QString, QString, int, CancelTokenPtr) override { co_return response; }
    QCoro::Task<std::optional<AppInfo>> lookup(QString, QString, CancelTokenPtr) override { co_return std::nullopt; }
    QCoro::Task<QList<AppInfo>> lookupMany(QStringList, QString, CancelTokenPtr) override { co_return {}; }
};

struct Account
{
    int apps;
    int keywords;
    int days;
};

// What writing an account wrote into the database's log, at SQLite's side (the writing
// connection's pages, each with its frame's header): in all, and the largest length it reached.
struct LogWritten
{
    qint64 bytes = 0;
    qint64 largest = 0;
};

// Daily tracking: each keyword linked to one of the apps and searched every day in 3
// storefronts, only the newest search of each keyword keeping its hits. Written through the
// store's own code, in the order a daily run writes, in a few large saves; the first opening
// builds the rank states, as the layout upgrade does.
inline LogWritten writeAccount(const QString &path, const Account &account)
{
    // Every save touches pages all over the indexes of the random ids (of the searches and of
    // the readings): in saves of a few hundred keywords, as a run makes, each of those pages went
    // into the log and back into the file hundreds of times. In eight saves, each of an eighth of
    // the days, it goes at most eight times. The file comes out the same, since the same rows go
    // in in the same order.
    constexpr int saves = 8;
    const int daysPerSave = (account.days + saves - 1) / saves;
    // Room for the pages a save changes (on the large account, nearly all of them), so that
    // SQLite keeps them until the commit instead of writing them into the log before it, and
    // again each time they change once more.
    constexpr qint64 writingCacheKiB = 1 << 20;
    for (const auto &suffix : {"", "-wal", "-shm", "-journal", "-running"})
        QFile::remove(path + QLatin1String(suffix));
    LogWritten log;
    {
        const auto standardCache = std::exchange(StoreDb::standardCacheKiB, writingCacheKiB);
        auto opened = StoreDb::openFile(path);
        StoreDb::standardCacheKiB = standardCache;
        ASOStore store(std::move(opened), std::make_shared<CannedClient>());
        auto &db = store.db();
        QList<TrackedApp> apps;
        for (int a = 0; a < account.apps; ++a) {
            TrackedApp app(AppInfo{QString::number(100000 + a), QStringLiteral("App %1").arg(a)}, a == 0);
            require(db.insert(app), "inserting an app");
            QList<PlannedCandidate> candidates;
            for (int keyword = a; keyword < account.keywords; keyword += account.apps)
                candidates.append({QStringLiteral("keyword %1").arg(keyword), KeywordSource::manual, {}, {}});
            require(store.link(candidates, app) == candidates.size(), "linking keywords");
            apps.append(app);
        }

        auto parsed = parseAnswer(answer()).hits;
        // A smoke run stays off the network: the screens that show these hits would fetch
        // their icons, and a fetch still running when the program ends counts as a leak.
        if (BenchRun::smoke()) {
            for (auto &hit : parsed)
                hit.iconURL.reset();
        }
        const auto hits = AppRecords::encodeHits(parsed);
        const QStringList countries{QStringLiteral("us"), QStringLiteral("gb"), QStringLiteral("de")};
        const QDateTime start(QDate(2024, 1, 1), QTime(9, 0), QTimeZone::utc());
        for (int from = 0; from < account.days; from += daysPerSave) {
            StoreDb::Transaction save(db);
            for (int day = from; day < std::min(from + daysPerSave, account.days); ++day) {
                const bool last = day == account.days - 1;
                for (int keyword = 0; keyword < account.keywords; ++keyword) {
                    const auto normalized = QStringLiteral("keyword %1").arg(keyword);
                    for (const auto &country : countries) {
                        // A random id, as the application gives each search: their order in
                        // the unique index is what the application's writes meet.
                        SearchObservation observation{0, QUuid::createUuid(), normalized, country,
                                                      start.addDays(day).addSecs(keyword), true, 200, 200, 1, {}, last,
                                                      last ? hits : QByteArray()};
                        require(db.insert(observation), "inserting a search");
                        RankSnapshot snapshot(apps.at(keyword % account.apps), observation, RankingState::found,
                                              1 + (day + keyword) % 150);
                        require(db.insert(snapshot), "inserting a reading");
                        if (last) {
                            KeywordMetric metric(normalized, country);
                            metric.popularity = 40;
                            metric.popularitySourceRaw = PopularitySources::rawValue(PopularitySource::appleCountry);
                            metric.popularityCheckedAt = observation.checkedAt;
                            metric.difficulty = 55;
                            require(db.insert(metric), "inserting a metric");
                        }
                    }
                }
            }
            require(save.commit(), "saving searches");
            log.largest = std::max(log.largest, QFileInfo(path + QStringLiteral("-wal")).size());
            // The log is copied back and begun anew before the next save, so that it never holds
            // more than one: a run that steps aside gives up waiting for that sooner than a save
            // this large is copied back.
            db.checkpointInBackground();
            if (auto *checkpointer = db.logCheckpointer())
                checkpointer->waitUntilIdle();
        }
        require(db.removeMeta(QStringLiteral("layoutVersion")), "marking the older layout");
        log.bytes = db.bytesWritten();
    }
    ASOStore(StoreDb::openFile(path), std::make_shared<CannedClient>());
    // The memory of that cache goes back to the system rather than stay with the allocator, so
    // that what the program measures next holds no more than the application would.
    ::malloc_trim(0);
    return log;
}

// The bytes this process caused to be written to the disk so far, by the kernel's count.
inline qint64 diskBytesWritten()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const auto &line : io.readAll().split('\n')) {
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    }
    return 0;
}

// Writes an account kept for later runs, once, and says what that took: into `partial`, renamed
// to `file` once whole, so that a run cut short never leaves one that is taken for whole. `more`
// adds to the partial file what the account holds beside the daily tracking.
inline void keepAccount(const QString &file, const QString &partial, const Account &account,
                        const std::function<void(const QString &)> &more = {})
{
    std::fprintf(stderr, "%s: writing an account to %s once\n", program_invocation_short_name, qPrintable(file));
    require(QDir().mkpath(QFileInfo(file).path()), "creating the account's folder");
    QElapsedTimer time;
    time.start();
    const auto diskBefore = diskBytesWritten();
    const auto log = writeAccount(partial, account);
    if (more)
        more(partial);
    require(QFile::rename(partial, file), "keeping the account");
    constexpr double mb = 1 << 20;
    std::fprintf(stderr,
                 "%s: the account is written in %.0f s, %.0f MB; it wrote %.0f MB into its log (%.0f MB at most at a "
                 "time), and the process %.0f MB to the disk in all\n",
                 program_invocation_short_name, double(time.elapsed()) / 1000, double(QFileInfo(file).size()) / mb,
                 double(log.bytes) / mb, double(log.largest) / mb, double(diskBytesWritten() - diskBefore) / mb);
}

// Leaves the database file and its log out of the system's page cache, as after a restart, so
// that reading them goes to the disk.
inline void dropFromPageCache(const QString &path)
{
    for (const auto &suffix : {"", "-wal"}) {
        const auto fd = ::open(QFile::encodeName(path + QLatin1String(suffix)).constData(), O_RDONLY);
        if (fd < 0)
            continue;
        // Written pages stay until they are on the disk.
        ::fsync(fd);
        require(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0, "dropping the file from the page cache");
        ::close(fd);
    }
}

// Leaves the marker of a run that did not end cleanly beside a database file, as a crash does, so
// that the next opening checks the whole file in the background and holds its writes meanwhile; a
// store closed before its check ended keeps the marker. Destroyed, it removes the marker again,
// unless it lay there before: the benchmarks that follow, and the next run, find the file as it
// was found (the stores opened meanwhile wrote nothing to it before their check passed).
class UncleanEnd
{
public:
    explicit UncleanEnd(const QString &databasePath)
        : m_marker(StoreDb::runningMarkerPath(databasePath)), m_wasThere(QFileInfo::exists(m_marker))
    {
    }
    ~UncleanEnd()
    {
        if (!m_wasThere)
            QFile::remove(m_marker);
    }
    Q_DISABLE_COPY_MOVE(UncleanEnd)

    // Before each opening: a store whose check passed removed the marker as it closed.
    void leave() { require(QFile(m_marker).open(QIODevice::WriteOnly), "leaving the marker of an unclean end"); }

private:
    QString m_marker;
    bool m_wasThere;
};

inline void setLayout(const QString &path, qint64 version)
{
    auto db = StoreDb::openFile(path);
    // A file left with the marker of an unclean end is checked first, and its writes are refused
    // meanwhile.
    require(!db->writesHeld(), "opening the account without a check after an unclean end");
    require(db->removeMeta(QStringLiteral("layoutVersion")), "removing the layout version");
    StoreMeta layout(QStringLiteral("layoutVersion"), version);
    require(db->insert(layout), "setting the layout version");
}

// A year of 500 keywords of 25 apps (in a smoke run, 4 days of 50 keywords). Written on first use,
// since it takes a while.
inline QString yearPath()
{
    static const QString path = [] {
        writeAccount(databasePath("year"),
                     BenchRun::pick(Account{trackedApps, 500, 365}, Account{trackedApps, 50, 4}));
        return databasePath("year");
    }();
    return path;
}

// The large account: a year of 5,000 keywords of 50 apps, 5.5 million searches. Kept beside the
// program, since writing it takes minutes; benchmarks open it through largeCopy() only. A smoke
// run writes 3 days of 100 keywords of the 50 apps into its work folder instead.
inline QString largePath()
{
    static const QString path = [] {
        if (BenchRun::smoke()) {
            const auto file = databasePath("large-account");
            writeAccount(file, {50, 100, 3});
            return file;
        }
        const auto folder = QCoreApplication::applicationDirPath() + QStringLiteral("/cache");
        // Named after what it holds, so that one written before (with searches ordered by their ids)
        // is never taken for it.
        const auto file = folder + QStringLiteral("/large-account-random-ids.sqlite");
        if (!QFileInfo::exists(file))
            keepAccount(file, folder + QStringLiteral("/large-account-partial.sqlite"), {50, 5000, 365});
        return file;
    }();
    return path;
}

// A copy of the large account in the work folder, made on first use: every opening of the store
// stamps the file, and the one kept beside the program stays as written.
inline QString largeCopy()
{
    static const QString path = [] {
        const auto copy = databasePath("large-copy");
        require(QFile::copy(largePath(), copy), "copying the large account");
        return copy;
    }();
    return path;
}

inline std::unique_ptr<ASOStore> freshStore(const char *name)
{
    QFile::remove(databasePath(name));
    return std::make_unique<ASOStore>(StoreDb::openFile(databasePath(name)), std::make_shared<CannedClient>());
}

// An app with 2,000 keywords, a third of them linked twice, each with a rank state and a metric.
inline std::unique_ptr<ASOStore> rowsStore(TrackedApp &app)
{
    auto store = freshStore("rows");
    app = TrackedApp(AppInfo{QStringLiteral("100001"), QStringLiteral("App")}, true);
    store->db().insert(app);
    QList<PlannedCandidate> candidates;
    for (int i = 0; i < 2000; ++i) {
        const auto text = QStringLiteral("keyword %1").arg(i);
        candidates.append({text, KeywordSource::indexedPhrase, {}, {}});
        if (i % 3 == 0)
            candidates.append({text, KeywordSource::description, QStringLiteral("From the description"), {}});
    }
    store->link(candidates, app);
    StoreDb::Transaction save(store->db());
    for (int i = 0; i < 2000; ++i) {
        const auto normalized = QStringLiteral("keyword %1").arg(i);
        SearchObservation observation{0, QUuid::createUuid(), normalized, QStringLiteral("us"),
                                      QDateTime::currentDateTimeUtc(), true, 200, 200, 1, {}, true, {}};
        RankState state(app.appleAppId, RankSnapshot(app, observation, RankingState::found, 1 + i % 150));
        state.apply(RankSnapshot(app, observation, RankingState::found, 1 + i % 120));
        store->db().insert(state);
        KeywordMetric metric(normalized, QStringLiteral("us"));
        metric.popularity = i % 100;
        metric.difficulty = i % 90;
        store->db().insert(metric);
    }
    save.commit();
    return store;
}

}
