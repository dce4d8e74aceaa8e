#pragma once

#include "support/CancelToken.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

// One keyword discovery run of one app in one storefront, from its start to its end, as the
// screens watch it. The store creates it, its task fills it round by round, and the store
// finishes it; it is never reused. Setters given the value a field holds inform nobody; the
// add...() increments of the counters always inform.
class DiscoveryRun : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString country READ country CONSTANT)
    Q_PROPERTY(qint64 budget READ budget CONSTANT)
    Q_PROPERTY(qint64 maxDepth READ maxDepth CONSTANT)
    Q_PROPERTY(qint64 round READ round WRITE setRound NOTIFY roundChanged)
    Q_PROPERTY(QString phase READ phase WRITE setPhase NOTIFY phaseChanged)
    Q_PROPERTY(qint64 candidates READ candidates WRITE setCandidates NOTIFY candidatesChanged)
    Q_PROPERTY(qint64 queued READ queued WRITE setQueued NOTIFY queuedChanged)
    Q_PROPERTY(qint64 searched READ searched WRITE setSearched NOTIFY searchedChanged)
    Q_PROPERTY(qint64 found READ found WRITE setFound NOTIFY foundChanged)
    Q_PROPERTY(qint64 notFound READ notFound WRITE setNotFound NOTIFY notFoundChanged)
    Q_PROPERTY(qint64 failed READ failed WRITE setFailed NOTIFY failedChanged)
    Q_PROPERTY(qint64 relatedInspected READ relatedInspected WRITE setRelatedInspected NOTIFY relatedInspectedChanged)
    Q_PROPERTY(QStringList notes READ notes WRITE setNotes NOTIFY notesChanged)
    Q_PROPERTY(bool isRunning READ isRunning WRITE setIsRunning NOTIFY isRunningChanged)
    Q_PROPERTY(bool isCancelled READ isCancelled WRITE setIsCancelled NOTIFY isCancelledChanged)
    Q_PROPERTY(std::optional<QDateTime> finishedAt READ finishedAt WRITE setFinishedAt NOTIFY finishedAtChanged)

public:
    // The budget and depth come clamped from the store.
    DiscoveryRun(QString country, qint64 budget, qint64 maxDepth, QObject *parent = nullptr);

    // Storefront code of the run.
    QString country() const { return m_country; }
    // The most keywords the run may queue for searching, over all rounds.
    qint64 budget() const { return m_budget; }
    // Depth of the last round; rounds have the depths 0 to maxDepth.
    qint64 maxDepth() const { return m_maxDepth; }

    // The round under way, counted from 1; 0 before the first.
    qint64 round() const { return m_round; }
    QString phase() const { return m_phase; }
    // Keywords linked to the app for the first time.
    qint64 candidates() const { return m_candidates; }
    // Keywords chosen for searching, less those given back by a round that stopped early.
    qint64 queued() const { return m_queued; }
    qint64 searched() const { return m_searched; }
    qint64 found() const { return m_found; }
    qint64 notFound() const { return m_notFound; }
    qint64 failed() const { return m_failed; }
    // Related apps whose metadata a lookup returned.
    qint64 relatedInspected() const { return m_relatedInspected; }
    // For the user, oldest first.
    QStringList notes() const { return m_notes; }
    bool isRunning() const { return m_isRunning; }
    bool isCancelled() const { return m_isCancelled; }
    std::optional<QDateTime> finishedAt() const { return m_finishedAt; }
    // The token of the task that performs the rounds; it stands for the task itself.
    CancelTokenPtr task() const { return m_task; }

    void setRound(qint64 round);
    void setPhase(const QString &phase);
    void setCandidates(qint64 candidates);
    void setQueued(qint64 queued);
    void setSearched(qint64 searched);
    void setFound(qint64 found);
    void setNotFound(qint64 notFound);
    void setFailed(qint64 failed);
    void setRelatedInspected(qint64 relatedInspected);
    void setNotes(const QStringList &notes);
    void setIsRunning(bool isRunning);
    void setIsCancelled(bool isCancelled);
    void setFinishedAt(const std::optional<QDateTime> &finishedAt);
    // Compared by identity.
    void setTask(CancelTokenPtr task);

    void addCandidates(qint64 count);
    // A negative count gives picks back to the budget.
    void addQueued(qint64 count);
    void addSearched(qint64 count);
    void addFound(qint64 count);
    void addNotFound(qint64 count);
    void addFailed(qint64 count);
    void addRelatedInspected(qint64 count);
    void appendNote(const QString &note);

    // Asks the run to stop: cancels its task, then marks it cancelled. The run finishes when
    // its task notices, between two steps.
    void cancel();

Q_SIGNALS:
    void roundChanged(qint64 round);
    void phaseChanged(const QString &phase);
    void candidatesChanged(qint64 candidates);
    void queuedChanged(qint64 queued);
    void searchedChanged(qint64 searched);
    void foundChanged(qint64 found);
    void notFoundChanged(qint64 notFound);
    void failedChanged(qint64 failed);
    void relatedInspectedChanged(qint64 relatedInspected);
    void notesChanged(const QStringList &notes);
    void isRunningChanged(bool isRunning);
    void isCancelledChanged(bool isCancelled);
    void finishedAtChanged(const std::optional<QDateTime> &finishedAt);
    void taskChanged();

private:
    template<typename T>
    void assign(T &field, const T &value, void (DiscoveryRun::*changed)(T));
    template<typename T>
    void assign(T &field, const T &value, void (DiscoveryRun::*changed)(const T &));
    void add(qint64 &field, qint64 count, void (DiscoveryRun::*changed)(qint64));

    const QString m_country;
    const qint64 m_budget;
    const qint64 m_maxDepth;
    qint64 m_round = 0;
    QString m_phase = QStringLiteral("Starting");
    qint64 m_candidates = 0;
    qint64 m_queued = 0;
    qint64 m_searched = 0;
    qint64 m_found = 0;
    qint64 m_notFound = 0;
    qint64 m_failed = 0;
    qint64 m_relatedInspected = 0;
    QStringList m_notes;
    bool m_isRunning = true;
    bool m_isCancelled = false;
    std::optional<QDateTime> m_finishedAt;
    CancelTokenPtr m_task;
};
