#include "ui/cells/CellDelegate.h"

#include "ui/cells/CellPainter.h"
#include "ui/cells/PlainText.h"

#include <QAbstractItemView>
#include <QBrush>
#include <QApplication>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

std::optional<CellContent> contentOf(const QModelIndex &index)
{
    const QVariant value = index.data(CellContents::contentRole);
    if (value.metaType() != QMetaType::fromType<CellContent>())
        return std::nullopt;
    return value.value<CellContent>();
}

// The same side margins the style gives an item's text.
int textMargin(const QStyleOptionViewItem &option)
{
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, &option, option.widget) + 1;
}

}

void CellDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto content = contentOf(index);
    if (!content) {
        // With the same selection colour as the cells drawn here.
        QStyleOptionViewItem opt = option;
        opt.palette = Style::readableSelection(option.palette);
        QStyledItemDelegate::paint(painter, opt, index);
        return;
    }
    // Only what a content cell draws besides its content: initStyleOption() would ask the model
    // for every role, the display text among them, which builds the content a second time.
    QStyleOptionViewItem opt = option;
    opt.index = index;
    if (const QVariant alignment = index.data(Qt::TextAlignmentRole); alignment.isValid())
        opt.displayAlignment = Qt::Alignment(alignment.toInt());
    if (const QVariant background = index.data(Qt::BackgroundRole); background.canConvert<QBrush>())
        opt.backgroundBrush = background.value<QBrush>();
    const QPalette palette = CellPainter::drawRowBackground(painter, opt);
    const int margin = textMargin(opt);
    CellPainter::paint(painter, opt.rect.adjusted(margin, 0, -margin, 0), *content, palette, opt.displayAlignment,
                       opt.state & QStyle::State_Selected);
}

QSize CellDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto content = contentOf(index);
    if (!content)
        return QStyledItemDelegate::sizeHint(option, index);
    const QSize size = CellPainter::sizeHint(*content);
    return {size.width() + 2 * textMargin(option), size.height() + 4};
}

bool CellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                             const QModelIndex &index)
{
    const auto content = contentOf(index);
    // A cell without help of its own may have it from the model, written when asked for.
    if (!content || event->type() != QEvent::ToolTip || content->tooltip.isEmpty())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), PlainText::tooltip(content->tooltip), view, option.rect);
    return true;
}
