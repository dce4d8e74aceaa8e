#pragma once

#include "keywords/KeywordText.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// What search results that were already fetched say about an app's neighbours: apps that keep
// appearing beside it, and words that recur in the titles and texts of such apps.
namespace RelatedApps {

// One app seen in one search's result list.
struct ObservedResult
{
    QString appleAppId;
    QString appName;
    int rank = 0;   // 1-based
    std::optional<QString> primaryGenre;
};

// One search of one keyword.
struct Observation
{
    bool targetFound = false;   // anywhere in the results, not only among `results`
    QList<ObservedResult> results;
};

struct Score
{
    QString appleAppId;
    QString appName;   // as first seen
    double score = 0;
    int coOccurrences = 0;
    bool operator==(const Score &) const = default;
};

struct AppMeta
{
    QString appleAppId;
    QString name;
    std::optional<QString> description;
};

struct Term
{
    QString term;   // one word, or two joined by one space
    QString sourceAppleAppId;
    QString sourceName;
    int support = 0;   // distinct apps that proposed it
    bool operator==(const Term &) const = default;
};

// A result title with the app it belongs to.
struct Title
{
    QString appleAppId;
    QString title;
};

// Apps seen next to the target, by co-occurrence score, at most `max`. A `topN` below 1 counts
// as 1 and a negative `max` gives none.
QList<Score> rank(const QString &targetAppleAppId, const std::optional<QString> &targetGenre,
                  const QList<Observation> &observations, const QSet<QString> &exclude, int topN, int max);

// One-word completions of `phrase` seen in the titles of at least `minApps` apps.
QStringList phraseCompletions(const QString &phrase, const QList<Title> &titles, int limit, int minApps);

// Words and word pairs that recur in at least `minApps` titles.
QStringList termsFromTitles(const QStringList &titles, int limit, int minApps);

// Terms from related apps' names and descriptions that fit the target's vocabulary or recur.
QList<Term> terms(const QList<AppMeta> &apps, const QSet<QString> &targetVocabulary, int limit);

// A title cut into the numbers of its segments' words once, for completing many phrases; the
// words are numbered in the title's word table, segments without words left out.
struct SegmentedTitle
{
    QString appleAppId;
    QList<QList<int>> segments;
};
SegmentedTitle segmentTitle(const QString &appleAppId, const KeywordText::NumberedText &title);
// The same as above for titles segmented in the table `words`.
QStringList phraseCompletions(const QString &phrase, const QList<SegmentedTitle> &titles,
                              const KeywordText::WordNumbers &words, int limit, int minApps);
QStringList termsFromTitles(const QList<SegmentedTitle> &titles, const KeywordText::WordNumbers &words, int limit,
                            int minApps);

// An app whose description is numbered in a word table that other analyses read too.
struct NumberedAppMeta
{
    QString appleAppId;
    QString name;
    std::optional<KeywordText::NumberedText> description;
};
QList<Term> terms(const QList<NumberedAppMeta> &apps, const QSet<QString> &targetVocabulary, int limit);

}
