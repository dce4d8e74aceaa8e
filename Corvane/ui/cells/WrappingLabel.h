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

    // At most this many lines, the last cut at its end with "…" where the text goes on; 0: all.
    void setMaximumLines(int lines);
    // The lines of the whole text at this width, however many are shown.
    int lineCount(int width) const;

    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Gives the layout the text, font and wrapping; returns the text.
    QString prepare(QTextLayout &layout) const;
    // Lays the text out in lines of `width` from the top, as many as are shown; returns their height.
    qreal layOut(QTextLayout &layout, qreal width) const;
    // Lays out the layout's text in at most `lines` lines (0: all); returns their height.
    qreal placeLines(QTextLayout &layout, qreal width, int lines) const;
    int contentWidth(int width) const;

    int m_maximumLines = 0;
};
