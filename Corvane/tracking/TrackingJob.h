#pragma once

#include <QHashFunctions>
#include <QString>

// One tracked app in one storefront: the unit of daily tracking.
struct TrackingJob
{
    QString appleAppId;
    // A storefront code as the app's tracked storefronts spell it.
    QString country;

    // "<appleAppId>|<country>": the key of its last run and of its alerts.
    QString key() const;

    friend bool operator==(const TrackingJob &, const TrackingJob &) = default;
    friend size_t qHash(const TrackingJob &job, size_t seed = 0) noexcept
    {
        return qHashMulti(seed, job.appleAppId, job.country);
    }
};
