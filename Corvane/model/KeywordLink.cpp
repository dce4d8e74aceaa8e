#include "model/KeywordLink.h"

#include <algorithm>

KeywordLink::KeywordLink(const TrackedApp &app, const Keyword &keyword, const PlannedCandidate &candidate,
                         qint64 depth, qint64 position)
    : key(makeKey(app.appleAppId, keyword.normalized, candidate.source)),
      appPersistentId(app.persistentId),
      keywordPersistentId(keyword.persistentId),
      sourceRaw(KeywordSources::rawValue(candidate.source)),
      detail(candidate.detail),
      sourceAppleAppId(candidate.sourceAppleAppId),
      priority(basePriority(candidate.source) - std::min<qint64>(position, 99)),
      depth(depth)
{
}

qint64 KeywordLink::basePriority(KeywordSource source)
{
    // Stored in the links, so this table is the stored meaning of a priority; it is kept here
    // rather than derived from the library's source strengths.
    switch (source) {
    case KeywordSource::manual:
        return 10000;
    case KeywordSource::appName:
        return 9000;
    case KeywordSource::description:
        return 4500;
    case KeywordSource::category:
        return 5000;
    case KeywordSource::developer:
        return 4000;
    case KeywordSource::suggestion:
        return 7500;
    case KeywordSource::combination:
        return 7200;
    case KeywordSource::expansion:
        return 6500;
    case KeywordSource::relatedApp:
        return 5000;
    case KeywordSource::observedInSearch:
        return 3500;
    case KeywordSource::indexedPhrase:
        return 9500;
    case KeywordSource::probe:
        return 8000;
    }
    Q_UNREACHABLE();
}

QString KeywordLink::makeKey(const QString &appleAppId, const QString &normalized, KeywordSource source)
{
    return appleAppId + QLatin1Char('|') + normalized + QLatin1Char('|') + KeywordSources::rawValue(source);
}
