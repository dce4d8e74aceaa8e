#pragma once

#include "ui/cells/CellView.h"

// The state of a ranking reading as a coloured capsule.
class StateBadge : public CellView
{
    Q_OBJECT
public:
    explicit StateBadge(RankingState state = RankingState::notChecked, std::optional<qint64> sampleSize = std::nullopt,
                        QWidget *parent = nullptr);

    void setValue(RankingState state, std::optional<qint64> sampleSize);
};
