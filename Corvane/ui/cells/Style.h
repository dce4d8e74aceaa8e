#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QToolButton;
class QWidget;

// The few colours and text sizes that every screen shares, so that a state looks the same
// wherever it is shown.
namespace Style {

// Roles of text and marks: the palette's text at full, secondary, tertiary and quaternary
// strength, the accent, and fixed signal colours that read on light and dark windows alike.
enum class Tone { primary, secondary, tertiary, quaternary, accent, green, orange, red };

QColor color(Tone tone, const QPalette &palette);

// Sets the widget's text colour.
void setTone(QWidget *widget, Tone tone);

// The contrast ratio of two opaque colours, from 1 to 21 (the web's accessibility measure).
double contrast(const QColor &a, const QColor &b);
// The colour moved toward black or white, whichever reads better, just far enough to reach the
// ratio against the background.
QColor readable(const QColor &color, const QColor &background, double ratio = 4.5);
// The palette with its selection colour moved so that its selected text reads at 4.5:1.
QPalette readableSelection(QPalette palette);

// A tool button that opens its menu on a press, with the menu arrow beside its text rather
// than over it.
void setMenuButton(QToolButton *button);

enum class TextSize { body, callout, caption, caption2, title2 };

// The application font scaled to the size, optionally heavier.
QFont font(TextSize size, QFont::Weight weight = QFont::Normal);

}
