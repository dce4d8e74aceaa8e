#pragma once

#include <QLabel>

// A one-line label that cuts a text too long for it in the middle, so that its beginning and
// its end stay visible; fullText() keeps the whole text.
class ElidedLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setFullText(const QString &text);
    QString fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};
