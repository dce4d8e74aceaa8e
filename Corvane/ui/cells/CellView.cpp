#include "ui/cells/CellView.h"

#include "ui/cells/CellPainter.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Glyphs.h"

#include <QEvent>
#include <QPainter>

CellView::CellView(QWidget *parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize CellView::sizeHint() const
{
    return CellPainter::sizeHint(m_content);
}

QSize CellView::minimumSizeHint() const
{
    return sizeHint();
}

void CellView::setContent(const CellContent &content)
{
    if (content == m_content)
        return;
    m_content = content;
    setToolTip(PlainText::tooltip(content.tooltip));
    setAccessibleName(content.text.isEmpty() ? Glyphs::text(content.symbol) : content.text);
    updateGeometry();
    update();
}

void CellView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    CellPainter::paint(&painter, rect(), m_content, palette());
}

void CellView::changeEvent(QEvent *event)
{
    // The content's size follows the application font.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
