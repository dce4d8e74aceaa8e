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

} // namespace

QString tidyKeywordField(const QString &title, const QString &subtitle, const QString &keywordField)
{
    const QSet<QString> nameWords = nameWordsOf(title, subtitle);
    QSet<QString> presentSingulars;
    for (const QString &word : nameWords)
        presentSingulars.insert(singular(word));

    QStringList kept;
    QSet<QString> keptSet;
    for (const QString &w : KeywordText::tokenize(keywordField)) {
        if (nameWords.contains(w) || keptSet.contains(w) || isFillerOrStopword(w))
            continue;
        QString form = singular(w);
        if (presentSingulars.contains(form))
            continue;
        kept.append(w);
        keptSet.insert(w);
        presentSingulars.insert(std::move(form));
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
