#pragma once

#include "ui/cells/ArrangingLayout.h"

// Lays out the app detail's header: the icon, the app's facts in three lines (the name and its
// badge; the maker and other facts; the ID, the rating and the store link) and the counters.
// Where the header is wide enough for the counters beside a name of some thirty characters, they
// stand at its right end; else they take a row of their own under the facts, and the badge leads
// the maker's line, so that the name has the column's whole width. A name wider than those thirty
// characters (in capitals, say) that would be cut beside the counters but reads whole under them
// puts them under it. So the arrangement follows from the header's width and the room the name
// needs; for a name no wider than the room kept, from the width alone, the same for every app.
// The height the layout asks for at a width is the one it lays out (see ArrangingLayout), so no
// frame shows the other arrangement.
class AppHeaderLayout : public ArrangingLayout
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

    // Whether the counters stand beside the facts in a header this wide.
    bool countersBeside(int width) const;
    // The least header width at which the name reads whole, with the counters under it.
    int nameWholeFrom() const;

    QSize sizeHint() const override;
    QSize minimumSize() const override;

protected:
    int arrange(const QRect &rect, bool place) const override;

private:
    enum Part { icon, name, badge, facts, id, rating, link, counters };

    QSize hint(Part part) const;
    // The name's room in a header this wide, with the counters beside it or under it.
    int nameRoom(int width, bool beside) const;

    // The least width inside the margins for the counters beside the facts.
    int m_besideFrom = 0;
};
