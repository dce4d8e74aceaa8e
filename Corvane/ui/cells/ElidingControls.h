#pragma once

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

// A button that shows a text from outside as it is ("&" included), cut at its end with "…" when
// too long rather than at both ends, with the whole text as its tooltip while it is cut.
class ElidingButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ElidingButton(QWidget *parent = nullptr);

    void setFullText(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

// A picker that cuts a chosen text too long for it at its end with "…" rather than mid-letter,
// with the whole text as its tooltip. A tooltip set on it (what it picks) shows while the chosen
// text is whole.
class ElidingComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ElidingComboBox(QWidget *parent = nullptr);

    // The chosen text as the closed picker draws it.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int textRoom() const;
    void updateTooltip();

    QString m_ownTooltip;
    bool m_settingTooltip = false;
};

// A label that shows a text from outside as it is, on one line, cut at its end with "…" where its
// room ends rather than clipped, with the whole text as its tooltip while it is cut. It gives way
// to its neighbours down to the width of "…". Its text is set with setFullText().
class ElidingLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ElidingLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    // The text as the label draws it now.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateTooltip();
};
