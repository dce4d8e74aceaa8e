#pragma once

#include <QLabel>

class QTextLayout;

// Plain text on as many lines as it needs, broken at spaces, or inside a word too long for a line,
// so that no part of it is ever cut: it takes the width it is given and is as tall as its lines.
// A plain word-wrapping label keeps a word whole even where it does not fit, and a centred one
// then loses both ends of every line.
class WrappingLabel : public QLabel
{
    Q_OBJECT
public:
    explicit WrappingLabel(QWidget *parent = nullptr);

    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Lays the text out in lines of `width` from the top; returns their height.
    qreal layOut(QTextLayout &layout, qreal width) const;
};
