#include "ui/shell/SidebarDelegate.h"

#include "ui/cells/AppIconView.h"
#include "ui/cells/CellPainter.h"
#include "ui/cells/IconLoader.h"
#include "ui/cells/Style.h"
#include "ui/shell/SidebarModel.h"

#include <QApplication>
#include <QPainter>

namespace {

SidebarModel::Kind kindOf(const QModelIndex &index)
{
    return SidebarModel::Kind(index.data(SidebarModel::KindRole).toInt());
}

}

QSize SidebarDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QFontMetrics body(option.font);
    switch (kindOf(index)) {
    case SidebarModel::Kind::section:
        return {100, QFontMetrics(Style::font(Style::TextSize::caption, QFont::DemiBold)).height() + 12};
    case SidebarModel::Kind::tool:
        return {100, qMax(body.height(), 20) + 10};
    case SidebarModel::Kind::app:
        break;
    }
    const QFontMetrics caption(Style::font(Style::TextSize::caption));
    return {100, qMax(iconSize, body.height() + 1 + caption.height()) + 10};
}

void SidebarDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // The cursor that a focused list puts on its first row is no choice: drawn, it would look
    // like one. The selected row shows where the keyboard is.
    if (!(opt.state & QStyle::State_Selected))
        opt.state &= ~QStyle::State_HasFocus;
    const auto kind = kindOf(index);
    if (kind != SidebarModel::Kind::section)
        CellPainter::drawRowBackground(painter, opt);

    const bool selected = opt.state & QStyle::State_Selected;
    const auto textColor = selected ? opt.palette.color(QPalette::HighlightedText) : opt.palette.color(QPalette::Text);
    const auto rect = opt.rect.adjusted(6, 0, -8, 0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);

    switch (kind) {
    case SidebarModel::Kind::section: {
        // A title is a disabled row only so that nobody selects it; it is not drawn greyed.
        auto palette = opt.palette;
        palette.setCurrentColorGroup(opt.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive);
        painter->setFont(Style::font(Style::TextSize::caption, QFont::DemiBold));
        painter->setPen(Style::color(Style::Tone::secondary, palette));
        painter->drawText(rect.adjusted(0, 4, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, opt.text);
        break;
    }
    case SidebarModel::Kind::tool: {
        const QRect iconRect(rect.left(), rect.center().y() - 9, 18, 18);
        opt.icon.paint(painter, iconRect);
        auto textRect = rect.adjusted(26, 0, 0, 0);
        const auto badge = index.data(SidebarModel::BadgeRole).toLongLong();
        if (badge > 0) {
            const auto text = QString::number(badge);
            auto font = Style::font(Style::TextSize::caption, QFont::DemiBold);
            const QFontMetrics metrics(font);
            const int width = qMax(metrics.horizontalAdvance(text) + 12, metrics.height() + 4);
            const QRect pill(rect.right() - width, rect.center().y() - metrics.height() / 2 - 2, width, metrics.height() + 4);
            painter->setPen(Qt::NoPen);
            painter->setBrush(Style::color(Style::Tone::quaternary, opt.palette).darker(selected ? 100 : 130));
            painter->drawRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
            painter->setFont(font);
            painter->setPen(textColor);
            painter->drawText(pill, Qt::AlignCenter, text);
            textRect.setRight(pill.left() - 6);
        }
        painter->setFont(opt.font);
        painter->setPen(textColor);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, textRect.width()));
        break;
    }
    case SidebarModel::Kind::app: {
        const QRect iconRect(rect.left(), rect.center().y() - iconSize / 2, iconSize, iconSize);
        const auto url = index.data(SidebarModel::IconUrlRole).toUrl();
        AppIconView::paintIcon(painter, iconRect, url.isEmpty() ? QImage() : IconLoader::shared().image(url), opt.palette);

        const auto textRect = rect.adjusted(iconSize + 10, 0, 0, 0);
        const auto captionFont = Style::font(Style::TextSize::caption);
        const QFontMetrics caption(captionFont);
        const int top = textRect.center().y() - (opt.fontMetrics.height() + 1 + caption.height()) / 2;
        painter->setFont(opt.font);
        painter->setPen(textColor);
        painter->drawText(QRect(textRect.left(), top, textRect.width(), opt.fontMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(opt.text, Qt::ElideRight, textRect.width()));
        painter->setFont(captionFont);
        painter->setPen(selected ? textColor : Style::color(Style::Tone::secondary, opt.palette));
        painter->drawText(QRect(textRect.left(), top + opt.fontMetrics.height() + 1, textRect.width(), caption.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          caption.elidedText(index.data(SidebarModel::SubtitleRole).toString(), Qt::ElideRight,
                                             textRect.width()));
        break;
    }
    }
    painter->restore();
}
