#pragma once

#include <QLayout>
#include <QList>
#include <QSize>

// Lines its items up from left to right at their size hints and starts a new row when the next
// one would pass the right edge, like words in a paragraph. Items are never shrunk: one wider
// than the layout gets a row of its own. The same spacing separates items and rows.
class MetadataWordFlow : public QLayout
{
public:
    explicit MetadataWordFlow(int spacing, QWidget *parent = nullptr);
    ~MetadataWordFlow() override;

    struct Row
    {
        QList<int> items; // indexes into the sizes, in order
        qint64 width = 0; // the items' widths plus the spacing between them
        int height = 0;   // the tallest item's
    };

    // Splits items of these sizes into rows no wider than `maxWidth` (except for an item that
    // alone is wider). An item that ends exactly at the edge stays in its row.
    static QList<Row> rows(const QList<QSize> &sizes, qint64 maxWidth, int spacing);
    // The widest row by the rows' heights and the spacing between them; empty without rows.
    static QSize size(const QList<Row> &rows, int spacing);

    void addItem(QLayoutItem *item) override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    int count() const override;

    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // All items in one row.
    QSize sizeHint() const override;
    // As narrow as the widest item, as high as that width needs.
    QSize minimumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    // The shown items and their size hints.
    QList<QLayoutItem *> shownItems(QList<QSize> *sizes) const;
    QSize sizeFor(qint64 width) const;

    QList<QLayoutItem *> m_items;
};
