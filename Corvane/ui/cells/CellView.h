#pragma once

#include "ui/cells/CellContents.h"

#include <QWidget>

// A cell outside a table (headers, list rows): paints its CellContent as the table delegate
// does, at exactly the size the content needs, with the content's tooltip.
class CellView : public QWidget
{
    Q_OBJECT
public:
    explicit CellView(QWidget *parent = nullptr);

    const CellContent &content() const { return m_content; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void setContent(const CellContent &content);
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    CellContent m_content;
};
