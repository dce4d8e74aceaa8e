#include "keywords/KeywordScores.h"

#include <QtTest>

#include <limits>

using KeywordScores::Hit;
using KeywordScores::Result;
using Hits = QList<Hit>;
using OptInt = std::optional<qint64>;

Q_DECLARE_METATYPE(Result)

namespace {

constexpr qint64 int64Max = std::numeric_limits<qint64>::max();
const QString keyword = QStringLiteral("photo editor");
const QString matching = QStringLiteral("Photo Editor");

Hit hit(int rank, OptInt count, std::optional<double> rating = {}, const QString &name = {})
{
    return Hit{rank, name, count, rating};
}

Hits same(int n, OptInt count, std::optional<double> rating, const QString &name = {})
{
    Hits hits;
    for (int rank = 1; rank <= n; ++rank)
        hits.append(hit(rank, count, rating, name));
    return hits;
}

} // namespace

class TestKeywordScores : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void titleMatches();
    void score_data();
    void score();
    void opportunity();
};

void TestKeywordScores::titleMatches()
{
    QVERIFY(!KeywordScores::titleMatches("photo edit", "Photo Editor Pro")); // whole tokens only
    QVERIFY(KeywordScores::titleMatches("photo editor", "Best Photo-Editor!"));
    QVERIFY(!KeywordScores::titleMatches("!!", "!! Photo !!")); // no tokens, no match
}

void TestKeywordScores::score_data()
{
    QTest::addColumn<Hits>("hits");
    QTest::addColumn<Result>("expected");

    QTest::newRow("no hits") << Hits{} << Result{0, 0};
    QTest::newRow("ratings but no counts") << Hits{hit(1, {}, 4.5, matching), hit(2, {}, 3.0)} << Result{};
    QTest::newRow("one strong matching hit") << Hits{hit(1, 999'999, 5, matching)} << Result{10, 999'999};
    // Ten full-strength hits without a title match score 75 x quality.
    QTest::newRow("rating 1") << same(10, 1'000'000, 1) << Result{56, 1'000'000};
    QTest::newRow("no rating") << same(10, 1'000'000, {}) << Result{66, 1'000'000};
    QTest::newRow("median with an absent count") << Hits{hit(1, 10), hit(2, {}), hit(3, 30), hit(4, 20)}
                                                 << Result{4, 15};
    QTest::newRow("weights by place, not rank") << Hits{hit(100, 1'000'000), hit(1, 0)} << Result{5, 500'000};

    Hits reversed;
    for (int rank = 25; rank >= 1; --rank)
        reversed.append(rank <= 5    ? hit(rank, rank * 1'000'000, 5, matching)
                        : rank <= 10 ? hit(rank, 9'000'000, 5, matching)
                                     : hit(rank, 0, 1));
    QTest::newRow("25 hits in reverse order") << reversed << Result{100, 3'000'000};

    // A negative count means no ratings; the title share alone gives 2.5, which rounds up.
    QTest::newRow("count -1") << Hits{hit(1, -1, 5, matching)} << Result{3, 0};
    QTest::newRow("median of two max counts") << Hits{hit(1, int64Max, 5), hit(2, int64Max, 5)}
                                              << Result{15, int64Max};
}

void TestKeywordScores::score()
{
    QFETCH(Hits, hits);
    QFETCH(Result, expected);
    const Result result = KeywordScores::score(keyword, hits);
    QCOMPARE(result.difficulty, expected.difficulty);
    QCOMPARE(result.topRatingMedian, expected.topRatingMedian);
}

void TestKeywordScores::opportunity()
{
    using KeywordScores::opportunity;
    QCOMPARE(opportunity(64, 36), OptInt(64));
    QCOMPARE(opportunity(30, 50), OptInt(39)); // sqrt(1500) rounded
    QCOMPARE(opportunity(100, std::nullopt), OptInt());
    QCOMPARE(opportunity(-20, 0), OptInt(0));
    QCOMPARE(opportunity(int64Max, std::numeric_limits<qint64>::min()), OptInt(int64Max)); // stays defined
}

QTEST_GUILESS_MAIN(TestKeywordScores)
#include "tst_keywordscores.moc"
