#include "store/ASOStore.h"

#include "store/Settings.h"

// Ranking alerts: raised while a search result is applied, then read, marked and deleted.

namespace {

constexpr qint64 topTen = 10;

std::optional<int> narrow(std::optional<qint64> rank)
{
    return rank ? std::optional<int>(static_cast<int>(*rank)) : std::nullopt;
}

}

void ASOStore::raiseAlerts(const TrackedApp &app, const SearchObservation &observation,
                           const Ranking::Reading &current, const std::optional<RankPoint> &previous,
                           const QString &keywordDisplay)
{
    const auto &settings = Settings::shared();
    if (!observation.succeeded || !settings.alertsEnabled())
        return;
    if (settings.trackingScope() != TrackingScope::all && !app.isOwn)
        return;
    if (!previous || !(previous->checkedAt < observation.checkedAt))
        return;

    const auto change = Ranking::change(current, Ranking::Reading{previous->state, narrow(previous->rank)});
    const auto threshold = settings.alertMoveThreshold();
    const std::optional<qint64> now = current.rank ? std::optional<qint64>(*current.rank) : std::nullopt;
    const auto &before = previous->rank;
    RankAlertKind kind;
    switch (change.kind) {
    case Ranking::Change::Kind::none:
        return;
    case Ranking::Change::Kind::newRanking:
        kind = now && *now <= topTen ? RankAlertKind::enteredTop10 : RankAlertKind::newRanking;
        // The earlier search may simply not have looked that deep.
        if (now && previous->observationId) {
            const auto earlier = m_db->observationById(*previous->observationId);
            if (earlier && earlier->requestedLimit < *now)
                return;
        }
        break;
    case Ranking::Change::Kind::lost:
        kind = before && *before <= topTen ? RankAlertKind::leftTop10 : RankAlertKind::lostRanking;
        // This search may simply not have looked that deep.
        if (before && observation.requestedLimit < *before)
            return;
        break;
    case Ranking::Change::Kind::moved:
        if (!now || !before)
            return;
        if (*before > topTen && *now <= topTen)
            kind = RankAlertKind::enteredTop10;
        else if (*before <= topTen && *now > topTen)
            kind = RankAlertKind::leftTop10;
        else if (change.places >= threshold)
            kind = RankAlertKind::movedUp;
        else if (change.places <= -threshold)
            kind = RankAlertKind::movedDown;
        else
            return;
        break;
    default:
        return;
    }

    RankAlert alert;
    alert.id = QUuid::createUuid();
    alert.appleAppId = app.appleAppId;
    alert.appName = app.name;
    alert.keywordNormalized = observation.keywordNormalized;
    alert.keywordDisplay = keywordDisplay;
    alert.country = observation.country;
    alert.kindRaw = RankAlertKinds::rawValue(kind);
    alert.fromRank = previous->state == RankingState::found ? before : std::nullopt;
    alert.toRank = now;
    alert.observationId = observation.id;
    alert.createdAt = QDateTime::currentDateTimeUtc();
    alert.isRead = false;
    m_db->insert(alert);
}

QList<RankAlert> ASOStore::alerts()
{
    return m_db->alertsNewestFirst();
}

qint64 ASOStore::unreadAlertCount()
{
    return m_db->unreadAlertCount();
}

QList<RankAlert> ASOStore::alertsSince(const QDateTime &time)
{
    return m_db->alertsSince(time);
}

void ASOStore::markAlertsRead(const QList<RankAlert> &alerts, bool read)
{
    QList<qint64> changed;
    for (const auto &alert : alerts) {
        if (alert.isRead != read)
            changed.append(alert.persistentId);
    }
    StoreDb::Transaction save(*m_db);
    m_db->setAlertsRead(changed, read);
    save.commit();
    raiseDataVersion();
}

void ASOStore::deleteAlerts(const QList<RankAlert> &alerts)
{
    StoreDb::Transaction save(*m_db);
    for (const auto &alert : alerts)
        m_db->remove(alert);
    save.commit();
    raiseDataVersion();
}
