#pragma once

#include "keywords/MetadataOptimizer.h"

#include <QList>
#include <QSet>
#include <QString>

// What the analysis and the auto-fill share. Auto-fill analyses one keyword field after another
// against the same name and subtitle, so their words are read once.
namespace MetadataOptimizer {

// The words of the name and the subtitle, and the issues they raise on their own.
struct NameWords
{
    NameWords(const QString &title, const QString &subtitle);

    QList<Issue> limitIssues;     // the name's, then the subtitle's
    QList<Issue> overlapIssues;   // subtitle words that the name holds too
    QSet<QString> words;          // the tokens of both
    QSet<QString> singulars;      // the singular forms of those
};

// The analysis of a keyword field against a name read before.
Analysis analyze(const NameWords &name, const QString &keywordField, const QList<Target> &targets);
// The suggestions of that analysis alone.
QList<Suggestion> suggestWords(const NameWords &name, const QString &keywordField, const QList<Target> &targets);

} // namespace MetadataOptimizer
