#pragma once

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
// for markup is escaped so that it shows verbatim (line breaks and runs of spaces kept), on one
// line where it fits, else wrapped at spaces; any other text is returned unchanged.
QString tooltip(const QString &text);

// Text for a button, menu item, action or tab title: every "&" doubled, so that none becomes a
// shortcut mark.
QString actionText(const QString &text);

// Makes a message box show its texts as plain text and gives it a width that holds its title
// and each line of its texts whole, on every showing. Call once, after creating the box.
void fitMessageBox(QMessageBox *box);

}
