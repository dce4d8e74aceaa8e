#include "ui/cells/ChangeView.h"

ChangeView::ChangeView(const Ranking::Change &change, QWidget *parent)
    : CellView(parent)
{
    setObjectName(QStringLiteral("changeView"));
    setValue(change);
}

void ChangeView::setValue(const Ranking::Change &change)
{
    setContent(CellContents::change(change));
}
