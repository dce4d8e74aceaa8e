#pragma once

#include "model/Keyword.h"
#include "model/TrackedApp.h"
#include "tracking/TrackingJob.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QTime>
#include <QVariant>

#include <optional>

class ASOStore;

// Which tracking jobs exist, which are due, when the next scheduled run is, which keywords a
// job searches again, and when each job last ran. Pure decisions over the settings and the
// stored apps and readings; settings are read afresh at every call.
//
// Days and hours are those of the local time zone, as the C library knows it (TZ).
namespace TrackingSchedule {

// Settings key of the record of last runs: job key to seconds since 1970.
inline const QString lastRunsKey = QStringLiteral("trackingLastRuns");

// Every job of the apps in scope: own apps (or all, when the scope says so) in appOrder, each
// in its storefronts in their order, repeats left out.
QList<TrackingJob> allJobs(ASOStore &store);
// Own apps first, then the earlier created; equal apps keep their order in a stable sort.
bool appOrder(const TrackedApp &a, const TrackedApp &b);

// The jobs to run at `at`: from the tracking hour on, those that have not run since the
// start of that day, in the order of allJobs(). None when tracking is off.
QList<TrackingJob> dueJobs(ASOStore &store, const QDateTime &at);

// When the next scheduled run is: today at the tracking hour (or `after` itself when that has
// passed) while some job has not run today, else the tracking hour of the next day. Absent
// when tracking is off or there is nothing to track.
std::optional<QDateTime> nextRunDate(ASOStore &store, const QDateTime &after);

// The app's keywords that the job searches again, in code point order of their normal form:
// manual ones always; others when never read, found or failed at their latest reading, found
// within the last 14 days, or last read at least 7 days less one hour ago.
QList<Keyword> keywordsToRecheck(ASOStore &store, const TrackedApp &app, const QString &country,
                                 const QDateTime &now);
bool keywordNormalizedAscending(const Keyword &a, const Keyword &b);

// Records that the job completed at `at`. An unreadable record is replaced.
void markRan(const QString &appleAppId, const QString &country, const QDateTime &at);

// The stored record as job key to seconds since 1970; absent when it is no dictionary or
// any of its values is not a number.
std::optional<QHash<QString, double>> trackingLastRunsMap(const QVariant &stored);

// Local calendar.

// The first instant at which the local clock shows `time` on `day`. A time that the clock skips
// when it goes forward moves to the first time after the jump; a time that it shows twice when
// it goes back is taken at its first showing. Invalid for a date out of range.
QDateTime dateAt(QDate day, QTime time);
QDateTime startOfDay(const QDateTime &instant);

}
