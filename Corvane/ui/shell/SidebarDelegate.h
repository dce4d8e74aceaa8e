#pragma once

#include <QStyledItemDelegate>

// Draws the sidebar's rows: section titles, tools with their unread badge, and apps with their
// icon, name and developer on two lines.
class SidebarDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int iconSize = 28;
};
