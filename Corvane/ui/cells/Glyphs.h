#pragma once

#include <QIcon>
#include <QString>
#include <QStringView>

// The one table of the symbols the screens show, named as the screens name them
// ("magnifyingglass", "arrow.up", …). Each has a character that stands in for it in text and a
// freedesktop icon name used where the icon theme has one.
namespace Glyphs {

// The character for the symbol; the empty string for a name the table does not hold.
QString text(QStringView symbol);

// The themed icon when the theme has it, else the character drawn in the given colour
// (the palette's text colour when invalid).
QIcon icon(QStringView symbol, const QColor &color = {});

}
