#pragma once

#include <QComboBox>
#include <QPushButton>
#include <QString>

class QLabel;
class QMessageBox;
class QWidget;

// Text from outside (app and maker names, keywords, Apple's answers) is shown exactly as it is.
// Qt reads such text as markup wherever it guesses the format (labels, tooltips, message boxes)
// and reads "&" as the mark of a shortcut key on buttons, menu items and tabs; these helpers
// keep it plain.
namespace PlainText {

// A label that never reads its text as markup.
QLabel *label(QWidget *parent, const QString &text = {});

// Text for a tooltip or an item's Qt::ToolTipRole. Tooltips guess the format: text Qt would take
// for markup is escaped and wrapped so that it shows verbatim (line breaks and runs of spaces
// kept); any other text is returned unchanged.
QString tooltip(const QString &text);

// Text for a button, menu item, action or tab title: every "&" doubled, so that none becomes a
// shortcut mark.
QString actionText(const QString &text);

// Makes a message box show its texts as plain text and gives it a width that holds its title
// and each line of its texts whole, on every showing. Call once, after creating the box.
void fitMessageBox(QMessageBox *box);

}

// A button that shows a text from outside as it is ("&" included), cut at its end with "…" when
// too long rather than at both ends, with the whole text as its tooltip while it is cut.
class ElidingButton : public QPushButton
{
    Q_OBJECT
public:
    explicit ElidingButton(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    QString fullText() const { return m_fullText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

// A picker that cuts a chosen text too long for it at its end with "…", with the whole text as
// its tooltip; the list shows each item's whole text.
class ElidingComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit ElidingComboBox(QWidget *parent = nullptr);

    // The chosen text as the closed picker draws it.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int textRoom() const;
    void updateTooltip();
};
