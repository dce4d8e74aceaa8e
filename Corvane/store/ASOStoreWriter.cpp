#include "store/ASOStore.h"

#include <QCoroSignal>
#include <QElapsedTimer>

#include <algorithm>
#include <new>

// Writing in the background: many alert edits, then the rows of removed apps. Each long save is
// written a few milliseconds at a time on turns of the event loop, and saved once it changed
// about as much as the log should take at once: a page it changes goes to the disk about once,
// where saving every step would write the same index pages again and again.

namespace {

// What one turn writes at most before the window may answer again.
constexpr auto stepTime = std::chrono::milliseconds(5);
// Rows one statement of a removal deletes: adapted so that a statement takes a fraction of a
// turn, within these bounds.
constexpr qint64 fewestRemoved = 50;
constexpr qint64 mostRemoved = 5000;
// Alert edits written by one statement.
constexpr qsizetype alertEditsPerStep = 1000;
// What a long save should write into the log: well within the log's bound, so that the log stays
// within it while the save is copied back. The rows a save may change are adapted to it.
constexpr qint64 saveBytes = 24 << 20;
constexpr qint64 fewestSaveRows = 2000;
constexpr qint64 mostSaveRows = 500000;
// A save that could not take the write lock, or failed, is tried again after this.
constexpr auto retryWait = std::chrono::seconds(1);

qint64 nextRemovalLimit(qint64 limit, qint64 elapsedMs)
{
    if (elapsedMs == 0)
        return std::min(limit * 2, mostRemoved);
    if (elapsedMs > 2)
        return std::max(limit / 2, fewestRemoved);
    return limit;
}

}

void ASOStore::startBackgroundWrites()
{
    if (m_removing || isShutDown() || writesHeld() || !hasBackgroundWork())
        return;
    m_removing = true;
    // On a later turn, so that the screens follow what was just changed first; a store destroyed
    // before that leaves nothing waiting.
    QTimer::singleShot(0, this, [this] { writeInBackground(this); });
}

bool ASOStore::hasBackgroundWork()
{
    return m_alertEditsLost || !m_alertEditQueue.isEmpty() || !m_alertEditBatches.isEmpty()
        || (!m_removalsStopped && !m_db->appRemovals().isEmpty());
}

bool ASOStore::writeStep(qint64 &rows)
{
    if (!m_alertEditQueue.isEmpty() || !m_alertEditBatches.isEmpty()) {
        const auto count = std::min(alertEditsPerStep, m_alertEditQueue.size());
        if (writeAlertEdits(alertEditsPerStep))
            rows += count;
        return true;
    }
    const auto removals = m_removalsStopped ? QList<StoreDb::AppRemoval>() : m_db->appRemovals();
    if (removals.isEmpty())
        return false;
    QElapsedTimer timer;
    timer.start();
    const auto removed = m_db->continueRemoval(nextRemoval(removals), m_removalLimit);
    m_removalLimit = nextRemovalLimit(m_removalLimit, timer.elapsed());
    rows += std::max<qint64>(removed, 0);
    return removed != 0;
}

QCoro::Task<> ASOStore::writeInBackground(QPointer<ASOStore> self)
{
    const Burst burst(self);
    // Bytes written into the log when the open save began.
    std::optional<qint64> saveStart;
    qint64 rows = 0;
    // Cancelled by quitting.
    const auto closing = self->m_closing;
    // Since the last save: the log was begun anew after a save found no room for it.
    bool logBegunAnew = false;
    // Once the disk had no room for a save's log, each next save begins on a log copied back and
    // begun anew: the frames of the one before would take the room, and it would fail and go
    // again, its work and its log's writes lost.
    bool logAnewFirst = false;
    while (self && !self->isShutDown() && !self->writesHeld()) {
        if (!self->recordAlertEdits(StoreDb::shortLockWait)) {
            co_await qCoro(closing.get(), &CancelToken::cancelled, retryWait);
            continue;
        }
        if (const auto pause = self->m_db->removalPause(); pause.count() > 0) {
            co_await qCoro(closing.get(), &CancelToken::cancelled, pause);
            continue;
        }
        bool more = true;
        bool failed = false;
        {
            StoreDb::BackgroundSave save(*self->m_db);
            if (!save.ok()) {
                failed = true;
            } else try {
                if (!saveStart)
                    saveStart = self->m_db->bytesWritten();
                bool saveNow = false;
                if (self->m_db->writingOutHeldPages()) {
                    saveNow = !self->m_db->writeOutHeldPages();
                    more = true;
                } else {
                    QElapsedTimer step;
                    step.start();
                    bool stretchEnded = false;
                    do {
                        more = self->writeStep(rows);
                        failed = !save.ok();
                        stretchEnded = self->m_db->takeRemovalStretchEnd();
                    } while (more && !failed && !stretchEnded
                             && step.elapsed() < std::min(stepTime, EventLoopSlice::budget()).count());
                    // Saved once it changed enough, when nothing is left, or when the log must
                    // begin anew (which waits for the write lock that the save holds).
                    // A save that would take the log past its bound is cut short, so that the
                    // log begins anew before the next one; but a stretch of a removal's readings
                    // goes in one save, whatever the log takes (see StoreDb::continueRemoval()).
                    const auto room = std::max<qint64>(self->m_db->logRoom(), 0);
                    const auto wanted = room >= saveBytes ? self->m_saveRows : self->m_saveRows * room / saveBytes;
                    const bool whole = self->m_db->inRemovalStretch();
                    saveNow = !failed && (!more || stretchEnded || (!whole && (rows >= wanted || self->m_db->stepAsideForLog())));
                    // Its pages held in memory go first, a few a turn.
                    if (saveNow && self->m_db->writeOutHeldPages()) {
                        saveNow = false;
                        more = true;
                    }
                }
                if (!failed && saveNow) {
                    failed = !save.commit();
                    if (!failed) {
                        const auto written = self->m_db->bytesWritten() - *saveStart;
                        if (written > 0) {
                            self->m_saveRows = std::clamp(rows * saveBytes / written, fewestSaveRows, mostSaveRows);
                        }
                        saveStart.reset();
                        rows = 0;
                        logBegunAnew = false;
                        logAnewFirst = self->m_db->logRanShortOfRoom();
                    }
                }
            } catch (const std::bad_alloc &) {
                // Memory ran short outside SQLite, which reports it instead: the save goes as if
                // SQLite had, and its pages are let go.
                self->m_db->abandonBackgroundSave();
                failed = true;
            }
        }
        if (failed) {
            saveStart.reset();
            rows = 0;
            // A save that took more memory or log than there is goes again in smaller saves, once
            // what the log holds was copied back; at the smallest, removals stop until the next
            // start rather than try forever.
            if (self->m_db->backgroundSaveShortOfRoom()) {
                // The frames of earlier saves may have taken the room: only a save that found no
                // room in a log begun anew goes smaller, and the log begins anew before each try.
                if (logBegunAnew && !self->m_db->shrinkHeldPages() && !self->m_removalsStopped
                    && !self->m_db->appRemovals().isEmpty()) {
                    self->m_removalsStopped = true;
                    Q_EMIT self->problem(QStringLiteral(
                        "The history of a removed app could not be deleted: there is not enough memory or disk "
                        "space. Free some disk space; Vantu tries again the next time it starts."));
                    continue;
                }
                logBegunAnew = co_await self->awaitLogAnew();
                continue;
            }
            co_await qCoro(closing.get(), &CancelToken::cancelled, retryWait);
            continue;
        }
        if (!more && !self->hasBackgroundWork())
            break;
        if (std::exchange(logAnewFirst, false)) {
            logBegunAnew = co_await self->awaitLogAnew();
            continue;
        }
        // Steps aside while the log begins anew, as a tracking run does, else lets the window
        // answer before the next step.
        if (self->m_db->stepAsideForLog())
            co_await self->pauseIfSliceSpent();
        else
            co_await EventLoopSlice::pause();
    }
    if (!self)
        co_return;
    // What was written so far is kept; what is left, the next start finishes.
    self->m_db->endBackgroundSave();
    self->m_removing = false;
    Q_EMIT self->removalsEnded();
}
