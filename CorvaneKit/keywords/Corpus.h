#pragma once

#include "keywords/KeywordText.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

// Weighted counts of the meaningful words of a body of text and of their neighbouring pairs.
// Only add() changes the counts. Words are counted by their numbers in a word table, which
// several corpora and the texts they read may share.
class Corpus
{
public:
    // A corpus with a word table of its own.
    Corpus();
    explicit Corpus(std::shared_ptr<KeywordText::WordNumbers> words);

    // Counts the text's meaningful words and neighbouring pairs, each raised by `weight`.
    // An absent text changes nothing.
    void add(const std::optional<QString> &text, qint64 weight);
    // The same for a text numbered in this corpus's table.
    void add(const KeywordText::NumberedText &text, qint64 weight);

    // Room for this many distinct pairs, so that the table does not grow step by step.
    void reserve(qsizetype pairs) { m_pairs.reserve(pairs); }

    // True when `word` has been counted above 0.
    bool has(const QString &word) const;
    // The count of the pair "first second"; 0 when it was never counted.
    qint64 pairCount(QStringView first, QStringView second) const;
    // For each of `words`, the first words and counts of the pairs that end in it, in no
    // particular order.
    QHash<QString, QList<std::pair<QString, qint64>>> pairsEndingIn(const QStringList &words) const;

    // The pairs counted at least `minCount` times, strongest first (ties by text), at most n.
    QStringList topBigrams(int n, qint64 minCount) const;

    // Word (lower case) to weighted count.
    QHash<QString, qint64> tokens() const;
    // "word word" to weighted count.
    QHash<QString, qint64> bigrams() const;

    const std::shared_ptr<KeywordText::WordNumbers> &words() const { return m_words; }

private:
    // Adds `weight` to a meaningful word's count and says whether the word is meaningful.
    bool count(int word, qint64 weight);
    QString pairText(quint64 key) const;

    std::shared_ptr<KeywordText::WordNumbers> m_words;
    // By word number: whether this corpus has counted the word, and its count. The table may
    // hold words of other texts too.
    std::vector<bool> m_counted;
    std::vector<qint64> m_counts;
    QHash<quint64, qint64> m_pairs;   // the two words' numbers, the first in the high half
};
