#include "ui/cells/StateBadge.h"

StateBadge::StateBadge(RankingState state, std::optional<qint64> sampleSize, QWidget *parent)
    : CellView(parent)
{
    setObjectName(QStringLiteral("stateBadge"));
    setValue(state, sampleSize);
}

void StateBadge::setValue(RankingState state, std::optional<qint64> sampleSize)
{
    setContent(CellContents::stateBadge(state, sampleSize));
}
