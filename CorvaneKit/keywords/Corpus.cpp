#include "keywords/Corpus.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <algorithm>

namespace {

// Characters that end a phrase: no pair is counted across them.
bool isPhraseBreak(QChar c)
{
    switch (c.unicode()) {
    case u'.': case u'!': case u'?': case u'\n': case u'\u2022': case u'\u25CF': case u'\u25AA':
    case u':': case u';': case u'|': case u'(': case u')': case u'[': case u']': case u'-':
    case u'\u2013': case u'\u2014': case u',': case u'\u00B7':
        return true;
    default:
        return false;
    }
}

quint64 pairKey(int first, int second)
{
    return (quint64(quint32(first)) << 32) | quint32(second);
}

int firstOf(quint64 key)
{
    return int(key >> 32);
}

int secondOf(quint64 key)
{
    return int(key & 0xFFFFFFFFu);
}

}

Corpus::Corpus()
    : Corpus(std::make_shared<KeywordText::WordNumbers>())
{
}

Corpus::Corpus(std::shared_ptr<KeywordText::WordNumbers> words)
    : m_words(std::move(words))
{
}

void Corpus::add(const std::optional<QString> &text, qint64 weight)
{
    if (text)
        add(KeywordText::NumberedText(*text, *m_words), weight);
}

void Corpus::add(const KeywordText::NumberedText &text, qint64 weight)
{
    Q_ASSERT(&text.words() == m_words.get());
    text.withoutLinks().forEachPiece(isPhraseBreak, [&](std::span<const int> words) {
        bool previousMeaningful = false;
        for (size_t w = 0; w < words.size(); ++w) {
            const bool meaningful = count(words[w], weight);
            if (meaningful && previousMeaningful)
                m_pairs[pairKey(words[w - 1], words[w])] += weight;
            previousMeaningful = meaningful;
        }
    });
}

bool Corpus::count(int word, qint64 weight)
{
    if (!m_words->isMeaningful(word))
        return false;
    if (size_t(word) >= m_counts.size()) {
        m_counts.resize(size_t(m_words->size()));
        m_counted.resize(size_t(m_words->size()));
    }
    m_counted[size_t(word)] = true;
    m_counts[size_t(word)] += weight;
    return true;
}

bool Corpus::has(const QString &word) const
{
    const int number = m_words->find(word);
    return number >= 0 && size_t(number) < m_counts.size() && m_counts[size_t(number)] > 0;
}

qint64 Corpus::pairCount(QStringView first, QStringView second) const
{
    const int a = m_words->find(first);
    const int b = m_words->find(second);
    return a < 0 || b < 0 ? 0 : m_pairs.value(pairKey(a, b), 0);
}

QHash<QString, QList<std::pair<QString, qint64>>> Corpus::pairsEndingIn(const QStringList &words) const
{
    QHash<QString, QList<std::pair<QString, qint64>>> result;
    for (const QString &word : words)
        result.insert(word, {});
    // Taken once the result stops growing, which moves its entries.
    QHash<int, QList<std::pair<QString, qint64>> *> asked;
    for (auto it = result.begin(); it != result.end(); ++it) {
        const int number = m_words->find(it.key());
        if (number >= 0)
            asked.insert(number, &it.value());
    }
    for (auto it = m_pairs.cbegin(); it != m_pairs.cend(); ++it) {
        if (auto *pairs = asked.value(secondOf(it.key())))
            pairs->append({m_words->word(firstOf(it.key())), it.value()});
    }
    return result;
}

QHash<QString, qint64> Corpus::tokens() const
{
    QHash<QString, qint64> tokens;
    for (size_t number = 0; number < m_counted.size(); ++number) {
        if (m_counted[number])
            tokens.insert(m_words->word(int(number)), m_counts[number]);
    }
    return tokens;
}

QHash<QString, qint64> Corpus::bigrams() const
{
    QHash<QString, qint64> bigrams;
    for (auto it = m_pairs.cbegin(); it != m_pairs.cend(); ++it)
        bigrams.insert(pairText(it.key()), it.value());
    return bigrams;
}

QString Corpus::pairText(quint64 key) const
{
    return m_words->word(firstOf(key)) + u' ' + m_words->word(secondOf(key));
}

QStringList Corpus::topBigrams(int n, qint64 minCount) const
{
    QList<std::pair<QString, qint64>> kept;
    for (auto it = m_pairs.cbegin(); it != m_pairs.cend(); ++it) {
        if (it.value() >= minCount)
            kept.append({pairText(it.key()), it.value()});
    }
    std::stable_sort(kept.begin(), kept.end(), [](const auto &a, const auto &b) {
        if (a.second != b.second)
            return a.second > b.second;
        return Unicode::lessThan(a.first, b.first);
    });
    QStringList result;
    for (qsizetype i = 0; i < kept.size() && i < n; ++i)
        result.append(kept.at(i).first);
    return result;
}
