#include "ui/cells/WrappingLabel.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

WrappingLabel::WrappingLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // Asks its layout for the height of its width.
    setWordWrap(true);
}

qreal WrappingLabel::layOut(QTextLayout &layout, qreal width) const
{
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(QString(text()).replace(u'\n', QChar::LineSeparator));
    layout.setFont(font());
    layout.setTextOption(option);
    const qreal leading = fontMetrics().leading();
    qreal height = 0;
    layout.beginLayout();
    for (auto line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1.0));
        if (height > 0)
            height += leading;
        line.setPosition(QPointF(0, height));
        height += line.height();
    }
    layout.endLayout();
    return height;
}

int WrappingLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins() + QMargins(margin(), margin(), margin(), margin());
    QTextLayout layout;
    return int(std::ceil(layOut(layout, width - margins.left() - margins.right()))) + margins.top() + margins.bottom();
}

QSize WrappingLabel::sizeHint() const
{
    // The width a word-wrapping label would like, and the height of the lines at that width.
    const int width = QLabel::sizeHint().width();
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const
{
    // A line may break inside a word, so it may be as narrow as a letter.
    const QMargins margins = contentsMargins() + QMargins(margin(), margin(), margin(), margin());
    return QSize(fontMetrics().horizontalAdvance(u'W'), fontMetrics().height()).grownBy(margins);
}

void WrappingLabel::paintEvent(QPaintEvent *)
{
    const QRect area = contentsRect().marginsRemoved(QMargins(margin(), margin(), margin(), margin()));
    QTextLayout layout;
    const qreal height = layOut(layout, area.width());
    qreal top = area.top();
    if (alignment() & Qt::AlignVCenter)
        top += std::max(0.0, (area.height() - height) / 2);
    else if (alignment() & Qt::AlignBottom)
        top += std::max(0.0, area.height() - height);
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    layout.draw(&painter, QPointF(area.left(), top));
}
