#pragma once

#include "keywords/KeywordSource.h"
#include "keywords/KeywordText.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// Turns what is known about one app into an ordered, de-duplicated list of keyword candidates:
// the user's seeds first, then one term per source list per round.
namespace CandidateGenerator {

struct Suggestion
{
    QString keyword;
    QString providerId;
    bool operator==(const Suggestion &) const = default;
};

struct Input
{
    QString appName;
    std::optional<QString> developerName;
    std::optional<QString> description;
    std::optional<QString> primaryGenre;
    QStringList seeds;                     // the user's keywords; they become manual candidates
    QList<Suggestion> suggestions;
    QSet<QString> exclude;                 // normal forms never to emit
    int maxCandidates = 0;                 // a negative value counts as 0
    std::optional<int> maxCombinations;    // absent: a fifth of maxCandidates, rounded up
};

struct Output
{
    QList<GeneratedCandidate> candidates;  // in emission order
    int droppedByLimit = 0;                // usable, not excluded keywords left out by a limit or cap
};

Output generate(const Input &input);

// The cleaned pieces of a name split at ':', '|', '-', '–', '—', ',', '·' and '•'.
QStringList nameSegments(const QString &name);
// Whether the character is one that names are split at.
bool isSegmentSeparator(QChar c);

// The most telling words and word pairs of a free text, at most limit of them (a negative limit
// gives none): pairs seen twice or more, then words seen twice or more, then pairs seen once.
QStringList descriptionTerms(const QString &text, int limit);
// The same for a text that other analyses read too.
QStringList descriptionTerms(const KeywordText::NumberedText &text, int limit);

}
