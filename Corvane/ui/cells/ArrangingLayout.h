#pragma once

#include <QLayout>
#include <QList>

// A layout that keeps its items in the order they were added and places them with one function,
// arrange(), which also gives the height it asks for at a width: the height it asks for is the
// one it lays out there, so that no frame shows the items arranged for another width.
class ArrangingLayout : public QLayout
{
public:
    using QLayout::QLayout;
    ~ArrangingLayout() override;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect &rect) override;

protected:
    // Lays the items out in `rect` when `place`, and returns the height they take there.
    virtual int arrange(const QRect &rect, bool place) const = 0;
    const QList<QLayoutItem *> &items() const { return m_items; }

private:
    QList<QLayoutItem *> m_items;
};
