#pragma once

#include <QLayout>
#include <QList>

// Lays out the app detail's header: the icon, the app's facts in three lines (the name and its
// badge; the maker and other facts; the ID, the rating and the store link) and the counters.
// Where the header is wide enough for the counters beside a name of some thirty characters, they
// stand at its right end; else they take a row of their own under the facts, and the badge leads
// the maker's line, so that the name has the column's whole width. The arrangement follows from
// the header's width alone: it is the same for every app, and the height the layout asks for at
// a width is the one it lays out, so no frame shows the other arrangement.
class AppHeaderLayout : public QLayout
{
public:
    struct Parts
    {
        QWidget *icon;
        QWidget *name;
        QWidget *badge;
        QWidget *facts;
        QWidget *id;
        QWidget *rating;
        QWidget *link;
        QWidget *counters;
    };

    // Beside the counters the facts' column holds a name `nameFloor` wide and a badge
    // `badgeFloor` wide after it.
    AppHeaderLayout(QWidget *header, const Parts &parts, int nameFloor, int badgeFloor);
    ~AppHeaderLayout() override;

    // Whether the counters stand beside the facts in a header this wide.
    bool countersBeside(int width) const;

    void addItem(QLayoutItem *item) override;
    int count() const override;
    QLayoutItem *itemAt(int index) const override;
    QLayoutItem *takeAt(int index) override;
    Qt::Orientations expandingDirections() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect &rect) override;

private:
    enum Part { icon, name, badge, facts, id, rating, link, counters };

    // Lays the parts out in `rect` when `place`, and returns the height they take there.
    int arrange(const QRect &rect, bool place) const;
    QSize hint(Part part) const;

    QList<QLayoutItem *> m_items;
    // The least width inside the margins for the counters beside the facts.
    int m_besideFrom = 0;
};
