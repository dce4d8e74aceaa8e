#include "keywords/CandidateGenerator.h"

#include "keywords/KeywordText.h"
#include "support/Unicode.h"

#include <QHash>
#include <QStringBuilder>

#include <algorithm>
#include <vector>

namespace {

constexpr int appNameCap = 15;
constexpr int suggestionCap = 15;
constexpr int descriptionCap = 20;
constexpr int categoryCap = 3;
constexpr int developerCap = 2;
constexpr int maxLeftWords = 6;
constexpr int maxRightWords = 8;
constexpr int descriptionWordsForCombinations = 6;
const QString combinationDetail = QStringLiteral("name/seed × category/description");

struct SourceList
{
    KeywordSource source;
    std::optional<QString> detail;
    int cap = 0;
    QStringList terms;
    qsizetype cursor = 0;
    int emitted = 0;
};

// The admission steps every seed and list term goes through, with the sets they share.
class Admission
{
public:
    explicit Admission(const QSet<QString> &exclude)
        : m_exclude(exclude)
    {
    }

    // Cleans the term and, when it is usable and not excluded, records it as considered.
    std::optional<KeywordText::Entry> consider(const QString &term)
    {
        KeywordText::Entry entry = KeywordText::entry(term);
        if (!KeywordText::isUsable(entry.normalized) || m_exclude.contains(entry.normalized))
            return std::nullopt;
        m_considered.insert(entry.normalized);
        return entry;
    }

    // Appends the entry unless an earlier candidate has its normal form.
    bool append(KeywordText::Entry entry, KeywordSource source, const std::optional<QString> &detail,
              QList<GeneratedCandidate> &out)
    {
        if (m_emitted.contains(entry.normalized))
            return false;
        m_emitted.insert(entry.normalized);
        out.append(GeneratedCandidate{std::move(entry.normalized), std::move(entry.display), source, detail});
        return true;
    }

    int consideredButNotEmitted() const
    {
        int count = 0;
        for (const QString &normalized : m_considered) {
            if (!m_emitted.contains(normalized))
                ++count;
        }
        return count;
    }

private:
    const QSet<QString> &m_exclude;
    QSet<QString> m_considered;
    QSet<QString> m_emitted;
};

qsizetype spaceSeparatedWords(const QString &text)
{
    return text.split(u' ', Qt::SkipEmptyParts).size();
}

QStringList firstUnique(const QStringList &words, qsizetype max)
{
    QStringList result;
    QSet<QString> seen;
    for (const QString &word : words) {
        if (result.size() >= max)
            break;
        if (!seen.contains(word)) {
            seen.insert(word);
            result.append(word);
        }
    }
    return result;
}

QStringList appNameTerms(const QString &cleanedName)
{
    QStringList terms;
    if (spaceSeparatedWords(cleanedName) <= KeywordText::maxWords)
        terms.append(cleanedName);
    const QStringList segments = CandidateGenerator::nameSegments(cleanedName);
    if (segments.size() >= 2)
        terms += segments;
    for (const QString &segment : segments) {
        const QStringList tokens = KeywordText::meaningfulTokens(segment);
        for (qsizetype i = 0; i + 1 < tokens.size(); ++i)
            terms.append(tokens[i] + u' ' + tokens[i + 1]);
    }
    terms += KeywordText::meaningfulTokens(cleanedName);
    return terms;
}

bool isBlankOrComma(QChar c)
{
    return c == u',' || Unicode::isWhiteSpace(c.unicode());   // White_Space lies in the BMP
}

// The name without a company suffix, as replacing "[\s,]*\b(inc|llc|ltd|gmbh|corp|co|limited|a\.?s|
// s\.?a)\.?$" (case-insensitive) and then "[\s,.]+$" by nothing would give it, in linear time: those
// expressions try every blank of a long run as a start and read to its end from each. A suffix with
// its dot, and the line break that "$" may stand before, takes at most 10 code units at the end, so
// the expression looks for it there alone; the blanks and commas before it are counted here.
QString cleanedDeveloperName(const std::optional<QString> &developerName)
{
    static const Unicode::Regex companySuffix(
        QStringLiteral(R"re(\b(inc|llc|ltd|gmbh|corp|co|limited|a\.?s|s\.?a)\.?$)re"), true);
    constexpr qsizetype suffixReach = 16;
    QString name = developerName.value_or(QString());
    qsizetype from = std::max<qsizetype>(name.size() - suffixReach, 0);
    if (from > 0 && name[from].isLowSurrogate())
        --from;
    if (const auto suffix = Unicode::Regex::Scanner(companySuffix, name).find(from)) {
        qsizetype start = suffix->start;
        while (start > 0 && isBlankOrComma(name[start - 1]))
            --start;
        name.remove(start, suffix->end - start);
    }
    qsizetype end = name.size();
    while (end > 0 && (name[end - 1] == u'.' || isBlankOrComma(name[end - 1])))
        --end;
    name.truncate(end);
    return KeywordText::clean(name);
}

QStringList combinationTerms(const CandidateGenerator::Input &input, const QString &cleanedName,
                             const QStringList &descriptionList)
{
    QStringList left;
    for (const QString &seed : input.seeds)
        left += KeywordText::meaningfulTokens(seed);
    left += KeywordText::meaningfulTokens(cleanedName);
    left = firstUnique(left, maxLeftWords);

    QStringList right = KeywordText::meaningfulTokens(input.primaryGenre.value_or(QString()));
    int singleWords = 0;
    for (const QString &term : descriptionList) {
        if (singleWords >= descriptionWordsForCombinations)
            break;
        if (!term.contains(u' ')) {
            right.append(term);
            ++singleWords;
        }
    }
    right = firstUnique(right, maxRightWords);

    QStringList terms;
    for (const QString &l : left) {
        for (const QString &r : right) {
            if (l.contains(r) || r.contains(l))   // covers l == r: never "photo photos"
                continue;
            terms.append(l + u' ' + r);
        }
    }
    return terms;
}

std::vector<SourceList> sourceLists(const CandidateGenerator::Input &input, int combinationCap)
{
    std::vector<SourceList> lists;
    const QString cleanedName = KeywordText::clean(input.appName);
    lists.push_back({KeywordSource::appName, std::nullopt, appNameCap, appNameTerms(cleanedName)});

    QStringList providers;
    QHash<QString, QStringList> byProvider;
    for (const auto &suggestion : input.suggestions) {
        if (!byProvider.contains(suggestion.providerId))
            providers.append(suggestion.providerId);
        byProvider[suggestion.providerId].append(suggestion.keyword);
    }
    for (const QString &provider : providers)
        lists.push_back({KeywordSource::suggestion, provider, suggestionCap, byProvider.value(provider)});

    const QStringList descriptionList =
        input.description ? CandidateGenerator::descriptionTerms(*input.description, 2 * descriptionCap) : QStringList();
    lists.push_back({KeywordSource::description, std::nullopt, descriptionCap, descriptionList});

    if (input.primaryGenre) {
        const QStringList tokens = KeywordText::meaningfulTokens(*input.primaryGenre);
        lists.push_back({KeywordSource::category, input.primaryGenre, categoryCap,
                         QStringList{tokens.join(u' ')} + tokens});
    }

    const QString developer = cleanedDeveloperName(input.developerName);
    if (!developer.isEmpty())
        lists.push_back({KeywordSource::developer, input.developerName, developerCap, QStringList{developer}});

    lists.push_back({KeywordSource::combination, combinationDetail, combinationCap,
                     combinationTerms(input, cleanedName, descriptionList)});
    return lists;
}

bool isPieceSeparator(QChar c)
{
    switch (c.unicode()) {
    case u'.': case u'!': case u'?': case u'\n': case u'\u2022': case u'\u25CF': case u'\u25AA': case u'-':
    case u'\u2013': case u'\u2014': case u':': case u';': case u'(': case u')': case u'[': case u']':
        return true;
    default:
        return false;
    }
}

// Splits at single code points; all separators are BMP characters.
QList<QStringView> splitAt(QStringView text, bool (*isSeparator)(QChar))
{
    QList<QStringView> pieces;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (isSeparator(text[i])) {
            pieces.append(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    pieces.append(text.sliced(start));
    return pieces;
}

struct TermStats
{
    int count = 0;
    int firstPosition = 0;
};

// A counted word (second < 0) or pair of neighbouring words, by the words' numbers.
struct Counted
{
    int first = 0;
    int second = -1;
    TermStats stats;
};

// Appends at most `max` terms of one group, most frequent first, then the earliest seen. First
// positions are unique within a group, so the order is total and only the leading terms need
// sorting.
void appendRanked(QStringList &terms, std::vector<Counted> &group, const KeywordText::WordNumbers &words,
                  qsizetype max)
{
    const auto n = std::min<qsizetype>(std::max<qsizetype>(max, 0), qsizetype(group.size()));
    std::partial_sort(group.begin(), group.begin() + n, group.end(), [](const Counted &a, const Counted &b) {
        if (a.stats.count != b.stats.count)
            return a.stats.count > b.stats.count;
        return a.stats.firstPosition < b.stats.firstPosition;
    });
    for (auto it = group.cbegin(); it != group.cbegin() + n; ++it)
        terms.append(it->second < 0 ? words.word(it->first) : words.word(it->first) % u' ' % words.word(it->second));
}

}

namespace CandidateGenerator {

Output generate(const Input &input)
{
    const int maxCandidates = std::max(input.maxCandidates, 0);
    // A fifth rounded up, without the sum that would overflow near the largest int.
    const int combinationCap = input.maxCombinations ? std::max(*input.maxCombinations, 0)
                                                     : maxCandidates / 5 + (maxCandidates % 5 != 0 ? 1 : 0);

    Output output;
    Admission admission(input.exclude);

    for (const QString &seed : input.seeds) {
        auto entry = admission.consider(seed);
        if (entry && output.candidates.size() < maxCandidates)
            admission.append(std::move(*entry), KeywordSource::manual, std::nullopt, output.candidates);
    }

    std::vector<SourceList> lists = sourceLists(input, combinationCap);
    bool emittedInRound = true;
    while (emittedInRound && output.candidates.size() < maxCandidates) {
        emittedInRound = false;
        for (SourceList &list : lists) {
            if (output.candidates.size() >= maxCandidates || list.emitted >= list.cap)
                continue;
            while (list.cursor < list.terms.size()) {
                auto entry = admission.consider(list.terms[list.cursor++]);
                if (entry && admission.append(std::move(*entry), list.source, list.detail, output.candidates)) {
                    ++list.emitted;
                    emittedInRound = true;
                    break;
                }
            }
        }
    }

    // Everything any list offered counts as considered, read or not, so that the dropped count
    // reports what the limits kept out.
    for (const SourceList &list : lists) {
        for (const QString &term : list.terms)
            admission.consider(term);
    }
    output.droppedByLimit = admission.consideredButNotEmitted();
    return output;
}

bool isSegmentSeparator(QChar c)
{
    switch (c.unicode()) {
    case u':': case u'|': case u'-': case u'\u2013': case u'\u2014': case u',': case u'\u00B7': case u'\u2022':
        return true;
    default:
        return false;
    }
}

QStringList nameSegments(const QString &name)
{
    QStringList segments;
    for (const QStringView piece : splitAt(name, isSegmentSeparator)) {
        // A name of one piece is handed over whole, so that a name already clean is not copied.
        QString cleaned = KeywordText::clean(piece.size() == name.size() ? name : piece.toString());
        if (!cleaned.isEmpty())
            segments.append(std::move(cleaned));
    }
    return segments;
}

QStringList descriptionTerms(const QString &text, int limit)
{
    if (limit <= 0)
        return {};
    KeywordText::WordNumbers words;
    return descriptionTerms(KeywordText::NumberedText(text, words), limit);
}

QStringList descriptionTerms(const KeywordText::NumberedText &text, int limit)
{
    if (limit <= 0)
        return {};
    // Words are counted by number, and pairs without building their text.
    const KeywordText::WordNumbers &words = text.words();
    const auto qualifies = [&](int number) { return words.length(number) >= 3 && words.isMeaningful(number); };
    std::vector<TermStats> wordStats;   // by number; a count of 0 for words not seen or that do not qualify
    QHash<std::pair<int, int>, TermStats> pairStats;
    // About one pair per eight characters of prose.
    pairStats.reserve(text.text().size() / 8);
    int position = 0;
    text.withoutLinks().forEachPiece(isPieceSeparator, [&](std::span<const int> numbers) {
        for (size_t i = 0; i < numbers.size(); ++i) {
            ++position;
            const int number = numbers[i];
            if (!qualifies(number))
                continue;
            if (size_t(number) >= wordStats.size())
                wordStats.resize(size_t(words.size()));
            TermStats &stats = wordStats[size_t(number)];
            if (stats.count++ == 0)
                stats.firstPosition = position;
            if (i + 1 < numbers.size() && qualifies(numbers[i + 1])) {
                auto pair = pairStats.find({number, numbers[i + 1]});
                if (pair == pairStats.end())
                    pairStats.insert({number, numbers[i + 1]}, TermStats{1, position});
                else
                    ++pair->count;
            }
        }
    });

    std::vector<Counted> repeatedPairs, singlePairs, repeatedWords;
    for (auto it = pairStats.cbegin(); it != pairStats.cend(); ++it)
        (it->count >= 2 ? repeatedPairs : singlePairs).push_back({it.key().first, it.key().second, it.value()});
    for (size_t number = 0; number < wordStats.size(); ++number) {
        if (wordStats[number].count >= 2)
            repeatedWords.push_back({int(number), -1, wordStats[number]});
    }
    QStringList terms;
    appendRanked(terms, repeatedPairs, words, limit);
    appendRanked(terms, repeatedWords, words, limit - terms.size());
    appendRanked(terms, singlePairs, words, limit - terms.size());
    return terms;
}

}
