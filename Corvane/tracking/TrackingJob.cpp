#include "tracking/TrackingJob.h"

QString TrackingJob::key() const
{
    return appleAppId + QLatin1Char('|') + country;
}
