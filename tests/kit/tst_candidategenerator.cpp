#include "keywords/CandidateGenerator.h"
#include "support/Unicode.h"

#include <QRandomGenerator>
#include <QtTest>

#include <climits>

using CandidateGenerator::Input;

// Rows name only the input fields they set; g++ 12 still warns of the others.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

Q_DECLARE_METATYPE(Input)

namespace {

// One line per candidate: source, normal form, display form and detail.
QStringList lines(const QList<GeneratedCandidate> &candidates)
{
    QStringList result;
    for (const auto &c : candidates) {
        QString line = KeywordSources::rawValue(c.source) + u'|' + c.normalized + u'|' + c.display;
        if (c.detail)
            line += u'|' + *c.detail;
        result.append(line);
    }
    return result;
}

qsizetype countOf(const QList<GeneratedCandidate> &candidates, KeywordSource source)
{
    return std::count_if(candidates.begin(), candidates.end(), [&](const auto &c) { return c.source == source; });
}

}

class TestCandidateGenerator : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void generate_data()
    {
        QTest::addColumn<Input>("input");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("dropped"); // -1: not checked

        const QString c = "|name/seed × category/description";
        // A fifth of 20 combinations fit; "snapix edit" and "snapix photos" did not.
        QTest::newRow("every source in round order")
            << Input{"Snapix", "Acme Labs, Inc.", "Edit photos fast. Edit photos anywhere.", "Photography", {"selfie"},
                     {{"selfie camera", "s1"}}, {}, 20}
            << QStringList{"MANUAL|selfie|selfie", "APP_NAME|snapix|Snapix", "SUGGESTION_PROVIDER|selfie camera|selfie camera|s1",
                           "DESCRIPTION|edit photos|edit photos", "CATEGORY|photography|photography|Photography",
                           "DEVELOPER|acme labs|Acme Labs|Acme Labs, Inc.", "COMBINATION|selfie photography|selfie photography" + c,
                           "DESCRIPTION|edit|edit", "COMBINATION|selfie edit|selfie edit" + c, "DESCRIPTION|photos|photos",
                           "COMBINATION|selfie photos|selfie photos" + c, "DESCRIPTION|photos fast|photos fast",
                           "COMBINATION|snapix photography|snapix photography" + c, "DESCRIPTION|photos anywhere|photos anywhere"}
            << 2;
        // "Photo Lab", the pair "photo lab" and the tokens give photo lab, photo, lab; with the seed
        // photo editor, four keywords.
        QTest::newRow("limit zero") << Input{.appName = "Photo Lab", .seeds = {"Photo Editor", "photo editor", "x"}}
                                    << QStringList{} << 4;
        QTest::newRow("seed cleaned; repeats and unusable seeds neither emitted nor dropped")
            << Input{.seeds = {"Photo  Editor", "photo editor", "one two three four five six seven", "x", "?!"}, .maxCandidates = 10}
            << QStringList{"MANUAL|photo editor|Photo Editor"} << 0;
        QTest::newRow("seeds beyond the limit are dropped") << Input{.seeds = {"Alpha", "Bravo", "bravo"}, .maxCandidates = 1}
                                                            << QStringList{"MANUAL|alpha|Alpha"} << 1;
        // Seed, name, genre and combination all offer "photo"; only "lab photo" counts as dropped.
        QTest::newRow("excluded neither emitted nor dropped")
            << Input{.appName = "Photo", .primaryGenre = "Photo", .seeds = {"PHOTO", "Lab"}, .exclude = {"photo"}, .maxCandidates = 1}
            << QStringList{"MANUAL|lab|Lab"} << 1;
        // Round 2 of the name list skips "photo lab" and "photo" and still emits "lab" before the
        // suggestion list's second term.
        QTest::newRow("a repeat is used up within the round")
            << Input{.appName = "Photo Lab", .seeds = {"photo"}, .suggestions = {{"lab tools", "p"}, {"photo lab kit", "p"}},
                     .maxCandidates = 10, .maxCombinations = 0}
            << QStringList{"MANUAL|photo|photo", "APP_NAME|photo lab|Photo Lab", "SUGGESTION_PROVIDER|lab tools|lab tools|p",
                           "APP_NAME|lab|lab", "SUGGESTION_PROVIDER|photo lab kit|photo lab kit|p"}
            << -1;

        const auto developer = [](const QString &name, const QString &display) {
            return QStringList{"DEVELOPER|" + display.toLower() + u'|' + display + u'|' + name};
        };
        for (const auto &[name, display] : {std::pair{"Acme Labs, Inc.", "Acme Labs"}, {"Fotos s.A.", "Fotos"},
                                            {"Pixel Forge,. ", "Pixel Forge"}, {"Disco", "Disco"}, {"Inc.", ""}}) {
            QTest::addRow("developer %s", name) << Input{.developerName = name, .maxCandidates = 50}
                                                << (*display ? developer(name, display) : QStringList{}) << -1;
        }
        QTest::newRow("one genre word offered twice") << Input{.primaryGenre = "Photography", .maxCandidates = 50}
                                                      << QStringList{"CATEGORY|photography|photography|Photography"} << -1;
        const QString f = "|Food Drink Travel";
        QTest::newRow("category cap") << Input{.primaryGenre = "Food Drink Travel", .maxCandidates = 50}
                                      << QStringList{"CATEGORY|food drink travel|food drink travel" + f,
                                                     "CATEGORY|food|food" + f, "CATEGORY|drink|drink" + f}
                                      << 1;
        QTest::newRow("plural never paired with its singular")
            << Input{.primaryGenre = "Photos", .seeds = {"photo"}, .maxCandidates = 50}
            << QStringList{"MANUAL|photo|photo", "CATEGORY|photos|photos|Photos"} << 0;
        const QString v = "|Photo Video";
        QTest::newRow("word containing the other skipped")
            << Input{.primaryGenre = "Photo Video", .seeds = {"photography"}, .maxCandidates = 50}
            << QStringList{"MANUAL|photography|photography", "CATEGORY|photo video|photo video" + v,
                           "COMBINATION|photography video|photography video" + c, "CATEGORY|photo|photo" + v,
                           "CATEGORY|video|video" + v}
            << 0;
    }

    void generate()
    {
        QFETCH(Input, input);
        QFETCH(QStringList, expected);
        QFETCH(int, dropped);
        const auto output = CandidateGenerator::generate(input);
        QCOMPARE(lines(output.candidates), expected);
        if (dropped >= 0)
            QCOMPARE(output.droppedByLimit, dropped);
    }

    void combinationCap_data()
    {
        QTest::addColumn<int>("maxCandidates");
        QTest::addColumn<std::optional<int>>("maxCombinations");
        QTest::addColumn<int>("emitted");
        QTest::newRow("7 gives 2") << 7 << std::optional<int>() << 2;
        QTest::newRow("35 gives 7") << 35 << std::optional<int>() << 7;
        QTest::newRow("explicit cap") << 80 << std::optional<int>(30) << 30;
        QTest::newRow("largest limit: a fifth of it, no overflow") << INT_MAX << std::optional<int>() << 48;
        QTest::newRow("largest limit with an explicit cap") << INT_MAX << std::optional<int>(30) << 30;
    }

    void combinationCap()
    {
        QFETCH(int, maxCandidates);
        QFETCH(std::optional<int>, maxCombinations);
        QFETCH(int, emitted);

        // Six left words from the seed, eight right words from the genre: 48 combinations. The seed
        // and the genre terms themselves are excluded so that only combinations can be emitted.
        const auto output = CandidateGenerator::generate(
            {.primaryGenre = "golf hotel india juliet kilo lima mike november",
             .seeds = {"alpha bravo charlie delta echo foxtrot"},
             .exclude = {"alpha bravo charlie delta echo foxtrot", "golf", "hotel", "india", "juliet", "kilo", "lima", "mike",
                         "november"},
             .maxCandidates = maxCandidates,
             .maxCombinations = maxCombinations});
        QCOMPARE(countOf(output.candidates, KeywordSource::combination), emitted);
        QCOMPARE(output.candidates.size(), emitted);
        QCOMPARE(output.droppedByLimit, 48 - emitted);
        QCOMPARE(output.candidates[1].normalized, "alpha hotel");
    }

    void appNameTerms_data()
    {
        QTest::addColumn<QString>("appName");
        QTest::addColumn<QStringList>("displays");
        QTest::newRow("long name with two segments")
            << "Snap Photo Editor - Filters Collage Maker Studio"
            << QStringList{"Snap Photo Editor", "Filters Collage Maker Studio", "snap photo", "photo editor",
                           "filters collage", "collage maker", "maker studio", "snap", "photo", "editor", "filters",
                           "collage", "maker", "studio"};
        QTest::newRow("one segment") << "Photo  Lab Pro" << QStringList{"Photo Lab Pro", "photo lab", "photo", "lab"};
    }

    void appNameTerms()
    {
        QFETCH(QString, appName);
        QFETCH(QStringList, displays);
        QStringList got;
        for (const auto &c : CandidateGenerator::generate({.appName = appName, .maxCandidates = 50, .maxCombinations = 0}).candidates) {
            QVERIFY(c.source == KeywordSource::appName && !c.detail);
            got.append(c.display);
        }
        QCOMPARE(got, displays);
    }

    void developerSuffixAgreesWithTheExpressions()
    {
        // The developer term is the name with the suffix expression and then the trailing one
        // replaced by nothing, cleaned: names made of suffixes, blanks of every kind, dots, commas,
        // marks and format characters that word boundaries skip, and letters that fold to the
        // suffixes' letters.
        const Unicode::Regex suffix(uR"re([\s,]*\b(inc|llc|ltd|gmbh|corp|co|limited|a\.?s|s\.?a)\.?$)re"_qs, true);
        const Unicode::Regex trailing(uR"re([\s,.]+$)re"_qs);
        const QStringList pool{"Acme", "x", "-", ".", ",", " ", "  ", "\t", "\n", "\r\n", "inc", "Inc.", "LLC", "ltd",
                               "GmbH", "corp", "co", "Co.", "limited", "a.s", "AS", "s.a", "S.A.", u"\u0301"_qs,
                               u"\u00AD"_qs, u"\u200B"_qs, u"\u00A0"_qs, u"\u2028"_qs, u"\u0085"_qs, u"\u3000"_qs,
                               u"ſ"_qs, u"İ"_qs, u"é"_qs};
        QRandomGenerator random(17);
        for (int round = 0; round < 3000; ++round) {
            QString name;
            for (int i = 1 + random.bounded(10); i > 0; --i)
                name += pool[random.bounded(int(pool.size()))];
            const KeywordText::Entry term =
                KeywordText::entry(KeywordText::clean(trailing.replaceAll(suffix.replaceAll(name, {}), {})));
            const QStringList expected = KeywordText::isUsable(term.normalized)
                ? QStringList{"DEVELOPER|" + term.normalized + u'|' + term.display + u'|' + name}
                : QStringList{};
            if (lines(CandidateGenerator::generate({.developerName = name, .maxCandidates = 5}).candidates) != expected)
                QFAIL(qPrintable(u"differs for "_qs + QString::fromLatin1(name.toUtf8().toPercentEncoding())));
        }
    }

    void listCaps()
    {
        // Ten words: not a term itself, nine pairs and ten tokens, of which the list may emit 15.
        const auto output = CandidateGenerator::generate(
            {.appName = "Alpha Bravo Charlie Delta Echo Foxtrot Golf Hotel India Juliet",
             .description = "Zulu yankee. Zulu yankee. Xray whiskey. Xray whiskey. Victor uniform. Victor uniform. "
                            "Tango sierra. Tango sierra. Romeo quebec. Romeo quebec. Papa oscar. Papa oscar. "
                            "Nova mars. Nova mars. Luna sol. Luna sol. Kepler vega. Kepler vega. Orion lyra. Orion lyra. "
                            "Draco hydra. Draco hydra.",
             .maxCandidates = 100,
             .maxCombinations = 0});
        QCOMPARE(countOf(output.candidates, KeywordSource::appName), 15);
        QCOMPARE(countOf(output.candidates, KeywordSource::description), 20);
        // 4 name terms, 13 description terms (11 pairs + 22 words = 33, 20 taken) and every combination.
        QCOMPARE(output.droppedByLimit, 4 + 13 + 6 * 6);
    }

    void providersInFirstSeenOrder()
    {
        Input input{.maxCandidates = 100};
        for (int i = 1; i <= 20; ++i) {
            input.suggestions.append({QStringLiteral("beta %1").arg(i), "b"});
            if (i <= 3)
                input.suggestions.append({QStringLiteral("alpha %1").arg(i), "a"});
        }
        const auto output = CandidateGenerator::generate(input);
        QCOMPARE(lines(output.candidates.mid(0, 4)),
                 (QStringList{"SUGGESTION_PROVIDER|beta 1|beta 1|b", "SUGGESTION_PROVIDER|alpha 1|alpha 1|a",
                              "SUGGESTION_PROVIDER|beta 2|beta 2|b", "SUGGESTION_PROVIDER|alpha 2|alpha 2|a"}));
        QCOMPARE(output.candidates.size(), 18);
        QCOMPARE(output.candidates.last().normalized, "beta 15");
        QCOMPARE(output.droppedByLimit, 5);
    }

    void descriptionTerms_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("expected");

        const QString sample = "Photo editor with filters. The best photo editor! Fast export of filters. Filters everywhere.";
        const QStringList all{"photo editor", "filters", "photo", "editor", "fast export", "filters everywhere"};
        QTest::newRow("pairs, words, single pairs") << sample << 40 << all;
        QTest::newRow("limit") << sample << 3 << all.mid(0, 3);
        QTest::newRow("negative limit") << sample << -1 << QStringList{};
        QTest::newRow("only stop words, numbers, short words") << "The app is 2024 ok go an. Das ist so." << 40
                                                               << QStringList{};
        QTest::newRow("pairs never cross pieces") << u"Photo. Editor! Photo•Editor\nphoto—editor"_qs << 40
                                                  << QStringList{"photo", "editor"};
        QTest::newRow("links removed first") << "photolab.app and https://photolab.io/photolab photolab.app" << 40
                                             << QStringList{};
    }

    void descriptionTerms()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(QStringList, expected);
        QCOMPARE(CandidateGenerator::descriptionTerms(text, limit), expected);
    }

    void nameSegments_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("colon, hyphen, bar; empty piece dropped") << "Foo: Bar - Baz || Qux" << QStringList{"Foo", "Bar", "Baz", "Qux"};
        QTest::newRow("dashes, dots, comma") << u"a – b — c · d • e, f"_qs << QStringList{"a", "b", "c", "d", "e", "f"};
    }

    void nameSegments()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, expected);
        QCOMPARE(CandidateGenerator::nameSegments(name), expected);
    }
};

QTEST_GUILESS_MAIN(TestCandidateGenerator)
#include "tst_candidategenerator.moc"
