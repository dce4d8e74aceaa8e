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

// Marking and deleting alerts: the change is seen through the store at once and written in
// saves of at most this many alerts each, so that thousands of them never hold the window.
namespace {

constexpr qsizetype alertEditsPerSave = 1000;

}

qint64 ASOStore::AlertEdit::unreadChange() const
{
    return (!remove && !read ? 1 : 0) - (unreadStored ? 1 : 0);
}

QList<RankAlert> ASOStore::withAlertEdits(QList<RankAlert> alerts) const
{
    if (m_alertEdits.isEmpty())
        return alerts;
    QList<RankAlert> edited;
    edited.reserve(alerts.size());
    for (auto &alert : alerts) {
        const auto edit = m_alertEdits.constFind(alert.persistentId);
        if (edit != m_alertEdits.cend()) {
            if (edit->remove)
                continue;
            alert.isRead = edit->read;
        }
        edited.append(std::move(alert));
    }
    return edited;
}

QList<RankAlert> ASOStore::alerts()
{
    return withAlertEdits(m_db->alertsNewestFirst());
}

QList<RankAlert> ASOStore::alertsAfter(qint64 persistentId)
{
    return withAlertEdits(m_db->alertsAfter(persistentId));
}

QList<std::pair<qint64, bool>> ASOStore::alertReadFlags()
{
    auto flags = m_db->alertReadFlags();
    if (m_alertEdits.isEmpty())
        return flags;
    QList<std::pair<qint64, bool>> edited;
    edited.reserve(flags.size());
    for (const auto &[id, read] : std::as_const(flags)) {
        const auto edit = m_alertEdits.constFind(id);
        if (edit == m_alertEdits.cend())
            edited.append({id, read});
        else if (!edit->remove)
            edited.append({id, edit->read});
    }
    return edited;
}

StoreDb::AlertsMark ASOStore::alertsMark()
{
    auto mark = m_db->alertsMark();
    mark.flagged += m_alertEditsMark.flagged;
    mark.removed += m_alertEditsMark.removed;
    return mark;
}

qint64 ASOStore::unreadAlertCount()
{
    // Counting reads every alert, and the sidebar asks after every change of the data.
    const auto mark = m_db->alertsMark();
    if (!m_storedUnread || m_storedUnread->first != mark)
        m_storedUnread = {mark, m_db->unreadAlertCount()};
    return m_storedUnread->second + m_alertEditsUnread;
}

QList<RankAlert> ASOStore::alertsSince(const QDateTime &time)
{
    return withAlertEdits(m_db->alertsSince(time));
}

void ASOStore::markAlertsRead(const QList<RankAlert> &alerts, bool read)
{
    reserveAlertEdits(alerts.size());
    bool edited = false;
    for (const auto &alert : alerts) {
        if (alert.isRead != read) {
            editAlert(alert, false, read);
            edited = true;
        }
    }
    // Readers of the flags read them again only when one changed.
    m_alertEditsMark.flagged += edited;
    writeAlertEdits();
}

void ASOStore::deleteAlerts(const QList<RankAlert> &alerts)
{
    reserveAlertEdits(alerts.size());
    for (const auto &alert : alerts)
        editAlert(alert, true, alert.isRead);
    m_alertEditsMark.removed += !alerts.isEmpty();
    writeAlertEdits();
}

void ASOStore::reserveAlertEdits(qsizetype count)
{
    m_alertEdits.reserve(m_alertEdits.size() + count);
    m_alertEditQueue.reserve(m_alertEditQueue.size() + count);
}

void ASOStore::editAlert(const RankAlert &alert, bool remove, bool read)
{
    auto edit = m_alertEdits.find(alert.persistentId);
    if (edit == m_alertEdits.end()) {
        // What the database holds until the edit is written; the alert as read through the store.
        edit = m_alertEdits.insert(alert.persistentId, AlertEdit{false, alert.isRead, !alert.isRead, alert.appleAppId});
        m_alertEditQueue.append(alert.persistentId);
    }
    m_alertEditsUnread -= edit->unreadChange();
    edit->remove = edit->remove || remove;
    edit->read = read;
    m_alertEditsUnread += edit->unreadChange();
}

void ASOStore::forgetAlertEditsOf(const QString &appleAppId)
{
    // Its alerts left every read and go with its other rows.
    for (auto edit = m_alertEdits.begin(); edit != m_alertEdits.end();) {
        if (edit->appleAppId == appleAppId) {
            m_alertEditsUnread -= edit->unreadChange();
            edit = m_alertEdits.erase(edit);
        } else {
            ++edit;
        }
    }
}

void ASOStore::writeAlertEdits()
{
    // Few are written at once, as before; many in the background.
    if (!m_editingAlerts && m_alertEditQueue.size() <= alertEditsPerSave)
        saveAlertEdits(alertEditsPerSave);
    else if (!m_editingAlerts)
        startWritingAlertEdits();
    raiseDataVersion();
}

void ASOStore::saveAlertEdits(qsizetype count)
{
    QList<qint64> removed, read, unread;
    const auto taken = std::min(count, m_alertEditQueue.size());
    for (qsizetype i = 0; i < taken; ++i) {
        const auto id = m_alertEditQueue.at(i);
        const auto edit = m_alertEdits.constFind(id);
        // Gone with its app.
        if (edit == m_alertEdits.cend())
            continue;
        (edit->remove ? removed : edit->read ? read : unread).append(id);
        m_alertEditsUnread -= edit->unreadChange();
        m_alertEdits.erase(edit);
    }
    m_alertEditQueue.remove(0, taken);
    // A failed save is ignored, as every failed save of the store: the alerts stay as stored.
    StoreDb::Transaction save(*m_db);
    m_db->removeAlerts(removed);
    m_db->setAlertsRead(read, true);
    m_db->setAlertsRead(unread, false);
    // The screens showed the edits made; now they show what is stored.
    if (!save.commit())
        raiseDataVersion();
}

void ASOStore::startWritingAlertEdits()
{
    m_editingAlerts = true;
    // On a later turn, after the screens showed the edits; a store destroyed before that leaves
    // nothing waiting.
    QTimer::singleShot(0, this, [this] { writeAlertEditsInTurns(this); });
}

QCoro::Task<> ASOStore::writeAlertEditsInTurns(QPointer<ASOStore> self)
{
    const Burst burst(self);
    // Quitting lets them finish: they are few saves, and the user saw them made.
    while (self && !self->m_alertEditQueue.isEmpty()) {
        self->saveAlertEdits(alertEditsPerSave);
        // Steps aside while the log begins anew, rather than be held in a later save.
        if (self && !self->m_alertEditQueue.isEmpty())
            co_await self->pauseIfSliceSpent();
    }
    if (self)
        self->m_editingAlerts = false;
}
