#pragma once

#include "ui/cells/Style.h"

#include <QString>
#include <QWidget>

class QLabel;
class QToolButton;

// Stands above one metadata text field: its title, how much of its character limit the text
// uses (in user-perceived characters), a warning when the text is over the limit, and a button
// that copies the text to the clipboard.
class MetadataFieldHeader : public QWidget
{
    Q_OBJECT
public:
    MetadataFieldHeader(const QString &title, int limit, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);

    // Red over the limit, secondary below nine tenths of it (whole characters), else orange.
    static Style::Tone countTone(qsizetype count, int limit);
    // "N characters left", never below 0.
    static QString leftHelp(qsizetype count, int limit);
    static QString copyHelp(const QString &title);
    // Puts exactly this text on the clipboard, replacing what was there.
    static void copy(const QString &text);
    // Style::setTone() for a widget whose tone changes: the tone is taken from the inherited
    // palette, not from the widget's previous tone.
    static void retone(QWidget *widget, Style::Tone tone);

private:
    const QString m_title;
    const int m_limit;
    QString m_text;
    QLabel *m_over;
    QLabel *m_count;
    QToolButton *m_copy;
};
