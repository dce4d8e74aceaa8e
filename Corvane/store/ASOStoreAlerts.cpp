#include "store/ASOStore.h"

#include "model/AlertEditCoding.h"
#include "store/Settings.h"

#include <QDir>

#include <limits>

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
    // Only damage leaves no id for it: the reading is saved all the same.
    if (!m_db->insert(alert) && !m_db->alertIdLeft() && !std::exchange(m_alertIdsUsedUpTold, true)) {
        Q_EMIT problem(QStringLiteral("New ranking alerts could not be saved: the local database has no id left to "
                                      "give them, which only damage to it can cause. Rankings are still checked and "
                                      "saved."));
    }
}

// Marking and deleting alerts: the change is seen through the store at once; a few are saved
// at once, more in the background, at most this many at a step.
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
    mark.flagged -= m_writtenEditsMark.flagged;
    mark.removed -= m_writtenEditsMark.removed;
    mark.edits = m_firstEditNote + m_editNotes.size() - 1;
    return mark;
}

std::optional<QList<ASOStore::AlertEditNote>> ASOStore::alertEditsSince(qint64 edits) const
{
    if (edits + 1 < m_firstEditNote)
        return std::nullopt;
    return m_editNotes.mid(std::min(edits + 1 - m_firstEditNote, m_editNotes.size()));
}

void ASOStore::noteAlertEdit(AlertEditNote note)
{
    // Enough for the screens, which follow the edits of a few hundred clicks at once while the
    // background writer holds them back; a Clear of all may name a few hundred thousand alerts.
    constexpr qsizetype keptNotes = 1024;
    constexpr qsizetype keptIds = 1 << 20;
    m_editNoteIds += note.persistentIds.size();
    m_editNotes.append(std::move(note));
    qsizetype dropped = 0;
    while (m_editNotes.size() - dropped > 1
           && (m_editNotes.size() - dropped > keptNotes || m_editNoteIds > keptIds)) {
        m_editNoteIds -= m_editNotes.at(dropped++).persistentIds.size();
    }
    m_editNotes.remove(0, dropped);
    m_firstEditNote += dropped;
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
    QList<std::pair<qint64, bool>> changed;
    AlertEditNote note{{}, false, read};
    for (const auto &alert : alerts) {
        if (alert.isRead != read) {
            changed.append({alert.persistentId, alert.isRead});
            note.persistentIds.append(alert.persistentId);
        }
    }
    // Readers of the flags follow only a change.
    if (!changed.isEmpty())
        noteAlertEdit(std::move(note));
    editAlerts(changed, read ? StoreDb::AlertEditKind::markRead : StoreDb::AlertEditKind::markUnread);
}

void ASOStore::deleteAlerts(const QList<RankAlert> &alerts)
{
    QList<std::pair<qint64, bool>> removed;
    AlertEditNote note{{}, true, false};
    removed.reserve(alerts.size());
    note.persistentIds.reserve(alerts.size());
    for (const auto &alert : alerts) {
        removed.append({alert.persistentId, alert.isRead});
        note.persistentIds.append(alert.persistentId);
    }
    if (!alerts.isEmpty())
        noteAlertEdit(std::move(note));
    editAlerts(removed, StoreDb::AlertEditKind::remove);
}

void ASOStore::editAlerts(const QList<std::pair<qint64, bool>> &alerts, StoreDb::AlertEditKind kind)
{
    if (!alerts.isEmpty()) {
        reserveAlertEdits(alerts.size());
        const bool remove = kind == StoreDb::AlertEditKind::remove;
        QList<qint64> ids;
        ids.reserve(alerts.size());
        for (const auto &[id, isRead] : alerts) {
            editAlert(id, isRead, remove, remove ? isRead : kind == StoreDb::AlertEditKind::markRead);
            ids.append(id);
        }
        // A few, while nothing is written in the background, are saved at once, as any edit,
        // unless another program holds the write lock. Else the edit is appended to the journal
        // of edits, so that neither a crash nor a quit undoes it, and written in the background,
        // into the background save if one is open: a save of its own would end that one.
        const bool later = m_removing || m_db->inBackgroundSave() || m_db->hasJournaledAlertEdits()
            || !m_alertEditBatches.isEmpty() || m_alertEditQueue.size() > alertEditsPerSave;
        if (later || !writeAlertEdits(alertEditsPerSave, StoreDb::shortLockWait)) {
            AlertEditBatch batch{{}, false, m_alertEditsTaken + m_alertEditQueue.size(), kind,
                                 AlertEditCoding::runsOf(std::move(ids)), m_nextAlertEditSequence++};
            // A journal begun now names a state of the database that no copy of it from before
            // has; not when that save would wait for the lock that just failed, or hold back the
            // removal under way.
            if (later && !m_removing)
                renewAlertEditJournalOwner();
            batch.journaled = m_db->journalAlertEdit(batch.sequence, kind, batch.runs);
            if (batch.journaled)
                batch.runs = {};
            m_alertEditBatches.append(std::move(batch));
            if (!recordAlertEdits(StoreDb::shortLockWait) && !std::exchange(m_alertEditsUnrecordedTold, true)) {
                Q_EMIT problem(QStringLiteral("Your change to the alerts could not be saved yet: the local database is "
                                              "in use or cannot be written. Vantu keeps trying while it runs; if you "
                                              "quit before it succeeds, the change may be lost."));
            }
            startBackgroundWrites();
        }
    }
    raiseDataVersion();
}

void ASOStore::reserveAlertEdits(qsizetype count)
{
    m_alertEdits.reserve(m_alertEdits.size() + count);
    m_alertEditQueue.reserve(m_alertEditQueue.size() + count);
}

void ASOStore::editAlert(qint64 persistentId, bool isRead, bool remove, bool read)
{
    auto edit = m_alertEdits.find(persistentId);
    if (edit == m_alertEdits.end()) {
        // What the database holds until the edit is written; the alert as read through the store.
        edit = m_alertEdits.insert(persistentId, AlertEdit{false, isRead, !isRead});
        m_alertEditQueue.append(persistentId);
    }
    m_alertEditsUnread -= edit->unreadChange();
    edit->remove = edit->remove || remove;
    edit->read = read;
    m_alertEditsUnread += edit->unreadChange();
}

void ASOStore::forgetAlertEditsOf(const QString &appleAppId)
{
    // Its alerts left every read and go with its other rows.
    if (m_alertEdits.isEmpty())
        return;
    for (const auto id : m_db->alertIdsOfApp(appleAppId)) {
        if (const auto edit = m_alertEdits.constFind(id); edit != m_alertEdits.cend()) {
            m_alertEditsUnread -= edit->unreadChange();
            m_alertEdits.erase(edit);
        }
    }
}

bool ASOStore::recordAlertEdits(std::chrono::milliseconds lockWait)
{
    // In the order they were made, so that the next start applies them in that order.
    for (auto &batch : m_alertEditBatches) {
        if (batch.recorded())
            continue;
        if (writesHeld())
            return false;
        StoreDb::Transaction save(*m_db, lockWait);
        auto key = m_db->recordAlertEdit(batch.sequence, batch.kind, batch.runs);
        if (key.isEmpty() || !save.commit())
            return false;
        batch.key = std::move(key);
        batch.runs = {};
    }
    m_alertEditsUnrecordedTold = false;
    return true;
}

void ASOStore::clearAlertEditJournalIfSaved()
{
    if (!m_db->hasJournaledAlertEdits() || m_db->inBackgroundSave())
        return;
    if (std::any_of(m_alertEditBatches.cbegin(), m_alertEditBatches.cend(),
                    [](const AlertEditBatch &batch) { return batch.journaled; }))
        return;
    m_db->clearAlertEditJournal();
}

void ASOStore::alertEditsRolledBack()
{
    if (m_writingAlertEdits) {
        m_alertEditsLost = true;
        return;
    }
    // Read again at once, so that every read meanwhile still shows the edits.
    loadAlertEdits();
    startBackgroundWrites();
}

namespace {

// Whether ascending ids are in ascending runs, asked id after id.
class RunCursor
{
public:
    explicit RunCursor(const QList<StoreDb::AlertIdRun> &runs) : m_runs(runs) {}

    bool contains(qint64 id)
    {
        while (m_at < m_runs.size() && m_runs.at(m_at).last < id)
            ++m_at;
        return m_at < m_runs.size() && m_runs.at(m_at).first <= id;
    }

private:
    const QList<StoreDb::AlertIdRun> &m_runs;
    qsizetype m_at = 0;
};

}

void ASOStore::loadAlertEdits(bool atStart)
{
    // Those not recorded yet keep their alerts here; the others are read again.
    auto batches = [this] {
        QList<AlertEditBatch> unrecorded;
        for (auto &batch : m_alertEditBatches) {
            if (!batch.recorded())
                unrecorded.append(std::move(batch));
        }
        return unrecorded;
    }();
    m_alertEdits.clear();
    m_alertEditQueue.clear();
    m_alertEditsTaken = 0;
    m_alertEditsUnread = 0;
    m_alertEditBatches.clear();
    m_alertEditsLost = false;
    bool damaged = false;
    bool kept = false;
    for (auto &record : m_db->alertEditRecords()) {
        m_nextAlertEditSequence =
            std::max(m_nextAlertEditSequence, record.sequence + (record.sequence < std::numeric_limits<qint64>::max()));
        damaged = damaged || !record.readable;
        kept = kept || record.readable;
        // A damaged one in the database is set aside with the edits read with it; one in the
        // journal goes with the journal.
        if (record.readable || !record.key.isEmpty())
            batches.append({record.key, record.readable && record.key.isEmpty(), 0, record.kind, std::move(record.runs),
                            record.sequence, !record.readable});
    }
    // In the order they were made, wherever they were kept.
    std::stable_sort(batches.begin(), batches.end(),
                     [](const AlertEditBatch &a, const AlertEditBatch &b) { return a.sequence < b.sequence; });
    // At the start nobody listens yet: told once the event loop turns.
    const auto tell = [this](const QString &message) {
        QMetaObject::invokeMethod(this, [this, message] { Q_EMIT problem(message); }, Qt::QueuedConnection);
    };
    if (const auto aside = m_db->takeSetAsideAlertEditJournal(); !aside.isEmpty()) {
        tell(QStringLiteral("Vantu found changes to alerts that were kept for another database, or for an earlier copy "
                            "of this one (such as a backup put back in its place), and did not apply them. They were "
                            "set aside, unchanged, in \"%1\".")
                 .arg(QDir::toNativeSeparators(aside)));
    }
    // Passed over; the others apply. After a clean quit, kept edits mean that its save failed.
    if (damaged && !std::exchange(m_damagedAlertEditsTold, true)) {
        tell(QStringLiteral("Some changes to your alerts, kept from before Vantu last quit, were found damaged and could "
                            "not be applied. Alerts you marked as read or unread, or deleted, just before then may show "
                            "as they were: mark or delete them again."));
    } else if (kept && atStart && !m_db->writesHeld()) {
        tell(QStringLiteral("When Vantu last quit, some changes to your alerts could not be saved into the local "
                            "database: another program was using it, or it could not be written. They were kept, "
                            "and Vantu saves them now."));
    }
    if (batches.isEmpty())
        return;

    // What they come to, each alert once, worked out on their runs: records may name far more
    // ids than there are alerts.
    QList<std::pair<StoreDb::AlertEditKind, QList<StoreDb::AlertIdRun>>> edits;
    edits.reserve(batches.size());
    for (const auto &batch : std::as_const(batches))
        edits.append({batch.kind, batch.runs});
    const auto outcome = AlertEditCoding::combine(edits);
    edits.clear();
    // Applied to the alerts as stored: alerts gone, or of apps being removed, are passed over,
    // and so is a mark that changes nothing.
    auto flags = m_db->alertReadFlags();
    std::sort(flags.begin(), flags.end());
    RunCursor removed(outcome.removed), read(outcome.read), unread(outcome.unread);
    for (const auto &[id, isRead] : std::as_const(flags)) {
        if (removed.contains(id))
            editAlert(id, isRead, true, isRead);
        else if (read.contains(id) ? !isRead : unread.contains(id) && isRead)
            editAlert(id, isRead, false, !isRead);
    }
    // Each record goes once every edit read with it is written.
    for (auto &batch : batches) {
        batch.end = m_alertEditQueue.size();
        if (batch.recorded())
            batch.runs = {};
        m_alertEditBatches.append(std::move(batch));
    }
}

void ASOStore::renewAlertEditJournalOwner()
{
    if (m_db->filePath().isEmpty() || m_db->hasJournaledAlertEdits() || m_db->inBackgroundSave() || writesHeld())
        return;
    StoreDb::Transaction save(*m_db, StoreDb::shortLockWait);
    if (m_db->renewAlertEditJournalOwner())
        save.commit();
}

void ASOStore::saveAlertEditsAtQuit()
{
    // Into the file itself, so that after a clean quit the file alone holds every edit.
    if (!m_alertEditBatches.isEmpty() || !m_alertEditQueue.isEmpty()) {
        if (writesHeld() || !writeAlertEdits(m_alertEditQueue.size(), StoreDb::standardLockWait))
            recordAlertEdits(StoreDb::standardLockWait);
    }
    clearAlertEditJournalIfSaved();
}

bool ASOStore::writeAlertEdits(qsizetype count, std::chrono::milliseconds lockWait)
{
    m_writingAlertEdits = true;
    const auto before = m_db->alertsMark();
    const auto written = writeAlertEditsNow(count, lockWait);
    m_writingAlertEdits = false;
    if (written) {
        // The reads showed these edits already: their mark stays, so that a screen that follows
        // it does not read every alert again for them.
        const auto after = m_db->alertsMark();
        m_writtenEditsMark.flagged += after.flagged - before.flagged;
        m_writtenEditsMark.removed += after.removed - before.removed;
    }
    if (std::exchange(m_alertEditsLost, false))
        alertEditsRolledBack();
    return written;
}

bool ASOStore::writeAlertEditsNow(qsizetype count, std::chrono::milliseconds lockWait)
{
    QList<qint64> removed, read, unread;
    // Out of the reads before the save, which tells the screens: they read what is stored.
    QHash<qint64, AlertEdit> taken;
    const auto end = std::min(count, m_alertEditQueue.size());
    taken.reserve(end);
    for (qsizetype i = 0; i < end; ++i) {
        const auto id = m_alertEditQueue.at(i);
        const auto edit = m_alertEdits.constFind(id);
        // Gone with its app.
        if (edit == m_alertEdits.cend())
            continue;
        (edit->remove ? removed : edit->read ? read : unread).append(id);
        m_alertEditsUnread -= edit->unreadChange();
        taken.insert(id, *edit);
        m_alertEdits.erase(edit);
    }
    StoreDb::Transaction save(*m_db, lockWait);
    bool written = m_db->removeAlerts(removed) && m_db->setAlertsRead(read, true) && m_db->setAlertsRead(unread, false);
    // Each record goes with the last of its alerts.
    const auto position = m_alertEditsTaken + end;
    qsizetype done = 0;
    for (; written && done < m_alertEditBatches.size() && m_alertEditBatches.at(done).end <= position; ++done) {
        const auto &batch = m_alertEditBatches.at(done);
        written = batch.key.isEmpty()
            || (batch.damaged ? m_db->setAlertEditRecordAside(batch.key) : m_db->removeAlertEditRecord(batch.key));
    }
    if (!written || !save.commit()) {
        // Still to write: back into the reads, where no later edit replaced them.
        for (auto edit = taken.cbegin(); edit != taken.cend(); ++edit) {
            if (!m_alertEdits.contains(edit.key())) {
                m_alertEdits.insert(edit.key(), edit.value());
                m_alertEditsUnread += edit->unreadChange();
            }
        }
        return false;
    }
    // Written, in a save of its own or in the background save, which this connection reads.
    m_alertEditQueue.remove(0, end);
    m_alertEditsTaken += end;
    m_alertEditBatches.remove(0, done);
    if (m_alertEditQueue.isEmpty()) {
        m_alertEditQueue.squeeze();
        m_alertEditsTaken = 0;
        for (auto &batch : m_alertEditBatches)
            batch.end = 0;
    }
    return true;
}
