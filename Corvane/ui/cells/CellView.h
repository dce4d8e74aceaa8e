#pragma once

#include "ui/cells/CellSpecs.h"

#include <QWidget>

// A cell outside a table (headers, list rows): paints its CellSpec as the table delegate
// does, at exactly the size the content needs, with the spec's tooltip.
class CellView : public QWidget
{
    Q_OBJECT
public:
    explicit CellView(QWidget *parent = nullptr);

    const CellSpec &spec() const { return m_spec; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void setSpec(const CellSpec &spec);
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    CellSpec m_spec;
};
