#include "ui/cells/ArrangingLayout.h"

ArrangingLayout::~ArrangingLayout()
{
    qDeleteAll(m_items);
}

void ArrangingLayout::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

int ArrangingLayout::count() const
{
    return int(m_items.size());
}

QLayoutItem *ArrangingLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem *ArrangingLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

Qt::Orientations ArrangingLayout::expandingDirections() const
{
    return Qt::Horizontal;
}

bool ArrangingLayout::hasHeightForWidth() const
{
    return true;
}

int ArrangingLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

void ArrangingLayout::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}
