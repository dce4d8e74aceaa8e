#include "store/ASOStore.h"

#include "keywords/KeywordText.h"

// Weekly top search terms chosen on the research screen become keywords of an app.

QCoro::Task<std::optional<qint64>> ASOStore::addResearchTerms(QStringList terms, TrackedApp app, QString country)
{
    const QPointer<ASOStore> self(this);
    const Burst burst(this);
    const auto added = linkAtClick(manualCandidates(terms), app, country);
    auto stored = m_db->appByAppleId(app.appleAppId);
    if (!added || !stored)
        co_return added;

    for (const auto &term : terms) {
        const auto keyword = self->m_db->keywordByNormalized(KeywordText::normalize(term));
        if (!keyword)
            continue;
        const auto observation = co_await self->observation(*keyword, country, false);
        // The app may have been deleted, or the store closed, while the search ran.
        stored = self ? self->m_db->appByAppleId(app.appleAppId) : std::nullopt;
        if (!stored)
            co_return added;
        self->apply(observation, *stored);
    }

    co_await self->refreshPopularity(*stored, country, false);
    if (self && self->m_db->appByAppleId(app.appleAppId))
        self->raiseDataVersion();
    co_return added;
}
