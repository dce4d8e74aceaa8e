#include "ui/cells/ElidingControls.h"

#include "ui/cells/PlainText.h"
#include "ui/cells/WriteGuard.h"

#include <QEvent>
#include <QLayout>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

ElidingButton::ElidingButton(QWidget *parent) : QPushButton(parent)
{
    // It may be narrower than its text.
    setSizePolicy(QSizePolicy::Preferred, sizePolicy().verticalPolicy());
}

void ElidingButton::setFullText(const QString &text)
{
    if (text == m_fullText)
        return;
    m_fullText = text;
    updateGeometry();
    elide();
}

QSize ElidingButton::sizeHint() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = m_fullText;
    const QSize text = fontMetrics().size(0, m_fullText);
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, text, this);
}

QSize ElidingButton::minimumSizeHint() const
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text = QStringLiteral("…");
    return style()->sizeFromContents(QStyle::CT_PushButton, &option, fontMetrics().size(0, option.text), this);
}

void ElidingButton::resizeEvent(QResizeEvent *event)
{
    QPushButton::resizeEvent(event);
    elide();
}

void ElidingButton::elide()
{
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    const int margins = style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(0, 0), this).width();
    const auto shown = fontMetrics().elidedText(m_fullText, Qt::ElideRight, std::max(width() - margins, 1));
    setText(PlainText::actionText(shown));
    // Through the guard: while writes are held, its reason stays the tooltip.
    WriteGuard::setToolTip(this, shown == m_fullText ? QString() : PlainText::tooltip(m_fullText));
}

ElidingComboBox::ElidingComboBox(QWidget *parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, &ElidingComboBox::updateTooltip);
}

int ElidingComboBox::textRoom() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const auto field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The style draws the text one pixel in from each side, after the icon.
    int room = field.width() - 2;
    if (!option.currentIcon.isNull())
        room -= option.iconSize.width() + 4;
    return std::max(room, 1);
}

QString ElidingComboBox::shownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, textRoom());
}

bool ElidingComboBox::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTipChange && !m_settingTooltip)
        m_ownTooltip = toolTip();
    // The chosen entry or its text may have changed while the picker's signals were blocked.
    else if (event->type() == QEvent::ToolTip)
        updateTooltip();
    return QComboBox::event(event);
}

void ElidingComboBox::paintEvent(QPaintEvent *)
{
    // QComboBox's own painting with the chosen text cut to fit: the style would clip it mid-letter.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    // The tooltip goes with the text drawn: an entry chosen or renamed while the picker's signals
    // are blocked only asks for a paint, and the picker resizes to its entries a moment later.
    updateTooltip();
}

void ElidingComboBox::resizeEvent(QResizeEvent *event)
{
    QComboBox::resizeEvent(event);
    // Sized to its entries, the picker resizes itself to its whole width when they change, past
    // the room its row gives it: the row takes it back before a frame shows it over its
    // neighbours. A resize by the row itself finds its layout active and does nothing.
    if (auto *row = parentWidget() ? parentWidget()->layout() : nullptr)
        row->activate();
    updateTooltip();
}

void ElidingComboBox::updateTooltip()
{
    const QString wanted = shownText() == currentText() ? m_ownTooltip : PlainText::tooltip(currentText());
    if (wanted == toolTip())
        return;
    const QScopedValueRollback setting(m_settingTooltip, true);
    setToolTip(wanted);
}

ElidingLabel::ElidingLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void ElidingLabel::setFullText(const QString &text)
{
    setText(text);
    updateTooltip();
}

QString ElidingLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, std::max(contentsRect().width(), 1));
}

QSize ElidingLabel::minimumSizeHint() const
{
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")), QLabel::minimumSizeHint().height()};
}

void ElidingLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), shownText(), foregroundRole());
}

void ElidingLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateTooltip();
}

void ElidingLabel::updateTooltip()
{
    setToolTip(shownText() == text() ? QString() : PlainText::tooltip(text()));
}
