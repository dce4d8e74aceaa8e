#include "ui/cells/CellView.h"

#include "ui/cells/CellPainter.h"
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
    return CellPainter::sizeHint(m_spec);
}

QSize CellView::minimumSizeHint() const
{
    return sizeHint();
}

void CellView::setSpec(const CellSpec &spec)
{
    if (spec == m_spec)
        return;
    m_spec = spec;
    setToolTip(spec.tooltip);
    setAccessibleName(spec.text.isEmpty() ? Glyphs::text(spec.symbol) : spec.text);
    updateGeometry();
    update();
}

void CellView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    CellPainter::paint(&painter, rect(), m_spec, palette());
}

void CellView::changeEvent(QEvent *event)
{
    // The content's size follows the application font.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ApplicationFontChange)
        updateGeometry();
    QWidget::changeEvent(event);
}
