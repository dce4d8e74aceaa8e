#include "ui/cells/DifficultyView.h"

DifficultyView::DifficultyView(std::optional<qint64> value, QWidget *parent)
    : CellView(parent)
{
    setObjectName(QStringLiteral("difficultyView"));
    setValue(value);
}

void DifficultyView::setValue(std::optional<qint64> value)
{
    setContent(CellContents::difficulty(value));
}
