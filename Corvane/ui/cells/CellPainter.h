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

// The colours a content is drawn in. In a selected row every text takes the selection's text
// colour, save a badge's, which gets an opaque fill of the row's usual background and keeps its
// own colour, made readable on that fill.
struct Colors
{
    QColor text;
    QColor detail;
    // The badge's fill; invalid without a badge.
    QColor capsule;
};
Colors colors(const CellContent &content, const QPalette &palette, bool selected);

// The colour of a text of this tone in a row; in a selected row the selection's text colour.
QColor textColor(Style::Tone tone, const QPalette &palette, bool selected);

// Draws the content inside `rect`, placed by the horizontal part of `alignment`.
void paint(QPainter *painter, const QRect &rect, const CellContent &content, const QPalette &palette,
           Qt::Alignment alignment = Qt::AlignLeft, bool selected = false);

// Draws an item view row's background and selection as the style does, without its text or
// icon, for delegates that draw the rest themselves; the selection is darkened or lightened as
// needed for its text to read at 4.5:1. Returns the palette to draw with: inside a selection the
// window text takes the selection's text colour.
QPalette drawRowBackground(QPainter *painter, const QStyleOptionViewItem &option);

}
