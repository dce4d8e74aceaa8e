#pragma once

#include "clients/AppRecords.h"
#include "keywords/Corpus.h"
#include "keywords/KeywordSource.h"
#include "keywords/RelatedApps.h"

#include <QHashFunctions>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>



// A keyword a discovery round proposes for an app, with where and how it was found.
struct PlannedCandidate
{
    QString text;
    KeywordSource source = KeywordSource::manual;
    std::optional<QString> detail;
    std::optional<QString> sourceAppleAppId;   // the related app a term came from

    bool operator==(const PlannedCandidate &) const = default;
};

size_t qHash(const PlannedCandidate &candidate, size_t seed = 0);

// Which candidate keywords a discovery run proposes for one app in one round.
namespace DiscoveryPlanner {

// A found keyword ranked this well or better is a high-confidence find.
inline constexpr int highConfidenceRank = 50;

struct ObservedKeyword
{
    QString keyword;
    QList<SearchHit> hits;   // its latest search, in rank order
};

struct FoundKeyword
{
    QString keyword;
    int rank = 0;
};

// The first round: vocabulary proposals, generator candidates, genres, metadata phrases and
// their expansions, in that order.
QList<PlannedCandidate> roundZero(const AppInfo &app, const QStringList &manualSeeds,
                                  const QStringList &foundQueries, const QSet<QString> &known);

// The found keywords as seed phrases, best rank first, at most `max`.
QStringList seeds(const QList<FoundKeyword> &found, int max);

// The apps worth looking up next: those seen most often and highest beside the app.
QList<RelatedApps::Score> relatedApps(const AppInfo &app, const QList<ObservedKeyword> &observations,
                                      const QSet<QString> &alreadyInspected, int max);

// A later round: vocabulary proposals, result-title completions and recurring terms (when
// `suggestions`), related-app terms and expansions of the seeds, in that order.
QList<PlannedCandidate> roundN(const AppInfo &app, const QStringList &seeds,
                               const QList<ObservedKeyword> &observations, const QList<AppInfo> &relatedMeta,
                               bool suggestions, const QStringList &foundQueries, const QSet<QString> &known);

QList<PlannedCandidate> vocabularyCandidates(const AppInfo &app, const QStringList &foundQueries,
                                             const QStringList &texts, const QSet<QString> &known, int limit);

// The app's own name (weight 3), description and genres (weight 1) as a corpus.
Corpus metadataCorpus(const AppInfo &app);
// The same, its words numbered in `words`.
Corpus metadataCorpus(const AppInfo &app, std::shared_ptr<KeywordText::WordNumbers> words);

}
