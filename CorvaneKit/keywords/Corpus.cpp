#include "keywords/Corpus.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QVarLengthArray>

#include <algorithm>
#include <initializer_list>

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

// Sets `buffer` to the parts joined, in its own storage unless a hash kept a copy of it.
const QString &fill(QString &buffer, std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (const QStringView part : parts)
        size += part.size();
    buffer.resize(size);
    QChar *out = buffer.data();
    for (const QStringView part : parts)
        out = std::copy(part.cbegin(), part.cend(), out);
    return buffer;
}

}

void Corpus::add(const std::optional<QString> &text, qint64 weight)
{
    if (!text)
        return;
    const QString stripped = KeywordText::stripURLs(*text);
    // Reused for every look-up, so that only words and pairs seen for the first time allocate.
    QString word;
    QString pair;
    qsizetype phraseStart = 0;
    const qsizetype size = stripped.size();
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && !isPhraseBreak(stripped.at(i)))
            continue;
        if (i > phraseStart) {
            const KeywordText::TokenViews words(QStringView(stripped).sliced(phraseStart, i - phraseStart));
            QVarLengthArray<bool, 32> meaningful;
            for (const QStringView view : words)
                meaningful.append(count(fill(word, {view}), weight));
            for (qsizetype w = 0; w + 1 < words.size(); ++w) {
                if (meaningful[w] && meaningful[w + 1])
                    m_bigrams[fill(pair, {words[w], u" ", words[w + 1]})] += weight;
            }
        }
        phraseStart = i + 1;
    }
}

bool Corpus::count(const QString &word, qint64 weight)
{
    // Every counted word is meaningful; only new words need the full test.
    auto it = m_tokens.find(word);
    if (it != m_tokens.end()) {
        *it += weight;
        return true;
    }
    if (m_meaningless.contains(word))
        return false;
    if (!KeywordText::isMeaningful(word)) {
        m_meaningless.insert(word);
        return false;
    }
    m_tokens.insert(word, weight);
    return true;
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
