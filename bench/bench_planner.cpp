// One later discovery round and the competitor suggestions over the evidence of a large account:
// 500 searched keywords with 200 hits each and 25 looked-up related apps with descriptions.
// The input is generated from a fixed seed, so every run measures the same work.
#include "keywords/DiscoveryPlanner.h"
#include "keywords/KeywordGap.h"

#include "BenchRun.h"

#include <benchmark/benchmark.h>

#include <QSet>

namespace {

// A small linear congruential stream: the same numbers on every machine and run.
class Stream
{
public:
    explicit Stream(quint64 seed) : m_state(seed) {}
    int next(int bound)
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((m_state >> 33) % quint64(bound));
    }
    // Skewed towards small values, as a few apps and words dominate real results.
    int skewed(int bound) { return std::min(next(bound), next(bound)); }

private:
    quint64 m_state;
};

const QStringList &vocabulary()
{
    static const QStringList words = [] {
        const char *const base[] = {
            "photo", "editor", "collage", "maker", "filters", "video", "camera", "studio", "retouch", "beauty",
            "selfie", "frame", "sticker", "effects", "lab", "snap", "pixel", "art", "design", "paint", "sketch",
            "color", "vintage", "film", "crop", "layout", "grid", "portrait", "blur", "background", "eraser",
            "cutout", "text", "font", "poster", "flyer", "logo", "banner", "story", "reels", "music", "slideshow",
            "montage", "cinema", "movie", "clip", "trim", "merge", "speed", "slow", "motion", "glitch", "neon",
            "cartoon", "anime", "avatar", "face", "swap", "makeup", "hair", "body", "shape", "slim", "skin",
            "smooth", "teeth", "whiten", "glow", "light", "shadow", "tone", "curve", "preset", "lut", "grain",
            "lens", "flare", "bokeh", "depth", "focus", "zoom", "scan", "document", "pdf", "print", "album",
            "gallery", "vault", "hide", "private", "lock", "backup", "cloud", "share", "social", "feed", "grid",
            "puzzle", "mosaic", "mirror", "kaleido", "split", "double", "exposure", "blend", "mix", "overlay",
            "watermark", "remove", "object", "magic", "ai", "enhance", "upscale", "restore", "old", "colorize",
            "sky", "replace", "sticker", "emoji", "meme", "gif", "animate", "loop", "boomerang", "timelapse",
            "hyperlapse", "drone", "travel", "journal", "diary", "scrapbook", "planner", "wedding", "baby",
            "pet", "family", "friends", "party", "birthday", "holiday", "christmas", "summer", "beach", "nature",
            "street", "urban", "retro", "classic", "analog", "polaroid", "instant", "disposable", "film", "roll",
        };
        QStringList list;
        for (const char *word : base)
            list.append(QString::fromLatin1(word));
        return list;
    }();
    return words;
}

// Made-up words from syllables: app names and descriptions use far more words than searches do.
const QStringList &rareWords()
{
    static const QStringList words = [] {
        const char *const syllables[] = {"ka", "lo", "mi", "ra", "ven", "tor", "zu", "pel", "qui", "dro",
                                         "sa", "nix", "bel", "co", "fy", "gra", "hu", "ly", "mo", "tri"};
        Stream s(99);
        QStringList list;
        QSet<QString> seen;
        while (list.size() < 2000) {
            QString w;
            const int parts = 2 + s.next(2);
            for (int i = 0; i < parts; ++i)
                w += QLatin1String(syllables[s.next(20)]);
            if (!seen.contains(w)) {
                seen.insert(w);
                list.append(w);
            }
        }
        return list;
    }();
    return words;
}

QString commonWord(Stream &s)
{
    return vocabulary().at(s.skewed(int(vocabulary().size())));
}

QString word(Stream &s)
{
    if (s.next(2))
        return commonWord(s);
    return rareWords().at(s.skewed(int(rareWords().size())));
}

QString appName(Stream &s)
{
    QString name = word(s);
    name[0] = name[0].toUpper();
    const int more = 1 + s.next(4);
    for (int i = 0; i < more; ++i) {
        static const char *const joins[] = {" ", " ", " ", ": ", " - ", " & "};
        QString next = word(s);
        if (s.next(2))
            next[0] = next[0].toUpper();
        name += QLatin1String(joins[s.next(6)]) + next;
    }
    return name;
}

QString description(Stream &s, int sentences)
{
    QString text;
    for (int i = 0; i < sentences; ++i) {
        const int length = 6 + s.next(12);
        QString sentence = word(s);
        sentence[0] = sentence[0].toUpper();
        for (int w = 1; w < length; ++w) {
            static const char *const fillers[] = {"with", "and", "for", "your", "the", "to", "in", "of"};
            sentence += u' ' + (s.next(4) == 0 ? QString::fromLatin1(fillers[s.next(8)]) : word(s));
        }
        static const char *const ends[] = {". ", "! ", ".\n", ".\n\u2022 ", " - ", ", "};
        text += sentence + QString::fromUtf8(ends[s.next(6)]);
        if (s.next(40) == 0)
            text += QStringLiteral("More at https://example.com/app ");
    }
    return text;
}

struct Account
{
    AppInfo target;
    QStringList seeds;
    QStringList foundQueries;
    QSet<QString> known;
    QList<DiscoveryPlanner::ObservedKeyword> observations;
    QList<AppInfo> related;
    KeywordGap::EvidenceMap evidence;
    QSet<QString> trackedApps;
};

Account makeAccount()
{
    Stream s(20240601);
    Account account;
    account.target.appleAppId = QStringLiteral("1234567890");
    account.target.name = QStringLiteral("Snap Photo Editor: Collage Maker");
    account.target.description = description(s, 40);
    account.target.primaryGenre = QStringLiteral("Photo & Video");
    account.target.genres = {QStringLiteral("Photo & Video"), QStringLiteral("Graphics & Design")};

    struct PoolApp
    {
        QString id;
        QString name;
        std::optional<QString> genre;
    };
    QList<PoolApp> pool;
    for (int i = 0; i < 3000; ++i) {
        pool.append({QString::number(300000000 + qint64(i) * 7919), appName(s),
                     s.next(3) ? std::optional<QString>(QStringLiteral("Photo & Video"))
                               : std::optional<QString>(QStringLiteral("Graphics & Design"))});
    }

    QList<DiscoveryPlanner::FoundKeyword> found;
    QSet<QString> keywords;
    while (account.observations.size() < 500) {
        const int length = 1 + s.next(3);
        QStringList parts;
        for (int i = 0; i < length; ++i)
            parts.append(commonWord(s));
        const QString keyword = parts.join(u' ');
        if (keywords.contains(keyword))
            continue;
        keywords.insert(keyword);
        DiscoveryPlanner::ObservedKeyword observed{keyword, {}};
        const int targetRank = s.next(4) == 0 ? 1 + s.skewed(200) : 0;
        for (int rank = 1; rank <= 200; ++rank) {
            SearchHit hit;
            if (rank == targetRank) {
                hit.appleAppId = account.target.appleAppId;
                hit.name = account.target.name;
                hit.primaryGenre = account.target.primaryGenre;
            } else {
                const PoolApp &app = pool.at(s.skewed(int(pool.size())));
                hit.appleAppId = app.id;
                hit.name = app.name;
                hit.primaryGenre = app.genre;
            }
            hit.ratingCount = s.next(100000);
            hit.averageRating = 1.0 + s.next(400) / 100.0;
            hit.rank = rank;
            observed.hits.append(hit);
        }
        if (targetRank > 0) {
            found.append({keyword, targetRank});
            account.foundQueries.append(keyword);
        }
        account.known.insert(keyword);
        account.evidence.insert(keyword, KeywordGap::Evidence::results(observed.hits));
        account.observations.append(observed);
    }
    account.seeds = DiscoveryPlanner::seeds(found, 30);

    for (int i = 0; i < 25; ++i) {
        const PoolApp &app = pool.at(i * 11);
        AppInfo info;
        info.appleAppId = app.id;
        info.name = app.name;
        info.primaryGenre = app.genre;
        info.description = description(s, 30 + s.next(30));
        account.related.append(info);
        account.trackedApps.insert(app.id);
    }
    account.trackedApps.insert(account.target.appleAppId);
    return account;
}

const Account &account()
{
    static const Account built = makeAccount();
    return built;
}

void roundN(benchmark::State &state)
{
    const Account &a = account();
    for (auto _ : state) {
        auto candidates = DiscoveryPlanner::roundN(a.target, a.seeds, a.observations, a.related, true,
                                                   a.foundQueries, a.known);
        benchmark::DoNotOptimize(candidates);
    }
    state.counters["candidates"] = double(DiscoveryPlanner::roundN(a.target, a.seeds, a.observations, a.related,
                                                                   true, a.foundQueries, a.known)
                                              .size());
}

void roundZero(benchmark::State &state)
{
    const Account &a = account();
    for (auto _ : state) {
        auto candidates = DiscoveryPlanner::roundZero(a.target, a.seeds, a.foundQueries, a.known);
        benchmark::DoNotOptimize(candidates);
    }
}

// What the application itself hands a round: only the hits ranked 1 to 20 of each search.
void roundNTop20(benchmark::State &state)
{
    const Account &a = account();
    QList<DiscoveryPlanner::ObservedKeyword> top = a.observations;
    for (auto &observed : top)
        observed.hits = observed.hits.mid(0, 20);
    for (auto _ : state) {
        auto candidates = DiscoveryPlanner::roundN(a.target, a.seeds, top, a.related, true, a.foundQueries, a.known);
        benchmark::DoNotOptimize(candidates);
    }
}

void relatedApps(benchmark::State &state)
{
    const Account &a = account();
    for (auto _ : state) {
        auto scores = DiscoveryPlanner::relatedApps(a.target, a.observations, {}, 25);
        benchmark::DoNotOptimize(scores);
    }
}

void gapSuggestions(benchmark::State &state)
{
    const Account &a = account();
    for (auto _ : state) {
        auto suggestions = KeywordGap::suggestions(a.evidence, a.trackedApps, 20, 2, 25);
        benchmark::DoNotOptimize(suggestions);
    }
}

}

BENCHMARK(roundN)->Unit(benchmark::kMillisecond);
BENCHMARK(roundZero)->Unit(benchmark::kMillisecond);
BENCHMARK(roundNTop20)->Unit(benchmark::kMillisecond);
BENCHMARK(relatedApps)->Unit(benchmark::kMillisecond);
BENCHMARK(gapSuggestions)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return BenchRun::run(argc, argv);
}
