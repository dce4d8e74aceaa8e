#pragma once

#include "support/CancelToken.h"
#include "support/Sleep.h"
#include "tracking/TrackingJob.h"
#include "tracking/TrackingNotifying.h"

#include <QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class ASOStore;

// Re-checks the tracked keywords of the tracked apps once a day while the application runs.
// Its loop wakes every half hour and runs the jobs that are due; the screens can start a run
// over every job at once and stop it. A run searches each job's keywords through the store,
// applies the results, refreshes popularity, records the job as run, and ends with a summary,
// the problems it met and, when the user wants them, one notification about its new alerts.
//
// Runs never overlap. Work stops cooperatively: a cancelled run notices only before a job or
// a keyword and after a job's keywords, never while it waits for a search. A keyword whose
// tracking stops during a run is left out of the rest of it.
class RankTracker : public QObject
{
    Q_OBJECT
public:
    // The job that a run is re-checking and how far it got.
    struct Progress
    {
        QString appName;
        // As the job spells it; not upper-cased.
        QString country;
        // Keywords searched so far, failed ones included.
        qint64 done = 0;
        // Keywords chosen for this job, less those whose tracking stopped during the run.
        qint64 total = 0;

        friend bool operator==(const Progress &, const Progress &) = default;
    };

    using Clock = std::function<QDateTime()>;

    // Seconds before the loop's first pass and after the end of each pass.
    static constexpr double initialDelay = 20;
    static constexpr double checkInterval = 1800;

    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(std::optional<RankTracker::Progress> progress READ progress NOTIFY progressChanged)
    Q_PROPERTY(std::optional<QDateTime> lastRunAt READ lastRunAt NOTIFY lastRunAtChanged)
    Q_PROPERTY(std::optional<QString> lastSummary READ lastSummary NOTIFY lastSummaryChanged)
    Q_PROPERTY(std::optional<QString> lastProblem READ lastProblem NOTIFY lastProblemChanged)
    Q_PROPERTY(CancelTokenPtr loop READ loop NOTIFY loopChanged)
    Q_PROPERTY(CancelTokenPtr manualRun READ manualRun WRITE setManualRun NOTIFY manualRunChanged)
    Q_PROPERTY(bool manualRunActive READ manualRunActive NOTIFY manualRunActiveChanged)

    // The application keeps all three for the whole process; a run that finds the store gone
    // after a wait ends there.
    RankTracker(ASOStore *store, TrackingNotifying *notifier, QObject *parent = nullptr);
    ~RankTracker() override;

    // The tracker's clock picks due jobs and keywords, marks jobs as run and stamps lastRunAt;
    // the system clock unless replaced. Its sleep paces the loop.
    QDateTime now() const { return m_now(); }
    void setClock(Clock now);
    void setSleep(SleepFunction sleep);

    bool isRunning() const { return m_isRunning; }
    // Absent while no run is in progress.
    std::optional<Progress> progress() const { return m_progress; }
    // The tracker's clock at the end of the last run.
    std::optional<QDateTime> lastRunAt() const { return m_lastRunAt; }
    // "12 keywords rechecked, 3 alerts".
    std::optional<QString> lastSummary() const { return m_lastSummary; }
    // The last run's notes, one per line; absent when it left none.
    std::optional<QString> lastProblem() const { return m_lastProblem; }
    TrackingNotifying *notifier() const { return m_notifier; }
    // The store whose apps the tracker re-checks; null once it is gone.
    ASOStore *store() const;

    // The loop's handle, set by start(); cancelling it ends the loop at its next pass.
    CancelTokenPtr loop() const { return m_loop; }
    // The handle of the run the user started; the tracker itself never sets it.
    CancelTokenPtr manualRun() const { return m_manualRun; }
    void setManualRun(CancelTokenPtr run);
    // True from startManualRun() until the run it started has returned; so while it is true, a
    // run is in progress that stopManualRun() can stop. A run of the loop leaves it false.
    bool manualRunActive() const { return m_manualRunActive; }

    // Begins the loop once: a first pass after initialDelay, then a pass checkInterval after the
    // end of each one, while the tracker exists. Returns at once.
    void start();

    // Runs the jobs in order and returns when the run has ended; does nothing while another run
    // is in progress. The run stops at its next check once `cancel` is cancelled.
    QCoro::Task<> run(QList<TrackingJob> jobs, CancelTokenPtr cancel = {});
    // A run over every job in scope, whatever the switch, the hour and the last runs say.
    QCoro::Task<> runAll(CancelTokenPtr cancel = {});

    // "Check Now": unless a run is in progress, starts runAll() with a new handle in manualRun,
    // which replaces the one held there without cancelling it.
    void startManualRun();
    // "Stop": cancels the run whose handle manualRun holds; the handle stays.
    void stopManualRun();

    // The next scheduled run after the given time, for the status line.
    std::optional<QDateTime> nextRunDate(const QDateTime &after) const;

    // For quitting: cancels the loop and the run in progress, which end at their next check
    // without a notification; no run starts from then on. Together with the store's
    // shutDown(), what they await ends on the next turns of the event loop: turn it until
    // isIdle(), else their suspended tasks are left behind.
    void shutDown();
    // Neither the loop nor a run is in progress.
    bool isIdle() const { return m_tasks == 0; }

Q_SIGNALS:
    void isRunningChanged(bool isRunning);
    // Also every time the progress's count moves.
    void progressChanged(const std::optional<RankTracker::Progress> &progress);
    void lastRunAtChanged(const std::optional<QDateTime> &lastRunAt);
    void lastSummaryChanged(const std::optional<QString> &lastSummary);
    void lastProblemChanged(const std::optional<QString> &lastProblem);
    void loopChanged(const CancelTokenPtr &loop);
    void manualRunChanged(const CancelTokenPtr &manualRun);
    void manualRunActiveChanged(bool manualRunActive);

private:
    static QCoro::Task<> loopTask(QPointer<RankTracker> self, CancelTokenPtr cancel);
    static QCoro::Task<> manualTask(QPointer<RankTracker> self, CancelTokenPtr handle);
    static QCoro::Task<> perform(QPointer<RankTracker> self, QList<TrackingJob> jobs, CancelTokenPtr cancel);
    // Keeps a task's exception from escaping a task that nobody awaits.
    static QCoro::Task<> detached(QCoro::Task<> task);

    void setIsRunning(bool running);
    void setManualRunActive(bool active);
    void setProgress(const std::optional<Progress> &progress);
    void setLastRunAt(const std::optional<QDateTime> &time);
    void setLastSummary(const std::optional<QString> &summary);
    void setLastProblem(const std::optional<QString> &problem);
    // One more keyword of the job searched; raises the data version at every fifth.
    void advanceProgress();
    // One keyword fewer in the job: its tracking stopped before it was searched, or while.
    void dropFromProgress();
    void finishRun();

    QPointer<ASOStore> m_store;
    QPointer<TrackingNotifying> m_notifier;
    Clock m_now;
    SleepFunction m_sleep;
    bool m_isRunning = false;
    std::optional<Progress> m_progress;
    std::optional<QDateTime> m_lastRunAt;
    std::optional<QString> m_lastSummary;
    std::optional<QString> m_lastProblem;
    CancelTokenPtr m_loop;
    CancelTokenPtr m_manualRun;
    bool m_manualRunActive = false;
    bool m_shutDown = false;
    // The loop and run tasks alive.
    int m_tasks = 0;
};
