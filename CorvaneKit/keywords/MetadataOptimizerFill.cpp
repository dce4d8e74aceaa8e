#include "keywords/MetadataOptimizer.h"
#include "keywords/MetadataOptimizerWords.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

namespace MetadataOptimizer {

namespace {

constexpr int maxFillPasses = 60;

bool isFillerOrStopword(const QString &word)
{
    return fillerWords().contains(word) || KeywordText::stopwords().contains(word);
}

QSet<QString> nameWordsOf(const QString &title, const QString &subtitle)
{
    const QStringList tokens = KeywordText::tokenize(title) + KeywordText::tokenize(subtitle);
    return QSet<QString>(tokens.cbegin(), tokens.cend());
}

bool isAscii(QStringView text)
{
    char16_t any = 0;
    for (const QChar c : text)
        any |= c.unicode();
    return any < 0x80;
}

// Whether the word, written after the previous kept word and a comma (or first, when there is
// none), reads back as itself. Joined by commas, words do not always: a mark that began a word
// (it followed a control character) joins the comma before it and goes with it; a sign that
// prepends to what follows takes the comma after it, so two words read as one; and a capital's
// lower case can compose with a mark only when read again. A comma blocks composition and
// grapheme clusters reach across one comma at most, so the previous word is all the context a
// word needs.
bool readsBack(const QString &previous, const QString &word)
{
    if (isAscii(word) && isAscii(previous))
        return true;
    if (previous.isEmpty())
        return KeywordText::tokenize(word) == QStringList{word};
    return KeywordText::tokenize(previous + QLatin1Char(',') + word) == QStringList{previous, word};
}

} // namespace

QString tidyKeywordField(const QString &title, const QString &subtitle, const QString &keywordField)
{
    const QSet<QString> nameWords = nameWordsOf(title, subtitle);
    QSet<QString> nameSingulars;
    for (const QString &word : nameWords)
        nameSingulars.insert(singular(word));

    // A word that would read back as another is dropped, never changed, and does not count as
    // kept: a later repeat or plural of it may still take its place.
    QStringList kept;
    QSet<QString> keptSet;
    QSet<QString> keptSingulars;
    for (const QString &w : KeywordText::tokenize(keywordField)) {
        if (nameWords.contains(w) || keptSet.contains(w) || isFillerOrStopword(w))
            continue;
        QString form = singular(w);
        if (nameSingulars.contains(form) || keptSingulars.contains(form))
            continue;
        if (!readsBack(kept.isEmpty() ? QString() : kept.constLast(), w))
            continue;
        kept.append(w);
        keptSet.insert(w);
        keptSingulars.insert(std::move(form));
    }
    return kept.join(QLatin1Char(','));
}

QString buildKeywordField(const QString &title, const QString &subtitle, const QStringList &keep,
                          const QList<Target> &targets)
{
    // Each fill pass needs only the suggestions of the analysis; the name's words are read once.
    const NameWords name(title, subtitle);
    QSet<QString> used = name.words;
    QStringList chosen;
    qsizetype length = 0;
    // The first word needs no comma before it.
    const auto costOf = [&](const QString &word) {
        return Unicode::characterCount(word) + (chosen.isEmpty() ? 0 : 1);
    };

    for (const QString &text : keep) {
        for (const QString &w : KeywordText::tokenize(text)) {
            if (used.contains(w))
                continue;
            if (isFillerOrStopword(w)) {
                used.insert(w);
                continue;
            }
            const qsizetype cost = costOf(w);
            if (length + cost > keywordsLimit)
                continue;
            chosen.append(w);
            used.insert(w);
            length += cost;
        }
    }

    const auto field = [&] { return chosen.join(QLatin1Char(',')); };
    QList<Suggestion> suggestions = suggestWords(name, field(), targets);
    for (int pass = 0; pass < maxFillPasses; ++pass) {
        const Suggestion *pick = nullptr;
        for (const Suggestion &suggestion : std::as_const(suggestions)) {
            if (!used.contains(suggestion.word) && length + costOf(suggestion.word) <= keywordsLimit) {
                pick = &suggestion;
                break;
            }
        }
        if (!pick)
            break;
        const QString word = pick->word;
        used.insert(word);
        // A target made of a single filler word suggests it; it is never worth a place.
        if (isFillerOrStopword(word))
            continue;     // the field is unchanged, and so are its suggestions
        length += costOf(word);
        chosen.append(word);
        suggestions = suggestWords(name, field(), targets);
    }
    return field();
}

} // namespace MetadataOptimizer
