#pragma once

#include "ui/cells/CellView.h"

// A keyword's popularity as a small bar and its number.
class PopularityView : public CellView
{
    Q_OBJECT
public:
    explicit PopularityView(std::optional<qint64> value = std::nullopt,
                            std::optional<PopularitySource> source = std::nullopt, QWidget *parent = nullptr);

    void setValue(std::optional<qint64> value, std::optional<PopularitySource> source);
};
