#include "keywords/Expansion.h"

#include "keywords/Corpus.h"
#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace {

// Characters of a word. Below U+0300 every code unit but CR is a character of its own, which
// spares the cluster walk for the common case.
qsizetype length(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x300 || c == u'\r')
            return Unicode::characterCount(text);
    }
    return text.size();
}

// The five endings that mark a word as a noun or verb form worth keeping in place.
bool endsWithFormSuffix(const QString &word)
{
    return word.endsWith(u"er") || word.endsWith(u"or") || word.endsWith(u"ing") || word.endsWith(u"al")
        || word.endsWith(u"ion");
}

bool isVowel(char32_t c)
{
    return c == U'a' || c == U'e' || c == U'i' || c == U'o' || c == U'u';
}

QStringList wordsOf(const QString &phrase)
{
    return phrase.split(u' ', Qt::SkipEmptyParts);
}

bool isAttested(const QString &phrase, const Corpus &corpus)
{
    const QStringList words = wordsOf(phrase);
    if (words.size() < 2)
        return false;
    for (qsizetype i = 0; i + 1 < words.size(); ++i) {
        if (corpus.pairCount(words.at(i), words.at(i + 1)) <= 0)
            return false;
    }
    return true;
}

struct Accepted
{
    int limit = 0;
    QSet<QString> seen;
    QStringList result;

    void accept(const QString &candidate)
    {
        const QString text = candidate.trimmed();
        if (result.size() >= limit)
            return;
        if (seen.contains(text))
            return;
        const QStringList words = wordsOf(text);
        if (words.size() > 4)
            return;
        for (const QString &word : words) {
            if (!KeywordText::isMeaningful(word))
                return;
        }
        seen.insert(text);
        result.append(text);
    }
};

QString undoubleFinalConsonant(const QString &word)
{
    const QStringList characters = Unicode::graphemes(word);
    if (characters.size() < 4)
        return word;
    const QString &last = characters.last();
    if (last != characters.at(characters.size() - 2))
        return word;
    if (last.size() == 1 && isVowel(last.at(0).unicode()))
        return word;
    return word.left(word.size() - last.size());
}

void addStem(const QString &stem, QSet<QString> &into)
{
    if (length(stem) <= 2)
        return;
    into.insert(stem);
    into.insert(stem + u'e');
    into.insert(undoubleFinalConsonant(stem));
}

QSet<QString> stems(const QString &word)
{
    QSet<QString> result{word};
    if (word.endsWith(u"ing"))
        addStem(word.chopped(3), result);
    if (word.endsWith(u"ion"))
        addStem(word.chopped(3), result);
    if (word.endsWith(u"er") || word.endsWith(u"or"))
        addStem(word.chopped(2), result);
    if (word.endsWith(u'r') && !word.endsWith(u"er"))
        addStem(word.chopped(1), result);
    if (word.endsWith(u"al"))
        addStem(word.chopped(2), result);
    if (word.endsWith(u's') && !word.endsWith(u"ss"))
        addStem(word.chopped(1), result);
    return result;
}

QStringList forms(const QString &stem)
{
    const QString base = stem.endsWith(u'e') ? stem.chopped(1) : stem;
    // "[^aeiou][aeiou][bdgmnprt]$": a consonant-vowel-consonant ending doubles its consonant.
    QString doubled = stem;
    const QList<uint> points = stem.right(6).toUcs4();
    if (points.size() >= 3) {
        const char32_t last = points.at(points.size() - 1);
        if (std::u32string_view(U"bdgmnprt").find(last) != std::u32string_view::npos
            && isVowel(points.at(points.size() - 2)) && !isVowel(points.at(points.size() - 3)))
            doubled = stem + QChar(char16_t(last));
    }
    return {stem,
            stem + u's',
            base + QLatin1String("er"),
            base + QLatin1String("or"),
            stem + u'r',
            base + QLatin1String("ing"),
            doubled + QLatin1String("er"),
            doubled + QLatin1String("ing"),
            base + QLatin1String("ion"),
            base + QLatin1String("al")};
}

}

namespace Expansion {

QStringList wordVariants(const QString &word, const Corpus &corpus)
{
    if (length(word) < 4)
        return {};
    QSet<QString> found;
    for (const QString &stem : stems(word)) {
        for (const QString &form : forms(stem)) {
            if (form != word && length(form) > 2 && corpus.has(form))
                found.insert(form);
        }
    }
    QStringList result(found.cbegin(), found.cend());
    std::stable_sort(result.begin(), result.end(), Unicode::lessThan);
    return result;
}

QStringList expand(const QStringList &keywords, const Corpus &corpus, int limit)
{
    Accepted out;
    out.limit = limit;
    if (limit <= 0)
        return {};
    for (const QString &keyword : keywords)
        out.seen.insert(Unicode::lowercased(keyword));
    // Second word of a pair to the pair's first words with their counts, for the words that
    // are asked about: the first words of the two-word keywords.
    QStringList asked;
    for (const QString &keyword : keywords) {
        const QStringList words = KeywordText::tokenize(keyword);
        if (words.size() == 2)
            asked.append(words.first());
    }
    std::optional<QHash<QString, QList<std::pair<QString, qint64>>>> predecessors;

    for (const QString &keyword : keywords) {
        const QStringList words = KeywordText::tokenize(keyword);
        if (words.isEmpty() || words.size() > 3)
            continue;
        if (words.size() == 1) {
            for (const QString &variant : wordVariants(words.first(), corpus))
                out.accept(variant);
            continue;
        }
        for (qsizetype position = 0; position < words.size(); ++position) {
            const bool isLast = position == words.size() - 1;
            for (const QString &variant : wordVariants(words.at(position), corpus)) {
                QStringList replaced = words;
                replaced[position] = variant;
                const QString phrase = replaced.join(u' ');
                // A changed ending at the end of a phrase reads naturally without evidence.
                if (isLast && (endsWithFormSuffix(words.at(position)) || endsWithFormSuffix(variant)))
                    out.accept(phrase);
                else if (isAttested(phrase, corpus))
                    out.accept(phrase);
            }
        }
        if (words.size() != 2)
            continue;
        const QString &a = words.at(0);
        const QString &b = words.at(1);
        if (!endsWithFormSuffix(a)) {
            // A verb before its object becomes the object before an agent noun.
            for (const QString &variant : wordVariants(a, corpus)) {
                if (variant.endsWith(u"er") || variant.endsWith(u"or") || variant.endsWith(u"al")
                    || variant.endsWith(u"ion"))
                    out.accept(b + u' ' + variant);
            }
        }
        if (b.endsWith(u"er") || b.endsWith(u"or")) {
            for (const QString &variant : wordVariants(b, corpus)) {
                const QString phrase = variant + u' ' + a;
                if (isAttested(phrase, corpus))
                    out.accept(phrase);
            }
        }
        // Built once per call: every two-word keyword looks up the pairs ending in its first word.
        if (!predecessors)
            predecessors = corpus.pairsEndingIn(asked);
        QList<std::pair<QString, qint64>> extended;
        for (const auto &[word, count] : predecessors->value(a)) {
            if (word == b || endsWithFormSuffix(word))
                continue;
            extended.append({word + u' ' + a + u' ' + b, count});
        }
        std::stable_sort(extended.begin(), extended.end(), [](const auto &x, const auto &y) {
            if (x.second != y.second)
                return x.second > y.second;
            return Unicode::lessThan(x.first, y.first);
        });
        for (qsizetype i = 0; i < extended.size() && i < 3; ++i)
            out.accept(extended.at(i).first);
    }
    return out.result;
}

}
