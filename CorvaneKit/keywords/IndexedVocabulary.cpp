#include "keywords/IndexedVocabulary.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QHash>
#include <QStringBuilder>
#include <QVarLengthArray>

#include <algorithm>
#include <optional>

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

// A two- or three-word phrase by the numbers of its words (third < 0 for two).
struct PhraseNumbers
{
    int first = 0;
    int second = 0;
    int third = -1;
    bool operator==(const PhraseNumbers &) const = default;
};

size_t qHash(const PhraseNumbers &phrase, size_t seed = 0)
{
    return qHashMulti(seed, phrase.first, phrase.second, phrase.third);
}

QStringList firstWords(const QStringList &words, int count)
{
    return words.mid(0, std::max(count, 0));
}

// Bookkeeping of the texts and keys already taken while proposing. Words are numbered and their
// stems remembered, as the same words come back in phrase after phrase.
class Admission
{
public:
    using Numbers = QVarLengthArray<int, 8>;

    explicit Admission(const QSet<QString> &exclude)
        : m_texts(exclude)
    {
        for (const QString &text : exclude) {
            fillKey(numbersOf(text), false);
            m_keys.insert(m_key);
        }
    }

    // Room for this many more texts, keys and words, so that the tables do not grow step by step.
    void reserve(qsizetype more)
    {
        m_texts.reserve(m_texts.size() + more);
        m_keys.reserve(m_keys.size() + more);
        m_words.reserve(m_words.size() + more);
        m_stems.reserve(m_stems.size() + more);
    }

    // The numbers of the text's words, as KeywordText::tokenize() finds them.
    Numbers numbersOf(QStringView text)
    {
        Numbers numbers;
        for (const QStringView word : KeywordText::TokenViews(text))
            numbers.append(numberOf(word));
        return numbers;
    }

    int numberOf(QStringView word)
    {
        const int number = m_words.numberOf(word);
        if (number == m_stems.size())
            m_stems.append(IndexedVocabulary::stem(m_words.word(number)));
        return number;
    }

    const QString &word(int number) const { return m_words.word(number); }
    QString stemOf(int number) const { return m_stems.at(number); }
    QString stemOf(QStringView word) { return stemOf(numberOf(word)); }

    // Takes `text`, whose words are numbered `words`, when it is usable, not taken yet, has no
    // two words sharing a stem and, with `checkKey`, its key is not taken either.
    bool admit(const QString &text, const Numbers &words, bool checkKey)
    {
        if (m_texts.contains(text) || !KeywordText::isUsable(text))
            return false;
        if (!fillKey(words, true) || (checkKey && m_keys.contains(m_key)))
            return false;
        m_keys.insert(m_key);
        m_texts.insert(text);
        return true;
    }

    bool admit(const QString &text, bool checkKey) { return admit(text, numbersOf(text), checkKey); }

private:
    // Sets m_key to the words' stems sorted into text order and joined by spaces, as
    // IndexedVocabulary::phraseKey() gives it. With `distinct`, fails when two words share a stem.
    bool fillKey(const Numbers &words, bool distinct)
    {
        QVarLengthArray<const QString *, 8> stems;
        qsizetype length = 0;
        for (const int word : words) {
            const QString *stem = &m_stems.at(word);
            if (distinct && std::any_of(stems.cbegin(), stems.cend(), [&](const QString *s) { return *s == *stem; }))
                return false;
            length += stem->size() + 1;
            stems.append(stem);
        }
        // Equal stems are equal texts, so any sort gives the one order a stable sort would.
        std::sort(stems.begin(), stems.end(), [](const QString *a, const QString *b) { return Unicode::lessThan(*a, *b); });
        // Written in place: the set holds its own copy of any key it keeps.
        m_key.resize(std::max<qsizetype>(length - 1, 0));
        QChar *out = m_key.data();
        for (qsizetype i = 0; i < stems.size(); ++i) {
            if (i > 0)
                *out++ = u' ';
            out = std::copy(stems[i]->cbegin(), stems[i]->cend(), out);
        }
        return true;
    }

    QSet<QString> m_texts;
    QSet<QString> m_keys;
    KeywordText::WordNumbers m_words;
    QStringList m_stems;   // by word number
    QString m_key;
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
    Unicode::GraphemeCursor cursor(word);
    while (cursor.next() >= 0) {
        const char16_t first = word.at(cursor.start()).unicode();
        const bool letter = first < 0x80 ? ((first | 0x20) >= u'a' && (first | 0x20) <= u'z')
                                         : Unicode::isAlphabetic(Unicode::codePointAt(word, cursor.start()));
        if (!letter)
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
    // Per word, worked out once: may it stand in a phrase (letters only, 2 characters or more),
    // and may it open or close one (no stop word)? Words are numbered, so that a phrase is
    // remembered by the numbers of its words and its text is built only when it is new.
    struct WordUse
    {
        bool inside = false;
        bool atEdge = false;
    };
    KeywordText::WordNumbers words;
    words.reserve(texts.size());
    QList<WordUse> uses;   // by number
    uses.reserve(texts.size());
    QVarLengthArray<int, 32> pieceWords;

    QStringList result;
    QSet<PhraseNumbers> seen;
    auto collect = [&](qsizetype window) {
        for (qsizetype start = 0; start + window <= pieceWords.size(); ++start) {
            bool ok = uses.at(pieceWords[start]).atEdge && uses.at(pieceWords[start + window - 1]).atEdge;
            for (qsizetype i = start; ok && i < start + window; ++i)
                ok = uses.at(pieceWords[i]).inside;
            if (!ok)
                continue;
            const PhraseNumbers numbers{pieceWords[start], pieceWords[start + 1],
                                        window == 3 ? pieceWords[start + 2] : -1};
            if (seen.contains(numbers))
                continue;
            seen.insert(numbers);
            const QString &first = words.word(numbers.first);
            const QString &second = words.word(numbers.second);
            if (numbers.third < 0)
                result.append(first % u' ' % second);
            else
                result.append(first % u' ' % second % u' ' % words.word(numbers.third));
        }
    };

    for (const QString &text : texts) {
        const QString stripped = KeywordText::stripURLs(text);
        qsizetype pieceStart = 0;
        for (qsizetype i = 0; i <= stripped.size(); ++i) {
            if (i < stripped.size() && !isPhraseBreak(stripped.at(i)))
                continue;
            if (i > pieceStart) {
                const KeywordText::TokenViews tokens(QStringView(stripped).sliced(pieceStart, i - pieceStart));
                if (tokens.size() >= 2) {
                    pieceWords.clear();
                    for (const QStringView token : tokens) {
                        const int number = words.numberOf(token);
                        if (number == uses.size()) {
                            const QString &word = words.word(number);
                            const bool inside = length(word) >= 2 && isAllLetters(word);
                            uses.append({inside, inside && !stopwords.contains(word)});
                        }
                        pieceWords.append(number);
                    }
                    collect(2);
                    collect(3);
                }
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
    const QSet<QString> vocabularySet(vocabulary.cbegin(), vocabulary.cend());
    // isIndexed() without building "word + s" for every token: the vocabulary's plural words
    // without their final "s".
    QSet<QString> singulars;
    for (const QString &word : vocabulary) {
        if (word.endsWith(u's'))
            singulars.insert(word.chopped(1));
    }
    const auto indexed = [&](const QString &token) {
        return vocabularySet.contains(token) || singulars.contains(token)
            || (token.endsWith(u's') && vocabularySet.contains(token.chopped(1)));
    };
    Admission admission(exclude);
    admission.reserve(marketPhrases.size());
    QSet<QString> wordStems;
    for (const QString &word : vocabulary)
        wordStems.insert(admission.stemOf(word));

    QList<Proposal> indexedPhrases, extensions, probes, combinations;

    // What a market phrase needs to know of each of its words, worked out once per word.
    struct WordFacts
    {
        bool meaningful = false;
        bool indexed = false;
        bool formOfKnownWord = false;   // not indexed, but its stem is a vocabulary word's
    };
    QList<std::optional<WordFacts>> facts;   // by word number
    auto factsOf = [&](int number) {
        if (number >= facts.size())
            facts.resize(number + 1);
        std::optional<WordFacts> &known = facts[number];
        if (!known) {
            const QString &word = admission.word(number);
            WordFacts f;
            f.meaningful = KeywordText::isMeaningful(word);
            f.indexed = indexed(word);
            f.formOfKnownWord = !f.indexed && wordStems.contains(admission.stemOf(number));
            known = f;
        }
        return *known;
    };

    for (const QString &phrase : marketPhrases) {
        const Admission::Numbers words = admission.numbersOf(phrase);
        qsizetype meaningfulCount = 0;
        bool firstIndexed = false;
        int missing = -1;
        qsizetype missingCount = 0;
        bool formOfKnownWord = false;
        for (const int word : words) {
            const WordFacts f = factsOf(word);
            if (!f.meaningful)
                continue;
            if (meaningfulCount++ == 0)
                firstIndexed = f.indexed;
            // A form of a vocabulary word that the vocabulary itself does not list.
            formOfKnownWord = formOfKnownWord || f.formOfKnownWord;
            if (!f.indexed && missingCount++ == 0)
                missing = word;
        }
        if (meaningfulCount < 2 || formOfKnownWord)
            continue;
        if (missingCount == 0) {
            if (admission.admit(phrase, words, true))
                indexedPhrases.append({phrase, Kind::indexedPhrase()});
        } else if (missingCount == 1) {
            const QString &missingWord = admission.word(missing);
            if (length(missingWord) < 3 || (meaningfulCount > 2 && !firstIndexed))
                continue;
            if (admission.admit(phrase, words, true))
                probes.append({phrase, Kind::probe(missingWord)});
        }
    }

    const QStringList leading = firstWords(vocabulary, maxCombinationWords);

    for (const QString &query : foundQueries) {
        const QStringList tokens = KeywordText::tokenize(query);
        if (tokens.size() != 2 || !indexed(tokens.at(0)) || !indexed(tokens.at(1)))
            continue;
        const QString &second = tokens.at(1);
        if (length(second) >= 4 && isAllLetters(second)) {
            const QString variant = second.endsWith(u's') ? second.chopped(1) : second + u's';
            const QString text = tokens.at(0) % u' ' % variant;
            // A variant is proposed even when a phrase of the same words took its key.
            if (admission.admit(text, false))
                indexedPhrases.append({text, Kind::indexedPhrase()});
        }
        const QString firstStem = admission.stemOf(tokens.at(0));
        const QString secondStem = admission.stemOf(second);
        for (const QString &word : leading) {
            const QString wordStem = admission.stemOf(word);
            if (wordStem == firstStem || wordStem == secondStem)
                continue;
            const QString text = tokens.at(0) % u' ' % second % u' ' % word;
            if (admission.admit(text, true))
                extensions.append({text, Kind::extension_()});
        }
    }

    for (qsizetype i = 0; i < leading.size(); ++i) {
        for (qsizetype j = i + 1; j < leading.size(); ++j) {
            const QString text = leading.at(i) % u' ' % leading.at(j);
            if (admission.admit(text, true))
                combinations.append({text, Kind::combination()});
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
    Queue queues[] = {{&indexedPhrases, 3}, {&extensions, 1}, {&probes, 2}, {&combinations, 1}};
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
