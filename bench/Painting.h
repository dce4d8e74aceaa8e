#pragma once

// Waiting for a widget's paint, as the screen benchmarks time what the user waits for.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>

namespace Painting {

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
    QElapsedTimer limit;
    limit.start();
    while (!watch.painted && limit.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (settle) {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    painted->removeEventFilter(&watch);
    return watch.painted;
}

} // namespace Painting
