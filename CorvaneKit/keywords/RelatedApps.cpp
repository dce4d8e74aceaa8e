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

QList<SegmentedTitle> segmentTitles(const QList<Title> &titles)
{
    QList<SegmentedTitle> result;
    result.reserve(titles.size());
    for (const Title &title : titles) {
        SegmentedTitle segmented{title.appleAppId, {}};
        for (const QString &segment : CandidateGenerator::nameSegments(title.title))
            segmented.segments.append(KeywordText::tokenize(segment));
        result.append(segmented);
    }
    return result;
}

QStringList phraseCompletions(const QString &phrase, const QList<Title> &titles, int limit, int minApps)
{
    return phraseCompletions(phrase, segmentTitles(titles), limit, minApps);
}

QStringList phraseCompletions(const QString &phrase, const QList<SegmentedTitle> &titles, int limit, int minApps)
{
    const QStringList tokens = KeywordText::tokenize(phrase);
    if (tokens.isEmpty() || limit <= 0)
        return {};
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

    const qsizetype width = tokens.size();
    for (const SegmentedTitle &title : titles) {
        for (const QStringList &words : title.segments) {
            for (qsizetype start = 0; start + width <= words.size(); ++start) {
                if (!std::equal(tokens.cbegin(), tokens.cend(), words.cbegin() + start))
                    continue;
                if (start > 0 && KeywordText::isMeaningful(words.at(start - 1)))
                    record(words.at(start - 1) % u' ' % form, title.appleAppId);
                if (start + width < words.size() && KeywordText::isMeaningful(words.at(start + width)))
                    record(form % u' ' % words.at(start + width), title.appleAppId);
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
    return termsFromTitles(segmentTitles(unnamed), limit, minApps);
}

QStringList termsFromTitles(const QList<SegmentedTitle> &titles, int limit, int minApps)
{
    if (limit <= 0)
        return {};
    struct Counted
    {
        QString term;
        int count = 0;
        int words = 0;
    };
    QList<Counted> counted;   // in first-seen order
    WordTests tests;
    QHash<QString, qsizetype> indexOf;
    QStringList termsOfTitle;
    for (const SegmentedTitle &title : titles) {
        termsOfTitle.clear();
        for (const QStringList &words : title.segments)
            addSegmentTerms(words, termsOfTitle, tests);
        sortAscending(termsOfTitle);
        for (const QString &term : std::as_const(termsOfTitle)) {
            auto it = indexOf.constFind(term);
            if (it == indexOf.cend()) {
                indexOf.insert(term, counted.size());
                counted.append({term, 1, wordCount(term)});
            } else {
                counted[it.value()].count += 1;
            }
        }
    }

    QList<Counted> kept;
    for (const Counted &entry : counted) {
        if (entry.count >= minApps)
            kept.append(entry);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Counted &a, const Counted &b) {
        if (a.count != b.count)
            return a.count > b.count;
        return a.words > b.words;
    });
    QStringList result;
    for (qsizetype i = 0; i < kept.size() && i < limit; ++i)
        result.append(kept.at(i).term);
    return result;
}

QList<Term> terms(const QList<AppMeta> &apps, const QSet<QString> &targetVocabulary, int limit)
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
        const AppMeta &app = apps.at(a);
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
        const AppMeta &source = apps.at(entry.source);
        result.append({entry.term, source.appleAppId, source.name, int(entry.supporters.size())});
    }
    return result;
}

}
