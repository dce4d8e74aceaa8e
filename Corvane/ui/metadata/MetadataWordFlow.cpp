#include "ui/metadata/MetadataWordFlow.h"

#include <QWidget>

#include <algorithm>
#include <limits>

MetadataWordFlow::MetadataWordFlow(int spacing, QWidget *parent) : QLayout(parent)
{
    setSpacing(spacing);
    setContentsMargins(0, 0, 0, 0);
}

MetadataWordFlow::~MetadataWordFlow()
{
    while (auto *item = takeAt(0))
        delete item;
}

QList<MetadataWordFlow::Row> MetadataWordFlow::rows(const QList<QSize> &sizes, qint64 maxWidth, int spacing)
{
    QList<Row> rows;
    Row current;
    for (int i = 0; i < sizes.size(); ++i) {
        const qint64 w = sizes[i].width();
        const int h = sizes[i].height();
        if (!current.items.isEmpty() && current.width + spacing + w > maxWidth) {
            rows.append(current);
            current = Row{};
        }
        current.width = current.items.isEmpty() ? w : current.width + spacing + w;
        current.height = std::max(current.height, h);
        current.items.append(i);
    }
    if (!current.items.isEmpty())
        rows.append(current);
    return rows;
}

QSize MetadataWordFlow::size(const QList<Row> &rows, int spacing)
{
    if (rows.isEmpty())
        return {0, 0};
    qint64 width = 0;
    int height = spacing * int(rows.size() - 1);
    for (const auto &row : rows) {
        width = std::max(width, row.width);
        height += row.height;
    }
    return {int(std::min<qint64>(width, QWIDGETSIZE_MAX)), height};
}

void MetadataWordFlow::addItem(QLayoutItem *item)
{
    m_items.append(item);
}

QLayoutItem *MetadataWordFlow::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items[index] : nullptr;
}

QLayoutItem *MetadataWordFlow::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

int MetadataWordFlow::count() const
{
    return int(m_items.size());
}

QList<QLayoutItem *> MetadataWordFlow::shownItems(QList<QSize> *sizes) const
{
    QList<QLayoutItem *> shown;
    for (auto *item : m_items) {
        if (item->isEmpty())
            continue;
        shown.append(item);
        sizes->append(item->sizeHint());
    }
    return shown;
}

QSize MetadataWordFlow::sizeFor(qint64 width) const
{
    QList<QSize> sizes;
    shownItems(&sizes);
    const auto margins = contentsMargins();
    const auto inner = size(rows(sizes, width - margins.left() - margins.right(), spacing()), spacing());
    return inner.grownBy(margins);
}

int MetadataWordFlow::heightForWidth(int width) const
{
    return sizeFor(width).height();
}

QSize MetadataWordFlow::sizeHint() const
{
    return sizeFor(std::numeric_limits<qint64>::max() / 2);
}

QSize MetadataWordFlow::minimumSize() const
{
    QList<QSize> sizes;
    shownItems(&sizes);
    int widest = 0;
    for (const auto &size : sizes)
        widest = std::max(widest, size.width());
    const auto margins = contentsMargins();
    const int width = widest + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

void MetadataWordFlow::setGeometry(const QRect &rect)
{
    QLayout::setGeometry(rect);
    QList<QSize> sizes;
    const auto items = shownItems(&sizes);
    const QRect area = rect.marginsRemoved(contentsMargins());
    int y = area.top();
    for (const auto &row : rows(sizes, area.width(), spacing())) {
        int x = area.left();
        for (const int i : row.items) {
            // Top-aligned at its own size; what is left of the row stays empty.
            items[i]->setGeometry(QRect(QPoint(x, y), sizes[i]));
            x += sizes[i].width() + spacing();
        }
        y += row.height + spacing();
    }
}
