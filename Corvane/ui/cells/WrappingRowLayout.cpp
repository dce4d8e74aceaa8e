#include "ui/cells/WrappingRowLayout.h"

#include <algorithm>
#include <iterator>

QList<QLayoutItem *> WrappingRowLayout::shownItems() const
{
    QList<QLayoutItem *> shown;
    std::copy_if(items().cbegin(), items().cend(), std::back_inserter(shown), [](QLayoutItem *item) { return !item->isEmpty(); });
    return shown;
}

int WrappingRowLayout::rowWidth() const
{
    const auto shown = shownItems();
    const auto margins = contentsMargins();
    int width = margins.left() + margins.right() + int(std::max(qsizetype(0), shown.size() - 1)) * spacing();
    for (const auto *item : shown)
        width += item->sizeHint().width();
    return width;
}

bool WrappingRowLayout::inOneRow(int width) const
{
    return width >= rowWidth();
}

QSize WrappingRowLayout::sizeHint() const
{
    const int width = rowWidth();
    return {width, heightForWidth(width)};
}

QSize WrappingRowLayout::minimumSize() const
{
    // One under another.
    const auto margins = contentsMargins();
    int widest = 0;
    for (const auto *item : shownItems())
        widest = std::max(widest, item->sizeHint().width());
    const int width = margins.left() + margins.right() + widest;
    return {width, heightForWidth(width)};
}

int WrappingRowLayout::arrange(const QRect &rect, bool place) const
{
    const auto margins = contentsMargins();
    const QRect area = rect.marginsRemoved(margins);
    const auto shown = shownItems();
    int height = 0;
    if (inOneRow(rect.width())) {
        for (const auto *item : shown)
            height = std::max(height, item->sizeHint().height());
        if (place && !shown.isEmpty()) {
            shown.first()->setGeometry(QRect(area.left(), area.top(), shown.first()->sizeHint().width(), height));
            int x = area.right() + 1;
            for (auto item = shown.crbegin(); item != shown.crend() - 1; ++item) {
                const int width = (*item)->sizeHint().width();
                x -= width;
                (*item)->setGeometry(QRect(x, area.top(), width, height));
                x -= spacing();
            }
        }
    } else {
        for (auto *item : shown) {
            const QSize hint = item->sizeHint();
            if (place)
                item->setGeometry(QRect(area.left(), area.top() + height, std::min(hint.width(), area.width()), hint.height()));
            height += hint.height() + spacing();
        }
        if (!shown.isEmpty())
            height -= spacing();
    }
    return margins.top() + height + margins.bottom();
}
