#pragma once

#include "ui/cells/CellContents.h"

#include <QPalette>
#include <QRect>
#include <QSize>

class QPainter;

// Draws a CellContent: [capacity bar] [symbol] [text] [detail word], vertically centred. The
// table delegate and the cell widgets share it, so a cell looks alike in both.
namespace CellPainter {

// The space the content needs, without margins; at least this much is never cut off.
QSize sizeHint(const CellContent &content);

// Draws the content inside `rect`, placed by the horizontal part of `alignment`.
void paint(QPainter *painter, const QRect &rect, const CellContent &content, const QPalette &palette,
           Qt::Alignment alignment = Qt::AlignLeft);

}
