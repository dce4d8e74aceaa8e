#include "workflows/DiscoveryRun.h"

#include <utility>

DiscoveryRun::DiscoveryRun(QString country, qint64 budget, qint64 maxDepth, QObject *parent)
    : QObject(parent), m_country(std::move(country)), m_budget(budget), m_maxDepth(maxDepth)
{
}

template<typename T>
void DiscoveryRun::assign(T &field, const T &value, void (DiscoveryRun::*changed)(T))
{
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)(field);
}

template<typename T>
void DiscoveryRun::assign(T &field, const T &value, void (DiscoveryRun::*changed)(const T &))
{
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)(field);
}

void DiscoveryRun::add(qint64 &field, qint64 count, void (DiscoveryRun::*changed)(qint64))
{
    field += count;
    Q_EMIT(this->*changed)(field);
}

void DiscoveryRun::setRound(qint64 round) { assign(m_round, round, &DiscoveryRun::roundChanged); }
void DiscoveryRun::setPhase(const QString &phase) { assign(m_phase, phase, &DiscoveryRun::phaseChanged); }
void DiscoveryRun::setCandidates(qint64 candidates) { assign(m_candidates, candidates, &DiscoveryRun::candidatesChanged); }
void DiscoveryRun::setQueued(qint64 queued) { assign(m_queued, queued, &DiscoveryRun::queuedChanged); }
void DiscoveryRun::setSearched(qint64 searched) { assign(m_searched, searched, &DiscoveryRun::searchedChanged); }
void DiscoveryRun::setFound(qint64 found) { assign(m_found, found, &DiscoveryRun::foundChanged); }
void DiscoveryRun::setNotFound(qint64 notFound) { assign(m_notFound, notFound, &DiscoveryRun::notFoundChanged); }
void DiscoveryRun::setFailed(qint64 failed) { assign(m_failed, failed, &DiscoveryRun::failedChanged); }
void DiscoveryRun::setRelatedInspected(qint64 relatedInspected)
{
    assign(m_relatedInspected, relatedInspected, &DiscoveryRun::relatedInspectedChanged);
}
void DiscoveryRun::setNotes(const QStringList &notes) { assign(m_notes, notes, &DiscoveryRun::notesChanged); }
void DiscoveryRun::setIsRunning(bool isRunning) { assign(m_isRunning, isRunning, &DiscoveryRun::isRunningChanged); }
void DiscoveryRun::setIsCancelled(bool isCancelled)
{
    assign(m_isCancelled, isCancelled, &DiscoveryRun::isCancelledChanged);
}
void DiscoveryRun::setFinishedAt(const std::optional<QDateTime> &finishedAt)
{
    assign(m_finishedAt, finishedAt, &DiscoveryRun::finishedAtChanged);
}

void DiscoveryRun::setTask(CancelTokenPtr task)
{
    if (task == m_task)
        return;
    m_task = std::move(task);
    Q_EMIT taskChanged();
}

void DiscoveryRun::addCandidates(qint64 count) { add(m_candidates, count, &DiscoveryRun::candidatesChanged); }
void DiscoveryRun::addQueued(qint64 count) { add(m_queued, count, &DiscoveryRun::queuedChanged); }
void DiscoveryRun::addSearched(qint64 count) { add(m_searched, count, &DiscoveryRun::searchedChanged); }
void DiscoveryRun::addFound(qint64 count) { add(m_found, count, &DiscoveryRun::foundChanged); }
void DiscoveryRun::addNotFound(qint64 count) { add(m_notFound, count, &DiscoveryRun::notFoundChanged); }
void DiscoveryRun::addFailed(qint64 count) { add(m_failed, count, &DiscoveryRun::failedChanged); }
void DiscoveryRun::addRelatedInspected(qint64 count)
{
    add(m_relatedInspected, count, &DiscoveryRun::relatedInspectedChanged);
}

void DiscoveryRun::appendNote(const QString &note)
{
    m_notes.append(note);
    Q_EMIT notesChanged(m_notes);
}

void DiscoveryRun::cancel()
{
    if (m_task)
        m_task->cancel();
    setIsCancelled(true);
}
