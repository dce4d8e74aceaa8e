#pragma once

#include "clients/AppRecords.h"
#include "keywords/Ranking.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Compares an app with other apps on its keywords, from stored search results only.
namespace KeywordGap {

// An app's standing in one keyword's latest search.
struct Position
{
    RankingState state = RankingState::notChecked;
    std::optional<int> rank;

    // The rank when found, otherwise absent.
    std::optional<int> foundRank() const;
    bool operator==(const Position &) const = default;
};

// What is known of one keyword's latest search.
struct Evidence
{
    enum class Kind { results, failed, notChecked };
    Kind kind = Kind::notChecked;
    QList<SearchHit> hits;   // for `results` only

    static Evidence results(const QList<SearchHit> &hits) { return {Kind::results, hits}; }
    static Evidence failed() { return {Kind::failed, {}}; }
    static Evidence notChecked() { return {Kind::notChecked, {}}; }

    Position position(const QString &appleAppId) const;
    // The number of hits of a successful search; absent otherwise.
    std::optional<int> sampleSize() const;

    bool operator==(const Evidence &) const = default;
};

// Keyword text to the evidence of its latest search; a keyword left out reads as not checked.
using EvidenceMap = QHash<QString, Evidence>;

struct Lead
{
    enum class Kind { both, onlyMine, onlyTheirs, neither, unknown };
    Kind kind = Kind::unknown;
    // For `both` only: their rank minus mine; positive when my app ranks higher.
    qint64 places = 0;

    static Lead both(qint64 places) { return {Kind::both, places}; }
    static Lead onlyMine() { return {Kind::onlyMine, 0}; }
    static Lead onlyTheirs() { return {Kind::onlyTheirs, 0}; }
    static Lead neither() { return {Kind::neither, 0}; }
    static Lead unknown() { return {Kind::unknown, 0}; }

    // The key the comparison table sorts its difference column by.
    qint64 sortValue() const;
    bool operator==(const Lead &) const = default;
};

struct Suggestion
{
    QString appleAppId;
    QString name;
    std::optional<QString> developerName;
    std::optional<QUrl> iconURL;
    std::optional<QString> primaryGenre;
    std::optional<qint64> ratingCount;
    QStringList keywords;   // ascending
    double averageRank = 0;
    int bestRank = 0;

    QString id() const { return appleAppId; }
    int sharedKeywords() const { return int(keywords.size()); }
    bool operator==(const Suggestion &) const = default;
};

struct Comparison
{
    QString keyword;
    Position mine;
    Position theirs;
    std::optional<int> sampleSize;

    Lead lead() const;
    bool operator==(const Comparison &) const = default;
};

// The order suggestions are listed in: most shared keywords first, then the better average
// rank, then by app ID in code point order.
bool listedBefore(const Suggestion &a, const Suggestion &b);

// Apps other than the excluded ones that rank within `topN` for at least `minShared` keywords,
// most shared first. A negative `max` gives none.
QList<Suggestion> suggestions(const EvidenceMap &evidence, const QSet<QString> &exclude, int topN,
                              int minShared, int max);

// One comparison per keyword, in the given order, duplicates kept.
QList<Comparison> compare(const QStringList &keywords, const EvidenceMap &evidence, const QString &mine,
                          const QString &theirs);

// Where the competitor is within `competitorTop` and my app is out of the sample or at least
// `worseBy` places lower; by the competitor's rank, then keyword.
QList<Comparison> opportunities(const QList<Comparison> &comparisons, int competitorTop, int worseBy);

// The competitor's keywords that I lack, each once, by the competitor's rank (unranked last, by
// state), then keyword.
QList<Comparison> untracked(const QStringList &competitorKeywords, const QSet<QString> &myKeywords,
                            const EvidenceMap &evidence, const QString &mine, const QString &theirs);

}
