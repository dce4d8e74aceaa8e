#pragma once

#include "tracking/RankTracker.h"

#include <QDateTime>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>

class QFontMetrics;
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
    // The first line as it fits `width` pixels of `metrics`: a run's line shortens the app's name
    // with "…" and keeps the storefront and the count whole; any other line is shortened at its end.
    static QString fittedFirstLine(const State &state, const QFontMetrics &metrics, int width);
    // Absent while a run is in progress or the last one left no problem.
    static std::optional<QString> problemLine(const State &state);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();

    class FittedLine;

    QPointer<RankTracker> m_tracker;
    QProgressBar *m_progress;
    FittedLine *m_text;
    QLabel *m_problem;
};
