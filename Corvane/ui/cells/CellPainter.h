#pragma once

#include "ui/cells/CellContents.h"

#include <QPalette>
#include <QRect>
#include <QSize>

class QPainter;
class QStyleOptionViewItem;

// Draws a CellContent: [capacity bar] [symbol] [text] [detail word], vertically centred. The
// table delegate and the cell widgets share it, so a cell looks alike in both.
namespace CellPainter {

// The space the content needs, without margins; at least this much is never cut off.
QSize sizeHint(const CellContent &content);

// Draws the content inside `rect`, placed by the horizontal part of `alignment`.
void paint(QPainter *painter, const QRect &rect, const CellContent &content, const QPalette &palette,
           Qt::Alignment alignment = Qt::AlignLeft);

// Draws an item view row's background and selection as the style does, without its text or
// icon, for delegates that draw the rest themselves. Returns the palette to draw with: inside
// a selection the window text takes the selection's text colour.
QPalette drawRowBackground(QPainter *painter, const QStyleOptionViewItem &option);

}
