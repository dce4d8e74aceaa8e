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

// A tool button that opens its menu on a press, with the menu arrow beside its text rather
// than over it.
void setMenuButton(QToolButton *button);

enum class TextSize { body, callout, caption, caption2, title2 };

// The application font scaled to the size, optionally heavier.
QFont font(TextSize size, QFont::Weight weight = QFont::Normal);

}
