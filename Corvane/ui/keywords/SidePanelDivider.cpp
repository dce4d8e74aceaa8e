#include "ui/keywords/SidePanelDivider.h"

#include "store/Settings.h"
#include "ui/cells/Style.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {

// A 1-pixel line with 3 pixels on each side that take the pointer as well.
constexpr int lineWidth = 1;
constexpr int margin = 3;

}

SidePanelDivider::SidePanelDivider(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("sidePanelDivider"));
    setFixedWidth(lineWidth + 2 * margin);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    // Qt shows the widget's cursor while the pointer is over it and restores the old one after.
    setCursor(Qt::SizeHorCursor);
}

QSize SidePanelDivider::sizeHint() const
{
    return {lineWidth + 2 * margin, 0};
}

void SidePanelDivider::dragChanged(double translation)
{
    const double base = m_start.value_or(Settings::shared().historyPanelWidth());
    if (!m_start)
        m_start = base;
    double width = base - translation;
    if (width < narrowest)
        width = narrowest;
    if (width >= widest)
        width = widest;
    Settings::shared().setValue(SettingsKey::historyPanelWidth, width);
    Q_EMIT widthChanged(width);
}

void SidePanelDivider::dragEnded()
{
    m_start.reset();
}

void SidePanelDivider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(QRect(margin, 0, lineWidth, height()), Style::color(Style::Tone::quaternary, palette()));
}

void SidePanelDivider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressX = event->globalPosition().x();
    m_dragging = false;
}

void SidePanelDivider::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressX)
        return QWidget::mouseMoveEvent(event);
    const double translation = event->globalPosition().x() - *m_pressX;
    // A drag begins once the pointer moved a whole pixel; a click alone changes nothing.
    if (!m_dragging && std::abs(translation) < 1)
        return;
    m_dragging = true;
    dragChanged(translation);
}

void SidePanelDivider::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressX)
        return QWidget::mouseReleaseEvent(event);
    m_pressX.reset();
    if (m_dragging)
        dragEnded();
    m_dragging = false;
}
