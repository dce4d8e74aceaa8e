#pragma once

// Waiting for a widget's paint, as the screen benchmarks time what the user waits for, and how
// long the window's thread is held at a time meanwhile.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace Painting {

// Processes events until `done` holds, for at most `limitMs`; whether it came to hold.
template<typename Done>
inline bool until(Done done, qint64 limitMs = 10000)
{
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// The longest stretch for which the thread kept away from its event loop between start() and
// stop(), as the largest gap between the firings of a 1 ms timer: what a user waits for when
// the window does not answer.
class StallProbe
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { note(); });
    }

    void start()
    {
        m_longest = 0;
        m_frozen = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }

    // In milliseconds.
    double stop()
    {
        note();
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

    // The stalls longer than 100 ms since start(), added up, in milliseconds.
    double frozen() const { return double(m_frozen) / 1e6; }

private:
    void note()
    {
        const auto now = m_clock.nsecsElapsed();
        const auto stall = now - m_last;
        m_longest = std::max(m_longest, stall);
        if (stall > 100'000'000)
            m_frozen += stall;
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_frozen = 0;
};

// Notes the first paint of a widget.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

// Shows the widget's window and processes events until `painted` was painted, for at most
// `limitMs`; with `settle`, also until what that paint posted is through, so that a layout pass
// that follows it is counted too.
inline bool paint(QWidget *window, QWidget *painted, qint64 limitMs = 10000, bool settle = false)
{
    PaintWatch watch;
    painted->installEventFilter(&watch);
    window->show();
    painted->update();
    until([&watch] { return watch.painted; }, limitMs);
    if (settle) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    painted->removeEventFilter(&watch);
    return watch.painted;
}

} // namespace Painting
