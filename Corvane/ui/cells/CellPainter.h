#pragma once

#include "ui/cells/CellSpecs.h"

#include <QPalette>
#include <QRect>
#include <QSize>

class QPainter;

// Draws a CellSpec: [capacity bar] [symbol] [text] [detail word], vertically centred. The
// table delegate and the cell widgets share it, so a cell looks alike in both.
namespace CellPainter {

// The space the content needs, without margins; at least this much is never cut off.
QSize sizeHint(const CellSpec &spec);

// Draws the content inside `rect`, placed by the horizontal part of `alignment`.
void paint(QPainter *painter, const QRect &rect, const CellSpec &spec, const QPalette &palette,
           Qt::Alignment alignment = Qt::AlignLeft);

}
