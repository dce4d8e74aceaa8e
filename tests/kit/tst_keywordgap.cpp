#include "keywords/KeywordGap.h"

#include <QtTest>

using namespace KeywordGap;

Q_DECLARE_METATYPE(EvidenceMap)
Q_DECLARE_METATYPE(Position)
Q_DECLARE_METATYPE(Lead)
Q_DECLARE_METATYPE(QList<Comparison>)

namespace {

SearchHit hit(const QString &id, int rank, const QString &name = {})
{
    return {.appleAppId = id, .name = name.isEmpty() ? QStringLiteral("App ") + id : name, .rank = rank};
}

// "id name [keywords] avg best" per suggestion, in order.
QStringList describe(const QList<Suggestion> &suggestions)
{
    QStringList out;
    for (const Suggestion &s : suggestions) {
        out.append(QStringLiteral("%1 %2 [%3] %4 %5")
                       .arg(s.appleAppId, s.name, s.keywords.join(u','), QString::number(s.averageRank))
                       .arg(s.bestRank));
    }
    return out;
}

Position found(int rank) { return {RankingState::found, rank}; }
Position plain(RankingState state) { return {state, std::nullopt}; }

Comparison row(const QString &keyword, Position mine, Position theirs)
{
    return {keyword, mine, theirs, std::nullopt};
}

QStringList keywordsOf(const QList<Comparison> &comparisons)
{
    QStringList out;
    for (const Comparison &c : comparisons)
        out.append(c.keyword);
    return out;
}

}

class TestKeywordGap : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void suggestions_data()
    {
        QTest::addColumn<EvidenceMap>("evidence");
        QTest::addColumn<int>("topN");
        QTest::addColumn<int>("minShared");
        QTest::addColumn<int>("max");
        QTest::addColumn<QStringList>("expected");

        const EvidenceMap spread{
            {"alpha", Evidence::results({hit("7", 2), hit("8", 1)})},
            {"beta", Evidence::results({hit("7", 5), hit("self", 1)})},
            {"gamma", Evidence::results({hit("7", 11), hit("8", 21)})},
        };
        QTest::newRow("average and best over shared keywords")
            << spread << 20 << 2 << 25 << QStringList{"7 App 7 [alpha,beta,gamma] 6 2"};
        QTest::newRow("nothing beyond the top") << spread << 10 << 1 << 25 << QStringList{"7 App 7 [alpha,beta] 3.5 2",
                                                                                         "8 App 8 [alpha] 1 1"};
        QTest::newRow("negative max gives none") << spread << 20 << 1 << -1 << QStringList{};
        QTest::newRow("max cuts the list") << spread << 20 << 1 << 1 << QStringList{"7 App 7 [alpha,beta,gamma] 6 2"};

        QTest::newRow("an app counts once per keyword, at its best rank")
            << EvidenceMap{{"one", Evidence::results({hit("5", 9), hit("5", 4)})},
                           {"two", Evidence::results({hit("5", 6)})}}
            << 20 << 2 << 25 << QStringList{"5 App 5 [one,two] 5 4"};

        QTest::newRow("failed and unchecked searches never count")
            << EvidenceMap{{"one", Evidence::results({hit("5", 1)})}, {"two", Evidence::failed()},
                           {"three", Evidence::notChecked()}}
            << 20 << 1 << 25 << QStringList{"5 App 5 [one] 1 1"};

        QTest::newRow("ties go by app ID as text")
            << EvidenceMap{{"k", Evidence::results({hit("999", 3), hit("1000", 3), hit("12", 3)})}}
            << 20 << 1 << 25 << QStringList{"1000 App 1000 [k] 3 3", "12 App 12 [k] 3 3", "999 App 999 [k] 3 3"};

        // Keywords go in code point order: U+FFFD sorts before an emoji, although its UTF-16 unit
        // is larger. The first keyword in that order supplies the name.
        const QString bmp = QStringLiteral("a\uFFFD");
        const QString astral = QStringLiteral("a\U0001F600");
        QTest::newRow("first keyword in code point order supplies the metadata")
            << EvidenceMap{{astral, Evidence::results({hit("5", 1, "Astral")})},
                           {bmp, Evidence::results({hit("5", 1, "Plane")})}}
            << 20 << 1 << 25 << QStringList{"5 Plane [" + bmp + "," + astral + "] 1 1"};
    }

    void suggestions()
    {
        QFETCH(EvidenceMap, evidence);
        QFETCH(int, topN);
        QFETCH(int, minShared);
        QFETCH(int, max);
        QFETCH(QStringList, expected);
        QCOMPARE(describe(KeywordGap::suggestions(evidence, {"self"}, topN, minShared, max)), expected);
    }

    void compareReadsEvidence()
    {
        const EvidenceMap evidence{
            {"hits", Evidence::results({hit("mine", 3), hit("theirs", 7), hit("mine", 1)})},
            {"empty", Evidence::results({})},
            {"failed", Evidence::failed()},
            {"unchecked", Evidence::notChecked()},
        };
        const auto rows = compare({"hits", "empty", "failed", "unchecked", "missing", "hits"}, evidence, "mine", "theirs");
        const QList<Comparison> expected{
            {"hits", found(1), found(7), 3},
            {"empty", plain(RankingState::notFoundInSample), plain(RankingState::notFoundInSample), 0},
            {"failed", plain(RankingState::requestFailed), plain(RankingState::requestFailed), std::nullopt},
            {"unchecked", plain(RankingState::notChecked), plain(RankingState::notChecked), std::nullopt},
            {"missing", plain(RankingState::notChecked), plain(RankingState::notChecked), std::nullopt},
            {"hits", found(1), found(7), 3},
        };
        QCOMPARE(rows, expected);
        QCOMPARE(evidence.value("hits").position("theirs"), found(7));
        QCOMPARE(evidence.value("failed").sampleSize(), std::nullopt);
    }

    void lead_data()
    {
        QTest::addColumn<Position>("mine");
        QTest::addColumn<Position>("theirs");
        QTest::addColumn<Lead>("lead");
        QTest::addColumn<qint64>("sortValue");
        const auto notIn = plain(RankingState::notFoundInSample);
        const auto failed = plain(RankingState::requestFailed);
        const auto unchecked = plain(RankingState::notChecked);
        QTest::newRow("I lead") << found(3) << found(7) << Lead::both(4) << qint64(4);
        QTest::newRow("only mine") << found(3) << notIn << Lead::onlyMine() << qint64(10000);
        QTest::newRow("mine but theirs failed") << found(3) << failed << Lead::unknown()
                                                << std::numeric_limits<qint64>::min();
        QTest::newRow("theirs although mine unchecked") << unchecked << found(12) << Lead::onlyTheirs() << qint64(-10000);
        QTest::newRow("neither") << notIn << notIn << Lead::neither() << qint64(-5000);
        QTest::newRow("found without rank is not usable") << plain(RankingState::found) << notIn << Lead::unknown()
                                                          << std::numeric_limits<qint64>::min();
    }

    void lead()
    {
        QFETCH(Position, mine);
        QFETCH(Position, theirs);
        QFETCH(Lead, lead);
        QFETCH(qint64, sortValue);
        const Lead actual = row("k", mine, theirs).lead();
        QCOMPARE(actual, lead);
        QCOMPARE(actual.sortValue(), sortValue);
    }

    void opportunities_data()
    {
        QTest::addColumn<QList<Comparison>>("rows");
        QTest::addColumn<QStringList>("kept");
        const auto notIn = plain(RankingState::notFoundInSample);
        QTest::newRow("margin of ten places")
            << QList<Comparison>{row("fifteen", found(15), found(5)), row("fourteen", found(14), found(5))}
            << QStringList{"fifteen"};
        QTest::newRow("competitor top of fifty")
            << QList<Comparison>{row("fifty", notIn, found(50)), row("fiftyone", notIn, found(51))}
            << QStringList{"fifty"};
        QTest::newRow("failed or unchecked mine never kept")
            << QList<Comparison>{row("failed", plain(RankingState::requestFailed), found(1)),
                                 row("unchecked", plain(RankingState::notChecked), found(1)),
                                 row("theirs out", notIn, notIn)}
            << QStringList{};
        QTest::newRow("by their rank, then keyword")
            << QList<Comparison>{row("b", notIn, found(9)), row("c", notIn, found(2)), row("a", notIn, found(9))}
            << QStringList{"c", "a", "b"};
        // My missing rank counts as the largest integer; a rank far below zero must not overflow it.
        QTest::newRow("no rank of mine against a negative rank")
            << QList<Comparison>{row("odd", plain(RankingState::found), found(std::numeric_limits<int>::min()))}
            << QStringList{"odd"};
    }

    void opportunities()
    {
        QFETCH(QList<Comparison>, rows);
        QFETCH(QStringList, kept);
        QCOMPARE(keywordsOf(KeywordGap::opportunities(rows, 50, 10)), kept);
    }

    void untracked_data()
    {
        QTest::addColumn<QStringList>("competitorKeywords");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mine and repeats dropped") << QStringList{"b", "a", "b"} << QStringList{"b"};
        QTest::newRow("ranked first, then by state, then keyword")
            << QStringList{"unchecked", "missing", "failed", "out", "late", "early", "tie2", "tie1"}
            << QStringList{"early", "tie1", "tie2", "late", "out", "failed", "missing", "unchecked"};
    }

    void untracked()
    {
        QFETCH(QStringList, competitorKeywords);
        QFETCH(QStringList, expected);
        const EvidenceMap evidence{
            {"b", Evidence::results({hit("theirs", 1)})},
            {"early", Evidence::results({hit("theirs", 2)})},
            {"late", Evidence::results({hit("theirs", 30)})},
            {"tie1", Evidence::results({hit("theirs", 4)})},
            {"tie2", Evidence::results({hit("theirs", 4)})},
            {"out", Evidence::results({hit("mine", 1)})},
            {"failed", Evidence::failed()},
            {"unchecked", Evidence::notChecked()},
        };
        QCOMPARE(keywordsOf(KeywordGap::untracked(competitorKeywords, {"a"}, evidence, "mine", "theirs")), expected);
    }
};

QTEST_GUILESS_MAIN(TestKeywordGap)
#include "tst_keywordgap.moc"
