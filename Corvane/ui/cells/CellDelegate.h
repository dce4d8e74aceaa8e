#pragma once

#include <QStyledItemDelegate>

// Paints the CellContent a model returns under CellContents::contentRole (state badge, popularity,
// difficulty, change, or any cell a table builds the same way) and shows its tooltip. Indexes
// without a content are drawn as usual.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;
};
