#include "keywords/DiscoveryPlanner.h"
#include "keywords/KeywordGap.h"

#include <QtTest>

#include <algorithm>

using namespace DiscoveryPlanner;

Q_DECLARE_METATYPE(QList<FoundKeyword>)

namespace {

SearchHit hit(const QString &id, const QString &name, int rank, const std::optional<QString> &genre = {})
{
    return {.appleAppId = id, .name = name, .primaryGenre = genre, .rank = rank};
}

AppInfo app(const QString &id, const QString &name, const std::optional<QString> &description = {})
{
    return {.appleAppId = id, .name = name, .description = description};
}

// "SOURCE|text|detail[|app]" per candidate.
QStringList describe(const QList<PlannedCandidate> &candidates)
{
    QStringList out;
    for (const PlannedCandidate &c : candidates) {
        QString line = KeywordSources::rawValue(c.source) + u'|' + c.text + u'|' + c.detail.value_or("-");
        if (c.sourceAppleAppId)
            line += u'|' + *c.sourceAppleAppId;
        out.append(line);
    }
    return out;
}

QStringList withDetail(const QList<PlannedCandidate> &candidates, const QString &detail)
{
    QStringList out;
    for (const PlannedCandidate &c : candidates) {
        if (c.detail == detail)
            out.append(c.text);
    }
    return out;
}

// A deterministic pseudo-random stream, so that the large input is the same on every run.
struct Stream
{
    quint64 state = 7;
    int next(qsizetype bound)
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((state >> 33) % quint64(bound));
    }
};

const QStringList words{"photo", "editor", "collage", "maker", "filters", "video", "camera", "studio", "retouch",
                        "beauty", "selfie", "frame", "sticker", "effects", "lab", "snap", "pixel", "art",
                        "design", "paint", "sketch", "color", "vintage", "film", "crop", "layout", "grid",
                        "portrait", "blur", "background", "eraser", "cutout", "text", "font", "poster"};

QString nameFrom(Stream &s)
{
    QString name = words.at(s.next(words.size()));
    name[0] = name[0].toUpper();
    const int more = 1 + s.next(3);
    for (int i = 0; i < more; ++i)
        name += (i == 1 && s.next(2) ? QStringLiteral(": ") : QStringLiteral(" ")) + words.at(s.next(words.size()));
    return name;
}

struct LargeInput
{
    AppInfo target = app("1", "Snap Photo Editor: Collage Maker",
                         "Edit photos with filters and effects. Photo collage maker with grid layouts.\n"
                         "Retouch selfies, blur backgrounds, add text and stickers. Visit www.example.com now.");
    QStringList seeds, found, known;
    QList<ObservedKeyword> observations;
    QList<AppInfo> related;

    LargeInput()
    {
        Stream s;
        target.genres = {"Photo & Video", "Graphics & Design"};
        target.primaryGenre = "Photo & Video";
        QList<std::pair<QString, QString>> pool;
        for (int i = 0; i < 150; ++i)
            pool.append({QString::number(100 + i * 37), nameFrom(s)});
        for (int k = 0; k < 40; ++k) {
            ObservedKeyword observed;
            do {
                observed.keyword = words.at(s.next(words.size())) + u' ' + words.at(s.next(words.size()));
            } while (known.contains(observed.keyword));
            for (int r = 1; r <= 30; ++r) {
                const auto &[id, name] = s.next(25) == 0 ? std::pair<QString, QString>{"1", target.name}
                                                         : pool.at(s.next(pool.size()));
                observed.hits.append(hit(id, name, r, s.next(3) ? std::optional<QString>("Photo & Video") : std::nullopt));
            }
            observations.append(observed);
            known.append(observed.keyword);
            if (k % 3 == 0)
                found.append(observed.keyword);
        }
        for (int i = 0; i < 6; ++i)
            related.append(app(pool.at(i * 7).first, pool.at(i * 7).second,
                               nameFrom(s) + ". " + nameFrom(s) + " with " + nameFrom(s) + ". " + nameFrom(s)));
        seeds = DiscoveryPlanner::seeds({{found.value(0), 3}, {found.value(1), 9}, {"photo editor", 12}}, 30);
    }
};

}

class TestDiscoveryPlanner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void roundZeroGroups()
    {
        AppInfo photoLab = app("1", "Photo Lab", "Collage maker. Photo filters. Photo editor");
        photoLab.developerName = "Acme Labs, Inc.";
        photoLab.primaryGenre = "Photography";
        photoLab.genres = {"Photography", "Graphics & Design"};
        const auto actual = roundZero(photoLab, {"Selfie Edit", "Photo Lab"}, {"photo lab", "collage maker"},
                                      {"collage maker"});
        const QString indexed = QStringLiteral("all words indexed for this app");
        const QString extended = QStringLiteral("found phrase + indexed word");
        const QStringList expected{
            // indexed vocabulary, interleaved
            "INDEXED_PHRASE|photo lab|" + indexed,
            "INDEXED_PHRASE|collage makers|" + indexed,
            "INDEXED_PHRASE|photo lab collage|" + extended,
            "PROBE|photo filters|tests whether \u201Cfilters\u201D is indexed",
            "PROBE|photo editor|tests whether \u201Ceditor\u201D is indexed",
            "COMBINATION|photo collage|two indexed words",
            "INDEXED_PHRASE|photo lab maker|" + extended,
            "COMBINATION|photo maker|two indexed words",
            "INDEXED_PHRASE|collage maker photo|" + extended,
            "COMBINATION|lab collage|two indexed words",
            "INDEXED_PHRASE|collage maker lab|" + extended,
            "COMBINATION|lab maker|two indexed words",
            // generator, without its seeds (the name repeats a seed) and without combinations
            "APP_NAME|photo|-",
            "DESCRIPTION|collage maker|-",
            "CATEGORY|photography|Photography",
            "DEVELOPER|Acme Labs|Acme Labs, Inc.",
            "APP_NAME|lab|-",
            "DESCRIPTION|photo filters|-",
            "DESCRIPTION|photo editor|-",
            // genres
            "CATEGORY|Photography|genre",
            "CATEGORY|Graphics & Design|genre",
            // metadata phrases, then seeds lower-cased
            "DESCRIPTION|photo lab|metadata phrase",
            "DESCRIPTION|collage maker|metadata phrase",
            "DESCRIPTION|graphics design|metadata phrase",
            "DESCRIPTION|photo editor|metadata phrase",
            "DESCRIPTION|photo filters|metadata phrase",
            "DESCRIPTION|selfie edit|metadata phrase",
            "EXPANSION|selfie editor|expanded from metadata phrases",
        };
        QCOMPARE(describe(actual), expected);

        // Without genres a primary genre yields no genre candidate; without a description only the
        // name is mined.
        AppInfo bare = app("1", "Photo Lab");
        bare.primaryGenre = "Photography";
        const auto minimal = roundZero(bare, {}, {}, {});
        QCOMPARE(withDetail(minimal, "genre"), QStringList{});
        QCOMPARE(withDetail(minimal, "metadata phrase"), QStringList{"photo lab"});
    }

    void seeds_data()
    {
        QTest::addColumn<QList<FoundKeyword>>("found");
        QTest::addColumn<int>("max");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("same words once") << QList<FoundKeyword>{{"Photo-Editor", 9}, {"photo editor", 4}, {"collage", 60}}
                                         << 30 << QStringList{"photo editor", "collage"};
        QList<FoundKeyword> forty, far;
        QStringList confident;
        for (int i = 0; i < 40; ++i) {
            forty.append({"k" + QString::number(i), 2 * (40 - i) + 26});   // k28 to k39 ranked 50 or better
            far.append({"f" + QString::number(i), 100 + i});
        }
        for (int i = 39; i >= 28; --i)
            confident.append("k" + QString::number(i));
        QTest::newRow("the confident ones, best first") << forty << 30 << confident;
        QTest::newRow("max caps them") << forty << 4 << confident.mid(0, 4);
        QTest::newRow("at least five") << far << 30 << QStringList{"f0", "f1", "f2", "f3", "f4"};
        QTest::newRow("equal ranks keep input order")
            << QList<FoundKeyword>{{"b", 3}, {"a", 3}, {"c", 1}} << 30 << QStringList{"c", "b", "a"};
        QTest::newRow("negative max") << forty << -2 << QStringList{};
    }

    void seeds()
    {
        QFETCH(QList<FoundKeyword>, found);
        QFETCH(int, max);
        QFETCH(QStringList, expected);
        QCOMPARE(DiscoveryPlanner::seeds(found, max), expected);
    }

    void relatedAppsWeighsTargetAnywhere()
    {
        const QList<ObservedKeyword> observations{
            {"one", {hit("X", "X", 1), hit("Y", "Y", 2), hit("1", "Me", 30)}},
            {"two", {hit("X", "X", 1), hit("Y", "Y", 3), hit("Z", "Z", 21), hit("Z", "Z", 22)}},
        };
        const auto scores = relatedApps(app("1", "Me"), observations, {}, 25);
        QCOMPARE(scores.size(), 2);
        QCOMPARE(scores.at(0).appleAppId, QStringLiteral("X"));
        QCOMPARE(scores.at(0).score, 6.0);   // 2 * 2 when the target was found, 1 * 2 otherwise
        QCOMPARE(scores.at(1).appleAppId, QStringLiteral("Y"));
        QCOMPARE(relatedApps(app("1", "Me"), observations, {"X"}, 25).size(), 1);
    }

    void roundNRelatedTerms()
    {
        const QList<AppInfo> related{app("100", "Photo Lab"), app("200", "Photo Lab Studio"), app("300", "Photo Lab Express")};
        const auto actual = roundN(app("1", "Snap Editor"), {"photo lab"}, {}, related, true, {}, {});
        const QString indexed = QStringLiteral("all words indexed for this app");
        const QStringList expected{
            "INDEXED_PHRASE|snap editor|" + indexed,
            "INDEXED_PHRASE|photo lab|" + indexed,
            "INDEXED_PHRASE|photo lab snap|found phrase + indexed word",
            "PROBE|lab studio|tests whether \u201Cstudio\u201D is indexed",
            "PROBE|photo lab studio|tests whether \u201Cstudio\u201D is indexed",
            "COMBINATION|snap photo|two indexed words",
            "INDEXED_PHRASE|photo lab editor|found phrase + indexed word",
            "PROBE|lab express|tests whether \u201Cexpress\u201D is indexed",
            "PROBE|photo lab express|tests whether \u201Cexpress\u201D is indexed",
            "COMBINATION|snap lab|two indexed words",
            "COMBINATION|editor photo|two indexed words",
            "COMBINATION|editor lab|two indexed words",
            "RELATED_APP|photo lab|Photo Lab (3 related apps)|100",
            "RELATED_APP|lab|Photo Lab (3 related apps)|100",
            "RELATED_APP|photo|Photo Lab (3 related apps)|100",
            "RELATED_APP|lab studio|Photo Lab Studio (1 related app)|200",
            "RELATED_APP|lab express|Photo Lab Express (1 related app)|300",
        };
        QCOMPARE(describe(actual), expected);
    }

    void roundNTitleSuggestions_data()
    {
        QTest::addColumn<bool>("suggestions");
        QTest::addColumn<QStringList>("completions");
        QTest::addColumn<QStringList>("recurring");
        QTest::newRow("on") << true << QStringList{"quick photo editor", "photo editor studio"}
                            << QStringList{"photo editor", "editor", "photo", "quick photo", "editor studio", "quick",
                                           "studio"};
        QTest::newRow("off") << false << QStringList{} << QStringList{};
    }

    void roundNTitleSuggestions()
    {
        QFETCH(bool, suggestions);
        QFETCH(QStringList, completions);
        QFETCH(QStringList, recurring);
        // The app's own hit and hits ranked below 10 give no title; a later hit of an app replaces
        // its title.
        const QList<ObservedKeyword> observations{
            {"photo editor",
             {hit("1", "Photo Editor Deluxe", 1), hit("10", "Quick Photo Editor", 2), hit("20", "Photo Editor Studio", 3),
              hit("30", "Quick Photo Editor Studio", 4), hit("40", "Photo Editor Deluxe", 5),
              hit("50", "Photo Editor Studio", 11)}},
            {"collage", {hit("10", "Quick Photo Editor: Collage", 1)}},
        };
        const auto actual = roundN(app("1", "Snap"), {"photo editor"}, observations, {}, suggestions, {"photo editor"}, {});
        QCOMPARE(withDetail(actual, "search-result-completions"), completions);
        QCOMPARE(withDetail(actual, "recurring-title-terms"), recurring);
    }

    void roundNIsDeterministic()
    {
        const LargeInput in;
        const QSet<QString> known(in.known.cbegin(), in.known.cend());
        const auto first = roundN(in.target, in.seeds, in.observations, in.related, true, in.found, known);
        QVERIFY(first.size() > 100);
        for (const KeywordSource source : {KeywordSource::indexedPhrase, KeywordSource::suggestion,
                                           KeywordSource::relatedApp, KeywordSource::expansion}) {
            QVERIFY2(std::any_of(first.cbegin(), first.cend(), [source](const auto &c) { return c.source == source; }),
                     qPrintable(KeywordSources::rawValue(source)));
        }

        // Other hash seeds and another insertion order of the known set must not change a byte.
        for (int run = 0; run < 3; ++run) {
            run == 0 ? QHashSeed::setDeterministicGlobalSeed() : QHashSeed::resetRandomGlobalSeed();
            QSet<QString> other;
            other.reserve(1000 * (run + 1));
            for (qsizetype i = in.known.size(); i-- > 0;)
                other.insert(in.known.at((i + run * 7) % in.known.size()));
            const auto again = roundN(in.target, in.seeds, in.observations, in.related, true, in.found, other);
            QCOMPARE(describe(again), describe(first));
            QCOMPARE(describe(roundZero(in.target, {"Selfie Edit"}, in.found, other)),
                     describe(roundZero(in.target, {"Selfie Edit"}, in.found, known)));
        }
        QHashSeed::resetRandomGlobalSeed();
    }

    void gapSuggestionsAreDeterministic()
    {
        const LargeInput in;
        auto describeAll = [](const QList<KeywordGap::Suggestion> &list) {
            QStringList out;
            for (const auto &s : list)
                out.append(s.appleAppId + u' ' + s.name + u' ' + s.keywords.join(u',') + u' '
                           + QString::number(s.averageRank));
            return out;
        };
        KeywordGap::EvidenceMap forward;
        for (const ObservedKeyword &o : in.observations)
            forward.insert(o.keyword, KeywordGap::Evidence::results(o.hits));
        const QStringList first = describeAll(KeywordGap::suggestions(forward, {"1"}, 20, 2, 25));
        QCOMPARE(first.size(), 25);

        QHashSeed::resetRandomGlobalSeed();
        KeywordGap::EvidenceMap backward;
        for (auto it = in.observations.crbegin(); it != in.observations.crend(); ++it)
            backward.insert(it->keyword, KeywordGap::Evidence::results(it->hits));
        QCOMPARE(describeAll(KeywordGap::suggestions(backward, {"1"}, 20, 2, 25)), first);
    }
};

QTEST_GUILESS_MAIN(TestDiscoveryPlanner)
#include "tst_discoveryplanner.moc"
