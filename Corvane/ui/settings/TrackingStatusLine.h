#pragma once

#include "tracking/RankTracker.h"

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QLabel;
class QProgressBar;

// One or two lines on what the rank tracker does: the job it is checking, else when it last
// ran and with what result, else when it runs next; under that, once the tracker is idle, the
// problems of its last run in orange. Follows the tracker and the settings that move the next
// run; changes nothing.
class TrackingStatusLine : public QWidget
{
    Q_OBJECT
public:
    // What the lines are made of.
    struct State
    {
        std::optional<RankTracker::Progress> progress;
        std::optional<QDateTime> lastRunAt;
        std::optional<QString> lastSummary;
        std::optional<QString> lastProblem;
        bool isRunning = false;
        std::optional<QDateTime> nextRun;
        bool trackingEnabled = true;
    };

    explicit TrackingStatusLine(RankTracker *tracker, QWidget *parent = nullptr);

    static QString firstLine(const State &state);
    // Absent while a run is in progress or the last one left no problem.
    static std::optional<QString> problemLine(const State &state);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    QPointer<RankTracker> m_tracker;
    QProgressBar *m_progress;
    QLabel *m_text;
    QLabel *m_problem;
};
