#pragma once

#include "ui/cells/CellView.h"

// The change of rank since the previous reading.
class ChangeView : public CellView
{
    Q_OBJECT
public:
    explicit ChangeView(const Ranking::Change &change = Ranking::Change::none(), QWidget *parent = nullptr);

    void setValue(const Ranking::Change &change);
};
