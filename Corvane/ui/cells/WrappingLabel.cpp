#include "ui/cells/WrappingLabel.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

WrappingLabel::WrappingLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    // Asks its layout for the height of its width.
    setWordWrap(true);
}

void WrappingLabel::setMaximumLines(int lines)
{
    if (lines == m_maximumLines)
        return;
    m_maximumLines = lines;
    updateGeometry();
    update();
}

int WrappingLabel::contentWidth(int width) const
{
    const QMargins margins = contentsMargins() + QMargins(margin(), margin(), margin(), margin());
    return width - margins.left() - margins.right();
}

qreal WrappingLabel::placeLines(QTextLayout &layout, qreal width, int lines) const
{
    const qreal leading = fontMetrics().leading();
    qreal height = 0;
    layout.beginLayout();
    for (auto line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1.0));
        if (height > 0)
            height += leading;
        line.setPosition(QPointF(0, height));
        height += line.height();
        if (layout.lineCount() == lines)
            break;
    }
    layout.endLayout();
    return height;
}

QString WrappingLabel::prepare(QTextLayout &layout) const
{
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QString text = QString(this->text()).replace(u'\n', QChar::LineSeparator);
    layout.setText(text);
    layout.setFont(font());
    layout.setTextOption(option);
    return text;
}

qreal WrappingLabel::layOut(QTextLayout &layout, qreal width) const
{
    const QString text = prepare(layout);
    const qreal height = placeLines(layout, width, 0);
    if (m_maximumLines <= 0 || layout.lineCount() <= m_maximumLines)
        return height;
    // The last line shown takes the rest of the text, cut to its width.
    const int start = layout.lineAt(m_maximumLines - 1).textStart();
    const QString rest = text.mid(start).replace(QChar::LineSeparator, u' ');
    layout.setText(text.left(start) + QFontMetricsF(font()).elidedText(rest, Qt::ElideRight, std::max(width, 1.0)));
    return placeLines(layout, width, m_maximumLines);
}

int WrappingLabel::lineCount(int width) const
{
    QTextLayout layout;
    prepare(layout);
    placeLines(layout, contentWidth(width), 0);
    return layout.lineCount();
}

int WrappingLabel::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins() + QMargins(margin(), margin(), margin(), margin());
    QTextLayout layout;
    return int(std::ceil(layOut(layout, contentWidth(width)))) + margins.top() + margins.bottom();
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
