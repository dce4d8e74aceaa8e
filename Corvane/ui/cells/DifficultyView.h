#pragma once

#include "ui/cells/CellView.h"

// A difficulty score in its band's colour, followed by the band word.
class DifficultyView : public CellView
{
    Q_OBJECT
public:
    explicit DifficultyView(std::optional<qint64> value = std::nullopt, QWidget *parent = nullptr);

    void setValue(std::optional<qint64> value);
};
