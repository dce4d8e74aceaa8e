#include "ui/research/ElidedLabel.h"

#include "ui/cells/PlainText.h"

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    setTextFormat(Qt::PlainText);
    setToolTip(PlainText::tooltip(text));
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    // Any width will do: the text is cut to fit.
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideMiddle, qMax(width(), 1)));
}
