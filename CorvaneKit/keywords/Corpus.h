#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// Weighted counts of the meaningful words of a body of text and of their neighbouring pairs.
// Only add() changes the counts.
class Corpus
{
public:
    Corpus() = default;

    // Counts the text's meaningful words and neighbouring pairs, each raised by `weight`.
    // An absent text changes nothing.
    void add(const std::optional<QString> &text, qint64 weight);

    // True when `word` has been counted above 0.
    bool has(const QString &word) const;

    // The pairs counted at least `minCount` times, strongest first (ties by text), at most n.
    QStringList topBigrams(int n, qint64 minCount) const;

    // Word (lower case) to weighted count.
    const QHash<QString, qint64> &tokens() const { return m_tokens; }
    // "word word" to weighted count.
    const QHash<QString, qint64> &bigrams() const { return m_bigrams; }

private:
    // Adds `weight` to a meaningful word's count and says whether the word is meaningful.
    bool count(const QString &word, qint64 weight);

    QHash<QString, qint64> m_tokens;
    QHash<QString, qint64> m_bigrams;
    // Words already found not to be meaningful: the same few stop words recur in every text.
    QSet<QString> m_meaningless;
};
