#include "keywords/IndexedVocabulary.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QHash>

#include <algorithm>

namespace {

qsizetype length(const QString &text)
{
    return Unicode::characterCount(text);
}

bool isPhraseBreak(QChar c)
{
    switch (c.unicode()) {
    case u'.': case u'!': case u'?': case u'\n': case u'\u2022': case u'\u25CF': case u'\u25AA':
    case u':': case u';': case u'|': case u'(': case u')': case u'[': case u']': case u'\u2013':
    case u'\u2014': case u',': case u'\u00B7': case u'&': case u'+': case u'/':
        return true;
    default:
        return false;
    }
}

QStringList firstWords(const QStringList &words, int count)
{
    return words.mid(0, std::max(count, 0));
}

// Bookkeeping of the texts and keys already taken while proposing.
class Admission
{
public:
    explicit Admission(const QSet<QString> &exclude)
        : m_texts(exclude)
    {
        for (const QString &text : exclude)
            m_keys.insert(IndexedVocabulary::phraseKey(text));
    }

    // Usable, not taken yet, and no two words sharing a stem.
    bool admissible(const QString &text) const
    {
        if (!KeywordText::isUsable(text) || m_texts.contains(text))
            return false;
        QSet<QString> stems;
        for (const QString &token : KeywordText::tokenize(text)) {
            const QString stem = IndexedVocabulary::stem(token);
            if (stems.contains(stem))
                return false;
            stems.insert(stem);
        }
        return true;
    }

    bool keyIsNew(const QString &text) const { return !m_keys.contains(IndexedVocabulary::phraseKey(text)); }

    void record(const QString &text)
    {
        m_keys.insert(IndexedVocabulary::phraseKey(text));
        m_texts.insert(text);
    }

private:
    QSet<QString> m_texts;
    QSet<QString> m_keys;
};

}

namespace IndexedVocabulary {

QString stem(const QString &word)
{
    static const char16_t *const suffixes[] = {u"ers", u"ors", u"ing", u"es", u"ed", u"er", u"or", u"s"};
    QString result = word;
    const qsizetype wordLength = length(word);
    for (const char16_t *suffix : suffixes) {
        const QStringView view(suffix);
        if (word.endsWith(view) && wordLength - view.size() > 3) {
            result.chop(view.size());
            break;
        }
    }
    if (result.endsWith(u'e') && length(result) >= 5)
        result.chop(1);
    return result;
}

QString phraseKey(const QString &phrase)
{
    QStringList stems;
    for (const QString &token : KeywordText::tokenize(phrase))
        stems.append(stem(token));
    std::stable_sort(stems.begin(), stems.end(), Unicode::lessThan);
    return stems.join(u' ');
}

bool isIndexed(const QString &word, const QSet<QString> &vocabulary)
{
    if (vocabulary.contains(word))
        return true;
    if (word.endsWith(u's') && vocabulary.contains(word.chopped(1)))
        return true;
    return vocabulary.contains(word + u's');
}

bool isAllLetters(const QString &word)
{
    for (const QString &character : Unicode::graphemes(word)) {
        if (!Unicode::isAlphabetic(Unicode::codePointAt(character, 0)))
            return false;
    }
    return true;
}

QStringList infer(const QString &title, const QStringList &foundQueries)
{
    QHash<QString, qint64> counts;
    QStringList appearance;
    for (const QString &query : foundQueries) {
        for (const QString &token : KeywordText::meaningfulTokens(query)) {
            auto it = counts.find(token);
            if (it == counts.end()) {
                counts.insert(token, 1);
                appearance.append(token);
            } else {
                ++it.value();
            }
        }
    }

    QStringList titleWords;
    QSet<QString> titleSet;
    for (const QString &token : KeywordText::meaningfulTokens(title)) {
        if (!titleSet.contains(token)) {
            titleSet.insert(token);
            titleWords.append(token);
        }
    }

    // `appearance` is in first-appearance order, so a stable sort by count keeps it for ties.
    QStringList others;
    for (const QString &token : appearance) {
        if (!titleSet.contains(token))
            others.append(token);
    }
    std::stable_sort(others.begin(), others.end(),
                     [&counts](const QString &a, const QString &b) { return counts.value(a) > counts.value(b); });

    QSet<QString> stems;
    for (const QString &word : titleWords)
        stems.insert(stem(word));
    QStringList result = titleWords;
    for (const QString &word : others) {
        const QString wordStem = stem(word);
        if (stems.contains(wordStem))
            continue;
        stems.insert(wordStem);
        result.append(word);
    }
    return result;
}

QStringList phrases(const QStringList &texts)
{
    const QSet<QString> &stopwords = KeywordText::stopwords();
    QHash<QString, bool> wordQualifies;   // letters only and at least 2 characters, per word
    auto qualifies = [&wordQualifies](const QString &word) {
        auto it = wordQualifies.constFind(word);
        if (it == wordQualifies.cend())
            it = wordQualifies.insert(word, length(word) >= 2 && isAllLetters(word));
        return it.value();
    };

    QStringList result;
    QSet<QString> seen;
    auto collect = [&](const QStringList &words, qsizetype window) {
        for (qsizetype start = 0; start + window <= words.size(); ++start) {
            bool ok = true;
            for (qsizetype i = start; ok && i < start + window; ++i)
                ok = qualifies(words.at(i));
            if (!ok || stopwords.contains(words.at(start)) || stopwords.contains(words.at(start + window - 1)))
                continue;
            const QString phrase = words.mid(start, window).join(u' ');
            if (!seen.contains(phrase)) {
                seen.insert(phrase);
                result.append(phrase);
            }
        }
    };

    for (const QString &text : texts) {
        const QString stripped = KeywordText::stripURLs(text);
        qsizetype pieceStart = 0;
        for (qsizetype i = 0; i <= stripped.size(); ++i) {
            if (i < stripped.size() && !isPhraseBreak(stripped.at(i)))
                continue;
            if (i > pieceStart) {
                const QStringList words = KeywordText::tokenize(stripped.mid(pieceStart, i - pieceStart));
                collect(words, 2);
                collect(words, 3);
            }
            pieceStart = i + 1;
        }
    }
    return result;
}

QList<Proposal> propose(const QStringList &vocabulary, const QStringList &foundQueries,
                        const QStringList &marketPhrases, const QSet<QString> &exclude, int limit,
                        int maxCombinationWords)
{
    const QSet<QString> words(vocabulary.cbegin(), vocabulary.cend());
    QSet<QString> wordStems;
    for (const QString &word : vocabulary)
        wordStems.insert(stem(word));
    Admission admission(exclude);

    QList<Proposal> indexed, extensions, probes, combinations;

    for (const QString &phrase : marketPhrases) {
        const QStringList tokens = KeywordText::meaningfulTokens(phrase);
        if (tokens.size() < 2)
            continue;
        QStringList missing;
        bool variantOfKnownWord = false;
        for (const QString &token : tokens) {
            if (isIndexed(token, words))
                continue;
            // A form of a vocabulary word that the vocabulary itself does not list.
            if (wordStems.contains(stem(token))) {
                variantOfKnownWord = true;
                break;
            }
            missing.append(token);
        }
        if (variantOfKnownWord)
            continue;
        if (missing.isEmpty()) {
            if (admission.admissible(phrase) && admission.keyIsNew(phrase)) {
                admission.record(phrase);
                indexed.append({phrase, Kind::indexedPhrase()});
            }
        } else if (missing.size() == 1) {
            const QString &word = missing.first();
            if (length(word) < 3 || (tokens.size() > 2 && !isIndexed(tokens.first(), words)))
                continue;
            if (admission.admissible(phrase) && admission.keyIsNew(phrase)) {
                admission.record(phrase);
                probes.append({phrase, Kind::probe(word)});
            }
        }
    }

    const QStringList leading = firstWords(vocabulary, maxCombinationWords);

    for (const QString &query : foundQueries) {
        const QStringList tokens = KeywordText::tokenize(query);
        if (tokens.size() != 2 || !isIndexed(tokens.at(0), words) || !isIndexed(tokens.at(1), words))
            continue;
        const QString &second = tokens.at(1);
        if (length(second) >= 4 && isAllLetters(second)) {
            const QString variant = second.endsWith(u's') ? second.chopped(1) : second + u's';
            const QString text = tokens.at(0) + u' ' + variant;
            if (admission.admissible(text)) {
                admission.record(text);
                indexed.append({text, Kind::indexedPhrase()});
            }
        }
        const QString firstStem = stem(tokens.at(0));
        const QString secondStem = stem(second);
        for (const QString &word : leading) {
            const QString wordStem = stem(word);
            if (wordStem == firstStem || wordStem == secondStem)
                continue;
            const QString text = tokens.at(0) + u' ' + second + u' ' + word;
            if (admission.admissible(text) && admission.keyIsNew(text)) {
                admission.record(text);
                extensions.append({text, Kind::extension_()});
            }
        }
    }

    for (qsizetype i = 0; i < leading.size(); ++i) {
        for (qsizetype j = i + 1; j < leading.size(); ++j) {
            const QString text = leading.at(i) + u' ' + leading.at(j);
            if (admission.admissible(text) && admission.keyIsNew(text)) {
                admission.record(text);
                combinations.append({text, Kind::combination()});
            }
        }
    }

    QList<Proposal> result;
    if (limit < 1)
        return result;
    struct Queue
    {
        const QList<Proposal> *list;
        qsizetype perRound;
        qsizetype next = 0;
    };
    // Three indexed phrases, one extension, two probes and one combination per round.
    Queue queues[] = {{&indexed, 3}, {&extensions, 1}, {&probes, 2}, {&combinations, 1}};
    while (result.size() < limit) {
        bool anyLeft = false;
        for (const Queue &queue : queues)
            anyLeft = anyLeft || queue.next < queue.list->size();
        if (!anyLeft)
            break;
        for (Queue &queue : queues) {
            for (qsizetype taken = 0; taken < queue.perRound && queue.next < queue.list->size(); ++taken) {
                result.append(queue.list->at(queue.next++));
                if (result.size() >= limit)
                    return result;
            }
        }
    }
    return result;
}

}
