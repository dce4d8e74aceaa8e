#include "keywords/RelatedApps.h"

#include "keywords/CandidateGenerator.h"
#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QHash>
#include <QStringBuilder>

#include <algorithm>

namespace {

// Words separated by spaces, empty pieces not counted.
int wordCount(QStringView term)
{
    int count = 0;
    bool inWord = false;
    for (const QChar c : term) {
        if (c == u' ') {
            inWord = false;
        } else if (!inWord) {
            inWord = true;
            ++count;
        }
    }
    return count;
}

// Leaves the terms once each, in ascending text order. Only equal texts compare equal, so a
// plain sort gives what a stable one would, without a buffer of its own.
void sortAscending(QStringList &terms)
{
    std::sort(terms.begin(), terms.end(), Unicode::lessThan);
    terms.erase(std::unique(terms.begin(), terms.end()), terms.end());
}

// The word tests of one call, each worked out once per distinct word: titles repeat their
// words a great deal.
class WordTests
{
public:
    struct Facts
    {
        bool meaningful = false;
        bool longerThanTwo = false;
    };

    Facts of(const QString &word)
    {
        auto it = m_facts.constFind(word);
        if (it == m_facts.cend())
            it = m_facts.insert(word, {KeywordText::isMeaningful(word), Unicode::characterCount(word) > 2});
        return it.value();
    }

private:
    QHash<QString, Facts> m_facts;
};

// Every meaningful word longer than 2 characters and every pair of neighbouring meaningful
// words of one segment's words.
void addSegmentTerms(const QStringList &words, QStringList &into, WordTests &tests)
{
    const QString *previous = nullptr;   // the last meaningful word
    for (const QString &word : words) {
        const WordTests::Facts facts = tests.of(word);
        if (!facts.meaningful)
            continue;
        if (previous)
            into.append(*previous % u' ' % word);
        if (facts.longerThanTwo)
            into.append(word);
        previous = &word;
    }
}

void addNameTerms(const QString &name, QStringList &into, WordTests &tests)
{
    for (const QString &segment : CandidateGenerator::nameSegments(name))
        addSegmentTerms(KeywordText::tokenize(segment), into, tests);
}

QList<RelatedApps::SegmentedTitle> segmentTitles(const QList<RelatedApps::Title> &titles,
                                                 KeywordText::WordNumbers &words)
{
    QList<RelatedApps::SegmentedTitle> result;
    result.reserve(titles.size());
    for (const RelatedApps::Title &title : titles)
        result.append(RelatedApps::segmentTitle(title.appleAppId, KeywordText::NumberedText(title.title, words)));
    return result;
}

// A title term by its words' numbers; a single word has -1 for its second.
quint64 termKey(int first, int second)
{
    return (quint64(quint32(first)) << 32) | quint32(second);
}

}

namespace RelatedApps {

QList<Score> rank(const QString &targetAppleAppId, const std::optional<QString> &targetGenre,
                  const QList<Observation> &observations, const QSet<QString> &exclude, int topN, int max)
{
    if (max <= 0)
        return {};
    // The rank weight divides by topN.
    const int top = std::max(topN, 1);

    struct Entry
    {
        QString name;
        double score = 0;
        int sightings = 0;
        bool sameGenre = false;
    };
    QHash<QString, Entry> entries;
    for (const Observation &observation : observations) {
        const double weight = observation.targetFound ? 2.0 : 1.0;
        for (const ObservedResult &result : observation.results) {
            if (result.rank > top || result.appleAppId == targetAppleAppId || exclude.contains(result.appleAppId))
                continue;
            auto it = entries.find(result.appleAppId);
            if (it == entries.end()) {
                const bool sameGenre = targetGenre && result.primaryGenre && *targetGenre == *result.primaryGenre;
                it = entries.insert(result.appleAppId, Entry{result.appName, 0, 0, sameGenre});
            }
            it->score += weight * (1.0 + (double(top) - double(result.rank) + 1.0) / double(top));
            it->sightings += 1;
        }
    }

    QList<Score> scores;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const Entry &entry = it.value();
        if (entry.sightings < 2 && !(entry.sightings == 1 && entry.sameGenre))
            continue;
        scores.append({it.key(), entry.name, entry.score + (entry.sameGenre ? 1.0 : 0.0), entry.sightings});
    }
    std::stable_sort(scores.begin(), scores.end(), [](const Score &a, const Score &b) {
        if (a.score != b.score)
            return a.score > b.score;
        return Unicode::lessThan(a.appleAppId, b.appleAppId);
    });
    if (scores.size() > max)
        scores.resize(max);
    return scores;
}

SegmentedTitle segmentTitle(const QString &appleAppId, const KeywordText::NumberedText &title)
{
    SegmentedTitle segmented{appleAppId, {}};
    title.forEachPiece(
        CandidateGenerator::isSegmentSeparator,
        [&](std::span<const int> words) { segmented.segments.append(QList<int>(words.begin(), words.end())); },
        KeywordText::NumberedText::Pieces::cleaned);
    return segmented;
}

QStringList phraseCompletions(const QString &phrase, const QList<Title> &titles, int limit, int minApps)
{
    KeywordText::WordNumbers words;
    return phraseCompletions(phrase, segmentTitles(titles, words), words, limit, minApps);
}

QStringList phraseCompletions(const QString &phrase, const QList<SegmentedTitle> &titles,
                              const KeywordText::WordNumbers &words, int limit, int minApps)
{
    const QStringList tokens = KeywordText::tokenize(phrase);
    if (tokens.isEmpty() || limit <= 0)
        return {};
    // A word that has no number is in no title, and no title completes the phrase.
    QVarLengthArray<int, 8> numbers;
    for (const QString &token : tokens) {
        numbers.append(words.find(token));
        if (numbers.last() < 0)
            return {};
    }
    const QString form = tokens.join(u' ');

    struct Completion
    {
        QString text;
        QSet<QString> apps;
    };
    QList<Completion> completions;   // in first-seen order
    QHash<QString, qsizetype> indexOf;
    auto record = [&](const QString &text, const QString &appleAppId) {
        auto it = indexOf.constFind(text);
        if (it == indexOf.cend()) {
            it = indexOf.insert(text, completions.size());
            completions.append({text, {}});
        }
        completions[it.value()].apps.insert(appleAppId);
    };

    const qsizetype width = numbers.size();
    for (const SegmentedTitle &title : titles) {
        for (const QList<int> &segment : title.segments) {
            for (qsizetype start = 0; start + width <= segment.size(); ++start) {
                if (!std::equal(numbers.cbegin(), numbers.cend(), segment.cbegin() + start))
                    continue;
                if (start > 0 && words.isMeaningful(segment.at(start - 1)))
                    record(words.word(segment.at(start - 1)) % u' ' % form, title.appleAppId);
                if (start + width < segment.size() && words.isMeaningful(segment.at(start + width)))
                    record(form % u' ' % words.word(segment.at(start + width)), title.appleAppId);
            }
        }
    }

    // `completions` is in first-seen order, so a stable sort by support keeps it for ties.
    QList<Completion> kept;
    for (const Completion &completion : completions) {
        if (completion.apps.size() >= minApps)
            kept.append(completion);
    }
    std::stable_sort(kept.begin(), kept.end(),
                     [](const Completion &a, const Completion &b) { return a.apps.size() > b.apps.size(); });
    QStringList result;
    for (qsizetype i = 0; i < kept.size() && i < limit; ++i)
        result.append(kept.at(i).text);
    return result;
}

QStringList termsFromTitles(const QStringList &titles, int limit, int minApps)
{
    QList<Title> unnamed;
    unnamed.reserve(titles.size());
    for (const QString &title : titles)
        unnamed.append({QString(), title});
    KeywordText::WordNumbers words;
    return termsFromTitles(segmentTitles(unnamed, words), words, limit, minApps);
}

QStringList termsFromTitles(const QList<SegmentedTitle> &titles, const KeywordText::WordNumbers &words, int limit,
                            int minApps)
{
    if (limit <= 0)
        return {};
    // Terms are counted by their words' numbers (a word's second number is -1) and get their
    // texts only when they are among the first.
    struct Counted
    {
        int first = 0;
        int second = -1;
        int count = 0;
        qsizetype firstTitle = 0;
    };
    QList<Counted> counted;
    QHash<quint64, qsizetype> indexOf;
    QVarLengthArray<quint64, 32> termsOfTitle;
    for (qsizetype t = 0; t < titles.size(); ++t) {
        // Every meaningful word longer than 2 characters and every pair of neighbouring meaningful
        // words of each segment, once per title.
        termsOfTitle.clear();
        for (const QList<int> &segment : titles.at(t).segments) {
            int previous = -1;   // the last meaningful word
            for (const int word : segment) {
                if (!words.isMeaningful(word))
                    continue;
                if (previous >= 0)
                    termsOfTitle.append(termKey(previous, word));
                if (words.length(word) > 2)
                    termsOfTitle.append(termKey(word, -1));
                previous = word;
            }
        }
        std::sort(termsOfTitle.begin(), termsOfTitle.end());
        termsOfTitle.erase(std::unique(termsOfTitle.begin(), termsOfTitle.end()), termsOfTitle.end());
        for (const quint64 key : std::as_const(termsOfTitle)) {
            auto it = indexOf.constFind(key);
            if (it == indexOf.cend()) {
                indexOf.insert(key, counted.size());
                counted.append({int(key >> 32), int(quint32(key)), 1, t});
            } else {
                counted[it.value()].count += 1;
            }
        }
    }

    // By count, pairs before words, then as first seen: by title, and within a title in text order.
    QList<const Counted *> kept;
    for (const Counted &entry : std::as_const(counted)) {
        if (entry.count >= minApps)
            kept.append(&entry);
    }
    const auto ahead = [](const Counted *a, const Counted *b) {
        if (a->count != b->count)
            return a->count > b->count;
        if ((a->second >= 0) != (b->second >= 0))
            return a->second >= 0;
        return a->firstTitle < b->firstTitle;
    };
    std::sort(kept.begin(), kept.end(), ahead);
    const auto text = [&](const Counted *entry) {
        if (entry->second < 0)
            return words.word(entry->first);
        return QString(words.word(entry->first) % u' ' % words.word(entry->second));
    };
    QStringList result;
    for (auto group = kept.cbegin(); group != kept.cend() && result.size() < limit;) {
        const auto groupEnd =
            std::find_if(group, kept.cend(), [&](const Counted *entry) { return ahead(*group, entry); });
        QStringList texts;
        for (auto it = group; it != groupEnd; ++it)
            texts.append(text(*it));
        std::sort(texts.begin(), texts.end(), Unicode::lessThan);
        for (qsizetype i = 0; i < texts.size() && result.size() < limit; ++i)
            result.append(texts.at(i));
        group = groupEnd;
    }
    return result;
}

QList<Term> terms(const QList<AppMeta> &apps, const QSet<QString> &targetVocabulary, int limit)
{
    KeywordText::WordNumbers words;
    QList<NumberedAppMeta> numbered;
    numbered.reserve(apps.size());
    for (const AppMeta &app : apps) {
        numbered.append({app.appleAppId, app.name, std::nullopt});
        if (app.description)
            numbered.last().description.emplace(*app.description, words);
    }
    return terms(numbered, targetVocabulary, limit);
}

QList<Term> terms(const QList<NumberedAppMeta> &apps, const QSet<QString> &targetVocabulary, int limit)
{
    if (limit <= 0)
        return {};
    struct Entry
    {
        QString term;
        qsizetype source = 0;   // index into `apps`
        QSet<QString> supporters;
        int words = 0;
    };
    QList<Entry> entries;   // in first-seen order
    WordTests tests;
    QHash<QString, qsizetype> indexOf;
    for (qsizetype a = 0; a < apps.size(); ++a) {
        const NumberedAppMeta &app = apps.at(a);
        QStringList termsOfApp;
        addNameTerms(app.name, termsOfApp, tests);
        if (app.description) {
            for (const QString &term : CandidateGenerator::descriptionTerms(*app.description, 12))
                termsOfApp.append(term);
        }
        sortAscending(termsOfApp);
        for (const QString &term : std::as_const(termsOfApp)) {
            auto it = indexOf.constFind(term);
            if (it == indexOf.cend()) {
                indexOf.insert(term, entries.size());
                entries.append({term, a, {app.appleAppId}, wordCount(term)});
            } else {
                entries[it.value()].supporters.insert(app.appleAppId);
            }
        }
    }

    QList<const Entry *> kept;
    for (const Entry &entry : entries) {
        const qsizetype support = entry.supporters.size();
        const QStringList words = entry.term.split(u' ', Qt::SkipEmptyParts);
        const bool fitsVocabulary = std::any_of(words.cbegin(), words.cend(),
                                                [&](const QString &w) { return targetVocabulary.contains(w); });
        const bool passes = words.size() >= 2 ? (fitsVocabulary || support >= 2) : (fitsVocabulary && support >= 2);
        if (passes)
            kept.append(&entry);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Entry *a, const Entry *b) {
        if (a->supporters.size() != b->supporters.size())
            return a->supporters.size() > b->supporters.size();
        return a->words > b->words;
    });
    QList<Term> result;
    for (qsizetype i = 0; i < kept.size() && i < limit; ++i) {
        const Entry &entry = *kept.at(i);
        const NumberedAppMeta &source = apps.at(entry.source);
        result.append({entry.term, source.appleAppId, source.name, int(entry.supporters.size())});
    }
    return result;
}

}
