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
qsizetype length(QStringView text)
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

QStringList firstWords(const QStringList &words, int count)
{
    return words.mid(0, std::max(count, 0));
}

// A text by the numbers of its words.
using Words = QVarLengthArray<int, 8>;

QString joined(const Words &words, const KeywordText::WordNumbers &table)
{
    QString text;
    for (const int word : words) {
        if (!text.isEmpty())
            text += u' ';
        text += table.word(word);
    }
    return text;
}

// A set of short lists of numbers. A list of up to three numbers below 2^20, as nearly all are
// here, is packed into one integer, which is far cheaper to hash and keep than the list.
class NumberLists
{
public:
    bool contains(std::span<const int> numbers) const
    {
        const auto key = packed(numbers);
        return key ? m_packed.contains(*key) : m_others.contains(QList<int>(numbers.begin(), numbers.end()));
    }

    void insert(std::span<const int> numbers)
    {
        if (const auto key = packed(numbers))
            m_packed.insert(*key);
        else
            m_others.insert(QList<int>(numbers.begin(), numbers.end()));
    }

    // Room for this many more lists.
    void reserve(qsizetype more) { m_packed.reserve(m_packed.size() + more); }

private:
    // The count in the top bits, then the numbers plus one.
    static std::optional<quint64> packed(std::span<const int> numbers)
    {
        if (numbers.size() > 3)
            return std::nullopt;
        quint64 key = numbers.size();
        for (const int number : numbers) {
            if (number < 0 || number >= (1 << 20) - 1)
                return std::nullopt;
            key = (key << 20) | quint64(number + 1);
        }
        return key;
    }

    QSet<quint64> m_packed;
    QSet<QList<int>> m_others;
};

// Bookkeeping of the texts and keys already taken while proposing, in the word table the phrases
// were numbered in. Stems are numbered too, so that a key is its stems' numbers, sorted.
class Admission
{
public:
    Admission(const QSet<QString> &exclude, KeywordText::WordNumbers &words)
        : m_words(words)
    {
        for (const QString &text : exclude) {
            const Words numbers = numbersOf(text);
            if (isJoined(text, numbers))
                m_joinedTexts.insert(numbers);
            else
                m_otherTexts.insert(text);
            fillKey(numbers, false);
            m_keys.insert(m_key);
        }
    }

    // Room for this many more texts and keys, so that the tables do not grow step by step.
    void reserve(qsizetype more)
    {
        m_joinedTexts.reserve(more);
        m_keys.reserve(more);
    }

    // The numbers of the text's words, as KeywordText::tokenize() finds them.
    Words numbersOf(QStringView text)
    {
        Words numbers;
        for (const QStringView word : KeywordText::TokenViews(text))
            numbers.append(m_words.numberOf(word));
        return numbers;
    }

    int numberOf(QStringView word) { return m_words.numberOf(word); }
    const QString &word(int number) const { return m_words.word(number); }
    const KeywordText::WordNumbers &words() const { return m_words; }

    // The number of the word's stem: words with equal stems have equal numbers.
    int stemOf(int number)
    {
        if (size_t(number) >= m_stemOfWord.size())
            m_stemOfWord.resize(size_t(m_words.size()), -1);
        int &stem = m_stemOfWord[size_t(number)];
        if (stem < 0) {
            const QString text = IndexedVocabulary::stem(m_words.word(number));
            stem = m_stemNumbers.value(text, int(m_stemNumbers.size()));
            if (stem == m_stemNumbers.size())
                m_stemNumbers.insert(text, stem);
        }
        return stem;
    }
    int stemOf(QStringView word) { return stemOf(numberOf(word)); }

    // Takes `text`, whose words are numbered `words`, when it is usable, not taken yet, has no
    // two words sharing a stem and, with `checkKey`, its key is not taken either.
    bool admit(const QString &text, const Words &words, bool checkKey)
    {
        if (isJoined(text, words))
            return admitJoined(words, checkKey);
        if (m_otherTexts.contains(text) || !KeywordText::isUsable(text))
            return false;
        if (!fillKey(words, true) || (checkKey && m_keys.contains(m_key)))
            return false;
        m_keys.insert(m_key);
        m_otherTexts.insert(text);
        return true;
    }

    bool admit(const QString &text, bool checkKey) { return admit(text, numbersOf(text), checkKey); }

    // admit() of the text that is the words joined by single spaces, without building it.
    bool admitJoined(const Words &words, bool checkKey)
    {
        if (m_joinedTexts.contains(words) || !isUsableJoined(words))
            return false;
        if (!fillKey(words, true) || (checkKey && m_keys.contains(m_key)))
            return false;
        m_keys.insert(m_key);
        m_joinedTexts.insert(words);
        return true;
    }

private:
    // Whether the text is its words joined by single spaces.
    bool isJoined(QStringView text, const Words &words) const
    {
        qsizetype at = 0;
        for (const int number : words) {
            const QString &word = m_words.word(number);
            if (at > 0 && (at >= text.size() || text[at++] != u' '))
                return false;
            if (!text.sliced(at).startsWith(word))
                return false;
            at += word.size();
        }
        return at == text.size();
    }

    // KeywordText::isUsable() of the words joined by single spaces: for ASCII words, their
    // lengths and count tell.
    bool isUsableJoined(const Words &words) const
    {
        if (!std::all_of(words.cbegin(), words.cend(), [this](int word) { return m_words.isAscii(word); }))
            return KeywordText::isUsable(joined(words, m_words));
        qsizetype characters = words.size() - 1;
        for (const int word : words)
            characters += m_words.length(word);
        return !words.isEmpty() && words.size() <= KeywordText::maxWords && characters >= 2
            && characters <= KeywordText::maxLength;
    }

    // Sets m_key to the words' stems, sorted, as IndexedVocabulary::phraseKey() tells keys apart.
    // With `distinct`, fails when two words share a stem.
    bool fillKey(const Words &words, bool distinct)
    {
        m_key.clear();
        for (const int word : words) {
            const int stem = stemOf(word);
            if (distinct && m_key.contains(stem))
                return false;
            m_key.append(stem);
        }
        std::sort(m_key.begin(), m_key.end());
        return true;
    }

    KeywordText::WordNumbers &m_words;
    // Texts taken so far. A text that is its words joined by single spaces, as nearly all are, is
    // known by its words' numbers, so that phrases are checked without building their texts.
    NumberLists m_joinedTexts;
    QSet<QString> m_otherTexts;
    NumberLists m_keys;
    QVarLengthArray<int, 8> m_key;
    std::vector<int> m_stemOfWord;   // by word number, -1 until worked out
    QHash<QString, int> m_stemNumbers;
};

// A phrase of the market as propose() reads it: its text, or none when that is its words
// joined by single spaces, and the numbers of the words KeywordText::tokenize() finds in it.
struct MarketPhrase
{
    QString text;
    Words words;
};

// A proposal before it is taken: a market phrase's text is built only when it is.
struct Pending
{
    QString text;                  // of a proposal that is no market phrase
    qsizetype marketPhrase = -1;   // else the market phrase's place
    IndexedVocabulary::Kind kind;
};

// propose() of `marketCount` market phrases, `marketPhrase(i)` giving the i-th.
template<typename MarketPhraseAt>
QList<IndexedVocabulary::Proposal> proposeFrom(const QStringList &vocabulary, const QStringList &foundQueries,
                                               qsizetype marketCount, MarketPhraseAt marketPhrase,
                                               Admission &admission, int limit, int maxCombinationWords)
{
    using IndexedVocabulary::Kind;
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
    admission.reserve(marketCount);
    QSet<int> wordStems;
    for (const QString &word : vocabulary)
        wordStems.insert(admission.stemOf(word));

    QList<Pending> indexedPhrases, extensions, probes, combinations;

    // What a market phrase needs to know of each of its words, worked out once per word.
    struct WordFacts
    {
        bool indexed = false;
        bool formOfKnownWord = false;   // not indexed, but its stem is a vocabulary word's
    };
    std::vector<std::optional<WordFacts>> facts;   // by word number
    auto factsOf = [&](int number) {
        if (size_t(number) >= facts.size())
            facts.resize(size_t(admission.words().size()));
        std::optional<WordFacts> &known = facts[size_t(number)];
        if (!known) {
            WordFacts f;
            f.indexed = indexed(admission.word(number));
            f.formOfKnownWord = !f.indexed && wordStems.contains(admission.stemOf(number));
            known = f;
        }
        return *known;
    };

    for (qsizetype m = 0; m < marketCount; ++m) {
        const MarketPhrase phrase = marketPhrase(m);
        qsizetype meaningfulCount = 0;
        bool firstIndexed = false;
        int missing = -1;
        qsizetype missingCount = 0;
        bool formOfKnownWord = false;
        for (const int word : phrase.words) {
            if (!admission.words().isMeaningful(word))
                continue;
            const WordFacts f = factsOf(word);
            if (meaningfulCount++ == 0)
                firstIndexed = f.indexed;
            // A form of a vocabulary word that the vocabulary itself does not list.
            formOfKnownWord = formOfKnownWord || f.formOfKnownWord;
            if (!f.indexed && missingCount++ == 0)
                missing = word;
        }
        if (meaningfulCount < 2 || formOfKnownWord)
            continue;
        if (missingCount == 1
            && (admission.words().length(missing) < 3 || (meaningfulCount > 2 && !firstIndexed)))
            continue;
        if (missingCount > 1)
            continue;
        const bool admitted = phrase.text.isEmpty() ? admission.admitJoined(phrase.words, true)
                                                    : admission.admit(phrase.text, phrase.words, true);
        if (!admitted)
            continue;
        if (missingCount == 0)
            indexedPhrases.append({QString(), m, Kind::indexedPhrase()});
        else
            probes.append({QString(), m, Kind::probe(admission.word(missing))});
    }

    const QStringList leading = firstWords(vocabulary, maxCombinationWords);

    for (const QString &query : foundQueries) {
        const QStringList tokens = KeywordText::tokenize(query);
        if (tokens.size() != 2 || !indexed(tokens.at(0)) || !indexed(tokens.at(1)))
            continue;
        const QString &second = tokens.at(1);
        if (length(second) >= 4 && IndexedVocabulary::isAllLetters(second)) {
            const QString variant = second.endsWith(u's') ? second.chopped(1) : second + u's';
            const QString text = tokens.at(0) % u' ' % variant;
            // A variant is proposed even when a phrase of the same words took its key.
            if (admission.admit(text, false))
                indexedPhrases.append({text, -1, Kind::indexedPhrase()});
        }
        const int firstStem = admission.stemOf(tokens.at(0));
        const int secondStem = admission.stemOf(second);
        for (const QString &word : leading) {
            const int wordStem = admission.stemOf(word);
            if (wordStem == firstStem || wordStem == secondStem)
                continue;
            const QString text = tokens.at(0) % u' ' % second % u' ' % word;
            if (admission.admit(text, true))
                extensions.append({text, -1, Kind::extension_()});
        }
    }

    for (qsizetype i = 0; i < leading.size(); ++i) {
        for (qsizetype j = i + 1; j < leading.size(); ++j) {
            const QString text = leading.at(i) % u' ' % leading.at(j);
            if (admission.admit(text, true))
                combinations.append({text, -1, Kind::combination()});
        }
    }

    QList<IndexedVocabulary::Proposal> result;
    if (limit < 1)
        return result;
    struct Queue
    {
        const QList<Pending> *list;
        qsizetype perRound;
        qsizetype next = 0;
    };
    const auto take = [&](const Pending &pending) {
        if (pending.marketPhrase < 0) {
            result.append({pending.text, pending.kind});
            return;
        }
        const MarketPhrase phrase = marketPhrase(pending.marketPhrase);
        result.append({phrase.text.isEmpty() ? joined(phrase.words, admission.words()) : phrase.text, pending.kind});
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
                take(queue.list->at(queue.next++));
                if (result.size() >= limit)
                    return result;
            }
        }
    }
    return result;
}

}

namespace IndexedVocabulary {

QString stem(const QString &word)
{
    static constexpr QStringView suffixes[] = {u"ers", u"ors", u"ing", u"es", u"ed", u"er", u"or", u"s"};
    QStringView result = word;
    const qsizetype wordLength = length(word);
    for (const QStringView suffix : suffixes) {
        if (result.endsWith(suffix) && wordLength - suffix.size() > 3) {
            result.chop(suffix.size());
            break;
        }
    }
    if (result.endsWith(u'e') && length(result) >= 5)
        result.chop(1);
    return result.size() == word.size() ? word : result.toString();
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

size_t qHash(const NumberedPhrase &phrase, size_t seed = 0)
{
    return qHashMulti(seed, phrase.first, phrase.second, phrase.third);
}

QList<NumberedPhrase> phrases(const QList<const KeywordText::NumberedText *> &texts)
{
    if (texts.isEmpty())
        return {};
    const KeywordText::WordNumbers &words = texts.first()->words();
    // Per word, worked out once: may it stand in a phrase (letters only, 2 characters or more),
    // and may it open or close one (no stop word)?
    enum class Use : quint8 { unknown, outside, inside, atEdge };
    std::vector<Use> uses;   // by number
    const auto useOf = [&](int number) {
        if (size_t(number) >= uses.size())
            uses.resize(size_t(words.size()), Use::unknown);
        Use &use = uses[size_t(number)];
        if (use == Use::unknown) {
            const QString &word = words.word(number);
            use = words.length(number) < 2 || !isAllLetters(word) ? Use::outside
                : KeywordText::stopwords().contains(word)         ? Use::inside
                                                                  : Use::atEdge;
        }
        return use;
    };

    QList<NumberedPhrase> result;
    QSet<NumberedPhrase> seen;
    const auto collect = [&](std::span<const int> piece, size_t window) {
        for (size_t start = 0; start + window <= piece.size(); ++start) {
            bool ok = useOf(piece[start]) == Use::atEdge && useOf(piece[start + window - 1]) == Use::atEdge;
            for (size_t i = start + 1; ok && i + 1 < start + window; ++i)
                ok = useOf(piece[i]) != Use::outside;
            if (!ok)
                continue;
            const NumberedPhrase phrase{piece[start], piece[start + 1], window == 3 ? piece[start + 2] : -1};
            if (seen.contains(phrase))
                continue;
            seen.insert(phrase);
            result.append(phrase);
        }
    };
    for (const KeywordText::NumberedText *text : texts) {
        Q_ASSERT(&text->words() == &words);
        text->withoutLinks().forEachPiece(isPhraseBreak, [&](std::span<const int> piece) {
            collect(piece, 2);
            collect(piece, 3);
        });
    }
    return result;
}

QStringList phrases(const QStringList &texts)
{
    KeywordText::WordNumbers words;
    QList<KeywordText::NumberedText> numbered;
    numbered.reserve(texts.size());
    QList<const KeywordText::NumberedText *> pointers;
    for (const QString &text : texts) {
        numbered.append(KeywordText::NumberedText(text, words));
        pointers.append(&numbered.constLast());
    }
    QStringList result;
    for (const NumberedPhrase &phrase : phrases(pointers)) {
        const QString &first = words.word(phrase.first);
        const QString &second = words.word(phrase.second);
        if (phrase.third < 0)
            result.append(first % u' ' % second);
        else
            result.append(first % u' ' % second % u' ' % words.word(phrase.third));
    }
    return result;
}

QList<Proposal> propose(const QStringList &vocabulary, const QStringList &foundQueries,
                        const QStringList &marketPhrases, const QSet<QString> &exclude, int limit,
                        int maxCombinationWords)
{
    KeywordText::WordNumbers words;
    Admission admission(exclude, words);
    const auto marketPhrase = [&](qsizetype i) {
        return MarketPhrase{marketPhrases.at(i), admission.numbersOf(marketPhrases.at(i))};
    };
    return proposeFrom(vocabulary, foundQueries, marketPhrases.size(), marketPhrase, admission, limit,
                       maxCombinationWords);
}

QList<Proposal> propose(const QStringList &vocabulary, const QStringList &foundQueries,
                        const QList<NumberedPhrase> &marketPhrases, KeywordText::WordNumbers &words,
                        const QSet<QString> &exclude, int limit, int maxCombinationWords)
{
    Admission admission(exclude, words);
    const auto marketPhrase = [&](qsizetype i) {
        const NumberedPhrase &phrase = marketPhrases.at(i);
        Words numbers{phrase.first, phrase.second};
        if (phrase.third >= 0)
            numbers.append(phrase.third);
        // Words outside ASCII are read again from the phrase's text, as tokenize() might not
        // give them back unchanged.
        if (std::all_of(numbers.cbegin(), numbers.cend(), [&](int word) { return words.isAscii(word); }))
            return MarketPhrase{QString(), numbers};
        const QString text = joined(numbers, words);
        return MarketPhrase{text, admission.numbersOf(text)};
    };
    return proposeFrom(vocabulary, foundQueries, marketPhrases.size(), marketPhrase, admission, limit,
                       maxCombinationWords);
}

}
