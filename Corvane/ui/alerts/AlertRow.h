#pragma once

#include "model/RankAlert.h"

#include <QFont>
#include <QRectF>
#include <QStyledItemDelegate>

#include <optional>

// Draws one ranking alert as a row of the alerts list: the kind's symbol in green or red, the
// keyword (semibold while unread) with its storefront's flag, "app · kind" under it, the ranks
// before and after, the time of day and the unread dot. Rows carry their alert under
// alertRole; other rows (the day titles) are drawn as usual.
class AlertRow : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int alertRole = Qt::UserRole + 40;

    // Where each part of a row goes inside its rectangle.
    struct Layout
    {
        QRectF symbol;
        QRectF keyword;
        QRectF flag;
        QRectF detail;
        QRectF ranks;
        QRectF time;
        QRectF dot;
    };

    using QStyledItemDelegate::QStyledItemDelegate;

    // The kind table, also used by the alerts screen's kind filter.
    static QString title(RankAlertKind kind);
    static QString symbol(RankAlertKind kind);

    // "#7", or "not ranked" when absent.
    static QString rankText(std::optional<qint64> rank);
    // "#7 → not ranked".
    static QString ranksText(const RankAlert &alert);
    // "App · Kind title".
    static QString detailText(const RankAlert &alert);
    // The storefront code in upper case.
    static QString flagTooltip(const RankAlert &alert);

    static Layout layout(const QRect &rect, const RankAlert &alert, const QFont &font);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    // The row height for the font it was measured with.
    mutable QFont m_heightFont;
    mutable int m_height = 0;
};
