#include "ui/settings/TrackingStatusLine.h"

#include "store/ASOStore.h"

#include "store/Settings.h"
#include "tracking/TrackingSchedule.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/Style.h"
#include "ui/cells/PlainText.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

const QString checking = QStringLiteral("Checking ");

// What follows the app's name in a run's line: " (US): 188 of 1200".
QString progressTail(const RankTracker::Progress &progress)
{
    return QStringLiteral(" (") + progress.country.toUpper() + QStringLiteral("): ") + QString::number(progress.done)
        + QStringLiteral(" of ") + QString::number(progress.total);
}

}

// The first line asks for the room of its whole text, so that a layout with room to spare
// shows it whole, and shows what fits the room it gets, again after each resize; the whole
// text is then in its tooltip.
class TrackingStatusLine::FittedLine : public QLabel
{
public:
    explicit FittedLine(QWidget *parent) : QLabel(parent) { setTextFormat(Qt::PlainText); }

    void setState(const State &state)
    {
        m_state = state;
        m_whole = firstLine(state);
        updateGeometry();
        fit();
    }

    QSize sizeHint() const override
    {
        const auto margins = contentsMargins();
        return {fontMetrics().horizontalAdvance(m_whole) + margins.left() + margins.right() + 2 * margin(),
                QLabel::sizeHint().height()};
    }

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QLabel::resizeEvent(event);
        fit();
    }

    void showEvent(QShowEvent *event) override
    {
        fit();
        QLabel::showEvent(event);
    }

private:
    void fit()
    {
        // A hidden line has not been given its room yet; it is fitted once it is shown.
        const auto shown = isVisible() ? fittedFirstLine(m_state, fontMetrics(), contentsRect().width() - 2 * margin())
                                       : m_whole;
        if (shown != text())
            setText(shown);
        setToolTip(shown == m_whole ? QString() : PlainText::tooltip(m_whole));
    }

    State m_state;
    QString m_whole;
};

TrackingStatusLine::TrackingStatusLine(RankTracker *tracker, QWidget *parent)
    : QWidget(parent), m_tracker(tracker), m_progress(new QProgressBar(this)), m_text(new FittedLine(this)),
      m_problem(PlainText::label(this))
{
    setObjectName(QStringLiteral("trackingStatusLine"));
    m_progress->setObjectName(QStringLiteral("trackingProgress"));
    m_text->setObjectName(QStringLiteral("trackingStatus"));
    m_problem->setObjectName(QStringLiteral("trackingProblem"));

    m_progress->setFixedWidth(80);
    m_progress->setTextVisible(false);
    for (QLabel *label : std::initializer_list<QLabel *>{m_text, m_problem}) {
        label->setFont(Style::font(Style::TextSize::callout));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    Style::setTone(m_text, Style::Tone::secondary);
    Style::setTone(m_problem, Style::Tone::orange);
    // At most three lines of problems; the whole text stays readable in the tooltip.
    m_problem->setWordWrap(true);
    m_problem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_problem->setMaximumHeight(QFontMetrics(m_problem->font()).lineSpacing() * 3);

    auto *first = new QHBoxLayout;
    first->setSpacing(6);
    first->addWidget(m_progress, 0, Qt::AlignVCenter);
    first->addWidget(m_text, 1, Qt::AlignVCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(first);
    layout->addWidget(m_problem);

    if (m_tracker) {
        connect(m_tracker, &RankTracker::isRunningChanged, this, &TrackingStatusLine::refresh);
        connect(m_tracker, &RankTracker::progressChanged, this, &TrackingStatusLine::refresh);
        connect(m_tracker, &RankTracker::lastRunAtChanged, this, &TrackingStatusLine::refresh);
        connect(m_tracker, &RankTracker::lastSummaryChanged, this, &TrackingStatusLine::refresh);
        connect(m_tracker, &RankTracker::lastProblemChanged, this, &TrackingStatusLine::refresh);
        // Adding or removing apps changes what there is to track.
        if (auto *store = m_tracker->store())
            connect(store, &ASOStore::dataVersionSettled, this, &TrackingStatusLine::refresh);
    }
    // The settings that decide whether and when the next run comes.
    connect(&Settings::shared(), &Settings::changed, this, [this](const QString &key) {
        if (key == SettingsKey::trackingEnabled || key == SettingsKey::trackingHour || key == SettingsKey::trackingScope
            || key == TrackingSchedule::lastRunsKey)
            refresh();
    });
    refresh();
}

QString TrackingStatusLine::firstLine(const State &state)
{
    if (const auto &progress = state.progress)
        return checking + progress->appName + progressTail(*progress);
    if (state.lastRunAt) {
        QString line = QStringLiteral("Last run ") + Formatters::abbreviatedDateTime(*state.lastRunAt);
        if (state.lastSummary)
            line += QStringLiteral(" · ") + *state.lastSummary;
        return line;
    }
    if (state.nextRun)
        return QStringLiteral("Next run ") + Formatters::abbreviatedDateTime(*state.nextRun);
    return state.trackingEnabled ? QStringLiteral("Nothing to track yet.") : QStringLiteral("Daily tracking is off.");
}

QString TrackingStatusLine::fittedFirstLine(const State &state, const QFontMetrics &metrics, int width)
{
    const auto whole = firstLine(state);
    if (metrics.horizontalAdvance(whole) <= width)
        return whole;
    if (!state.progress)
        return metrics.elidedText(whole, Qt::ElideRight, std::max(0, width));
    const auto tail = progressTail(*state.progress);
    int room = width - metrics.horizontalAdvance(checking + tail);
    QString line;
    // Shaped together, the pieces can come out a pixel or two wider than apart.
    for (int tries = 0; tries < 3; ++tries) {
        auto name = metrics.elidedText(state.progress->appName, Qt::ElideRight, std::max(0, room));
        // With no room at all the name still shows that there is one.
        if (name.isEmpty())
            name = QStringLiteral("…");
        line = checking + name + tail;
        const int over = metrics.horizontalAdvance(line) - width;
        if (over <= 0 || room <= 0)
            break;
        room -= over;
    }
    return line;
}

std::optional<QString> TrackingStatusLine::problemLine(const State &state)
{
    if (state.isRunning)
        return std::nullopt;
    return state.lastProblem;
}

void TrackingStatusLine::showEvent(QShowEvent *event)
{
    // The next run can be "now", which moves on while nothing else changes.
    refresh();
    QWidget::showEvent(event);
}

void TrackingStatusLine::refresh()
{
    State state;
    state.trackingEnabled = Settings::shared().trackingEnabled();
    if (m_tracker) {
        state.progress = m_tracker->progress();
        state.lastRunAt = m_tracker->lastRunAt();
        state.lastSummary = m_tracker->lastSummary();
        state.lastProblem = m_tracker->lastProblem();
        state.isRunning = m_tracker->isRunning();
        // Only needed when nothing else fills the line.
        if (!state.progress && !state.lastRunAt)
            state.nextRun = m_tracker->nextRunDate(m_tracker->now());
    }

    m_progress->setVisible(state.progress.has_value());
    if (state.progress) {
        const auto total = int(std::clamp<qint64>(state.progress->total, 1, std::numeric_limits<int>::max()));
        m_progress->setRange(0, total);
        m_progress->setValue(int(std::clamp<qint64>(state.progress->done, 0, total)));
    }
    m_text->setState(state);
    const auto problem = problemLine(state);
    m_problem->setText(problem.value_or(QString()));
    m_problem->setToolTip(PlainText::tooltip(problem.value_or(QString())));
    m_problem->setVisible(problem.has_value());
}
