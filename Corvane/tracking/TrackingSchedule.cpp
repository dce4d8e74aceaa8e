#include "tracking/TrackingSchedule.h"

#include "keywords/KeywordSource.h"
#include "store/ASOStore.h"
#include "store/Settings.h"
#include "support/Unicode.h"

#include <QSet>
#include <QTimeZone>
#include <QVariantMap>

#include <algorithm>
#include <limits>

namespace TrackingSchedule {

namespace {

constexpr qint64 msPerDay = 86'400'000;
// A keyword found this recently is searched every day.
constexpr qint64 recentlyFoundMs = 1'209'600'000;
// A keyword not found is searched again after a week less an hour, so that a run an hour
// earlier in the day than last week's still takes it.
constexpr qint64 weeklyRecheckMs = 601'200'000;

// Seconds east of UTC of the local clock at the instant.
int offsetAt(qint64 msSinceEpoch)
{
    return QDateTime::fromMSecsSinceEpoch(msSinceEpoch, Qt::LocalTime).offsetFromUtc();
}

QHash<QString, double> lastRuns()
{
    return trackingLastRunsMap(Settings::shared().value(lastRunsKey)).value_or(QHash<QString, double>());
}

// A job without a recorded run has never run.
bool ranBefore(const QHash<QString, double> &lastRuns, const TrackingJob &job, const QDateTime &time)
{
    return lastRuns.value(job.key(), -std::numeric_limits<double>::infinity()) < double(time.toMSecsSinceEpoch()) / 1000.0;
}

bool isNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

} // namespace

QList<TrackingJob> allJobs(ASOStore &store)
{
    const bool everyApp = Settings::shared().trackingScope() == TrackingScope::all;
    QList<TrackedApp> apps;
    for (const auto &app : store.db().apps()) {
        if (everyApp || app.isOwn)
            apps.append(app);
    }
    std::stable_sort(apps.begin(), apps.end(), appOrder);
    QList<TrackingJob> jobs;
    for (const auto &app : apps) {
        for (const auto &country : ASOStore::uniquedPreservingOrder(app.trackedCountries))
            jobs.append(TrackingJob{app.appleAppId, country});
    }
    return jobs;
}

bool appOrder(const TrackedApp &a, const TrackedApp &b)
{
    if (a.isOwn != b.isOwn)
        return a.isOwn;
    return a.createdAt < b.createdAt;
}

QList<TrackingJob> dueJobs(ASOStore &store, const QDateTime &at)
{
    const auto &settings = Settings::shared();
    if (!settings.trackingEnabled() || at.toLocalTime().time().hour() < settings.trackingHour())
        return {};
    const auto dayStart = startOfDay(at);
    const auto runs = lastRuns();
    QList<TrackingJob> due;
    for (const auto &job : allJobs(store)) {
        if (ranBefore(runs, job, dayStart))
            due.append(job);
    }
    return due;
}

std::optional<QDateTime> nextRunDate(ASOStore &store, const QDateTime &after)
{
    const auto &settings = Settings::shared();
    if (!settings.trackingEnabled())
        return std::nullopt;
    const auto jobs = allJobs(store);
    if (jobs.isEmpty())
        return std::nullopt;
    const QTime hour(int(settings.trackingHour()), 0);
    const QDate day = after.toLocalTime().date();
    auto today = dateAt(day, hour);
    if (!today.isValid())
        today = after;
    const auto dayStart = startOfDay(after);
    const auto runs = lastRuns();
    const bool someDue = std::any_of(jobs.begin(), jobs.end(),
                                     [&](const TrackingJob &job) { return ranBefore(runs, job, dayStart); });
    if (someDue)
        return std::max(today, after);
    // From the hour itself: today's time may have moved past a skipped hour, tomorrow's need not.
    const auto tomorrow = dateAt(day.addDays(1), hour);
    return tomorrow.isValid() ? std::optional<QDateTime>(tomorrow) : std::nullopt;
}

QList<Keyword> keywordsToRecheck(ASOStore &store, const TrackedApp &app, const QString &country,
                                 const QDateTime &now)
{
    const auto pairs = store.snapshotPairs(app, country);
    const auto links = store.db().linksOfApp(app.persistentId);
    QSet<QString> manual;
    for (const auto &[link, keyword] : links) {
        const auto source = KeywordSources::fromRaw(link.sourceRaw);
        if (keyword && (!source || *source == KeywordSource::manual))
            manual.insert(keyword->normalized);
    }
    const qint64 nowMs = now.toMSecsSinceEpoch();
    QSet<QString> considered;
    QList<Keyword> chosen;
    for (const auto &[link, keyword] : links) {
        if (!keyword || considered.contains(keyword->normalized))
            continue;
        considered.insert(keyword->normalized);
        const auto pair = pairs.constFind(keyword->normalized);
        // Read outside the lambda: clang 14 cannot capture a structured binding.
        const bool isManual = manual.contains(keyword->normalized);
        const auto due = [&] {
            if (isManual || pair == pairs.cend() || !pair->latest)
                return true;
            const auto &latest = *pair->latest;
            if (latest.state == RankingState::found || latest.state == RankingState::requestFailed)
                return true;
            if (pair->lastFoundAt && nowMs - pair->lastFoundAt->toMSecsSinceEpoch() < recentlyFoundMs)
                return true;
            return nowMs - latest.checkedAt.toMSecsSinceEpoch() >= weeklyRecheckMs;
        };
        if (due())
            chosen.append(*keyword);
    }
    std::sort(chosen.begin(), chosen.end(), keywordNormalizedAscending);
    return chosen;
}

bool keywordNormalizedAscending(const Keyword &a, const Keyword &b)
{
    return Unicode::lessThan(a.normalized, b.normalized);
}

void markRan(const QString &appleAppId, const QString &country, const QDateTime &at)
{
    auto runs = lastRuns();
    runs.insert(TrackingJob{appleAppId, country}.key(), double(at.toMSecsSinceEpoch()) / 1000.0);
    QVariantMap stored;
    for (auto it = runs.cbegin(); it != runs.cend(); ++it)
        stored.insert(it.key(), it.value());
    Settings::shared().setValue(lastRunsKey, stored);
}

std::optional<QHash<QString, double>> trackingLastRunsMap(const QVariant &stored)
{
    const auto type = stored.metaType().id();
    if (type != QMetaType::QVariantMap && type != QMetaType::QVariantHash)
        return std::nullopt;
    QHash<QString, double> runs;
    const auto entries = stored.toMap();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (!isNumber(it.value()))
            return std::nullopt;
        runs.insert(it.key(), it.value().toDouble());
    }
    return runs;
}

QDateTime dateAt(QDate day, QTime time)
{
    const QDateTime asUtc(day, time, QTimeZone::utc());
    if (!asUtc.isValid())
        return {};
    const qint64 wall = asUtc.toMSecsSinceEpoch();
    // Every offset lies within a day of UTC and no zone changes its clock twice in four days,
    // so the offsets two days either side are the only ones the instant can have.
    const qint64 offsetBefore = offsetAt(wall - 2 * msPerDay) * qint64(1000);
    const qint64 offsetAfter = offsetAt(wall + 2 * msPerDay) * qint64(1000);
    std::optional<qint64> first;
    for (const qint64 offset : {offsetBefore, offsetAfter}) {
        const qint64 candidate = wall - offset;
        if (offsetAt(candidate) * qint64(1000) == offset && (!first || candidate < *first))
            first = candidate;
    }
    if (!first) {
        // The clock jumps over this time; the first time it shows after the jump is the
        // instant of the jump, between the two candidates.
        qint64 low = wall - offsetAfter;
        qint64 high = wall - offsetBefore;
        while (high - low > 1) {
            const qint64 middle = low + (high - low) / 2;
            (offsetAt(middle) * qint64(1000) == offsetAfter ? high : low) = middle;
        }
        first = high;
    }
    return QDateTime::fromMSecsSinceEpoch(*first, QTimeZone::utc());
}

QDateTime startOfDay(const QDateTime &instant)
{
    return dateAt(instant.toLocalTime().date(), QTime(0, 0));
}

} // namespace TrackingSchedule
