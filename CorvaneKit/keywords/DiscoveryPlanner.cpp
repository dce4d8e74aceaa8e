#include "keywords/DiscoveryPlanner.h"

#include "keywords/CandidateGenerator.h"
#include "keywords/Expansion.h"
#include "keywords/IndexedVocabulary.h"
#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QHash>

#include <algorithm>

size_t qHash(const PlannedCandidate &candidate, size_t seed)
{
    QtPrivate::QHashCombine combine;
    seed = combine(seed, candidate.text);
    seed = combine(seed, KeywordSources::rawValue(candidate.source));
    for (const auto *field : {&candidate.detail, &candidate.sourceAppleAppId}) {
        seed = combine(seed, field->has_value() ? 1 : 0);
        if (field->has_value())
            seed = combine(seed, **field);
    }
    return seed;
}

namespace {

PlannedCandidate candidate(const QString &text, KeywordSource source, const QString &detail)
{
    return {text, source, detail, std::nullopt};
}

PlannedCandidate fromProposal(const IndexedVocabulary::Proposal &proposal)
{
    using Case = IndexedVocabulary::Kind::Case;
    switch (proposal.kind.kind) {
    case Case::indexedPhrase:
        return candidate(proposal.text, KeywordSource::indexedPhrase, QStringLiteral("all words indexed for this app"));
    case Case::combination:
        return candidate(proposal.text, KeywordSource::combination, QStringLiteral("two indexed words"));
    case Case::extension_:
        return candidate(proposal.text, KeywordSource::indexedPhrase, QStringLiteral("found phrase + indexed word"));
    case Case::probe:
        break;
    }
    return candidate(proposal.text, KeywordSource::probe,
                     QStringLiteral("tests whether \u201C") + proposal.kind.word + QStringLiteral("\u201D is indexed"));
}

void appendProposals(QList<PlannedCandidate> &out, const AppInfo &app, const QStringList &queries,
                     const QList<const KeywordText::NumberedText *> &texts, KeywordText::WordNumbers &words,
                     const QSet<QString> &known, int limit)
{
    const QStringList vocabulary = IndexedVocabulary::infer(app.name, queries);
    const auto market = IndexedVocabulary::phrases(texts);
    for (const auto &proposal : IndexedVocabulary::propose(vocabulary, queries, market, words, known, limit, 10))
        out.append(fromProposal(proposal));
}

void appendProposals(QList<PlannedCandidate> &out, const AppInfo &app, const QStringList &queries,
                     const QStringList &texts, const QSet<QString> &known, int limit)
{
    KeywordText::WordNumbers words;
    QList<KeywordText::NumberedText> numbered;
    numbered.reserve(texts.size());
    QList<const KeywordText::NumberedText *> pointers;
    for (const QString &text : texts) {
        numbered.append(KeywordText::NumberedText(text, words));
        pointers.append(&numbered.constLast());
    }
    appendProposals(out, app, queries, pointers, words, known, limit);
}

void appendAll(QList<PlannedCandidate> &out, const QStringList &texts, KeywordSource source, const QString &detail)
{
    for (const QString &text : texts)
        out.append(candidate(text, source, detail));
}

// The texts a round reads, each split and its words numbered once, in one word table: names
// recur across hundreds of searches, and several groups of candidates read them.
class RoundTexts
{
public:
    explicit RoundTexts(std::shared_ptr<KeywordText::WordNumbers> words)
        : m_words(std::move(words))
    {
    }

    // The text's place, given now when it is new.
    qsizetype indexOf(const QString &text)
    {
        const auto it = m_indexes.constFind(text);
        if (it != m_indexes.cend())
            return it.value();
        m_texts.append(KeywordText::NumberedText(text, *m_words));
        return m_indexes.insert(text, m_texts.size() - 1).value();
    }

    const KeywordText::NumberedText &at(qsizetype index) const { return m_texts.at(index); }
    qsizetype size() const { return m_texts.size(); }

private:
    std::shared_ptr<KeywordText::WordNumbers> m_words;
    QHash<QString, qsizetype> m_indexes;
    QList<KeywordText::NumberedText> m_texts;
};

// Texts in first-seen order, each once.
struct Distinct
{
    QStringList list;
    QSet<QString> seen;

    void add(const QString &text)
    {
        // Most texts come again and again: looking up is cheaper than inserting.
        if (seen.contains(text))
            return;
        seen.insert(text);
        list.append(text);
    }
};

QStringList withoutRepeats(const QStringList &texts)
{
    Distinct distinct;
    for (const QString &text : texts)
        distinct.add(text);
    return distinct.list;
}

}

namespace DiscoveryPlanner {

Corpus metadataCorpus(const AppInfo &app)
{
    return metadataCorpus(app, std::make_shared<KeywordText::WordNumbers>());
}

Corpus metadataCorpus(const AppInfo &app, std::shared_ptr<KeywordText::WordNumbers> words)
{
    Corpus corpus(std::move(words));
    corpus.add(app.name, 3);
    corpus.add(app.description, 1);
    if (!app.genres.isEmpty()) {
        for (const QString &genre : app.genres)
            corpus.add(genre, 1);
    } else {
        corpus.add(app.primaryGenre, 1);
    }
    return corpus;
}

QList<PlannedCandidate> roundZero(const AppInfo &app, const QStringList &manualSeeds,
                                  const QStringList &foundQueries, const QSet<QString> &known)
{
    QList<PlannedCandidate> out;
    appendProposals(out, app, foundQueries, {app.name, app.description.value_or(QString())}, known, 80);

    CandidateGenerator::Input input;
    input.appName = app.name;
    input.developerName = app.developerName;
    input.description = app.description;
    input.primaryGenre = app.primaryGenre;
    input.seeds = manualSeeds;
    input.maxCandidates = 80;
    // The vocabulary's combinations stand in for the generator's.
    input.maxCombinations = 0;
    for (const GeneratedCandidate &generated : CandidateGenerator::generate(input).candidates) {
        if (generated.source != KeywordSource::manual)
            out.append({generated.display, generated.source, generated.detail, std::nullopt});
    }

    appendAll(out, app.genres, KeywordSource::category, QStringLiteral("genre"));

    const Corpus corpus = metadataCorpus(app);
    QStringList phrases = corpus.topBigrams(20, 1);
    for (const QString &seed : manualSeeds)
        phrases.append(Unicode::lowercased(seed));
    phrases = withoutRepeats(phrases);
    appendAll(out, phrases.mid(0, 12), KeywordSource::description, QStringLiteral("metadata phrase"));

    appendAll(out, Expansion::expand(phrases, corpus, 25), KeywordSource::expansion,
              QStringLiteral("expanded from metadata phrases"));
    return out;
}

QStringList seeds(const QList<FoundKeyword> &found, int max)
{
    if (max <= 0)
        return {};
    QList<FoundKeyword> sorted = found;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const FoundKeyword &a, const FoundKeyword &b) { return a.rank < b.rank; });
    QStringList phrases;
    for (const FoundKeyword &entry : sorted) {
        const QString phrase = KeywordText::tokenize(entry.keyword).join(u' ');
        if (!phrase.isEmpty())
            phrases.append(phrase);
    }
    phrases = withoutRepeats(phrases);
    const qsizetype confident = std::count_if(sorted.cbegin(), sorted.cend(), [](const FoundKeyword &entry) {
        return entry.rank <= highConfidenceRank;
    });
    const qsizetype n = std::min<qsizetype>(max, std::max<qsizetype>(5, confident));
    return phrases.mid(0, n);
}

QList<RelatedApps::Score> relatedApps(const AppInfo &app, const QList<ObservedKeyword> &observations,
                                      const QSet<QString> &alreadyInspected, int max)
{
    QList<RelatedApps::Observation> related;
    related.reserve(observations.size());
    for (const ObservedKeyword &observed : observations) {
        RelatedApps::Observation observation;
        for (const SearchHit &hit : observed.hits) {
            if (hit.appleAppId == app.appleAppId)
                observation.targetFound = true;
            if (hit.rank <= 20)
                observation.results.append({hit.appleAppId, hit.name, hit.rank, hit.primaryGenre});
        }
        related.append(observation);
    }
    return RelatedApps::rank(app.appleAppId, app.primaryGenre, related, alreadyInspected, 20, max);
}

QList<PlannedCandidate> roundN(const AppInfo &app, const QStringList &seeds,
                               const QList<ObservedKeyword> &observations, const QList<AppInfo> &relatedMeta,
                               bool suggestions, const QStringList &foundQueries, const QSet<QString> &known)
{
    QList<PlannedCandidate> out;
    const auto words = std::make_shared<KeywordText::WordNumbers>();
    RoundTexts texts(words);

    // One pass over the hits gathers what the groups below read of them: every other app's
    // name, the latest title of each other app ranked 10 or better, and how often each name
    // ranked 20 or better (adding a name n times to a corpus equals adding it once with weight
    // n, and the counts do not depend on the order of adding).
    QList<qsizetype> marketTexts;   // the texts for vocabulary proposals, each once, as first seen
    std::vector<bool> inMarket;
    const auto addToMarket = [&](qsizetype text) {
        if (size_t(text) >= inMarket.size())
            inMarket.resize(size_t(texts.size()));
        if (!inMarket[size_t(text)]) {
            inMarket[size_t(text)] = true;
            marketTexts.append(text);
        }
    };
    std::vector<qint64> topSightings;   // by text
    QHash<QString, qsizetype> titleOf;
    addToMarket(texts.indexOf(app.name));
    for (const ObservedKeyword &observed : observations) {
        for (const SearchHit &hit : observed.hits) {
            const bool other = hit.appleAppId != app.appleAppId;
            if (!other && hit.rank > 20)
                continue;
            const qsizetype name = texts.indexOf(hit.name);
            if (other)
                addToMarket(name);
            if (other && hit.rank <= 10)
                titleOf.insert(hit.appleAppId, name);
            if (hit.rank <= 20) {
                if (size_t(name) >= topSightings.size())
                    topSightings.resize(size_t(texts.size()));
                ++topSightings[size_t(name)];
            }
        }
    }

    QList<qsizetype> relatedNames;
    for (const AppInfo &related : relatedMeta) {
        relatedNames.append(texts.indexOf(related.name));
        addToMarket(relatedNames.last());
    }
    addToMarket(texts.indexOf(app.description.value_or(QString())));
    QList<const KeywordText::NumberedText *> market;
    for (const qsizetype text : std::as_const(marketTexts))
        market.append(&texts.at(text));
    appendProposals(out, app, foundQueries.isEmpty() ? seeds : foundQueries, market, *words, known, 120);

    if (suggestions) {
        // One title per app, in app ID order.
        QStringList ids = titleOf.keys();
        std::stable_sort(ids.begin(), ids.end(), Unicode::lessThan);
        QList<RelatedApps::SegmentedTitle> segmented;
        segmented.reserve(ids.size());
        for (const QString &id : ids)
            segmented.append(RelatedApps::segmentTitle(id, texts.at(titleOf.value(id))));
        // A title can only complete a seed that it holds the first word of: each seed is given
        // those titles only, in the same order.
        std::vector<QList<qsizetype>> titlesWith(size_t(words->size()));   // by word, ascending
        for (qsizetype t = 0; t < segmented.size(); ++t) {
            for (const QList<int> &segment : segmented.at(t).segments) {
                for (const int word : segment) {
                    QList<qsizetype> &holders = titlesWith[size_t(word)];
                    if (holders.isEmpty() || holders.last() != t)
                        holders.append(t);
                }
            }
        }
        for (const QString &seed : seeds) {
            const QStringList seedWords = KeywordText::tokenize(seed);
            const int first = seedWords.isEmpty() ? -1 : words->find(seedWords.first());
            QList<RelatedApps::SegmentedTitle> holders;
            if (first >= 0 && size_t(first) < titlesWith.size()) {
                for (const qsizetype t : titlesWith[size_t(first)])
                    holders.append(segmented.at(t));
            }
            appendAll(out, RelatedApps::phraseCompletions(seed, holders, *words, 3, 2), KeywordSource::suggestion,
                      QStringLiteral("search-result-completions"));
        }
        appendAll(out, RelatedApps::termsFromTitles(segmented, *words, 20, 2), KeywordSource::suggestion,
                  QStringLiteral("recurring-title-terms"));
    }

    Corpus corpus = metadataCorpus(app, words);
    const Corpus own = corpus;   // the app's own metadata only
    // About four pairs per name.
    corpus.reserve(4 * texts.size());
    for (size_t text = 0; text < topSightings.size(); ++text) {
        if (topSightings[text] > 0)
            corpus.add(texts.at(qsizetype(text)), topSightings[text]);
    }
    QList<RelatedApps::NumberedAppMeta> metas;
    for (qsizetype r = 0; r < relatedMeta.size(); ++r) {
        const AppInfo &related = relatedMeta.at(r);
        corpus.add(texts.at(relatedNames.at(r)), 2);
        metas.append({related.appleAppId, related.name, std::nullopt});
        if (related.description) {
            metas.last().description.emplace(*related.description, *words);
            corpus.add(*metas.last().description, 1);
        }
    }
    QSet<QString> vocabulary;
    const QHash<QString, qint64> ownTokens = own.tokens();
    for (auto it = ownTokens.cbegin(); it != ownTokens.cend(); ++it)
        vocabulary.insert(it.key());
    for (const QString &seed : seeds) {
        for (const QString &word : seed.split(u' ', Qt::SkipEmptyParts))
            vocabulary.insert(word);
    }
    for (const RelatedApps::Term &term : RelatedApps::terms(metas, vocabulary, 40)) {
        const QString detail = term.sourceName + QLatin1String(" (") + QString::number(term.support)
                               + QLatin1String(term.support == 1 ? " related app)" : " related apps)");
        out.append({term.term, KeywordSource::relatedApp, detail, term.sourceAppleAppId});
    }

    appendAll(out, Expansion::expand(seeds, corpus, 40), KeywordSource::expansion,
              QStringLiteral("expanded from found keywords"));
    return out;
}

QList<PlannedCandidate> vocabularyCandidates(const AppInfo &app, const QStringList &foundQueries,
                                             const QStringList &texts, const QSet<QString> &known, int limit)
{
    QList<PlannedCandidate> out;
    appendProposals(out, app, foundQueries, texts, known, limit);
    return out;
}

}
