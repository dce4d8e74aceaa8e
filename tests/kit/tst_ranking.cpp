#include "keywords/Ranking.h"

#include <QtTest>

using Ranking::Change;
using Ranking::Reading;
using Ranking::ResultEntry;

Q_DECLARE_METATYPE(RankingState)
Q_DECLARE_METATYPE(std::optional<RankingState>)
Q_DECLARE_METATYPE(Reading)
Q_DECLARE_METATYPE(std::optional<Reading>)
Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(QList<ResultEntry>)

static Reading found(int rank) { return {RankingState::found, rank}; }
static Reading plain(RankingState state) { return {state, std::nullopt}; }

class TestRanking : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedValues_data();
    void storedValues();
    void unknownRawValues_data();
    void unknownRawValues();
    void outcome_data();
    void outcome();
    void change_data();
    void change();
};

void TestRanking::storedValues_data()
{
    QTest::addColumn<RankingState>("state");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("ordinal");
    QTest::newRow("found") << RankingState::found << "FOUND" << "Found" << 0;
    QTest::newRow("not in sample") << RankingState::notFoundInSample << "NOT_FOUND_IN_SAMPLE" << "Not in sample" << 1;
    QTest::newRow("failed") << RankingState::requestFailed << "REQUEST_FAILED" << "Request failed" << 2;
    QTest::newRow("unchecked") << RankingState::notChecked << "NOT_CHECKED" << "Not checked" << 3;
}

void TestRanking::storedValues()
{
    QFETCH(RankingState, state);
    QFETCH(QString, raw);
    QFETCH(QString, label);
    QFETCH(int, ordinal);
    QCOMPARE(RankingStates::rawValue(state), raw);
    QCOMPARE(RankingStates::fromRaw(raw), std::optional(state));
    QCOMPARE(RankingStates::label(state), label);
    // The declaration order is the ordinal other code sorts by.
    QCOMPARE(RankingStates::allCases().indexOf(state), ordinal);
}

void TestRanking::unknownRawValues_data()
{
    QTest::addColumn<QString>("raw");
    QTest::newRow("label") << "Found";
    QTest::newRow("case name") << "found";
    QTest::newRow("lower case raw") << "not_checked";
    QTest::newRow("padded") << " FOUND";
    QTest::newRow("empty") << "";
}

void TestRanking::unknownRawValues()
{
    QFETCH(QString, raw);
    QCOMPARE(RankingStates::fromRaw(raw), std::nullopt);
}

void TestRanking::outcome_data()
{
    QTest::addColumn<bool>("succeeded");
    QTest::addColumn<QList<ResultEntry>>("results");
    QTest::addColumn<Reading>("expected");
    const QList<ResultEntry> listed{{"111", 1}, {"42", 7}, {"222", 2}, {"42", 3}};
    QTest::newRow("best of two ranks") << true << listed << found(3);
    QTest::newRow("empty sample") << true << QList<ResultEntry>{} << plain(RankingState::notFoundInSample);
    QTest::newRow("other apps only") << true << QList<ResultEntry>{{"111", 1}, {"420", 2}, {" 42", 3}}
                                     << plain(RankingState::notFoundInSample);
    QTest::newRow("failed although listed") << false << listed << plain(RankingState::requestFailed);
}

void TestRanking::outcome()
{
    QFETCH(bool, succeeded);
    QFETCH(QList<ResultEntry>, results);
    QFETCH(Reading, expected);
    QCOMPARE(Ranking::outcome(succeeded, results, "42"), expected);
}

void TestRanking::change_data()
{
    QTest::addColumn<Reading>("current");
    QTest::addColumn<std::optional<Reading>>("previous");
    QTest::addColumn<Change>("expected");
    const auto none = Change::none();
    const auto notIn = plain(RankingState::notFoundInSample);
    const auto failed = plain(RankingState::requestFailed);
    const auto unchecked = plain(RankingState::notChecked);
    QTest::newRow("up") << found(3) << std::optional(found(8)) << Change::moved(5);
    QTest::newRow("down") << found(12) << std::optional(found(4)) << Change::moved(-8);
    QTest::newRow("same rank is a move of 0") << found(5) << std::optional(found(5)) << Change::moved(0);
    QTest::newRow("lost") << notIn << std::optional(found(4)) << Change::lost();
    QTest::newRow("new") << found(4) << std::optional(notIn) << Change::newRanking();
    QTest::newRow("no previous") << found(4) << std::optional<Reading>() << none;
    QTest::newRow("out both times") << notIn << std::optional(notIn) << none;
    QTest::newRow("failed after found") << failed << std::optional(found(4)) << none;
    QTest::newRow("found after failed") << found(4) << std::optional(failed) << none;
    QTest::newRow("found after unchecked") << found(4) << std::optional(unchecked) << none;
    QTest::newRow("unchecked after found") << unchecked << std::optional(found(2)) << none;
    QTest::newRow("missing rank") << plain(RankingState::found) << std::optional(found(2)) << none;
    QTest::newRow("extreme ranks") << found(std::numeric_limits<int>::max())
                                   << std::optional(found(std::numeric_limits<int>::min()))
                                   << Change::moved(qint64(std::numeric_limits<int>::min())
                                                    - std::numeric_limits<int>::max());
}

void TestRanking::change()
{
    QFETCH(Reading, current);
    QFETCH(std::optional<Reading>, previous);
    QFETCH(Change, expected);
    const Change actual = Ranking::change(current, previous);
    QCOMPARE(int(actual.kind), int(expected.kind));
    QCOMPARE(actual.places, expected.places);
}

QTEST_GUILESS_MAIN(TestRanking)
#include "tst_ranking.moc"
