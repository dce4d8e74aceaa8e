#include "keywords/Corpus.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <algorithm>
#include <cstring>

namespace {

// Whether a run of text without spaces could hold a link or bare address: those need "://",
// "www." or a "." before one of the top-level domains. Anything outside ASCII next to a "." is
// left to the regular expression, whose case-insensitive matching knows more than this test.
bool mayHoldLink(QStringView chunk)
{
    if (chunk.contains(u"://"))
        return true;
    for (qsizetype i = 0; i < chunk.size(); ++i) {
        if (chunk[i] != u'.')
            continue;
        const char16_t before = i > 0 ? chunk[i - 1].unicode() : u' ';
        const char16_t after = i + 1 < chunk.size() ? chunk[i + 1].unicode() : u' ';
        if (before == u'w' || before == u'W' || before >= 0x80 || after >= 0x80)
            return true;
        if (after != 0 && std::strchr("cnoiadCNOIAD", char(after)))   // com net org io app co ai dev
            return true;
    }
    return false;
}

// The same text as KeywordText::stripURLs gives. No link spans a space, so the dear regular
// expression only needs to see the space-free runs that may hold one; in app names and prose
// that is rarely any.
QString withoutLinks(const QString &text)
{
    QString result;
    qsizetype copied = 0;   // text before this is already in result
    const qsizetype size = text.size();
    for (qsizetype start = 0; start < size;) {
        qsizetype end = text.indexOf(u' ', start);
        if (end < 0)
            end = size;
        const QStringView chunk = QStringView(text).mid(start, end - start);
        if (!chunk.isEmpty() && mayHoldLink(chunk)) {
            result += QStringView(text).mid(copied, start - copied);
            result += KeywordText::stripURLs(chunk.toString());
            copied = end;
        }
        start = end + 1;
    }
    if (copied == 0)
        return text;
    result += QStringView(text).mid(copied);
    return result;
}

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
    const QString stripped = withoutLinks(*text);
    qsizetype phraseStart = 0;
    const qsizetype size = stripped.size();
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && !isPhraseBreak(stripped.at(i)))
            continue;
        if (i > phraseStart) {
            const QStringList words = KeywordText::tokenize(stripped.mid(phraseStart, i - phraseStart));
            bool nextMeaningful = !words.isEmpty() && isMeaningful(words.first());
            for (qsizetype w = 0; w < words.size(); ++w) {
                const bool meaningful = nextMeaningful;
                nextMeaningful = w + 1 < words.size() && isMeaningful(words.at(w + 1));
                if (!meaningful)
                    continue;
                m_tokens[words.at(w)] += weight;
                if (nextMeaningful)
                    m_bigrams[words.at(w) + u' ' + words.at(w + 1)] += weight;
            }
        }
        phraseStart = i + 1;
    }
}

bool Corpus::isMeaningful(const QString &word)
{
    // Every counted word is meaningful; only new words need the full test.
    if (m_tokens.contains(word))
        return true;
    if (m_meaningless.contains(word))
        return false;
    if (KeywordText::isMeaningful(word))
        return true;
    m_meaningless.insert(word);
    return false;
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
