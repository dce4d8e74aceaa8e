#include "ui/keywords/AppHeaderLayout.h"

#include <QWidget>

#include <algorithm>

namespace {

// Between the icon, the facts and the counters.
constexpr int columnSpacing = 14;
// Between the facts' lines, and between them and the counters' own row.
constexpr int lineSpacing = 3;
constexpr int rowSpacing = 10;
// Between the name and the badge, and the badge and the maker.
constexpr int badgeSpacing = 8;
// Between the ID, the rating and the link.
constexpr int detailSpacing = 10;

}

AppHeaderLayout::AppHeaderLayout(QWidget *header, const Parts &parts, int nameFloor, int badgeFloor)
    : ArrangingLayout(header)
{
    for (auto *part : {parts.icon, parts.name, parts.badge, parts.facts, parts.id, parts.rating, parts.link, parts.counters})
        addWidget(part);
    // Taken once, from sizes that are the same for every app: the counters are as wide as their
    // titles and four digits.
    m_besideFrom = hint(icon).width() + 2 * columnSpacing + nameFloor + badgeSpacing + badgeFloor + hint(counters).width();
}

bool AppHeaderLayout::countersBeside(int width) const
{
    const auto margins = contentsMargins();
    if (width - margins.left() - margins.right() < m_besideFrom || items().size() != counters + 1)
        return false;
    // A name wider than the room kept for it reads whole under the counters where it would be cut
    // beside them; one cut either way keeps them beside it.
    const int needed = hint(name).width();
    return needed <= nameRoom(width, true) || needed > nameRoom(width, false);
}

int AppHeaderLayout::nameRoom(int width, bool beside) const
{
    const auto margins = contentsMargins();
    const int column = width - margins.left() - margins.right() - hint(icon).width() - columnSpacing;
    if (!beside)
        return column;
    const int badgeWidth = hint(badge).width();
    return column - columnSpacing - hint(counters).width() - (badgeWidth ? badgeWidth + badgeSpacing : 0);
}

int AppHeaderLayout::nameWholeFrom() const
{
    if (items().size() != counters + 1)
        return 0;
    const auto margins = contentsMargins();
    return margins.left() + hint(icon).width() + columnSpacing + hint(name).width() + margins.right();
}

QSize AppHeaderLayout::hint(Part part) const
{
    const auto *item = items()[part];
    return item->isEmpty() ? QSize(0, 0) : item->sizeHint();
}

QSize AppHeaderLayout::sizeHint() const
{
    if (items().size() != counters + 1)
        return {};
    // The counters beside facts shown whole.
    const int line1 = hint(name).width() + badgeSpacing + hint(badge).width();
    const int line3 = hint(id).width() + hint(rating).width() + hint(link).width() + 2 * detailSpacing;
    const auto margins = contentsMargins();
    const int width = margins.left() + margins.right()
                      + std::max(m_besideFrom, hint(icon).width() + 2 * columnSpacing
                                                   + std::max({line1, hint(facts).width(), line3}) + hint(counters).width());
    return {width, heightForWidth(width)};
}

QSize AppHeaderLayout::minimumSize() const
{
    if (items().size() != counters + 1)
        return {};
    // The counters under the facts, whose lines are cut as far as they go.
    const auto margins = contentsMargins();
    const int width = margins.left() + margins.right() + hint(icon).width() + columnSpacing
                      + std::max(hint(counters).width(), hint(badge).width() + badgeSpacing + items()[facts]->minimumSize().width());
    return {width, heightForWidth(width)};
}

int AppHeaderLayout::arrange(const QRect &rect, bool place) const
{
    if (items().size() != counters + 1)
        return 0;
    const auto margins = contentsMargins();
    const QRect area = rect.marginsRemoved(margins);
    const bool beside = countersBeside(rect.width());
    const auto put = [&](Part part, int x, int y, int width, int lineHeight) {
        const QSize size = hint(part);
        if (place && !items()[part]->isEmpty())
            items()[part]->setGeometry(QRect(x, y + (lineHeight - size.height()) / 2, std::max(width, 0), size.height()));
    };

    const QSize iconSize = hint(icon);
    put(icon, area.left(), area.top(), iconSize.width(), iconSize.height());
    const QSize countersSize = hint(counters);
    const int left = area.left() + iconSize.width() + columnSpacing;
    const int right = beside ? area.right() + 1 - countersSize.width() - columnSpacing : area.right() + 1;
    const int column = right - left;
    int y = area.top();

    // The name, with the badge after it while the counters leave the column its room.
    const int badgeWidth = hint(badge).width();
    const int line1 = std::max(hint(name).height(), beside ? hint(badge).height() : 0);
    const int nameWidth = std::min(hint(name).width(), nameRoom(rect.width(), beside));
    put(name, left, y, nameWidth, line1);
    if (beside)
        put(badge, left + nameWidth + badgeSpacing, y, badgeWidth, line1);
    y += line1 + lineSpacing;

    // The maker and the other facts, after the badge while the counters are under them.
    const int line2 = std::max(hint(facts).height(), beside ? 0 : hint(badge).height());
    if (line2 > 0) {
        int x = left;
        if (!beside && badgeWidth) {
            put(badge, x, y, badgeWidth, line2);
            x += badgeWidth + badgeSpacing;
        }
        put(facts, x, y, right - x, line2);
        y += line2 + lineSpacing;
    }

    // The ID, the rating and the link: the rating gives way first, then the ID.
    const int line3 = std::max({hint(id).height(), hint(rating).height(), hint(link).height()});
    const int linkWidth = hint(link).width();
    const int linkRoom = linkWidth ? linkWidth + detailSpacing : 0;
    const int idWidth = std::min(hint(id).width(), column - linkRoom);
    const int ratingWidth = std::clamp(column - idWidth - linkRoom - detailSpacing, 0, hint(rating).width());
    put(id, left, y, idWidth, line3);
    int x = left + idWidth + detailSpacing;
    put(rating, x, y, ratingWidth, line3);
    if (ratingWidth > 0)
        x += ratingWidth + detailSpacing;
    put(link, x, y, linkWidth, line3);
    y += line3;

    int bottom = std::max(area.top() + iconSize.height(), y);
    if (beside) {
        put(counters, area.right() + 1 - countersSize.width(), area.top(), countersSize.width(), countersSize.height());
        bottom = std::max(bottom, area.top() + countersSize.height());
    } else {
        put(counters, left, bottom + rowSpacing, countersSize.width(), countersSize.height());
        bottom += rowSpacing + countersSize.height();
    }
    return bottom - rect.top() + margins.bottom();
}
