#pragma once

#include "ui/cells/ArrangingLayout.h"

// Lays its items out in one row while it is wide enough for all of them, the first at the row's
// left end and the others together at its right end; else one under another at the left, so that
// a narrow window cuts none of them. Hidden items take no room. The arrangement follows from the
// width the layout is given (see ArrangingLayout), not from one it had before.
class WrappingRowLayout : public ArrangingLayout
{
public:
    using ArrangingLayout::ArrangingLayout;

    // Whether the items stand in one row in a layout this wide.
    bool inOneRow(int width) const;

    QSize sizeHint() const override;
    QSize minimumSize() const override;

protected:
    int arrange(const QRect &rect, bool place) const override;

private:
    QList<QLayoutItem *> shownItems() const;
    // The width of the shown items in one row, with the margins.
    int rowWidth() const;
};
