#include "keywords/CandidateGenerator.h"

#include <QtTest>

using CandidateGenerator::Input;
using CandidateGenerator::Suggestion;

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
    void everySourceInRoundOrder();
    void seedsLimitsAndExclusions_data();
    void seedsLimitsAndExclusions();
    void combinationCap_data();
    void combinationCap();
    void appNameTerms_data();
    void appNameTerms();
    void repeatIsUsedUpWithinTheRound();
    void listCaps();
    void providersInFirstSeenOrder();
    void developerCategoryAndCombinations_data();
    void developerCategoryAndCombinations();
    void descriptionTerms_data();
    void descriptionTerms();
    void nameSegments_data();
    void nameSegments();
};

void TestCandidateGenerator::everySourceInRoundOrder()
{
    Input input;
    input.appName = "Snapix";
    input.developerName = "Acme Labs, Inc.";
    input.primaryGenre = "Photography";
    input.description = "Edit photos fast. Edit photos anywhere.";
    input.seeds = {"selfie"};
    input.suggestions = {{"selfie camera", "s1"}};
    input.maxCandidates = 20;

    const auto output = CandidateGenerator::generate(input);
    const QString combination = "|name/seed × category/description";
    QCOMPARE(lines(output.candidates),
             (QStringList{"MANUAL|selfie|selfie",
                          "APP_NAME|snapix|Snapix",
                          "SUGGESTION_PROVIDER|selfie camera|selfie camera|s1",
                          "DESCRIPTION|edit photos|edit photos",
                          "CATEGORY|photography|photography|Photography",
                          "DEVELOPER|acme labs|Acme Labs|Acme Labs, Inc.",
                          "COMBINATION|selfie photography|selfie photography" + combination,
                          "DESCRIPTION|edit|edit",
                          "COMBINATION|selfie edit|selfie edit" + combination,
                          "DESCRIPTION|photos|photos",
                          "COMBINATION|selfie photos|selfie photos" + combination,
                          "DESCRIPTION|photos fast|photos fast",
                          "COMBINATION|snapix photography|snapix photography" + combination,
                          "DESCRIPTION|photos anywhere|photos anywhere"}));
    // A fifth of 20 combinations fit; "snapix edit" and "snapix photos" did not.
    QCOMPARE(output.droppedByLimit, 2);
}

void TestCandidateGenerator::seedsLimitsAndExclusions_data()
{
    QTest::addColumn<QString>("appName");
    QTest::addColumn<QStringList>("seeds");
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QSet<QString>>("exclude");
    QTest::addColumn<int>("maxCandidates");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("dropped");

    // "Photo Lab", the pair "photo lab" and the tokens give photo lab, photo, lab; with the
    // seed photo editor, four keywords.
    QTest::newRow("limit zero") << "Photo Lab" << QStringList{"Photo Editor", "photo editor", "x"} << QString()
                                << QSet<QString>{} << 0 << QStringList{} << 4;
    QTest::newRow("negative limit") << "Photo Lab" << QStringList{"Photo Editor", "photo editor", "x"} << QString()
                                    << QSet<QString>{} << -5 << QStringList{} << 4;
    QTest::newRow("seed cleaned; repeats and unusable seeds neither emitted nor dropped")
        << "" << QStringList{"Photo  Editor", "photo editor", "one two three four five six seven", "x", "?!"}
        << QString() << QSet<QString>{} << 10 << QStringList{"MANUAL|photo editor|Photo Editor"} << 0;
    QTest::newRow("seeds beyond the limit are dropped") << "" << QStringList{"Alpha", "Bravo", "bravo"} << QString()
                                                        << QSet<QString>{} << 1 << QStringList{"MANUAL|alpha|Alpha"} << 1;
    // Seed, name, genre and combination all offer "photo"; only "lab photo" counts as dropped.
    QTest::newRow("excluded neither emitted nor dropped")
        << "Photo" << QStringList{"PHOTO", "Lab"} << "Photo" << QSet<QString>{"photo"} << 1
        << QStringList{"MANUAL|lab|Lab"} << 1;
}

void TestCandidateGenerator::seedsLimitsAndExclusions()
{
    QFETCH(QString, appName);
    QFETCH(QStringList, seeds);
    QFETCH(QString, genre);
    QFETCH(QSet<QString>, exclude);
    QFETCH(int, maxCandidates);
    QFETCH(QStringList, expected);
    QFETCH(int, dropped);
    Input input;
    input.appName = appName;
    input.seeds = seeds;
    if (!genre.isEmpty())
        input.primaryGenre = genre;
    input.exclude = exclude;
    input.maxCandidates = maxCandidates;
    const auto output = CandidateGenerator::generate(input);
    QCOMPARE(lines(output.candidates), expected);
    QCOMPARE(output.droppedByLimit, dropped);
}

void TestCandidateGenerator::combinationCap_data()
{
    QTest::addColumn<int>("maxCandidates");
    QTest::addColumn<std::optional<int>>("maxCombinations");
    QTest::addColumn<int>("emitted");

    QTest::newRow("80 gives 16") << 80 << std::optional<int>() << 16;
    QTest::newRow("7 gives 2") << 7 << std::optional<int>() << 2;
    QTest::newRow("1 gives 1") << 1 << std::optional<int>() << 1;
    QTest::newRow("35 gives 7") << 35 << std::optional<int>() << 7;
    QTest::newRow("0 gives 0") << 0 << std::optional<int>() << 0;
    QTest::newRow("negative gives 0") << -4 << std::optional<int>() << 0;
    QTest::newRow("explicit cap") << 80 << std::optional<int>(30) << 30;
    QTest::newRow("negative explicit cap") << 80 << std::optional<int>(-3) << 0;
}

void TestCandidateGenerator::combinationCap()
{
    QFETCH(int, maxCandidates);
    QFETCH(std::optional<int>, maxCombinations);
    QFETCH(int, emitted);

    // Six left words from the seed, eight right words from the genre: 48 combinations. The seed
    // and the genre terms themselves are excluded so that only combinations can be emitted.
    Input input;
    input.seeds = {"alpha bravo charlie delta echo foxtrot"};
    input.primaryGenre = "golf hotel india juliet kilo lima mike november";
    input.exclude = {"alpha bravo charlie delta echo foxtrot", "golf", "hotel", "india", "juliet", "kilo",
                     "lima", "mike", "november"};
    input.maxCandidates = maxCandidates;
    input.maxCombinations = maxCombinations;

    const auto output = CandidateGenerator::generate(input);
    QCOMPARE(output.candidates.size(), emitted);
    QCOMPARE(countOf(output.candidates, KeywordSource::combination), emitted);
    QCOMPARE(output.droppedByLimit, 48 - emitted);
    if (emitted >= 2) {
        QCOMPARE(output.candidates[0].normalized, "alpha golf");
        QCOMPARE(output.candidates[1].normalized, "alpha hotel");
    }
}

void TestCandidateGenerator::appNameTerms_data()
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

void TestCandidateGenerator::appNameTerms()
{
    QFETCH(QString, appName);
    QFETCH(QStringList, displays);
    Input input;
    input.appName = appName;
    input.maxCandidates = 50;
    input.maxCombinations = 0;
    QStringList got;
    for (const auto &c : CandidateGenerator::generate(input).candidates) {
        QCOMPARE(c.source, KeywordSource::appName);
        QVERIFY(!c.detail);
        got.append(c.display);
    }
    QCOMPARE(got, displays);
}

void TestCandidateGenerator::repeatIsUsedUpWithinTheRound()
{
    Input input;
    input.appName = "Photo Lab";
    input.seeds = {"photo"};
    input.suggestions = {{"lab tools", "p"}, {"photo lab kit", "p"}};
    input.maxCandidates = 10;
    input.maxCombinations = 0;
    // Round 2 of the name list skips "photo lab" and "photo" and still emits "lab" before the
    // suggestion list's second term.
    QCOMPARE(lines(CandidateGenerator::generate(input).candidates),
             (QStringList{"MANUAL|photo|photo", "APP_NAME|photo lab|Photo Lab", "SUGGESTION_PROVIDER|lab tools|lab tools|p",
                          "APP_NAME|lab|lab", "SUGGESTION_PROVIDER|photo lab kit|photo lab kit|p"}));
}

void TestCandidateGenerator::listCaps()
{
    Input input;
    // Ten words: not a term itself, nine pairs and ten tokens, of which the list may emit 15.
    input.appName = "Alpha Bravo Charlie Delta Echo Foxtrot Golf Hotel India Juliet";
    input.description = "Zulu yankee. Zulu yankee. Xray whiskey. Xray whiskey. Victor uniform. Victor uniform. "
                        "Tango sierra. Tango sierra. Romeo quebec. Romeo quebec. Papa oscar. Papa oscar. "
                        "Nova mars. Nova mars. Luna sol. Luna sol. Kepler vega. Kepler vega. Orion lyra. Orion lyra. "
                        "Draco hydra. Draco hydra.";
    input.maxCandidates = 100;
    input.maxCombinations = 0;
    const auto output = CandidateGenerator::generate(input);
    QCOMPARE(countOf(output.candidates, KeywordSource::appName), 15);
    QCOMPARE(countOf(output.candidates, KeywordSource::description), 20);
    // 4 name terms, 13 description terms (11 pairs + 22 words = 33, 20 taken) and every combination.
    QCOMPARE(output.droppedByLimit, 4 + 13 + 6 * 6);
}

void TestCandidateGenerator::providersInFirstSeenOrder()
{
    Input input;
    for (int i = 1; i <= 20; ++i) {
        input.suggestions.append({QStringLiteral("beta %1").arg(i), "b"});
        if (i <= 3)
            input.suggestions.append({QStringLiteral("alpha %1").arg(i), "a"});
    }
    input.maxCandidates = 100;
    const auto output = CandidateGenerator::generate(input);
    QCOMPARE(lines(output.candidates.mid(0, 4)),
             (QStringList{"SUGGESTION_PROVIDER|beta 1|beta 1|b", "SUGGESTION_PROVIDER|alpha 1|alpha 1|a",
                          "SUGGESTION_PROVIDER|beta 2|beta 2|b", "SUGGESTION_PROVIDER|alpha 2|alpha 2|a"}));
    QCOMPARE(output.candidates.size(), 18);
    QCOMPARE(output.candidates.last().normalized, "beta 15");
    QCOMPARE(output.droppedByLimit, 5);
}

void TestCandidateGenerator::developerCategoryAndCombinations_data()
{
    QTest::addColumn<QString>("developer");
    QTest::addColumn<QString>("genre");
    QTest::addColumn<QStringList>("seeds");
    QTest::addColumn<QStringList>("expected");

    const auto developer = [](const QString &display, const QString &name) {
        return QStringList{"DEVELOPER|" + display.toLower() + u'|' + display + u'|' + name};
    };
    QTest::newRow("Inc with comma") << "Acme Labs, Inc." << "" << QStringList{} << developer("Acme Labs", "Acme Labs, Inc.");
    QTest::newRow("Co") << "Coco Co." << "" << QStringList{} << developer("Coco", "Coco Co.");
    QTest::newRow("word starting like a suffix") << "Cocoa" << "" << QStringList{} << developer("Cocoa", "Cocoa");
    QTest::newRow("S.A. in any case") << "Fotos s.A." << "" << QStringList{} << developer("Fotos", "Fotos s.A.");
    QTest::newRow("trailing punctuation") << "Pixel Forge,. " << "" << QStringList{} << developer("Pixel Forge", "Pixel Forge,. ");
    QTest::newRow("nothing left") << "Inc." << "" << QStringList{} << QStringList{};

    const QString h = "|Health & Fitness";
    QTest::newRow("two genre words") << "" << "Health & Fitness" << QStringList{}
                                     << QStringList{"CATEGORY|health fitness|health fitness" + h,
                                                    "CATEGORY|health|health" + h, "CATEGORY|fitness|fitness" + h};
    QTest::newRow("one genre word offered twice") << "" << "Photography" << QStringList{}
                                                  << QStringList{"CATEGORY|photography|photography|Photography"};
    const QString f = "|Food Drink Travel";
    QTest::newRow("category cap") << "" << "Food Drink Travel" << QStringList{}
                                  << QStringList{"CATEGORY|food drink travel|food drink travel" + f,
                                                 "CATEGORY|food|food" + f, "CATEGORY|drink|drink" + f};

    const QString c = "|name/seed × category/description";
    QTest::newRow("plural never paired with its singular") << "" << "Photos" << QStringList{"photo"}
                                                           << QStringList{"MANUAL|photo|photo", "CATEGORY|photos|photos|Photos"};
    const QString v = "|Photo Video";
    QTest::newRow("word containing the other skipped")
        << "" << "Photo Video" << QStringList{"photography"}
        << QStringList{"MANUAL|photography|photography", "CATEGORY|photo video|photo video" + v,
                       "COMBINATION|photography video|photography video" + c, "CATEGORY|photo|photo" + v,
                       "CATEGORY|video|video" + v};
}

void TestCandidateGenerator::developerCategoryAndCombinations()
{
    QFETCH(QString, developer);
    QFETCH(QString, genre);
    QFETCH(QStringList, seeds);
    QFETCH(QStringList, expected);
    Input input;
    if (!developer.isEmpty())
        input.developerName = developer;
    if (!genre.isEmpty())
        input.primaryGenre = genre;
    input.seeds = seeds;
    input.maxCandidates = 50;
    QCOMPARE(lines(CandidateGenerator::generate(input).candidates), expected);
}

void TestCandidateGenerator::descriptionTerms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QStringList>("expected");

    const QString sample = "Photo editor with filters. The best photo editor! Fast export of filters. Filters everywhere.";
    const QStringList all{"photo editor", "filters", "photo", "editor", "fast export", "filters everywhere"};
    QTest::newRow("pairs, words, single pairs") << sample << 40 << all;
    QTest::newRow("limit") << sample << 3 << all.mid(0, 3);
    QTest::newRow("limit zero") << sample << 0 << QStringList{};
    QTest::newRow("negative limit") << sample << -1 << QStringList{};
    QTest::newRow("only stop words, numbers, short words") << "The app is 2024 ok go an. Das ist so." << 40
                                                           << QStringList{};
    QTest::newRow("pairs never cross pieces") << u"Photo. Editor! Photo•Editor\nphoto—editor"_qs << 40
                                              << QStringList{"photo", "editor"};
    QTest::newRow("links removed first") << "photolab.app and https://photolab.io/photolab photolab.app" << 40
                                         << QStringList{};
    QTest::newRow("two-letter words do not qualify") << "go go go. tv tv" << 40 << QStringList{};
}

void TestCandidateGenerator::descriptionTerms()
{
    QFETCH(QString, text);
    QFETCH(int, limit);
    QFETCH(QStringList, expected);
    QCOMPARE(CandidateGenerator::descriptionTerms(text, limit), expected);
}

void TestCandidateGenerator::nameSegments_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("colon and hyphen") << "Foo: Bar - Baz" << QStringList{"Foo", "Bar", "Baz"};
    QTest::newRow("empty piece dropped") << "A || B" << QStringList{"A", "B"};
    QTest::newRow("dashes, dots, comma") << u"a – b — c · d • e, f"_qs << QStringList{"a", "b", "c", "d", "e", "f"};
    QTest::newRow("blank") << "  " << QStringList{};
}

void TestCandidateGenerator::nameSegments()
{
    QFETCH(QString, name);
    QFETCH(QStringList, expected);
    QCOMPARE(CandidateGenerator::nameSegments(name), expected);
}

QTEST_GUILESS_MAIN(TestCandidateGenerator)
#include "tst_candidategenerator.moc"
