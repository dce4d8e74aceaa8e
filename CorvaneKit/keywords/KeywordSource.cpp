#include "keywords/KeywordSource.h"

#include <array>

namespace {

struct SourceInfo
{
    KeywordSource source;
    const char16_t *rawValue;
    const char16_t *label;
    int priority;
};

constexpr std::array<SourceInfo, 12> table{{
    {KeywordSource::manual, u"MANUAL", u"Manual", 100},
    {KeywordSource::appName, u"APP_NAME", u"App name", 90},
    {KeywordSource::description, u"DESCRIPTION", u"Description", 45},
    {KeywordSource::category, u"CATEGORY", u"Category", 50},
    {KeywordSource::developer, u"DEVELOPER", u"Developer", 40},
    {KeywordSource::suggestion, u"SUGGESTION_PROVIDER", u"Suggestion", 75},
    {KeywordSource::combination, u"COMBINATION", u"Combination", 72},
    {KeywordSource::expansion, u"EXPANSION", u"Expansion", 65},
    {KeywordSource::relatedApp, u"RELATED_APP", u"Related app", 50},
    {KeywordSource::observedInSearch, u"OBSERVED_IN_SEARCH", u"Seen in results", 35},
    {KeywordSource::indexedPhrase, u"INDEXED_PHRASE", u"Indexed words", 95},
    {KeywordSource::probe, u"PROBE", u"Probe", 80},
}};

constexpr bool inDeclarationOrder()
{
    for (size_t i = 0; i < table.size(); ++i) {
        if (static_cast<size_t>(table[i].source) != i)
            return false;
    }
    return true;
}
static_assert(inDeclarationOrder(), "the table is indexed by the enumerator");

const SourceInfo &info(KeywordSource source)
{
    return table[static_cast<size_t>(source)];
}

}

namespace KeywordSources {

QString rawValue(KeywordSource source)
{
    return QString::fromUtf16(info(source).rawValue);
}

std::optional<KeywordSource> fromRaw(QStringView raw)
{
    for (const SourceInfo &entry : table) {
        if (raw == QStringView(entry.rawValue))
            return entry.source;
    }
    return std::nullopt;
}

QString label(KeywordSource source)
{
    return QString::fromUtf16(info(source).label);
}

int priority(KeywordSource source)
{
    return info(source).priority;
}

const QList<KeywordSource> &all()
{
    static const QList<KeywordSource> sources = [] {
        QList<KeywordSource> list;
        for (const SourceInfo &entry : table)
            list.append(entry.source);
        return list;
    }();
    return sources;
}

}
