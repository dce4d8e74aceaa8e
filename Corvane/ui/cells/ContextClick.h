#pragma once

class QAbstractItemView;

// Item views select the row under any mouse press. A right click only opens the row menu, for the
// clicked row or for the selection it is part of, so a selection elsewhere must stay as it was.
void keepSelectionOnContextClick(QAbstractItemView *view);
