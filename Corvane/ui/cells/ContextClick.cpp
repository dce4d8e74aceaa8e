#include "ui/cells/ContextClick.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QMouseEvent>

namespace {

class ContextClickFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const auto type = event->type();
        if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
            return true; // the context menu event still follows
        return QObject::eventFilter(watched, event);
    }
};

}

void keepSelectionOnContextClick(QAbstractItemView *view)
{
    view->viewport()->installEventFilter(new ContextClickFilter(view));
}
