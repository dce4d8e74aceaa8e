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

}

void Corpus::add(const std::optional<QString> &text, qint64 weight)
{
    if (!text)
        return;
    const QString stripped = KeywordText::stripURLs(*text);
    qsizetype phraseStart = 0;
    const qsizetype size = stripped.size();
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && !isPhraseBreak(stripped.at(i)))
            continue;
        if (i > phraseStart) {
            const QStringList words = KeywordText::tokenize(stripped.mid(phraseStart, i - phraseStart));
            for (qsizetype w = 0; w < words.size(); ++w) {
                if (!KeywordText::isMeaningful(words.at(w)))
                    continue;
                m_tokens[words.at(w)] += weight;
                if (w + 1 < words.size() && KeywordText::isMeaningful(words.at(w + 1)))
                    m_bigrams[words.at(w) + u' ' + words.at(w + 1)] += weight;
            }
        }
        phraseStart = i + 1;
    }
}

bool Corpus::has(const QString &word) const
{
    return m_tokens.value(word, 0) > 0;
}

QStringList Corpus::topBigrams(int n, qint64 minCount) const
{
    QList<std::pair<QString, qint64>> kept;
    for (auto it = m_bigrams.cbegin(); it != m_bigrams.cend(); ++it) {
        if (it.value() >= minCount)
            kept.append({it.key(), it.value()});
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
